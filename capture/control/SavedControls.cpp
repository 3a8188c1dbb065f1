#include "capture/control/SavedControls.h"

#include "capture/control/CameraSettings.h"

#include <algorithm>

namespace {

const SourceControl* findControl(const QList<SourceControl>& controls, quint32 id)
{
    const auto found = std::find_if(controls.begin(), controls.end(), [id](const SourceControl& c) { return c.id == id; });
    return found == controls.end() ? nullptr : &*found;
}

bool acceptable(const SourceControl& control, int value)
{
    switch (control.kind) {
    case SourceControl::Kind::Integer:
        return value >= control.minimum && value <= control.maximum;
    case SourceControl::Kind::Boolean:
        return value == 0 || value == 1;
    case SourceControl::Kind::Menu:
        return std::any_of(control.menu.begin(), control.menu.end(),
                           [value](const SourceControl::MenuEntry& e) { return e.value == value; });
    }
    return false;
}

// Sets the values in two rounds: a value refused while an automatic mode
// was still on (exposure before "Exposure, Auto" is manual) goes through
// once the mode has been set. Returns those refused both times.
QMap<quint32, int> setInTwoRounds(VideoSource& source, QMap<quint32, int> values)
{
    for (int round = 0; round < 2 && !values.isEmpty(); ++round) {
        const QList<SourceControl> now = source.controls();
        QMap<quint32, int> refused;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            const SourceControl* control = findControl(now, it.key());
            if (control && control->value == it.value())
                continue;
            if (!source.setControl(it.key(), it.value()))
                refused.insert(it.key(), it.value());
        }
        values = refused;
    }
    return values;
}

} // namespace

void applySavedControls(VideoSource& source, const QString& id, const QString& name, const NoticeSink& notice)
{
    const QMap<quint32, int> kept = CameraSettings::controls(id);
    if (kept.isEmpty() || !source.isOpen())
        return;
    const auto drop = [&](quint32 control, const QString& why) {
        CameraSettings::dropControl(id, control);
        notice(QStringLiteral("camera %1: saved %2, dropped").arg(name, why));
    };
    const QList<SourceControl> controls = source.controls();
    QMap<quint32, int> usable;
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        const SourceControl* control = findControl(controls, it.key());
        if (!control)
            drop(it.key(), QStringLiteral("control 0x%1 = %2 is not offered").arg(it.key(), 0, 16).arg(it.value()));
        else if (!acceptable(*control, it.value()))
            drop(it.key(), QStringLiteral("%1 = %2 is out of range").arg(control->name).arg(it.value()));
        else
            usable.insert(it.key(), it.value());
    }
    const QMap<quint32, int> refused = setInTwoRounds(source, usable);
    if (refused.isEmpty() || !source.isOpen())
        return;
    const QList<SourceControl> after = source.controls();
    for (auto it = refused.cbegin(); it != refused.cend(); ++it) {
        const SourceControl* control = findControl(after, it.key());
        if (control && !control->active)
            continue;
        drop(it.key(), QStringLiteral("%1 = %2 was refused by the driver")
                           .arg(control ? control->name : QString::number(it.key(), 16))
                           .arg(it.value()));
    }
}

bool resetControls(VideoSource& source, const QString& id)
{
    CameraSettings::clearControls(id);
    QMap<quint32, int> defaults;
    for (const SourceControl& control : source.controls())
        defaults.insert(control.id, control.defaultValue);
    return setInTwoRounds(source, defaults).isEmpty();
}
