#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// Reads the fields of a settings file one at a time, the way they were
// written: a field ends at a comma or a line end, leading spaces are skipped,
// a field that starts with a double quote runs to the closing quote.
class SettingsReader {
public:
    explicit SettingsReader(QByteArray text) : m_text(std::move(text)) {}

    // Empty when the file has no further field.
    std::optional<QByteArray> nextField();

    // Empty when there is no further field or it is not a decimal number
    // that fits a 16-bit signed integer.
    std::optional<int16_t> nextInt16();
    std::optional<QString> nextString();

private:
    void skipDelimiter();

    QByteArray m_text;
    qsizetype m_pos = 0;
};

// Decimal text to a 16-bit integer: optional sign, digits, optional fraction
// (rounded halves to even). Empty for anything else or a value out of range.
std::optional<int16_t> parseInt16(const QByteArray& field);
