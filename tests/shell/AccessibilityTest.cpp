#include "core/MainWindowFixture.h"

#include "shell/chrome/PictureBox.h"
#include "shell/chrome/frmAbout.h"
#include "shell/frmBegin.h"

#include <QAccessible>
#include <QLabel>

// What a screen reader is told about every button and window, through the
// same interface the platform bridge reads.
namespace {

struct Windows {
    frmBegin* begin = nullptr;
    frmMain* main = nullptr;
    frmAbout* about = nullptr;
};

struct AccessCase {
    const char* name;
    QWidget* (*pick)(const Windows&);
    QAccessible::Role role;
    const char* accessibleName;
    const char* description;
};

class Accessibility : public MainWindowFixture, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(Accessibility, ReportsRoleNameDescriptionAndFocus)
{
    const AccessCase c = GetParam();
    Windows w;
    w.begin = new frmBegin([] {});
    w.main = &load();
    w.about = frmAbout::showOne(w.main->state(), w.main);
    QWidget* widget = c.pick(w);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), c.role);
    EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf8(c.accessibleName));
    EXPECT_EQ(face->text(QAccessible::Description), QString::fromUtf8(c.description));
    if (c.role == QAccessible::Button) {
        EXPECT_TRUE(face->state().focusable);
        ASSERT_NE(face->actionInterface(), nullptr);
        EXPECT_TRUE(face->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
    w.about->close();
    delete w.begin;
}

#define PICK(expr) [](const Windows& w) -> QWidget* { return expr; }
using R = QAccessible::Role;
INSTANTIATE_TEST_SUITE_P(
    EveryWindow, Accessibility,
    ::testing::Values(
        AccessCase{"BeginWindow", PICK(w.begin), R::Window, "Talvex", ""},
        AccessCase{"BeginOpen", PICK(w.begin->lblLogin), R::Button, "Open", ""},
        AccessCase{"BeginClose", PICK(w.begin->lblClose), R::Button, "Close", ""},
        AccessCase{"BeginStatus", PICK(w.begin->lblDays), R::StaticText, "Status", ""},
        AccessCase{"MainWindow", PICK(w.main), R::Window, "Talvex", ""},
        AccessCase{"QualityDown", PICK(w.main->qualityDown), R::Button, "Down Video Quality", "Down Video Quality"},
        AccessCase{"QualityUp", PICK(w.main->qualityUp), R::Button, "Up Video Quality", "Up Video Quality"},
        AccessCase{"RateDown", PICK(w.main->rateDown), R::Button, "Down Frames Rate", "Down Frames Rate"},
        AccessCase{"RateUp", PICK(w.main->rateUp), R::Button, "Up Frames Rate", "Up Frames Rate"},
        AccessCase{"VideoOut", PICK(w.main->lblVideoInOut), R::Button, "Video Out", "Show Video Out"},
        AccessCase{"VideoSource", PICK(w.main->lblVideoSource), R::Button, "Video Source", "Set Video Source"},
        AccessCase{"About", PICK(w.main->lblOpenChat), R::Button, "About", "About Talvex"},
        AccessCase{"VideoFormat", PICK(w.main->lblVideoFormat), R::Button, "Video Format", "Set Video Format"},
        AccessCase{"Minimise", PICK(w.main->btnMin), R::Button, "Minimise", ""},
        AccessCase{"MainClose", PICK(w.main->btnClose), R::Button, "Close", ""},
        AccessCase{"AboutWindow", PICK(w.about), R::Window, "About Talvex", ""},
        AccessCase{"AboutTest", PICK(w.about->lblTest), R::Button, "Test Server", ""},
        AccessCase{"AboutClose", PICK(w.about->lblClose), R::Button, "Close", ""}),
    [](const auto& info) { return std::string(info.param.name); });
#undef PICK

} // namespace
