#ifndef CLIMODES_H
#define CLIMODES_H

#include "commandline.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>

class QHostAddress;
struct DetailsRow;
struct DeviceDetails;

// The modes of the command line, one file each, and what they share. Each
// run function returns the process's exit status.
namespace Cli {

int runList(const CommandLine &commandLine);
int runWatch(const CommandLine &commandLine);
int runAddressServer(const CommandLine &commandLine);
int runDetails(const CommandLine &commandLine);
int runSetIp(const CommandLine &commandLine);
int runModules(const CommandLine &commandLine);
int runInventory(const CommandLine &commandLine);
int runRequest(const CommandLine &commandLine);

// Writes the bytes as they are: a CSV's CRLF must not become CR CR LF in
// a Windows text stream.
bool writeOut(FILE *stream, const QByteArray &bytes);
// The text and a line break on standard error.
void writeError(const QString &text);
// Ctrl+C and SIGTERM (Ctrl+Break and closing the console on Windows) ask the
// event loop to quit, so that a watch ends like one that ran its time.
void quitOnSignals();

// The rows as the command line prints them: headings alone, names in a
// column.
QByteArray detailsText(const QList<DetailsRow> &rows);
// The warnings that compare the device with the card it is reached through.
QStringList warningsFor(const DeviceDetails &details);
// Reads the device's details (or, with a route, those of the module at
// its end); the event loop runs until they are in.
DeviceDetails readDetails(const QHostAddress &address, const CIP::CipRoute &route = CIP::CipRoute());
bool nothingRead(const DeviceDetails &details);

// Starts a piece of work and runs the event loop until the object's
// finished signal brings its result, which is returned. The work must not
// finish from inside start().
template<typename Result, typename Object, typename Signal, typename Start>
Result awaitResult(Object *object, Signal finished, Start start)
{
    Result result{};
    QObject::connect(object, finished, object, [&result](const Result &value) {
        result = value;
        QCoreApplication::exit(0);
    });
    start();
    QCoreApplication::exec();
    return result;
}

} // namespace Cli

#endif // CLIMODES_H
