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

DeviceDetails readDetails(const QHostAddress &address, const CIP::CipRoute &route)
{
    DeviceDetailsReader reader(address, route);
    return awaitResult<DeviceDetails>(&reader, &DeviceDetailsReader::finished, [&reader] { reader.start(); });
}

bool nothingRead(const DeviceDetails &details)
{
    return details.identity.present.isEmpty() && details.tcpip.present.isEmpty() && details.links.isEmpty();
}

int runDetails(const CommandLine &commandLine)
{
    const DeviceDetails details = readDetails(QHostAddress(commandLine.deviceAddress), commandLine.route);
    // The bridge could not reach the module: 1 when it did not answer in
    // time, as a device that does not answer; 3 when the route leads
    // nowhere.
    const bool timedOut =
        details.routingError.generalStatus == 0x01 && details.routingError.extendedStatus() == CIP::RouteTimedOut;
    if (nothingRead(details) && !details.failure.isEmpty()) {
        writeError(details.failure);
        return details.routingError.failed() && !timedOut ? 3 : 1;
    }
    // The warnings compare a device with the card it is reached through:
    // not a module behind a bridge.
    const QStringList warnings = commandLine.route.isEmpty() ? warningsFor(details) : QStringList();
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
        return details.routingError.failed() && !timedOut ? 3 : 1;
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
