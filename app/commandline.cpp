#include "commandline.h"

#include "devicefinder.h"
#include "projectinfo.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
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
    QCommandLineOption watch{QStringLiteral("watch"),
                             CommandLine::tr("Search in rounds without a window and print one line per event: "
                                             "found, offline, back, changed, conflict.")};
    QCommandLineOption interval{QStringLiteral("interval"),
                                CommandLine::tr("With --watch: seconds from the start of one round to the start "
                                                "of the next, 3 or more (default 5)."),
                                QStringLiteral("SECONDS")};
    QCommandLineOption forTime{QStringLiteral("for"),
                               CommandLine::tr("With --watch: stop after this many seconds (default: run until "
                                               "Ctrl+C)."),
                               QStringLiteral("SECONDS")};
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
    parser->addOptions({options.list, options.watch, options.format, options.wait, options.interval, options.forTime,
                        options.help, options.version});
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
    DeviceFinder finder;
    finder.find();
    if (!finder.probesSentOk()) {
        writeOut(stderr, CommandLine::tr("No usable network address: nothing was sent.\n").toLocal8Bit());
        return 1;
    }
    QTimer::singleShot(commandLine.waitMs, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    if (!writeOut(stdout, DeviceExport::document(commandLine.format, finder.listedDevices(), finder.searchedAt()))) {
        writeOut(stderr, CommandLine::tr("Could not write the list.\n").toLocal8Bit());
        return 1;
    }
    return 0;
}

// Ctrl+C and SIGTERM (Ctrl+Break and closing the console on Windows) ask the
// event loop to quit, so that a watch ends like one that ran its time.
#ifdef Q_OS_WIN
BOOL WINAPI consoleControl(DWORD type)
{
    // Runs on a thread of its own: posting an event is safe from there.
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
    // Windows ends the process when this returns from a closing console;
    // the event loop gets a moment to finish first.
    if (type == CTRL_CLOSE_EVENT)
        Sleep(2000);
    return TRUE;
}

void quitOnSignals()
{
    SetConsoleCtrlHandler(consoleControl, TRUE);
}
#else
int signalSockets[2] = {-1, -1};

void onSignal(int)
{
    // The one thing a handler may safely do: write a byte, read by the
    // event loop.
    const char byte = 1;
    const ssize_t written = ::write(signalSockets[0], &byte, 1);
    Q_UNUSED(written)
}

void quitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

int runWatch(const CommandLine &commandLine)
{
    DeviceFinder finder;
    finder.setWatchInterval(commandLine.intervalMs);
    bool writeFailed = false;
    QObject::connect(
        &finder, &DeviceFinder::deviceEvent, &finder,
        [&finder, &commandLine, &writeFailed](DeviceFinder::Event event, int index) {
            // Where the device sits as the system tells it now.
            const DeviceRecord &record = finder.record(index);
            const DevicePlace place = DeviceLocator(SystemNeighbourTable()).place(record);
            if (!writeOut(stdout,
                          watchEventLine(commandLine.format, QDateTime::currentDateTime(), int(event), record, place))
                && !writeFailed) {
                writeFailed = true;
                QCoreApplication::quit();
            }
        });
    finder.setWatching(true);
    if (!finder.probesSentOk()) {
        writeOut(stderr, CommandLine::tr("No usable network address: nothing was sent.\n").toLocal8Bit());
        return 1;
    }
    quitOnSignals();
    if (commandLine.forMs > 0)
        QTimer::singleShot(commandLine.forMs, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    if (writeFailed) {
        writeOut(stderr, CommandLine::tr("Could not write the events.\n").toLocal8Bit());
        return 1;
    }
    return 0;
}

// Seconds as the watch options take them: a number, with a fraction if
// need be; -1 when it is none.
qint64 milliseconds(const QString &seconds)
{
    bool ok = false;
    const double value = seconds.toDouble(&ok);
    if (!ok || seconds.isEmpty() || !seconds.at(0).isDigit() || value > 1e9)
        return -1;
    return qint64(value * 1000 + 0.5);
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
    const bool watch = parser.isSet(options.watch);
    if (parser.isSet(options.list) && watch)
        return usageError(tr("--list and --watch do not go together."));
    if (!parser.isSet(options.list) && !watch) {
        if (parser.isSet(options.format) || parser.isSet(options.wait))
            return usageError(tr("--format and --wait go with --list."));
        if (parser.isSet(options.interval) || parser.isSet(options.forTime))
            return usageError(tr("--interval and --for go with --watch."));
        // Without options of its own the program is the window, as it
        // always was, whatever else the command line holds.
        return commandLine;
    }

    commandLine.mode = watch ? Watch : List;
    if (watch && parser.isSet(options.wait))
        return usageError(tr("--wait goes with --list."));
    if (!watch && (parser.isSet(options.interval) || parser.isSet(options.forTime)))
        return usageError(tr("--interval and --for go with --watch."));
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
        if (watch && commandLine.format == ExportFormat::Csv)
            return usageError(tr("--watch prints text or json, not csv."));
    }
    if (parser.isSet(options.interval)) {
        // A device may take up to 2 s to answer; a shorter round would call
        // it offline while its answer is on its way.
        const QString interval = parser.value(options.interval);
        const qint64 ms = milliseconds(interval);
        if (ms < 3000)
            return usageError(tr("Bad value \"%1\" for --interval: give seconds, 3 or more.").arg(interval));
        commandLine.intervalMs = int(qMin<qint64>(ms, 86400000));
    }
    if (parser.isSet(options.forTime)) {
        const QString forTime = parser.value(options.forTime);
        commandLine.forMs = milliseconds(forTime);
        if (commandLine.forMs <= 0)
            return usageError(tr("Bad value \"%1\" for --for: give seconds, more than 0.").arg(forTime));
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
    case CommandLine::Watch:
        return runWatch(commandLine);
    case CommandLine::Window:
        break;
    }
    return 0;
}

QByteArray watchEventLine(ExportFormat format, const QDateTime &time, int event, const DeviceRecord &record,
                          const DevicePlace &place)
{
    const QByteArray name = QByteArray(QMetaEnum::fromType<DeviceFinder::Event>().valueToKey(event)).toLower();
    if (format == ExportFormat::Json) {
        QJsonObject object;
        object.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODate));
        object.insert(QStringLiteral("event"), QString::fromLatin1(name));
        const QVector<QJsonValue> values = DeviceExport::fields(record, place);
        for (int i = 0; i < values.size(); ++i)
            object.insert(DeviceExport::columns().at(i), values.at(i));
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }
    return (time.toLocalTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + QString::fromLatin1(name)
            + QLatin1Char(' ') + DeviceExport::oneLine(record.line()) + QLatin1Char('\n'))
        .toUtf8();
}
