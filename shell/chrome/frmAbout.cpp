#include "shell/chrome/frmAbout.h"

#include "core/state/ViewerAddress.h"
#include "shell/chrome/AppInfo.h"
#include "shell/chrome/ClickAction.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/PushImageButton.h"
#include "shell/chrome/Skin.h"
#include "shell/chrome/UrlOpener.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>

namespace {

const char* const kDescription =
    "Talvex is for capture live video streaming and broadcast it in the Internet from your "
    "homepage or from your PC. Viewers can see live video streaming in their web browser. You "
    "can set your quality video and frame rate for good optimization. Also you can see how good "
    "your video out is it and test the server.";

QPointer<frmAbout>& theOpenOne()
{
    static QPointer<frmAbout> open;
    return open;
}

} // namespace

frmAbout::frmAbout(const MainState& mainState, QWidget* parent)
    : SkinnedWindow(Skin::aboutBackground(), QStringLiteral("About ") + AppInfo::title(), parent)
    , m_mainState(mainState)
{
    setAttribute(Qt::WA_DeleteOnClose);
    using namespace Skin::AboutLayout;

    Image1 = new QLabel(this);
    Image1->setPixmap(QPixmap::fromImage(Skin::aboutBadge()));
    Image1->setGeometry(QRect(badge, QSize(65, 15)));

    lblVersion = addLabel(version, Qt::AlignRight | Qt::AlignVCenter);
    lblDescription = addLabel(description, Qt::AlignLeft | Qt::AlignTop);
    lblDescription->setWordWrap(true);
    QFont descriptionFont = Skin::labelFont();
    descriptionFont.setPixelSize(11);
    lblDescription->setFont(descriptionFont);
    lblAddress = addLabel(address, Qt::AlignLeft | Qt::AlignBottom);
    QFont addressFont = Skin::labelFont();
    addressFont.setPixelSize(10);
    lblAddress->setFont(addressFont);
    lblAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblHomePage = addLabel(homePage, Qt::AlignCenter);
    QPalette linkPalette = lblHomePage->palette();
    linkPalette.setColor(QPalette::WindowText, Skin::linkColor());
    lblHomePage->setPalette(linkPalette);
    new ClickAction(lblHomePage, [this] { openUrl(lblHomePage->text()); });

    btnPush = addFace(QPoint(0, 0), true);
    btnPush->hide();
    btnTest = addFace(testFace, false);
    btnClose = addFace(closeFace, false);

    // Captions lie over their faces and take the mouse for them.
    lblTest = addLabel(QRect(testFace, QSize(81, 21)), Qt::AlignCenter);
    lblTest->setText(QStringLiteral("Test Server"));
    lblClose = addLabel(QRect(closeFace, QSize(81, 21)), Qt::AlignCenter);
    lblClose->setText(QStringLiteral("Close"));

    auto* test = new PushImageButton(lblTest, btnTest, btnPush, btnClose);
    test->setReleaseAction([this] { openUrl(serverTestAddress(m_mainState)); });
    auto* close = new PushImageButton(lblClose, btnClose, btnPush, btnTest);
    close->setReleaseAction([this] { this->close(); });

    load();
}

frmAbout::~frmAbout() = default;

void frmAbout::closeEvent(QCloseEvent* event)
{
    // The window is deleted later; from now on "About" opens a new one.
    if (theOpenOne() == this)
        theOpenOne().clear();
    SkinnedWindow::closeEvent(event);
}

void frmAbout::load()
{
    lblDescription->setText(QString::fromLatin1(kDescription));
    lblHomePage->setText(AppInfo::homePage());
    lblVersion->setText(AppInfo::versionText());
    const QString address = viewerAddress(m_mainState);
    lblAddress->setText(QStringLiteral("Viewers: ") + address + QStringLiteral("\nFolder: ")
                        + m_mainState.TempPath);
    lblAddress->setToolTip(QStringLiteral("Address for viewers: ") + address
                           + QStringLiteral("\nWorking folder (Settings.ini, root/): ") + m_mainState.TempPath);
}



frmAbout* frmAbout::showOne(const MainState& mainState, QWidget* owner)
{
    QPointer<frmAbout>& open = theOpenOne();
    if (!open)
        open = new frmAbout(mainState, owner);
    if (open->isMinimized())
        open->showNormal();
    else
        open->show();
    open->raise();
    open->activateWindow();
    return open;
}

frmAbout* frmAbout::openOne()
{
    return theOpenOne();
}

QString frmAbout::serverTestAddress(const MainState& mainState)
{
    return QStringLiteral("http://") + mainState.My_IP + QLatin1Char(':')
        + QString::number(mainState.My_PORT);
}
