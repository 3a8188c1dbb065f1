#include "shell/chrome/SkinnedWindow.h"

#include <QLabel>
#include "support/Mouse.h"
#include <gtest/gtest.h>

namespace {

QImage background()
{
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

TEST(SkinnedWindow, IsAFramelessWindowOfItsBackgroundSize)
{
    SkinnedWindow window(background(), QStringLiteral("Talvex"));
    EXPECT_TRUE(window.isWindow());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.size(), QSize(120, 80));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle(), "Talvex");
    EXPECT_EQ(window.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(60, 40), QColor(Qt::darkCyan).rgb());
}

struct DragCase {
    const char* name;
    bool draggable;
    Qt::MouseButton button;
    bool onChild;
    int moves; // background presses that start a window move
};

class SkinnedWindowDrag : public ::testing::TestWithParam<DragCase> {};

TEST_P(SkinnedWindowDrag, OnlyTheBareBackgroundOfADraggableWindowMovesIt)
{
    const DragCase c = GetParam();
    SkinnedWindow window(background(), QStringLiteral("Talvex"));
    window.setDraggable(c.draggable);
    auto* child = new QLabel(QStringLiteral("caption"), &window);
    child->setGeometry(0, 0, 50, 20);
    int moves = 0;
    QObject::connect(&window, &SkinnedWindow::backgroundPressed, [&moves] { ++moves; });

    // A press the plain label ignores bubbles up: the window then sees it
    // at a point that lies over the child.
    const QPoint at = c.onChild ? QPoint(10, 10) : QPoint(90, 60);
    Mouse::press(&window, c.button, Qt::ControlModifier, at);
    EXPECT_EQ(moves, c.moves);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, SkinnedWindowDrag,
    ::testing::Values(DragCase{"LeftOnBackground", true, Qt::LeftButton, false, 1},
                      DragCase{"RightOnBackground", true, Qt::RightButton, false, 1},
                      DragCase{"OnChild", true, Qt::LeftButton, true, 0},
                      DragCase{"NotDraggable", false, Qt::LeftButton, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
