#include "climodes.h"

#include "devicefinder.h"
#include "inventorycomparison.h"
#include "inventoryreader.h"

#include <QTimer>

#ifdef Q_OS_WIN
#include <io.h>
#define NODESPOTTER_ISATTY _isatty
#define NODESPOTTER_FILENO _fileno
#else
#include <unistd.h>
#define NODESPOTTER_ISATTY isatty
#define NODESPOTTER_FILENO fileno
#endif

namespace Cli {

namespace {

InventoryFormat inventoryFormat(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Csv:
        return InventoryFormat::Csv;
    case ExportFormat::Json:
        return InventoryFormat::Json;
    case ExportFormat::Text:
        break;
    }
    return InventoryFormat::Text;
}

} // namespace

int runInventory(const CommandLine &commandLine)
{
    DeviceFinder finder;
    finder.find();
    if (!finder.probesSentOk()) {
        writeOut(stderr, CommandLine::tr("No usable network address: nothing was sent.\n").toLocal8Bit());
        return 1;
    }
    QTimer::singleShot(commandLine.waitMs, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();

    // Progress only for a person watching: one line, rewritten in place.
    const bool terminal = NODESPOTTER_ISATTY(NODESPOTTER_FILENO(stderr)) != 0;
    InventoryReader reader;
    int shownWidth = 0;
    if (terminal) {
        QObject::connect(&reader, &InventoryReader::progress, &reader, [&shownWidth](int done, int total) {
            const QString line = CommandLine::tr("Reading the devices: %1 of %2").arg(done).arg(total);
            shownWidth = qMax(shownWidth, line.size());
            writeOut(stderr, (QLatin1Char('\r') + line.leftJustified(shownWidth)).toLocal8Bit());
        });
    }
    const Inventory inventory = awaitResult<Inventory>(&reader, &InventoryReader::finished,
                                                       [&reader, &finder]() { reader.start(finder.listedDevices()); });
    if (terminal && shownWidth > 0)
        writeOut(stderr, (QLatin1Char('\r') + QString(shownWidth, QLatin1Char(' ')) + QLatin1Char('\r')).toLocal8Bit());

    const InventoryFormat format = inventoryFormat(commandLine.format);
    int status = 0;
    if (commandLine.compare) {
        const InventoryComparison comparison = InventoryComparison::compare(commandLine.saved, inventory);
        if (!writeOut(stdout, comparison.document(format))) {
            writeError(CommandLine::tr("Could not write the comparison."));
            return 1;
        }
        status = comparison.differs() ? 6 : 0;
    } else if (!writeOut(stdout, inventory.document(format))) {
        writeError(CommandLine::tr("Could not write the inventory."));
        return 1;
    }
    if (!commandLine.saveFile.isEmpty()) {
        const QString error = inventory.save(commandLine.saveFile, commandLine.saveFormat);
        if (!error.isEmpty()) {
            writeError(CommandLine::tr("The inventory was not saved to %1: %2").arg(commandLine.saveFile, error));
            return 1;
        }
    }
    return status;
}

} // namespace Cli
