#include "capture/v4l2/V4l2Controls.h"

#include <cstring>
#include <linux/videodev2.h>

namespace {

// Bounds for a driver that never ends its list or claims huge menus.
constexpr int kMaxControls = 512;
constexpr qint64 kMaxMenuItems = 256;

template <size_t N>
QString fixedText(const __u8 (&text)[N])
{
    const char* chars = reinterpret_cast<const char*>(text);
    return QString::fromUtf8(chars, qsizetype(strnlen(chars, N)));
}

// Only the entries the driver answers for: drivers leave gaps (values the
// hardware lacks), and a gap shown as its bare number would fail when chosen.
QList<SourceControl::MenuEntry> menuEntries(VideoDevice& device, int fd, const v4l2_queryctrl& control)
{
    QList<SourceControl::MenuEntry> entries;
    for (qint64 index = control.minimum; index <= control.maximum; ++index) {
        v4l2_querymenu entry{};
        entry.id = control.id;
        entry.index = quint32(index);
        if (device.ioctl(fd, VIDIOC_QUERYMENU, &entry) < 0)
            continue;
        const QString text = control.type == V4L2_CTRL_TYPE_INTEGER_MENU ? QString::number(entry.value)
                                                                          : fixedText(entry.name);
        entries.append({int(index), text});
    }
    return entries;
}

bool toSourceControl(VideoDevice& device, int fd, const v4l2_queryctrl& control, SourceControl* out)
{
    // Inactive ones are kept (marked so): another control's change can wake them.
    constexpr quint32 kUnusable = V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY;
    if (control.flags & kUnusable)
        return false;
    SourceControl result;
    result.active = !(control.flags & V4L2_CTRL_FLAG_INACTIVE);
    switch (control.type) {
    case V4L2_CTRL_TYPE_INTEGER:
        result.kind = SourceControl::Kind::Integer;
        break;
    case V4L2_CTRL_TYPE_BOOLEAN:
        result.kind = SourceControl::Kind::Boolean;
        break;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        if (control.minimum < 0 || control.maximum < control.minimum
            || qint64(control.maximum) - control.minimum >= kMaxMenuItems)
            return false;
        result.kind = SourceControl::Kind::Menu;
        result.menu = menuEntries(device, fd, control);
        if (result.menu.isEmpty())
            return false;
        break;
    default:
        return false;
    }
    result.id = control.id;
    result.name = fixedText(control.name);
    result.minimum = control.minimum;
    result.maximum = control.maximum;
    result.step = control.step > 0 ? control.step : 1;
    result.defaultValue = control.default_value;
    v4l2_control current{};
    current.id = control.id;
    result.value = device.ioctl(fd, VIDIOC_G_CTRL, &current) < 0 ? control.default_value : current.value;
    *out = result;
    return true;
}

} // namespace

QList<SourceControl> queryControls(VideoDevice& device, int fd)
{
    QList<SourceControl> controls;
    quint32 nextId = 0;
    for (int count = 0; count < kMaxControls; ++count) {
        v4l2_queryctrl control{};
        control.id = nextId | V4L2_CTRL_FLAG_NEXT_CTRL;
        if (device.ioctl(fd, VIDIOC_QUERYCTRL, &control) < 0)
            break;
        // The id must move on, or a broken driver would give the same one forever.
        const quint32 id = control.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        if (id <= nextId)
            break;
        nextId = id;
        control.id = id;
        SourceControl converted;
        if (toSourceControl(device, fd, control, &converted))
            controls.append(converted);
    }
    return controls;
}

int setControlValue(VideoDevice& device, int fd, quint32 id, int value)
{
    v4l2_control control{};
    control.id = id;
    control.value = value;
    const int result = device.ioctl(fd, VIDIOC_S_CTRL, &control);
    return result < 0 ? result : 0;
}
