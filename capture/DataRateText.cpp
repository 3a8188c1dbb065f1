#include "capture/DataRateText.h"

#include <limits>

std::optional<QString> dataRateText(int64_t fileBytes, int16_t rate, const QLocale& locale)
{
    if (fileBytes > std::numeric_limits<int32_t>::max() || fileBytes < std::numeric_limits<int32_t>::min())
        return std::nullopt;
    const int64_t product = fileBytes * rate;
    if (product > std::numeric_limits<int32_t>::max() || product < std::numeric_limits<int32_t>::min())
        return std::nullopt;

    // product / 1024 in hundredths is product * 25 / 256: done in integers
    // the halfway cases are exact, so "halves to even" needs no tolerance.
    const bool negative = product < 0;
    const int64_t scaled = (negative ? -product : product) * 25;
    int64_t hundredths = scaled / 256;
    const int64_t remainder = scaled % 256;
    if (remainder > 128 || (remainder == 128 && (hundredths & 1)))
        ++hundredths;

    QString text = QString::number(hundredths / 100);
    if (const int64_t fraction = hundredths % 100; fraction != 0) {
        QString digits = QStringLiteral("%1").arg(fraction, 2, 10, QLatin1Char('0'));
        if (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += locale.decimalPoint() + digits;
    }
    if (negative && hundredths != 0)
        text.prepend(QLatin1Char('-'));
    return text + QStringLiteral("KB/s");
}
