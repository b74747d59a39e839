#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "deviceexport.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The program's own options, read before the application object exists:
// the mode decides whether there is a window, and so which platform Qt
// starts. Qt's own options (-platform, -style and the like) are accepted
// here and left to Qt.
struct CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    enum Mode { Window, List, Watch, Help, Version, UsageError };

    // arguments as the process got them, the program's name first.
    static CommandLine parse(const QStringList &arguments);
    // The usage and option summary that --help prints. Needs the
    // application object.
    static QString helpText();

    Mode mode = Window;
    ExportFormat format = ExportFormat::Text;
    // How long --list listens after sending.
    int waitMs = 3000;
    // --watch: from the start of one round to the start of the next, and
    // how long to watch (0: until stopped).
    int intervalMs = 5000;
    qint64 forMs = 0;
    // What was wrong, for UsageError.
    QString error;
};

// Runs every mode but Window: prints the help, the version or the usage
// error, runs one search and prints the list, or watches the network and
// prints its events. Needs a QCoreApplication. Returns the exit status.
int runCommandLine(const CommandLine &commandLine);

// One watch event as --watch prints it: "HH:MM:SS event line" in local
// time, or a JSON object on one line with the keys time (ISO 8601, UTC),
// event and the device's columns. Ends with a line break.
class DeviceFinder;
struct DevicePlace;
QByteArray watchEventLine(ExportFormat format, const QDateTime &time, int event, const DeviceRecord &record,
                          const DevicePlace &place);

#endif // COMMANDLINE_H
