#pragma once

#include <functional>

// Runs the event loop until condition holds; false if it never did within
// the bound (a failure guard, not a timing assumption).
bool pumpUntil(const std::function<bool()>& condition, int limitMs = 10000);
