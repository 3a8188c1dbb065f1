#pragma once

#include <QString>

#include <optional>

// What is done to every picture before anyone sees it: turned, mirrored,
// captioned, and for the stream alone scaled to a width of its own. The
// defaults change nothing, and then no step runs at all.
struct PictureOptions {
    enum class Corner { TopLeft, TopRight, BottomLeft, BottomRight };

    int rotation = 0;            // clockwise: 0, 90, 180 or 270
    bool flipHorizontal = false; // left and right swapped, after the turn
    bool flipVertical = false;   // top and bottom swapped, after the turn
    bool captionOn = false;
    QString caption = QStringLiteral("%Y-%m-%d %H:%M:%S"); // strftime fields, local time
    Corner corner = Corner::BottomLeft;
    int streamWidth = 0;         // 0: the stream keeps the camera's size

    bool turnsOrFlips() const { return rotation != 0 || flipHorizontal || flipVertical; }
    // Anything to do to a snapshot or live frame (the stream width is not).
    bool changesPicture() const { return turnsOrFlips() || captionOn; }
    bool operator==(const PictureOptions&) const = default;
};

// The text forms used in Talvex.conf and on the command line. Each parser
// gives nullopt and a one-line reason for a value it does not know.
std::optional<int> parseRotation(const QString& text, QString* error);
// "none", "horizontal", "vertical" or "both"; sets the two flags.
bool parseFlip(const QString& text, PictureOptions& options, QString* error);
std::optional<PictureOptions::Corner> parseCorner(const QString& text, QString* error);
// 0 (the camera's width) or 16 to 7680 pixels.
std::optional<int> parseStreamWidth(const QString& text, QString* error);

QString flipText(const PictureOptions& options);
QString cornerText(PictureOptions::Corner corner);
