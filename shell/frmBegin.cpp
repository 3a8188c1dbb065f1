#include "shell/frmBegin.h"

#include "shell/chrome/AppInfo.h"
#include "shell/chrome/ClickAction.h"
#include "shell/chrome/PictureBox.h"
#include "shell/chrome/PushImageButton.h"
#include "shell/chrome/Skin.h"
#include "shell/StartupMessages.h"
#include "shell/chrome/UrlOpener.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

namespace {

// The first tick of the way to the main window comes after this interval;
// any other interval means the second tick.
constexpr int kArmedInterval = 10;
constexpr int kOpeningInterval = 100;

void setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

frmBegin::frmBegin(std::function<void()> showMainWindow, QWidget* parent)
    : SkinnedWindow(Skin::beginBackground(), AppInfo::title(), parent)
    , m_showMainWindow(std::move(showMainWindow))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setDraggable(true);
    using namespace Skin::BeginLayout;

    lblTitle = addLabel(title, Qt::AlignLeft | Qt::AlignVCenter);
    QFont titleFont = Skin::labelFont();
    titleFont.setPixelSize(28);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblVersion = addLabel(version, Qt::AlignLeft | Qt::AlignVCenter);
    lblHomePage = addLabel(homePage, Qt::AlignCenter);
    setTextColor(lblHomePage, Skin::linkColor());
    lblDays = addLabel(days, Qt::AlignCenter);
    // The status line is the link; it opens the home page even while empty.
    new ClickAction(lblDays, [this] { openUrl(lblHomePage->text()); });
    lblDays->setAccessibleName(QStringLiteral("Status"));

    btnPush = addFace(QPoint(0, 0), true);
    btnPush->hide();
    btnLogin = addFace(loginFace, false);
    btnClose = addFace(closeFace, false);
    lblLogin = addLabel(QRect(loginFace, QSize(81, 21)), Qt::AlignCenter);
    lblLogin->setText(QStringLiteral("Open"));
    lblClose = addLabel(QRect(closeFace, QSize(81, 21)), Qt::AlignCenter);
    lblClose->setText(QStringLiteral("Close"));

    m_open = new PushImageButton(lblLogin, btnLogin, btnPush, btnClose);
    m_open->setPressAction([this] {
        Delay->setInterval(kArmedInterval);
        Delay->start();
    });
    m_close = new PushImageButton(lblClose, btnClose, btnPush, btnLogin);
    m_close->setReleaseAction([this] {
        this->close();
        endProgram();
    });

    Delay = new QTimer(this);
    connect(Delay, &QTimer::timeout, this, &frmBegin::delayTick);

    load();
}

frmBegin::~frmBegin() = default;

void frmBegin::load()
{
    Delay->stop();
    lblTitle->setText(AppInfo::title());
    lblHomePage->setText(AppInfo::homePage());
    lblVersion->setText(AppInfo::versionText());
}

void frmBegin::keyPressEvent(QKeyEvent* event)
{
    const bool altO = event->key() == Qt::Key_O && event->modifiers() == Qt::AltModifier;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->isAutoRepeat() && (altO || enter || event->key() == Qt::Key_Escape)) {
        event->accept();
        return;
    }
    if (altO || (enter && !(event->modifiers() & ~Qt::KeypadModifier))) {
        event->accept();
        m_open->click();
    } else if (event->key() == Qt::Key_Escape) {
        event->accept();
        m_close->click();  // may delete this window
    } else {
        SkinnedWindow::keyPressEvent(event);
    }
}

void frmBegin::delayTick()
{
    if (Delay->interval() == kArmedInterval) {
        lblDays->setText(QStringLiteral("Wait please..."));
        Delay->stop();
        Delay->setInterval(kOpeningInterval);
        Delay->start();
        return;
    }
    openMainWindow();
}

void frmBegin::openMainWindow()
{
    // The main window's load may open a modal warning, whose event loop
    // would deliver further ticks: stopped first, it opens exactly once.
    Delay->stop();
    if (m_opening)
        return;
    m_opening = true;
    const bool shown = runGuardedLoad([this] {
        if (m_showMainWindow)
            m_showMainWindow();
    });
    close();
    if (!shown)
        endProgram();
}

void frmBegin::endProgram()
{
    if (m_endProgram)
        m_endProgram();
    else
        QCoreApplication::quit();
}
