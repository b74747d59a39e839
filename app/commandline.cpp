#include "commandline.h"

#include "mainwindow.h"
#include "projectinfo.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace {

struct Options
{
    QCommandLineOption list{QStringLiteral("list"),
                            CommandLine::tr("Search once without a window and print the devices found.")};
    QCommandLineOption format{QStringLiteral("format"),
                              CommandLine::tr("Print the list as text (the entries' lines, the default), csv or "
                                              "json."),
                              QStringLiteral("text|csv|json")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            CommandLine::tr("Listen for answers this many milliseconds after sending (default "
                                            "3000)."),
                            QStringLiteral("MS")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, CommandLine::tr("Show this help.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               CommandLine::tr("Show the program's version.")};
};

// Qt's own options: they reach the application object unchanged, which
// takes those it knows. Accepted here in both modes, and not listed in
// the help.
void addQtOptions(QCommandLineParser *parser)
{
    const char *const withValue[] = {"platform",
                                     "platformpluginpath",
                                     "platformtheme",
                                     "plugin",
                                     "qwindowgeometry",
                                     "qwindowtitle",
                                     "qwindowicon",
                                     "session",
                                     "style",
                                     "stylesheet",
                                     "display",
                                     "geometry",
                                     "title",
                                     "icon",
                                     "name",
                                     "visual",
                                     "ncols",
                                     "cmap",
                                     "im",
                                     "inputstyle",
                                     "qmljsdebugger"};
    const char *const flags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser->addOption(option);
    }
}

void setUp(QCommandLineParser *parser, const Options &options)
{
    parser->setApplicationDescription(
        CommandLine::tr("Finds devices on the local IPv4 networks. Without options it opens its window."));
    // Qt's options are single words after one dash: -platform, -style.
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser->addOptions({options.list, options.format, options.wait, options.help, options.version});
    addQtOptions(parser);
}

CommandLine usageError(const QString &error)
{
    CommandLine commandLine;
    commandLine.mode = CommandLine::UsageError;
    commandLine.error = error;
    return commandLine;
}

// Writes the bytes as they are: a CSV's CRLF must not become CR CR LF in
// a Windows text stream.
bool writeOut(FILE *stream, const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    _setmode(_fileno(stream), _O_BINARY);
#endif
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size())
        && std::fflush(stream) == 0;
}

int runList(const CommandLine &commandLine)
{
    MainWindow window(nullptr, MainWindow::NoAutomaticSearch);
    window.search();
    if (!window.probesSent()) {
        writeOut(stderr, CommandLine::tr("No usable network address: nothing was sent.\n").toLocal8Bit());
        return 1;
    }
    QTimer::singleShot(commandLine.waitMs, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    if (!writeOut(stdout, DeviceExport::document(commandLine.format, window.listedDevices(), window.searchedAt()))) {
        writeOut(stderr, CommandLine::tr("Could not write the list.\n").toLocal8Bit());
        return 1;
    }
    return 0;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    const Options options;
    QCommandLineParser parser;
    setUp(&parser, options);
    if (!parser.parse(arguments))
        return usageError(parser.errorText());

    CommandLine commandLine;
    if (parser.isSet(options.help)) {
        commandLine.mode = Help;
        return commandLine;
    }
    if (parser.isSet(options.version)) {
        commandLine.mode = Version;
        return commandLine;
    }
    if (!parser.isSet(options.list)) {
        if (parser.isSet(options.format) || parser.isSet(options.wait))
            return usageError(tr("--format and --wait go with --list."));
        // Without options of its own the program is the window, as it
        // always was, whatever else the command line holds.
        return commandLine;
    }

    commandLine.mode = List;
    if (!parser.positionalArguments().isEmpty())
        return usageError(tr("Unexpected argument \"%1\".").arg(parser.positionalArguments().first()));
    if (parser.isSet(options.format)) {
        const QString format = parser.value(options.format);
        if (format == QLatin1String("csv"))
            commandLine.format = ExportFormat::Csv;
        else if (format == QLatin1String("json"))
            commandLine.format = ExportFormat::Json;
        else if (format != QLatin1String("text"))
            return usageError(tr("Unknown format \"%1\": use text, csv or json.").arg(format));
    }
    if (parser.isSet(options.wait)) {
        const QString wait = parser.value(options.wait);
        bool ok = false;
        commandLine.waitMs = wait.toInt(&ok);
        if (!ok || commandLine.waitMs < 0 || !wait.at(0).isDigit())
            return usageError(tr("Bad value \"%1\" for --wait: give milliseconds, 0 or more.").arg(wait));
    }
    return commandLine;
}

QString CommandLine::helpText()
{
    const Options options;
    QCommandLineParser parser;
    setUp(&parser, options);
    return parser.helpText();
}

int runCommandLine(const CommandLine &commandLine)
{
    switch (commandLine.mode) {
    case CommandLine::Help:
        return writeOut(stdout, CommandLine::helpText().toLocal8Bit()) ? 0 : 1;
    case CommandLine::Version:
        return writeOut(stdout,
                        QStringLiteral("%1 %2\n")
                            .arg(QString::fromLatin1(DeviceExport::ProgramName), QStringLiteral(NODESPOTTER_VERSION))
                            .toLocal8Bit())
            ? 0
            : 1;
    case CommandLine::UsageError:
        writeOut(stderr, (commandLine.error + QLatin1String("\n\n") + CommandLine::helpText()).toLocal8Bit());
        return 2;
    case CommandLine::List:
        return runList(commandLine);
    case CommandLine::Window:
        break;
    }
    return 0;
}
