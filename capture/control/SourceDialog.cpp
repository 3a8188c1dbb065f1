#include "capture/control/SourceDialog.h"

#include "capture/control/CaptureControl.h"
#include "capture/control/ControlEditor.h"
#include "capture/control/SourceListDelegate.h"
#include "shell/chrome/SkinnedDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

SourceDialog::SourceDialog(CaptureControl& cam, QWidget* parent)
    : QDialog(parent)
    , m_cam(cam)
    , m_choices(cam.catalog().choices())
{
    setWindowTitle(tr("Video Source"));
    Skin::applyToDialog(this);

    auto* sourceLabel = new QLabel(tr("Source:"), this);
    m_sourceList = new QComboBox(this);
    m_sourceList->setObjectName(QStringLiteral("sourceList"));
    m_sourceList->setAccessibleName(tr("Source"));
    m_sourceList->setAccessibleDescription(tr("The device the video comes from"));
    sourceLabel->setBuddy(m_sourceList);
    m_sourceList->setItemDelegate(new SourceListDelegate(m_sourceList));
    const QString current = cam.sourceId();
    int currentIndex = -1;
    for (int i = 0; i < m_choices.size(); ++i) {
        const SourceChoice& c = m_choices[i];
        m_sourceList->addItem(c.name, c.id);
        m_sourceList->setItemData(i, c.node, SourceListDelegate::NodeRole);
        m_sourceList->setItemData(i, c.node, Qt::ToolTipRole);
        if (c.id == current)
            currentIndex = i;
    }
    if (currentIndex < 0 && cam.source()) {
        // The source in use has gone from the list (a camera not plugged in): still name it.
        m_sourceList->addItem(cam.source()->displayName(), current);
        m_choices.append({current, cam.source()->displayName(), {}});
        currentIndex = m_choices.size() - 1;
    }
    m_sourceList->setCurrentIndex(currentIndex);
    connect(m_sourceList, &QComboBox::activated, this, &SourceDialog::chooseSource);

    // The node of the chosen camera, small: the name is what the user knows it by.
    m_node = new QLabel(this);
    m_node->setObjectName(QStringLiteral("node"));
    m_node->setFont(smallNodeFont(m_node->font()));
    m_node->setAccessibleName(tr("Device node"));
    m_node->setAccessibleDescription(tr("Where the chosen camera is now; it may change when cameras are plugged in"));
    showNode();

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    m_note->hide();

    // A camera may have forty controls or more: they scroll, and the dialog
    // keeps a size that fits the screen.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_controlsArea = new QWidget(m_scroll);
    m_controlsLayout = new QFormLayout(m_controlsArea);
    m_controlsLayout->setContentsMargins(0, 0, 0, 0);
    m_scroll->setWidget(m_controlsArea);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_reset = buttons->addButton(tr("Reset to defaults"), QDialogButtonBox::ResetRole);
    m_reset->setObjectName(QStringLiteral("reset"));
    m_reset->setToolTip(tr("Set every control of this camera back to the driver's default"));
    m_reset->setAccessibleName(m_reset->text().remove(QLatin1Char('&')));
    m_reset->setAccessibleDescription(m_reset->toolTip());
    connect(m_reset, &QPushButton::clicked, this, &SourceDialog::resetControls);

    auto* top = new QHBoxLayout;
    top->addWidget(sourceLabel);
    top->addWidget(m_sourceList, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_node, 0, Qt::AlignRight);
    layout->addWidget(m_note);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(buttons);

    buildControls(cam.source() ? cam.source()->controls() : QList<SourceControl>());
}

bool SourceDialog::chooseSource(int index)
{
    if (index < 0 || index >= m_choices.size())
        return false;
    const bool ok = m_cam.selectSource(m_choices[index].id);
    showNote(ok ? QString() : m_cam.errorString());
    // On failure the list goes back to the source still in use.
    m_sourceList->setCurrentIndex(m_sourceList->findData(m_cam.sourceId()));
    showNode();
    refreshControls();
    return ok;
}

void SourceDialog::showNode()
{
    const QString node = m_sourceList->currentData(SourceListDelegate::NodeRole).toString();
    m_node->setText(node);
    m_node->setToolTip(node);
    m_node->setVisible(!node.isEmpty());
}

bool SourceDialog::resetControls()
{
    const bool ok = m_cam.resetSourceControls();
    showNote(ok ? QString() : tr("The camera kept some of its values."));
    refreshControls();
    return ok;
}

bool SourceDialog::applyControl(quint32 id, int value)
{
    const bool ok = m_cam.setSourceControl(id, value);
    if (ok) {
        showNote(QString());
    } else {
        auto known = std::find_if(m_controls.cbegin(), m_controls.cend(),
                                  [id](const SourceControl& c) { return c.id == id; });
        const QString name = known != m_controls.cend() ? known->name : tr("The setting");
        showNote(tr("%1 could not be changed; it shows the value the camera kept.").arg(name));
    }
    // One control can switch others on or off or move their values (an
    // automatic mode), and a refused one must show what the camera holds.
    refreshControls();
    return ok;
}

void SourceDialog::showNote(const QString& text)
{
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
}

void SourceDialog::refreshControls()
{
    VideoSource* source = m_cam.source();
    const QList<SourceControl> controls = source ? source->controls() : QList<SourceControl>();
    bool sameShape = controls.size() == m_controls.size() && m_editors.size() == m_controls.size();
    for (qsizetype i = 0; sameShape && i < controls.size(); ++i)
        sameShape = sameEditorShape(controls[i], m_controls[i]);
    if (!sameShape) {
        buildControls(controls);
        return;
    }
    // The editors stay: one of them may be the slider the user is dragging.
    m_controls = controls;
    for (qsizetype i = 0; i < controls.size(); ++i) {
        showControlValue(m_editors[i], controls[i]);
        m_controlsLayout->setRowVisible(m_editors[i], controls[i].active);
    }
}

void SourceDialog::clearControls()
{
    // Deleted later, not now: this may run inside a signal of one of them.
    const auto drop = [](QLayoutItem* item) {
        if (!item)
            return;
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    };
    while (m_controlsLayout->rowCount() > 0) {
        const QFormLayout::TakeRowResult row = m_controlsLayout->takeRow(0);
        drop(row.labelItem);
        drop(row.fieldItem);
    }
    m_controls.clear();
    m_editors.clear();
}

void SourceDialog::buildControls(const QList<SourceControl>& controls)
{
    clearControls();
    if (controls.isEmpty()) {
        m_controlsLayout->addRow(new QLabel(tr("This source has no settings."), m_controlsArea));
        return;
    }
    for (const SourceControl& c : controls) {
        QWidget* editor = createControlEditor(c, m_controlsArea, [this, id = c.id](int v) { applyControl(id, v); });
        auto* label = new QLabel(c.name, m_controlsArea);
        label->setBuddy(editor);
        m_controlsLayout->addRow(label, editor);
        m_controlsLayout->setRowVisible(editor, c.active);
        m_editors.append(editor);
    }
    m_controls = controls;
    // Wide enough for the editors and the vertical scroll bar: only the
    // height scrolls.
    m_scroll->setMinimumWidth(m_controlsArea->sizeHint().width() + m_scroll->verticalScrollBar()->sizeHint().width());
}
