#pragma once

// Runs one step of a cycle on its own: a step that throws is abandoned like
// one that fails, and the cycle goes on with the next.
template <typename Step>
void guarded(Step&& step)
{
    try {
        step();
    } catch (...) {
    }
}
