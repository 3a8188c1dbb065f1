#include "shell/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace {

// One row per option: a new option is a new row (and a field of
// CommandLine). A value comes as the next argument or after "=".
struct Option {
    QStringList names;     // the first is the one shown in messages
    const char* valueName; // nullptr for a flag
    const char* help;
    const char* defaultText; // nullptr: none shown
    const char* group;
    std::function<bool(CommandLine&, const QString& value)> apply;
};

std::optional<int> portNumber(const QString& value)
{
    bool ok = false;
    const int port = value.toInt(&ok);
    if (!ok || value.size() > 5 || value.contains(QLatin1Char('+')) || port < 0 || port > 65535)
        return std::nullopt;
    return port;
}

const char* const kRunning = "Running";
const char* const kNetwork = "Network";
const char* const kInformation = "Information";

const std::vector<Option>& options()
{
    static const std::vector<Option> table = {
        {{"headless"}, nullptr,
         "run without any window (same settings and server); what\n"
         "the window would show goes to standard error; SIGHUP\n"
         "then reloads Talvex.conf",
         "with a window", kRunning,
         [](CommandLine& line, const QString&) {
             line.headless = true;
             return true;
         }},
        {{"stream-port"}, "N",
         "serve the MJPEG stream on port N (0: no stream) for this\n"
         "run",
         "[Stream] Port of Talvex.conf, else none", kNetwork,
         [](CommandLine& line, const QString& value) {
             line.streamPort = portNumber(value);
             return line.streamPort.has_value();
         }},
        {{"stream-fps"}, "N",
         "send at most N stream frames a second (1-120) for this\n"
         "run",
         "[Stream] MaxFps of Talvex.conf, else 30", kNetwork,
         [](CommandLine& line, const QString& value) {
             bool ok = false;
             const int fps = value.toInt(&ok);
             if (ok && fps >= 1 && fps <= 120 && !value.contains(QLatin1Char('+')))
                 line.streamFps = fps;
             return line.streamFps.has_value();
         }},
        {{"folder"}, "DIR",
         "work in DIR: its Settings.ini, Talvex.conf and root/;\n"
         "one Talvex may run per folder",
         "program folder, else $XDG_DATA_HOME/Talvex", kRunning,
         [](CommandLine& line, const QString& value) {
             line.folder = value.toStdString();
             return !value.isEmpty();
         }},
        {{"port"}, "N",
         "serve the web pages on port N (1-32767) for this run, that\n"
         "port only (Settings.ini keeps its own value)",
         "line 4 of Settings.ini, else from the clock", kNetwork,
         [](CommandLine& line, const QString& value) {
             line.port = portNumber(value);
             // The program keeps the web port as Settings.ini does: 16 bits, signed.
             return line.port.has_value() && *line.port > 0 && *line.port <= 32767;
         }},
        {{"bind"}, "ADDRESS",
         "listen on ADDRESS only (both ports): 127.0.0.1, ::1...",
         "[Server] Bind of Talvex.conf, else all", kNetwork,
         [](CommandLine& line, const QString& value) {
             line.bindAddress = value.toStdString();
             return !value.isEmpty();
         }},
        {{"help", "h"}, nullptr, "print this help and exit", nullptr, kInformation,
         [](CommandLine& line, const QString&) {
             if (line.action == CommandLine::Action::Run)
                 line.action = CommandLine::Action::Help;
             return true;
         }},
        {{"version", "v"}, nullptr, "print the version and exit", nullptr, kInformation,
         [](CommandLine& line, const QString&) {
             if (line.action == CommandLine::Action::Run)
                 line.action = CommandLine::Action::Version;
             return true;
         }},
    };
    return table;
}

