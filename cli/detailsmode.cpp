#include "climodes.h"

#include "devicedetails.h"
#include "devicedetailstext.h"
#include "deviceplace.h"

#include <QHostAddress>
#include <QJsonDocument>

namespace Cli {

QStringList warningsFor(const DeviceDetails &details)
{
    const quint32 address = details.address.toIPv4Address();
    const DevicePlace place = DeviceLocator(SystemNeighbourTable()).place(address, 0);
    const quint32 cardNetmask = place.cardNetmask();
    return deviceWarnings(details, cardNetmask, address);
}

DeviceDetails readDetails(const QHostAddress &address)
{
    DeviceDetailsReader reader(address);
    return awaitResult<DeviceDetails>(&reader, &DeviceDetailsReader::finished, [&reader] { reader.start(); });
}

bool nothingRead(const DeviceDetails &details)
{
    return details.identity.present.isEmpty() && details.tcpip.present.isEmpty() && details.links.isEmpty();
}

int runDetails(const CommandLine &commandLine)
{
    const DeviceDetails details = readDetails(QHostAddress(commandLine.deviceAddress));
    if (nothingRead(details) && !details.failure.isEmpty()) {
        writeError(details.failure);
        return 1;
    }
    const QStringList warnings = warningsFor(details);
    const QByteArray out = commandLine.format == ExportFormat::Json
        ? QJsonDocument(DeviceDetailsText::json(details, warnings)).toJson(QJsonDocument::Indented)
        : detailsText(DeviceDetailsText::rows(details, warnings));
    if (!writeOut(stdout, out)) {
        writeError(CommandLine::tr("Could not write the details."));
        return 1;
    }
    // Cut short: what was read is printed, and the reason.
    if (!details.failure.isEmpty()) {
        writeError(details.failure);
        return 1;
    }
    // The device answered, and refused every question.
    if (nothingRead(details)) {
        writeError(CommandLine::tr("The device at %1 refused every request: %2")
                       .arg(commandLine.deviceAddress, details.errors.value(0).status));
        return 3;
    }
    return 0;
}

} // namespace Cli
