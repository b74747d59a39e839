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
    enum Mode { Window, List, Help, Version, UsageError };

    // arguments as the process got them, the program's name first.
    static CommandLine parse(const QStringList &arguments);
    // The usage and option summary that --help prints. Needs the
    // application object.
    static QString helpText();

    Mode mode = Window;
    ExportFormat format = ExportFormat::Text;
    // How long --list listens after sending.
    int waitMs = 3000;
    // What was wrong, for UsageError.
    QString error;
};

// Runs every mode but Window: prints the help, the version or the usage
// error, or runs one search and prints the list. Returns the exit status.
int runCommandLine(const CommandLine &commandLine);

#endif // COMMANDLINE_H
