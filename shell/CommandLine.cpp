#include "shell/CommandLine.h"

#include <algorithm>
#include <functional>

namespace {

// One row per option: a new option is a new row (and a field of
// CommandLine). An option that takes a value reads it from the next
// argument or from "--name=value".
struct Option {
    const char* name;
    const char* valueName; // nullptr for a flag
    const char* help;
    std::function<bool(CommandLine&, const std::string& value)> apply;
};

const std::vector<Option>& options()
{
    static const std::vector<Option> table = {
        {"--headless", nullptr,
         "run without any window (same settings, snapshots and server);\n"
         "                      what the window would show goes to standard error",
         [](CommandLine& line, const std::string&) {
             line.headless = true;
             return true;
         }},
        {"--stream-port", "N",
         "serve the MJPEG stream on port N (0: no stream); overrides\n"
         "                      the configuration file for this run",
         [](CommandLine& line, const std::string& value) {
             if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
                 return false;
             const int port = std::stoi(value);
             if (port > 65535)
                 return false;
             line.streamPort = port;
             return true;
         }},
        {"--help", nullptr, "print this help and exit",
         [](CommandLine& line, const std::string&) {
             line.action = CommandLine::Action::Help;
             return true;
         }},
        {"--version", nullptr, "print the version and exit",
         [](CommandLine& line, const std::string&) {
             line.action = CommandLine::Action::Version;
             return true;
         }},
    };
    return table;
}

CommandLine failed(const std::string& message)
{
    CommandLine line;
    line.action = CommandLine::Action::Error;
    line.error = message;
    return line;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const Option* option = nullptr;
        for (const Option& candidate : options())
            if (name == candidate.name)
                option = &candidate;
        if (!option)
            return failed("unknown option '" + argument + "' (try --help)");
        for (const std::string& earlier : seen)
            if (earlier == name)
                return failed("option " + name + " given twice");
        seen.push_back(name);

        std::string value;
        if (option->valueName) {
            if (equals != std::string::npos)
                value = argument.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                return failed("option " + name + " needs a value");
        } else if (equals != std::string::npos) {
            return failed("option " + name + " takes no value");
        }
        if (!option->apply(line, value))
            return failed("bad value '" + value + "' for " + name);
    }
    return line;
}

CommandLine parseCommandLine(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return parseCommandLine(arguments);
}

std::string usageText()
{
    std::string text =
        "Usage: Talvex [option...]\n"
        "Live video from a camera as JPEG snapshots over a built-in web server.\n\n";
    for (const Option& option : options()) {
        std::string left = std::string("  ") + option.name;
        if (option.valueName)
            left += std::string(" ") + option.valueName;
        left.resize(std::max<std::size_t>(left.size() + 2, 22), ' ');
        text += left + option.help + "\n";
    }
    text += "\nSettings.ini, the web root root/ and the snapshots live in the program's folder,\n"
            "or in $XDG_DATA_HOME/Talvex when that folder is not writable.\n";
    return text;
}

std::string versionLine()
{
    return std::string("Talvex ") + TALVEX_VERSION + "\n";
}
