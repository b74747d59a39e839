#include "climodes.h"

#include "devicefinder.h"

#include <QTimer>

namespace Cli {

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

} // namespace Cli
