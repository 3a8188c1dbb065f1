#include "capture/control/FormatDialog.h"

#include "capture/control/CaptureControl.h"
#include "capture/control/PictureSection.h"
#include "shell/chrome/SkinnedDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QVBoxLayout>

FormatDialog::FormatDialog(CaptureControl& cam, QWidget* parent)
    : QDialog(parent)
    , m_cam(cam)
{
    setWindowTitle(tr("Video Format"));
    Skin::applyToDialog(this);

    auto* caption = new QLabel(tr("Frame size:"), this);
    m_sizes = new QListWidget(this);
    m_sizes->setAccessibleName(tr("Frame size"));
    m_sizes->setAccessibleDescription(tr("Pixel size of the snapshots"));
    caption->setBuddy(m_sizes);

    VideoSource* source = cam.source();
    if (source) {
        for (const QSize& size : source->frameSizes()) {
            auto* item = new QListWidgetItem(tr("%1 x %2").arg(size.width()).arg(size.height()), m_sizes);
            item->setData(Qt::UserRole, size);
        }
        selectSize(source->frameSize());
    }

    // What the camera delivers at the size in use; nothing when it does not say.
    m_frameRate = new QLabel(this);
    m_frameRate->setObjectName(QStringLiteral("frameRate"));
    const double rate = source ? source->frameRate() : 0;
    m_frameRate->setText(tr("Frame rate: %1 frames a second").arg(QLocale().toString(rate, 'g', 4)));
    m_frameRate->setVisible(rate > 0);

    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->hide();

    m_picture = new PictureSection(this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &FormatDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_sizes, &QListWidget::itemDoubleClicked, this, &FormatDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_sizes);
    layout->addWidget(m_frameRate);
    layout->addWidget(m_note);
    layout->addWidget(m_picture);
    layout->addWidget(buttons);
}

bool FormatDialog::selectSize(const QSize& size)
{
    for (int i = 0; i < m_sizes->count(); ++i) {
        if (m_sizes->item(i)->data(Qt::UserRole).toSize() == size) {
            m_sizes->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

QSize FormatDialog::selectedSize() const
{
    const QListWidgetItem* item = m_sizes->currentItem();
    return item ? item->data(Qt::UserRole).toSize() : QSize();
}

bool FormatDialog::apply()
{
    const QSize size = selectedSize();
    const bool ok = size.isValid() && m_cam.selectFrameSize(size);
    m_note->setText(ok ? QString() : (size.isValid() ? m_cam.errorString() : tr("Choose a frame size.")));
    m_note->setVisible(!ok);
    return ok;
}

void FormatDialog::accept()
{
    // A refused size keeps the dialog open with the reason shown.
    if (!apply())
        return;
    m_picture->keep();
    QDialog::accept();
}

void FormatDialog::reject()
{
    m_picture->revert();
    QDialog::reject();
}
