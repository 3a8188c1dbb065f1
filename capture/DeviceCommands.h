#pragma once

class CaptureControl;
class QLabel;

// The three device buttons of the main window. The view state lives only in
// the caption of `lblVideoInOut`: "Video Out" while the live view is on (it
// names the view the button switches to), "Video In" while the JPEG is shown.
class DeviceCommands {
public:
    DeviceCommands(CaptureControl& cam, QLabel& lblVideoInOut);

    void videoFormat();
    void videoSource();
    void videoInOut();

private:
    CaptureControl& m_cam;
    QLabel& m_lblVideoInOut;
};
