#include "image/PictureOptions.h"
#include "shell/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Action = CommandLine::Action;

TEST(CommandLine, ReadsEachArgumentList)
{
    const struct {
        std::vector<std::string> arguments;
        Action action;
        bool headless;
        const char* error; // start of the message, for errors
    } rows[] = {
        {{}, Action::Run, false, ""},
        {{"--headless"}, Action::Run, true, ""},
        {{"--help"}, Action::Help, false, ""},
        {{"--version"}, Action::Version, false, ""},
        {{"--headless", "--version"}, Action::Version, true, ""},
        {{"--frobnicate"}, Action::Error, false, "unknown option '--frobnicate'"},
        {{"-h"}, Action::Help, false, ""},
        {{"-v", "--headless"}, Action::Version, true, ""},
        // Qt's own options are left for Qt, with their values.
        {{"-platform", "offscreen", "-style", "fusion", "--headless"}, Action::Run, true, ""},
        {{"-qwindowgeometry", "640x480+0+0", "-reverse", "-display", ":1"}, Action::Run, false, ""},
        {{"-platform", "offscreen", "--bogus"}, Action::Error, false, "unknown option '--bogus'"},
        {{"-bogus"}, Action::Error, false, "unknown option '-bogus'"},
        {{"headless"}, Action::Error, false, "unexpected argument 'headless'"},
        {{""}, Action::Error, false, "unexpected argument ''"},
        {{"--headless", "--headless"}, Action::Error, false, "option --headless given twice"},
        {{"--help", "-h"}, Action::Error, false, "option --help given twice"},
        {{"--headless=yes"}, Action::Error, false, "Unexpected value after '--headless'"},
        {{"--stream-port"}, Action::Error, false, "Missing value after '--stream-port'"},
        {{"--stream-port", "80x"}, Action::Error, false, "bad value '80x' for --stream-port"},
        {{"--stream-port=65536"}, Action::Error, false, "bad value '65536' for --stream-port"},
        {{"--stream-fps", "0"}, Action::Error, false, "bad value '0' for --stream-fps"},
        {{"--stream-fps=121"}, Action::Error, false, "bad value '121' for --stream-fps"},
        {{"--port", "0"}, Action::Error, false, "bad value '0' for --port"},
        {{"--port=32768"}, Action::Error, false, "bad value '32768' for --port"},
        {{"--bind="}, Action::Error, false, "bad value '' for --bind"},
        {{"--folder"}, Action::Error, false, "Missing value after '--folder'"},
        {{"--rotate", "45"}, Action::Error, false, "bad value '45' for --rotate: rotation '45' is not 0, 90, 180 or 270"},
        {{"--rotate=-90"}, Action::Error, false, "bad value '-90' for --rotate"},
        {{"--flip", "diagonal"}, Action::Error, false, "bad value 'diagonal' for --flip: flip 'diagonal' is not none"},
        {{"--stream-width", "10"}, Action::Error, false, "bad value '10' for --stream-width: stream width '10' is not 0 or 16"},
        {{"--stream-width=9000"}, Action::Error, false, "bad value '9000' for --stream-width"},
        {{"--caption"}, Action::Error, false, "Missing value after '--caption'"},
        // An error wins over a request for help that comes before it.
        {{"--help", "--bogus"}, Action::Error, false, "unknown option '--bogus'"},
    };
    for (const auto& row : rows) {
        std::string joined;
        for (const std::string& argument : row.arguments)
            joined += argument + " ";
        SCOPED_TRACE(joined);
        const CommandLine line = parseCommandLine(row.arguments);
        EXPECT_EQ(line.action, row.action);
        if (row.action == Action::Error) {
            EXPECT_EQ(line.error.rfind(row.error, 0), 0u) << line.error;
            EXPECT_EQ(line.error.find('\n'), std::string::npos) << "one line";
        } else {
            EXPECT_EQ(line.headless, row.headless);
        }
    }
    // A value comes as the next argument or after "=".
    EXPECT_EQ(parseCommandLine({"--stream-port", "8081", "--headless"}).streamPort, 8081);
    EXPECT_EQ(parseCommandLine({"--stream-port=0"}).streamPort, 0);
    EXPECT_FALSE(parseCommandLine({"--headless"}).streamPort.has_value());
    EXPECT_EQ(parseCommandLine({"--stream-fps=15"}).streamFps, 15);
    const CommandLine service = parseCommandLine({"--headless", "--folder", "cams/1", "--port=8080", "--bind", "::1"});
    EXPECT_EQ(service.action, Action::Run);
    EXPECT_EQ(service.folder, "cams/1");
    EXPECT_EQ(service.port, 8080);
    EXPECT_EQ(service.bindAddress, "::1");
    EXPECT_FALSE(parseCommandLine({}).port.has_value());
}

TEST(CommandLine, HelpListsEveryOption)
{
    const std::string help = usageText();
    for (const char* text : {"Running:", "Network:", "Information:", "--headless", "--folder DIR", "--port N",
                             "--bind ADDRESS", "--stream-port N", "--stream-fps N", "(default: [Stream] MaxFps of Talvex.conf, else 30)", "-h, --help", "-v, --version", "-platform",
                             "(default: [Server] Bind of Talvex.conf, else all)", "~/.config/Talvex/Talvex.conf",
                             "Picture:", "--rotate DEGREES", "--flip WHICH", "--caption TEXT", "--stream-width N",
                             "(default: [Picture] Rotate of Talvex.conf, else 0)"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
    EXPECT_EQ(versionLine().rfind("Talvex 2.7", 0), 0u);
}

TEST(CommandLine, PictureOptionsGoOverTheConfiguredOnes)
{
    const struct {
        std::vector<std::string> arguments;
        int rotation;
        const char* flip;
        int streamWidth;
    } rows[] = {
        {{"--rotate", "90", "--flip=vertical", "--stream-width", "640"}, 90, "vertical", 640},
        {{"--rotate=270", "--flip", "both"}, 270, "both", 320},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.front());
        const CommandLine line = parseCommandLine(row.arguments);
        ASSERT_EQ(line.action, Action::Run) << line.error;
        PictureOptions options;
        options.streamWidth = 320; // as if configured: kept where no flag says otherwise
        applyPictureOptions(line, options);
        EXPECT_EQ(options.rotation, row.rotation);
        EXPECT_EQ(flipText(options).toStdString(), row.flip);
        EXPECT_EQ(options.streamWidth, row.streamWidth);
        EXPECT_FALSE(options.captionOn);
    }
    PictureOptions captioned;
    applyPictureOptions(parseCommandLine({"--caption", "Hall %H:%M"}), captioned);
    EXPECT_TRUE(captioned.captionOn);
    EXPECT_EQ(captioned.caption.toStdString(), "Hall %H:%M");
}

} // namespace
