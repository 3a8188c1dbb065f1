#include "CaptureTestSupport.h"

#include "capture/LiveView.h"
#include "shell/chrome/PictureBox.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <gtest/gtest.h>

namespace {

// The video area as the main window builds it: the picture with the
// capture control over it.
struct VideoArea {
    VideoArea()
    {
        clearCaptureSettings();
        capture = std::make_unique<ScriptedCapture>(&pic);
        capture->cam->setLiveDisplay(true);
        QImage jpeg(200, 100, QImage::Format_RGB32);
        jpeg.fill(Qt::yellow);
        pic.setPicture(jpeg);
    }
    PictureBox pic;
    std::unique_ptr<ScriptedCapture> capture;
    CaptureControl& cam() { return *capture->cam; }
};

struct FollowCase {
    const char* name;
    bool videoIn;     // the capture control hidden: the JPEG shows
    QSize expected;   // the size of the picture the view takes
};

class LiveViewSource : public ::testing::TestWithParam<FollowCase> {};

TEST_P(LiveViewSource, ShowsWhatTheVideoAreaShowsAndRedrawsOnlyOnNewPictures)
{
    const FollowCase c = GetParam();
    VideoArea area;
    area.capture->source().pushFrame();
    area.cam().setVisible(!c.videoIn);
    LiveView view(area.cam(), area.pic);
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    view.show();
    view.refresh();
    EXPECT_EQ(view.shownPicture().size(), c.expected);
    EXPECT_EQ(view.shownPicture(), view.currentPicture());
    const int redraws = view.redraws();
    view.refresh();
    view.refresh();
    EXPECT_EQ(view.redraws(), redraws) << "redrawn with no new picture";

    // A new picture of the kind shown: one redraw at the next tick.
    if (c.videoIn) {
        QImage next(200, 100, QImage::Format_RGB32);
        next.fill(Qt::cyan);
        area.pic.setPicture(next);
    } else {
        area.capture->source().pushFrame();
        area.capture->source().pushFrame();
    }
    view.refresh();
    view.refresh();
    EXPECT_EQ(view.redraws(), redraws + 1);
    EXPECT_EQ(view.shownPicture(), view.currentPicture());

    // Video In/Out switched while open: the other picture at once.
    area.cam().setVisible(c.videoIn);
    view.refresh();
    EXPECT_NE(view.shownPicture().size(), c.expected);

    view.hide();
    EXPECT_FALSE(view.refreshing());
}

INSTANTIATE_TEST_SUITE_P(
    VideoInOut, LiveViewSource,
    ::testing::Values(FollowCase{"VideoOutShowsTheCamera", false, QSize(320, 240)},
                      FollowCase{"VideoInShowsTheJpeg", true, QSize(200, 100)}),
    [](const auto& info) { return std::string(info.param.name); });

struct ShapeCase {
    const char* name;
    QSize picture;
    QRect area;
    bool fill;
    QRect expected;
};

class LiveViewFit : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(LiveViewFit, KeepsTheShapeAndEnlargesOnlyInFullScreen)
{
    const ShapeCase c = GetParam();
    EXPECT_EQ(LiveView::drawRect(c.picture, c.area, c.fill), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LiveViewFit,
    ::testing::Values(ShapeCase{"WideAreaBarsAtTheSides", {1920, 1080}, {0, 0, 1000, 360}, false, {180, 0, 640, 360}},
                      ShapeCase{"TallAreaBarsAboveAndBelow", {640, 480}, {0, 0, 320, 480}, false, {0, 120, 320, 240}},
                      ShapeCase{"BigAreaKeepsTheFrameSize", {320, 240}, {0, 0, 1000, 800}, false, {340, 280, 320, 240}},
                      ShapeCase{"FullScreenEnlarges", {320, 240}, {0, 0, 1000, 800}, true, {0, 25, 1000, 750}},
                      ShapeCase{"NoPicture", {0, 0}, {0, 0, 100, 100}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LiveViewOpening, DoubleClickOnTheVideoAreaOpensOneViewAndKeyTogglesFullScreen)
{
    VideoArea area;
    area.capture->source().pushFrame();
    auto* opener = new LiveViewOpener(area.cam(), area.pic);
    EXPECT_EQ(opener->view(), nullptr);  // nothing made until asked
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&area.cam(), &dbl);
    QApplication::sendEvent(&area.pic, &dbl);
    LiveView* view = opener->view();
    ASSERT_NE(view, nullptr);
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(view);
    EXPECT_EQ(spoken->role(), QAccessible::Window);
    EXPECT_EQ(spoken->text(QAccessible::Name), "Live view");
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->size(), QSize(320, 240));  // the frame's own size

    QKeyEvent f11(QEvent::KeyPress, Qt::Key_F11, Qt::NoModifier);
    QApplication::sendEvent(view, &f11);
    EXPECT_TRUE(view->isFullScreen());
    QApplication::sendEvent(view, &f11);
    EXPECT_FALSE(view->isFullScreen());

    QPointer<LiveView> closed = view;
    view->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    EXPECT_EQ(opener->view(), nullptr);
}

} // namespace
