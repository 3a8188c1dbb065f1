#pragma once

#include <QString>
#include <cstdint>

// The run-time state of the main window. Every subsystem works on this one
// record (owned by frmMain for the whole run); the first six fields are the
// public ones that other windows read. All fields are touched on the UI
// thread only. Start values are those of a window that has not loaded yet.
struct MainState {
    QString TempPath;       // executable's directory, no trailing separator
    int16_t My_PORT = 0;    // port the listener binds now; +1 on each retry
    QString My_IP;          // listener's address text; empty until StartServer
    int16_t quality = 0;    // JPEG quality in percent
    int16_t rate = 0;       // snapshots per second
    QString keepTb;         // preview mode: "True", "False" or "0"

    QString imageName;      // "VelmarixCamImage" after load
    QString imageNameTb;    // "VelmarixCamImage_tb" after load
    int32_t lastSlot = 0;   // slot given to the last accepted connection
    int16_t cfgPort = 0;    // port from Settings.ini; below 1 means automatic
    int16_t portTries = 0;  // listener retries so far; 5 stops retrying
    int16_t maxSlots = 0;   // connection slots created on load (100)
    int16_t tbSeconds = 0;  // ticks of the thumbnail timer since the last thumbnail
    bool sliUp = false;     // direction of a held quality/rate button
    QString sliName;        // "quality" or "rate" while a button is held
};