// What QGuiApplication and QApplication take out of argv themselves; they
// are accepted and left for them. Those that take a value list its name.
const std::vector<std::pair<const char*, bool>>& qtOptions()
{
    static const std::vector<std::pair<const char*, bool>> table = {
        {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
        {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"display", true},
        {"geometry", true}, {"title", true}, {"name", true}, {"style", true}, {"stylesheet", true},
        {"session", true}, {"qmljsdebugger", true}, {"reverse", false}, {"widgetcount", false},
        {"nograb", false}, {"dograb", false}, {"sync", false}, {"testability", false},
    };
    return table;
}

CommandLine failed(const QString& message)
{
    CommandLine line;
    line.action = CommandLine::Action::Error;
    line.error = message.toStdString();
    return line;
}

// The argument as given for an unknown option `name` (which Qt reports bare).
QString givenAs(const QStringList& arguments, const QString& name)
{
    for (const QString& argument : arguments) {
        QString bare = argument.section(QLatin1Char('='), 0, 0);
        while (bare.startsWith(QLatin1Char('-')))
            bare.remove(0, 1);
        if (bare == name && argument.startsWith(QLatin1Char('-')))
            return argument;
    }
    return name;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    QStringList list{QStringLiteral("Talvex")};
    for (const std::string& argument : arguments)
        list << QString::fromLocal8Bit(argument.c_str());

    QCommandLineParser parser;
    // "-platform" as Qt spells its own options; "--headless" as ever.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& option : options())
        parser.addOption(option.valueName ? QCommandLineOption(option.names, {}, QString::fromLatin1(option.valueName))
                                          : QCommandLineOption(option.names));
    for (const auto& [name, takesValue] : qtOptions()) {
        QCommandLineOption option(QString::fromLatin1(name), {}, takesValue ? QStringLiteral("value") : QString());
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(list)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return failed(QStringLiteral("unknown option '%1' (try --help)").arg(givenAs(list.mid(1), unknown.first())));
        return failed(parser.errorText().remove(QLatin1Char('\n')));
    }
    if (!parser.positionalArguments().isEmpty())
        return failed(QStringLiteral("unexpected argument '%1' (try --help)").arg(parser.positionalArguments().first()));

    CommandLine line;
    const QStringList found = parser.optionNames();
    for (const Option& option : options()) {
        const auto count = std::count_if(found.begin(), found.end(),
                                         [&](const QString& name) { return option.names.contains(name); });
        if (count == 0)
            continue;
        if (count > 1)
            return failed(QStringLiteral("option --%1 given twice").arg(option.names.first()));
        const QString value = option.valueName ? parser.value(option.names.first()) : QString();
        if (!option.apply(line, value))
            return failed(QStringLiteral("bad value '%1' for --%2").arg(value, option.names.first()));
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
    constexpr std::size_t kColumn = 24;
    std::string text =
        "Usage: Talvex [option...]\n"
        "Live video from a camera as JPEG snapshots over a built-in web server.\n";
    for (const char* group : {kRunning, kNetwork, kInformation}) {
        text += std::string("\n") + group + ":\n";
        for (const Option& option : options()) {
            if (option.group != group)
                continue;
            std::string left = "  --" + option.names.first().toStdString();
            if (option.names.size() > 1)
                left = "  -" + option.names.at(1).toStdString() + ", --" + option.names.first().toStdString();
            if (option.valueName)
                left += std::string(" ") + option.valueName;
            left.resize(std::max<std::size_t>(left.size() + 2, kColumn), ' ');
            std::string help = option.help;
            if (option.defaultText)
                help += std::string("\n(default: ") + option.defaultText + ")";
            for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
                help.insert(at + 1, kColumn, ' ');
            text += left + help + "\n";
        }
    }
    text += "\nQt's standard options (-platform, -display, -style, -qwindowgeometry...) are\n"
            "passed on to Qt.\n"
            "\nFiles:\n"
            "  Settings.ini, root/   in the working folder: the program's folder, or\n"
            "                        $XDG_DATA_HOME/Talvex (~/.local/share/Talvex) when that\n"
            "                        folder is not writable, or the --folder DIR\n"
            "  Talvex.conf           ~/.config/Talvex/Talvex.conf ($XDG_CONFIG_HOME), or\n"
            "                        DIR/Talvex.conf with --folder\n";
    return text;
}

std::string versionLine()
{
    return std::string("Talvex ") + TALVEX_VERSION + "\n";
}
