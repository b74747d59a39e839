#include "climodes.h"

#include "modulelist.h"
#include "moduletext.h"

#include <QHostAddress>
#include <QJsonDocument>

namespace Cli {

int runModules(const CommandLine &commandLine)
{
    ModuleListReader reader{QHostAddress(commandLine.deviceAddress)};
    const ModuleList list =
        awaitResult<ModuleList>(&reader, &ModuleListReader::finished, [&reader] { reader.start(); });
    switch (list.outcome) {
    case ModuleList::Read:
        break;
    case ModuleList::NoAnswer:
    case ModuleList::InvalidAnswer:
        writeError(list.text);
        return 1;
    case ModuleList::Refused:
    case ModuleList::NotRouting:
    case ModuleList::NoSlots:
        writeError(list.text);
        return 3;
    }
    QByteArray out;
    if (commandLine.format == ExportFormat::Json)
        out = QJsonDocument(ModuleListText::json(list)).toJson(QJsonDocument::Indented);
    else if (commandLine.format == ExportFormat::Csv)
        out = ModuleListText::csv(list);
    else
        out = detailsText(ModuleListText::rows(list));
    if (!writeOut(stdout, out)) {
        writeError(CommandLine::tr("Could not write the module list."));
        return 1;
    }
    return 0;
}

} // namespace Cli
