#pragma once

#include <optional>
#include <string>
#include <vector>

// The program's options, read from argv before Qt is started, so that
// --help and --version work where no display exists. Qt's own standard
// options (-platform, -display, -style, -qwindowgeometry...) are accepted
// here and left in argv for QApplication, which takes them.
struct CommandLine {
    enum class Action {
        Run,     // start the program
        Help,    // print the usage and end with 0
        Version, // print the version and end with 0
        Error,   // print `error` as one line and end with 2
    };

    Action action = Action::Run;
    bool headless = false; // no window; the state is reported on stderr
    std::optional<int> streamPort; // MJPEG port (0: none); unset: from the configuration
    std::optional<int> streamFps;  // most stream frames a second; unset: from the configuration
    std::optional<int> port; // web port; unset: Settings.ini, else from the clock
    std::string bindAddress; // listen address; empty: from the configuration
    std::string folder;      // working folder; empty: the usual choice
    std::string error;     // set with Action::Error
};

// Reads the arguments after the program name. Options are given once each;
// an unknown or malformed one makes the result an error.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);
CommandLine parseCommandLine(int argc, char** argv);

// The text of --help and of --version, each ending in a new line.
std::string usageText();
std::string versionLine();
