#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

// The "KB/s" figure of the status bar: snapshot bytes times snapshots per
// second (a 32-bit product), over 1024, rounded to two decimals with halves
// to even, written without trailing zeros and with the locale's decimal
// separator, followed by "KB/s": 15000 bytes at 2/s give "29.3KB/s".
// Empty when the product does not fit in 32 bits.
std::optional<QString> dataRateText(int64_t fileBytes, int16_t rate, const QLocale& locale = QLocale());
