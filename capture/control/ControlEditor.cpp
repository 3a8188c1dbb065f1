#include "capture/control/ControlEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

QWidget* createControlEditor(const SourceControl& control, QWidget* parent, std::function<void(int)> changed)
{
    QWidget* editor = nullptr;
    switch (control.kind) {
    case SourceControl::Kind::Integer: {
        auto* slider = new QSlider(Qt::Horizontal, parent);
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(std::max(1, control.step));
        slider->setPageStep(std::max(1, control.step) * 10);
        QObject::connect(slider, &QSlider::valueChanged, slider, std::move(changed));
        editor = slider;
        break;
    }
    case SourceControl::Kind::Boolean: {
        auto* box = new QCheckBox(parent);
        QObject::connect(box, &QCheckBox::toggled, box, [changed = std::move(changed)](bool on) { changed(on ? 1 : 0); });
        editor = box;
        break;
    }
    case SourceControl::Kind::Menu: {
        auto* list = new QComboBox(parent);
        for (const SourceControl::MenuEntry& entry : control.menu)
            list->addItem(entry.text, entry.value);
        QObject::connect(list, &QComboBox::activated, list, [list, changed = std::move(changed)](int index) {
            if (index >= 0)
                changed(list->itemData(index).toInt());
        });
        editor = list;
        break;
    }
    }
    editor->setObjectName(QStringLiteral("control-%1").arg(control.id));
    editor->setAccessibleName(control.name);
    showControlValue(editor, control);
    return editor;
}

void showControlValue(QWidget* editor, const SourceControl& control)
{
    const QSignalBlocker quiet(editor);
    if (auto* slider = qobject_cast<QSlider*>(editor))
        slider->setValue(control.value);
    else if (auto* box = qobject_cast<QCheckBox*>(editor))
        box->setChecked(control.value != 0);
    else if (auto* list = qobject_cast<QComboBox*>(editor))
        list->setCurrentIndex(list->findData(control.value));
}

bool sameEditorShape(const SourceControl& a, const SourceControl& b)
{
    return a.id == b.id && a.kind == b.kind && a.minimum == b.minimum && a.maximum == b.maximum
           && a.step == b.step && a.menu == b.menu;
}
