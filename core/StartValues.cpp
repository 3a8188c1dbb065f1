#include "core/StartValues.h"

#include <QTime>

#include <charconv>
#include <cmath>
#include <cstdlib>

int16_t clockPort(float secondsSinceMidnight)
{
    char text[32] = {};
    const auto result = std::to_chars(text, text + sizeof text - 1, secondsSinceMidnight);
    *result.ptr = '\0';
    text[3] = '\0';
    // Three characters may end in a dot ("5.2" is whole, "12." is 12) or, for
    // a clock a hair past midnight, start an exponent ("1e-"): strtod reads
    // the number part and stops there.
    const double leading = std::strtod(text, nullptr);
    return static_cast<int16_t>(8000 + static_cast<int>(std::nearbyint(leading)));
}

float secondsSinceMidnight()
{
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

int16_t usableQuality(int16_t quality)
{
    return quality < 1 ? int16_t(75) : quality;
}

int16_t usableRate(int16_t rate)
{
    return rate < 1 ? int16_t(2) : rate;
}
