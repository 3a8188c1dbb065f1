#include "Recorders.h"

#include "shell/chrome/AppInfo.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/frmAbout.h"

#include <QLabel>
#include <QPointer>
#include "support/Mouse.h"
#include <gtest/gtest.h>

namespace {

class FrmAbout : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (frmAbout* open = frmAbout::openOne())
            open->close();
        flushDeletes();
    }

    MainState state;
    UrlRecorder browser;
};

TEST_F(FrmAbout, IsFixedInPlaceWithItsPressedFaceHidden)
{
    auto* about = new frmAbout(state);
    EXPECT_FALSE(about->isDraggable());
    EXPECT_FALSE(about->btnPush->isVisibleTo(about));
    EXPECT_EQ(about->btnTest->picture(), about->btnClose->picture());
    delete about;
}

TEST_F(FrmAbout, ShowsTheViewersAddressAndTheWorkingFolder)
{
    state.My_IP = "192.168.0.10";
    state.My_PORT = 8497;
    state.TempPath = "/home/ann/.local/share/Talvex";
    auto* about = new frmAbout(state);
    EXPECT_EQ(about->lblAddress->text(),
              "Viewers: http://192.168.0.10:8497/\nFolder: /home/ann/.local/share/Talvex");
    // Both lines fit: the label is no narrower than its text for usual lengths.
    const QFontMetrics metrics(about->lblAddress->font());
    EXPECT_LE(metrics.horizontalAdvance("Folder: /home/ann/.local/share/Talvex"), about->lblAddress->width());
    EXPECT_LE(about->lblDescription->heightForWidth(about->lblDescription->width()) + about->lblDescription->y(),
              about->lblAddress->y() + about->lblAddress->height() - 2 * metrics.height())
        << "the description ends above the address";
    delete about;
}

struct AddressCase {
    const char* name;
    const char* ip;
    int16_t port;
    const char* url;
};

class FrmAboutTestServer : public FrmAbout, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(FrmAboutTestServer, ReleaseOpensTheListenerAddressReadAtThatMoment)
{
    const AddressCase c = GetParam();
    auto* about = new frmAbout(state);
    state.My_IP = QStringLiteral("10.0.0.1");
    state.My_PORT = 1;

    Mouse::press(about->lblTest, Qt::RightButton);
    EXPECT_EQ(about->btnTest->picture(), about->btnPush->picture());
    state.My_IP = QString::fromLatin1(c.ip);
    state.My_PORT = c.port;
    EXPECT_TRUE(browser.urls.isEmpty());
    // Released well off the button: the release still belongs to it.
    Mouse::release(about->lblTest, Qt::RightButton, {}, QPoint(-200, 300));
    EXPECT_EQ(browser.urls, QStringList{QString::fromLatin1(c.url)});
    EXPECT_EQ(about->btnTest->picture(), about->btnClose->picture());
    EXPECT_NE(about->btnTest->picture(), about->btnPush->picture());
    delete about;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, FrmAboutTestServer,
    ::testing::Values(AddressCase{"ServerOn", "192.168.0.10", 8495, "http://192.168.0.10:8495"},
                      AddressCase{"NoListenerAddress", "", 8495, "http://:8495"},
                      AddressCase{"ConfiguredPort", "127.0.0.1", 80, "http://127.0.0.1:80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrmAbout, HomePageClickOpensIt)
{
    auto* about = new frmAbout(state);
    Mouse::click(about->lblHomePage, Qt::LeftButton);
    EXPECT_EQ(browser.urls, QStringList{AppInfo::homePage()});
    // A press that ends off the link is no click.
    Mouse::press(about->lblHomePage, Qt::LeftButton);
    Mouse::release(about->lblHomePage, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_EQ(browser.urls.size(), 1);
    delete about;
}

TEST_F(FrmAbout, CloseUnloadsOnlyTheAboutWindow)
{
    QWidget mainWindow;
    mainWindow.show();
    QPointer<frmAbout> about = frmAbout::showOne(state, &mainWindow);
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isWindow());

    Mouse::press(about->lblClose, Qt::LeftButton);
    EXPECT_EQ(about->btnClose->picture(), about->btnPush->picture());
    Mouse::release(about->lblClose, Qt::LeftButton);
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(frmAbout::openOne(), nullptr);
    flushDeletes();
    EXPECT_TRUE(about.isNull());
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_TRUE(browser.urls.isEmpty());
}

TEST_F(FrmAbout, ShowOneKeepsOneWindowAndReopensAfterClose)
{
    frmAbout* first = frmAbout::showOne(state);
    frmAbout* second = frmAbout::showOne(state);
    EXPECT_EQ(first, second);
    EXPECT_EQ(frmAbout::openOne(), first);

    // Reopened at once after "Close", before the old one is deleted: a new window.
    QPointer<frmAbout> old = first;
    first->close();
    frmAbout* third = frmAbout::showOne(state);
    EXPECT_NE(third, old.data());
    EXPECT_TRUE(third->isVisible());
    flushDeletes();
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(frmAbout::openOne(), third);
}

} // namespace
