#include "core/SettingsReader.h"

#include <cmath>

namespace {
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
}

void SettingsReader::skipDelimiter()
{
    if (m_pos >= m_text.size())
        return;
    const char c = m_text.at(m_pos);
    if (c == ',') {
        ++m_pos;
    } else if (c == '\r') {
        ++m_pos;
        if (m_pos < m_text.size() && m_text.at(m_pos) == '\n')
            ++m_pos;
    } else if (c == '\n') {
        ++m_pos;
    }
}

std::optional<QByteArray> SettingsReader::nextField()
{
    while (m_pos < m_text.size() && m_text.at(m_pos) == ' ')
        ++m_pos;
    if (m_pos >= m_text.size())
        return std::nullopt;

    QByteArray value;
    if (m_text.at(m_pos) == '"') {
        const qsizetype close = m_text.indexOf('"', m_pos + 1);
        const qsizetype end = close < 0 ? m_text.size() : close;
        value = m_text.mid(m_pos + 1, end - m_pos - 1);
        m_pos = close < 0 ? m_text.size() : close + 1;
        // Anything between the closing quote and the delimiter is not part of the value.
        while (m_pos < m_text.size() && m_text.at(m_pos) != ',' && !isLineEnd(m_text.at(m_pos)))
            ++m_pos;
    } else {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && m_text.at(m_pos) != ',' && !isLineEnd(m_text.at(m_pos)))
            ++m_pos;
        value = m_text.mid(start, m_pos - start);
        while (value.endsWith(' '))
            value.chop(1);
    }
    skipDelimiter();
    return value;
}

std::optional<int16_t> parseInt16(const QByteArray& field)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < field.size() && (field.at(i) == '-' || field.at(i) == '+'))
        negative = field.at(i++) == '-';
    const qsizetype digitsStart = i;
    while (i < field.size() && field.at(i) >= '0' && field.at(i) <= '9')
        ++i;
    qsizetype digits = i - digitsStart;
    if (i < field.size() && field.at(i) == '.') {
        const qsizetype fractionStart = ++i;
        while (i < field.size() && field.at(i) >= '0' && field.at(i) <= '9')
            ++i;
        digits += i - fractionStart;
    }
    if (digits == 0 || i != field.size() || field.size() > 64)
        return std::nullopt;

    bool ok = false;
    const double magnitude = field.mid(digitsStart).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    const double value = std::nearbyint(negative ? -magnitude : magnitude);
    if (value < -32768.0 || value > 32767.0)
        return std::nullopt;
    return static_cast<int16_t>(value);
}

std::optional<int16_t> SettingsReader::nextInt16()
{
    const std::optional<QByteArray> field = nextField();
    if (!field)
        return std::nullopt;
    return parseInt16(*field);
}

std::optional<QString> SettingsReader::nextString()
{
    const std::optional<QByteArray> field = nextField();
    if (!field)
        return std::nullopt;
    // The file is plain 8-bit text.
    return QString::fromLatin1(*field);
}
