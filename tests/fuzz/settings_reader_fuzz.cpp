// Arbitrary bytes as Settings.ini: reading never fails, and what was read
// survives a write and a second read unchanged. The same bytes as one field
// must convert like the C library does whenever they are a plain integer.
//
// One exception: a hand-edited unquoted keepTb holding a double quote. The
// layout quotes keepTb and has no escape, so such a value cannot come back;
// the numbers around it must still survive.
#include "FuzzSupport.h"

#include "core/Settings.h"
#include "core/SettingsReader.h"

#include <QString>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Fields {
    int16_t quality;
    int16_t rate;
    QString keepTb;
    int16_t cfgPort;
};

bool survived(const Fields& read, const Fields& readAgain)
{
    const bool keepTbStorable = !read.keepTb.contains(u'"');
    return read.quality == readAgain.quality && read.rate == readAgain.rate && read.cfgPort == readAgain.cfgPort
        && (!keepTbStorable || read.keepTb == readAgain.keepTb);
}

// Values no short input spells, so that a field left unread stays visible.
Fields startValues()
{
    return {-12345, 23456, QStringLiteral("unread"), -31000};
}

Fields readFrom(const QString& dir)
{
    Fields fields = startValues();
    ReadSettings(dir, fields.quality, fields.rate, fields.keepTb, fields.cfgPort);
    return fields;
}

bool isPlainInteger(const QByteArray& field)
{
    const qsizetype digitsStart = field.startsWith('-') || field.startsWith('+') ? 1 : 0;
    if (field.size() == digitsStart || field.size() > 32)
        return false;
    for (qsizetype i = digitsStart; i < field.size(); ++i) {
        if (field.at(i) < '0' || field.at(i) > '9')
            return false;
    }
    return true;
}

void checkIntegerField(const QByteArray& field)
{
    const std::optional<int16_t> parsed = parseInt16(field);
    if (!isPlainInteger(field))
        return;
    errno = 0;
    const long long expected = std::strtoll(field.constData(), nullptr, 10);
    const bool fits = errno == 0 && expected >= INT16_MIN && expected <= INT16_MAX;
    FUZZ_CHECK(parsed.has_value() == fits);
    FUZZ_CHECK(!fits || *parsed == expected);
}

// The reader walks forward only and ends; every field it gives is a part of the text.
void checkReaderEnds(const QByteArray& text)
{
    SettingsReader reader(text);
    qsizetype fields = 0;
    while (const std::optional<QByteArray> field = reader.nextField()) {
        FUZZ_CHECK(field->size() <= text.size());
        FUZZ_CHECK(++fields <= text.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string dir = fuzz::makeTempDir();
    static const QString tempPath = QString::fromStdString(dir);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    checkIntegerField(bytes);
    checkReaderEnds(bytes);

    FUZZ_CHECK(fuzz::writeFile(dir + "/Settings.ini", bytes));
    const Fields first = readFrom(tempPath);
    FUZZ_CHECK(WriteSettings(tempPath, first.quality, first.rate, first.keepTb, first.cfgPort));
    const Fields second = readFrom(tempPath);
    if (!survived(first, second)) {
        std::fprintf(stderr, "first:  %d %d [%s] %d\nsecond: %d %d [%s] %d\n", first.quality, first.rate,
                     first.keepTb.toLatin1().constData(), first.cfgPort, second.quality, second.rate,
                     second.keepTb.toLatin1().constData(), second.cfgPort);
        FUZZ_CHECK(survived(first, second));
    }
    return 0;
}
