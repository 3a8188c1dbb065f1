#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>

class QLabel;

// The program's dark skin, drawn by the program itself: window backgrounds
// and button faces. Each picture is made anew on every call; callers keep
// what they need in picture boxes.
namespace Skin {

QImage mainBackground();   // 324 x 335, the main window
QImage beginBackground();  // 324 x 260, the start-up window
QImage aboutBackground();  // 324 x 240, the about window
QImage aboutBadge();       // 65 x 15, the about window's decoration
QImage textFace(bool pressed);            // 81 x 21
QImage closeFace(bool pressed);           // 23 x 22
QImage minFace(bool pressed);             // 22 x 22
QImage arrowFace(bool up, bool pressed);  // 23 x 15

QFont labelFont();
QColor textColor();
QColor linkColor();
// Label font and text colour on a transparent label, so the background shows.
void styleLabel(QLabel* label);

// Where the main window's background expects its elements.
namespace MainLayout {
inline constexpr QRect videoArea{2, 28, 320, 240};
inline constexpr QRect thumbnail{220, 165, 100, 75}; // inside the video area
inline constexpr QRect qualityWell{4, 274, 103, 15};
inline constexpr QRect rateWell{4, 291, 103, 15};
inline constexpr QRect qualityLabel{6, 274, 102, 15};
inline constexpr QRect rateLabel{6, 291, 102, 15};
inline constexpr QPoint qualityArrows{110, 274}; // down, then up beside it
inline constexpr QPoint rateArrows{110, 291};
inline constexpr QPoint videoInOutFace{159, 272};
inline constexpr QPoint videoSourceFace{242, 272};
inline constexpr QPoint aboutFace{159, 295};
inline constexpr QPoint videoFormatFace{242, 295};
inline constexpr QRect minButton{276, 3, 22, 22};
inline constexpr QRect closeButton{299, 3, 23, 22};
inline constexpr QRect statusWells[3] = {{2, 318, 105, 16}, {108, 318, 105, 16}, {214, 318, 109, 16}};
inline constexpr QRect statusLabels[3] = {{6, 319, 98, 15}, {112, 319, 98, 15}, {218, 319, 102, 15}};
} // namespace MainLayout

// Where the start-up window's backgrounds expect their elements.
namespace BeginLayout {
inline constexpr QRect emblem{22, 30, 64, 64};
inline constexpr QRect title{100, 34, 210, 34};
inline constexpr QRect version{102, 70, 208, 16};
inline constexpr QRect homePage{20, 124, 284, 18};
inline constexpr QRect statusWell{20, 154, 284, 24};
inline constexpr QRect days{24, 157, 276, 18};
inline constexpr QPoint loginFace{72, 214};
inline constexpr QPoint closeFace{171, 214};
} // namespace BeginLayout

// Where the about window's background expects its elements.
namespace AboutLayout {
inline constexpr QPoint badge{12, 11};
inline constexpr QRect version{86, 10, 226, 17};
inline constexpr QRect descriptionWell{10, 44, 304, 126};
inline constexpr QRect description{17, 49, 290, 116};
inline constexpr QRect address{17, 136, 290, 30}; // the bottom of the well, under the description
inline constexpr QRect homePage{10, 178, 304, 18};
inline constexpr QPoint testFace{72, 208};
inline constexpr QPoint closeFace{171, 208};
} // namespace AboutLayout

} // namespace Skin
