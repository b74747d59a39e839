// The Windows console companion: the command line alone, on the engine, Qt
// Core and Qt Network. cmd.exe and PowerShell wait for it and show what it
// prints, which they do not for the window's GUI-subsystem program.
#include "commandline.h"
#include "localetext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLocale>
#include <QStringList>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    CommandLine commandLine = CommandLine::parse(arguments);
    // There is no window here: without options it says how to use it.
    if (commandLine.mode == CommandLine::Window) {
        commandLine.mode = CommandLine::UsageError;
        commandLine.error = CommandLine::tr("Give an option: this program has no window.");
    }
    QCoreApplication app(argc, argv);
    if (commandLine.mode != CommandLine::Help && commandLine.mode != CommandLine::Version
        && commandLine.mode != CommandLine::UsageError)
        qDebug().noquote() << "System locale =" << localeDebugText(QLocale::system());
    return runCommandLine(commandLine);
}
