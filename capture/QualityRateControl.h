#pragma once

#include "core/state/MainState.h"

class QLabel;
class QTimer;

// The quality and rate arrows: a press arms the repeat timer, each tick of
// it steps the held setting once, the release stops the timer. The state
// (`sliName`, `sliUp`, `quality`, `rate`) lives in the main window's record.
class QualityRateControl {
public:
    QualityRateControl(MainState& state, QTimer& time, QTimer& sliTimer, QLabel& lblQuality,
                       QLabel& lblRate);

    // What a press on one of the four arrows does; no step is taken yet.
    void press(const QString& name, bool up);
    void release();
    // One tick of `sliTimer`.
    void tick();

    void StepQuality();
    void StepRate();

    static QString qualityCaption(int16_t quality);
    static QString rateCaption(int16_t rate);

private:
    MainState& m_state;
    QTimer& m_time;
    QTimer& m_sliTimer;
    QLabel& m_lblQuality;
    QLabel& m_lblRate;
};
