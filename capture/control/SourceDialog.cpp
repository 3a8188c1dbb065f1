#include "capture/control/SourceDialog.h"

#include "capture/control/CaptureControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

SourceDialog::SourceDialog(CaptureControl& cam, QWidget* parent)
    : QDialog(parent)
    , m_cam(cam)
    , m_choices(cam.catalog().choices())
{
    setWindowTitle(tr("Video Source"));

    auto* sourceLabel = new QLabel(tr("Source:"), this);
    m_sourceList = new QComboBox(this);
    m_sourceList->setObjectName(QStringLiteral("sourceList"));
    m_sourceList->setAccessibleName(tr("Source"));
    m_sourceList->setAccessibleDescription(tr("The device the video comes from"));
    sourceLabel->setBuddy(m_sourceList);
    const QString current = cam.source() ? cam.source()->id() : QString();
    int currentIndex = -1;
    for (int i = 0; i < m_choices.size(); ++i) {
        const SourceChoice& c = m_choices[i];
        // Two cameras of one model differ only in their device path.
        const QString text = c.id.startsWith(QLatin1Char('/')) ? QStringLiteral("%1 (%2)").arg(c.name, c.id) : c.name;
        m_sourceList->addItem(text, c.id);
        if (c.id == current)
            currentIndex = i;
    }
    if (currentIndex < 0 && cam.source()) {
        // The source in use has gone from the list (a vanished camera): still name it.
        m_sourceList->addItem(cam.source()->displayName(), current);
        m_choices.append({current, cam.source()->displayName()});
        currentIndex = m_choices.size() - 1;
    }
    m_sourceList->setCurrentIndex(currentIndex);
    connect(m_sourceList, &QComboBox::activated, this, &SourceDialog::chooseSource);

    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->hide();

    m_controlsArea = new QWidget(this);
    m_controlsLayout = new QFormLayout(m_controlsArea);
    m_controlsLayout->setContentsMargins(0, 0, 0, 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(sourceLabel);
    top->addWidget(m_sourceList, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_note);
    layout->addWidget(m_controlsArea);
    layout->addStretch(1);
    layout->addWidget(buttons);

    buildControls();
}

bool SourceDialog::chooseSource(int index)
{
    if (index < 0 || index >= m_choices.size())
        return false;
    const bool ok = m_cam.selectSource(m_choices[index].id);
    m_note->setText(ok ? QString() : m_cam.errorString());
    m_note->setVisible(!ok);
    // On failure the list goes back to the source still in use.
    const QString current = m_cam.source() ? m_cam.source()->id() : QString();
    m_sourceList->setCurrentIndex(m_sourceList->findData(current));
    buildControls();
    return ok;
}

bool SourceDialog::applyControl(quint32 id, int value)
{
    VideoSource* source = m_cam.source();
    return source && source->setControl(id, value);
}

void SourceDialog::buildControls()
{
    while (QLayoutItem* item = m_controlsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    VideoSource* source = m_cam.source();
    const QList<SourceControl> controls = source ? source->controls() : QList<SourceControl>();
    if (controls.isEmpty()) {
        auto* none = new QLabel(tr("This source has no settings."), m_controlsArea);
        m_controlsLayout->addRow(none);
        return;
    }
    for (const SourceControl& c : controls) {
        QWidget* editor = nullptr;
        switch (c.kind) {
        case SourceControl::Kind::Integer: {
            auto* slider = new QSlider(Qt::Horizontal, m_controlsArea);
            slider->setRange(c.minimum, c.maximum);
            slider->setSingleStep(std::max(1, c.step));
            slider->setPageStep(std::max(1, c.step) * 10);
            slider->setValue(c.value);
            connect(slider, &QSlider::valueChanged, this, [this, id = c.id](int v) { applyControl(id, v); });
            editor = slider;
            break;
        }
        case SourceControl::Kind::Boolean: {
            auto* box = new QCheckBox(m_controlsArea);
            box->setChecked(c.value != 0);
            connect(box, &QCheckBox::toggled, this, [this, id = c.id](bool on) { applyControl(id, on ? 1 : 0); });
            editor = box;
            break;
        }
        case SourceControl::Kind::Menu: {
            auto* list = new QComboBox(m_controlsArea);
            list->addItems(c.menuItems);
            list->setCurrentIndex(c.value - c.minimum);
            connect(list, &QComboBox::activated, this,
                    [this, id = c.id, base = c.minimum](int i) { applyControl(id, base + i); });
            editor = list;
            break;
        }
        }
        editor->setObjectName(QStringLiteral("control-%1").arg(c.id));
        editor->setAccessibleName(c.name);
        auto* label = new QLabel(c.name, m_controlsArea);
        label->setBuddy(editor);
        m_controlsLayout->addRow(label, editor);
    }
}
