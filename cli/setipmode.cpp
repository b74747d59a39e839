#include "climodes.h"

#include "deviceclient.h"
#include "devicedetails.h"
#include "devicedetailstext.h"
#include "identityprobe.h"
#include "ipsettingswriter.h"

#include <QHostAddress>

namespace Cli {

namespace {

// After a reset: asks the device at its address until it answers or 30 s
// have passed.
int waitForDevice(const QHostAddress &address)
{
    writeOut(stdout,
             CommandLine::tr("The device is restarting. Waiting up to 30 s for it to answer at %1.\n")
                 .arg(address.toString())
                 .toLocal8Bit());
    IdentityProbe probe;
    QObject::connect(&probe, &IdentityProbe::answered, &probe, []() { QCoreApplication::exit(0); });
    QObject::connect(&probe, &IdentityProbe::timedOut, &probe, []() { QCoreApplication::exit(1); });
    probe.start(address, IdentityProbe::DefaultTimeoutMs);
    if (QCoreApplication::exec() != 0) {
        writeError(CommandLine::tr("The settings were written and the device was reset, but it did not answer at %1 "
                                   "within 30 s.")
                       .arg(address.toString()));
        return 1;
    }
    writeOut(stdout, CommandLine::tr("The device answers at %1.\n").arg(address.toString()).toLocal8Bit());
    return 0;
}

} // namespace

int runSetIp(const CommandLine &commandLine)
{
    const QHostAddress address(commandLine.deviceAddress);
    // What the device has now: for the summary, and for the name servers
    // and domain that the command line leaves as they are.
    const DeviceDetails current = readDetails(address);
    if (!current.failure.isEmpty()) {
        writeError(current.failure);
        return 1;
    }
    IpSettings settings = checkIpSettings(commandLine.ipInput).settings;
    const CIP::CipTcpIpInterface &tcpip = current.tcpip;
    const bool configurationRead = tcpip.has(CIP::CipTcpIpInterface::InterfaceConfiguration);
    if (settings.method == IpSettings::Static && configurationRead) {
        if (commandLine.keepNameServers) {
            settings.configuration.nameServer = tcpip.configuration.nameServer;
            settings.configuration.nameServer2 = tcpip.configuration.nameServer2;
        }
        if (commandLine.keepDomain)
            settings.configuration.domainName = tcpip.configuration.domainName;
    }

    const QStringList changes = ipSettingsChanges(current, settings);
    QString summary = changes.isEmpty()
        ? CommandLine::tr("Nothing to change at %1: it has these settings already.\n").arg(address.toString())
        : CommandLine::tr("Changes at %1:\n").arg(address.toString());
    for (const QString &change : changes)
        summary += QLatin1String("  ") + change + QLatin1Char('\n');
    if (!commandLine.yes) {
        writeOut(
            stdout,
            (summary + CommandLine::tr("Nothing was written: add --yes to write these settings.\n")).toLocal8Bit());
        return 4;
    }
    writeOut(stdout, summary.toLocal8Bit());

    IpSettingsWriter writer(address);
    const IpSettingsResult result = awaitResult<IpSettingsResult>(&writer, &IpSettingsWriter::finished,
                                                                  [&writer, &settings] { writer.start(settings); });

    QString steps;
    QStringList written;
    QStringList notWritten;
    for (const IpSettingsResult::Step &step : qAsConst(result.steps)) {
        (step.written ? written : notWritten) << step.name;
        steps += QStringLiteral("  %1: %2\n").arg(step.name, step.written ? CommandLine::tr("written") : step.status);
    }
    writeOut(stdout, (CommandLine::tr("Written:\n") + steps).toLocal8Bit());
    if (result.readBack.failure.isEmpty() && !nothingRead(result.readBack)) {
        writeOut(stdout,
                 CommandLine::tr("Read back from %1:\n").arg(result.readBack.address.toString()).toLocal8Bit()
                     + detailsText(DeviceDetailsText::rows(result.readBack, warningsFor(result.readBack))));
    }
    if (result.refused) {
        writeError(CommandLine::tr("The device refused the settings. Written: %1. Not written: %2.")
                       .arg(written.isEmpty() ? CommandLine::tr("nothing") : written.join(QLatin1String(", ")),
                            notWritten.join(QLatin1String(", "))));
        return 3;
    }
    if (!result.failure.isEmpty() || !result.readBack.failure.isEmpty()) {
        writeError(result.failure.isEmpty() ? result.readBack.failure : result.failure);
        return 1;
    }
    if (!result.mismatches.isEmpty()) {
        writeError(CommandLine::tr("The device reads back other values than those written:\n  %1")
                       .arg(result.mismatches.join(QLatin1String("\n  "))));
        return 3;
    }
    if (!commandLine.reset) {
        if (result.resetNeeded())
            writeOut(stdout,
                     CommandLine::tr("The device applies the new settings after a reset (--reset, or a "
                                     "power cycle).\n")
                         .toLocal8Bit());
        return 0;
    }

    // The reset goes where the device answered the read-back; it is then
    // expected at the address it was given (the same one for BOOTP and
    // DHCP, which cannot be known here).
    const QHostAddress now = result.readBack.address;
    DeviceReply resetReply;
    DeviceClient client(now);
    QObject::connect(&client, &DeviceClient::replied, &client, [&resetReply](int, const DeviceReply &reply) {
        resetReply = reply;
        QCoreApplication::exit(0);
    });
    client.reset(0);
    QCoreApplication::exec();
    client.close();
    if (resetReply.answered() && !resetReply.succeeded()) {
        writeError(CommandLine::tr("The settings were written, but the device refused the reset: %1")
                       .arg(resetReply.errorText));
        return 3;
    }
    // A device may restart before its answer is out: a connection it closes
    // counts as a reset under way.
    if (!resetReply.answered() && resetReply.error != DeviceReply::ConnectionLost) {
        writeError(CommandLine::tr("The settings were written, but the reset was not confirmed: %1")
                       .arg(resetReply.errorText));
        return 1;
    }
    const QHostAddress target =
        settings.method == IpSettings::Static ? QHostAddress(settings.configuration.ipAddress) : now;
    return waitForDevice(target);
}

} // namespace Cli
