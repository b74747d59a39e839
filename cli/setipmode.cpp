#include "climodes.h"

#include "devicedetails.h"
#include "devicedetailstext.h"
#include "deviceresetter.h"
#include "ipsettingswriter.h"

#include <QHostAddress>

namespace Cli {

namespace {

// Resets the device and waits while it is looked for at the address where
// it is expected; what the reset and the search came to, and the exit
// status.
int resetAndFind(const QHostAddress &address, const QHostAddress &expected)
{
    DeviceResetter resetter(address);
    QObject::connect(&resetter, &DeviceResetter::searching, &resetter, [](const ResetResult &result) {
        const QString text = result.outcome == ResetResult::NotConfirmed
            ? CommandLine::tr("The reset was not confirmed: %1\nLooking for the device at %2 for up to 30 s.\n")
                  .arg(result.message, result.lookedFor.toString())
            : CommandLine::tr("The device is restarting. Waiting up to 30 s for it to answer at %1.\n")
                  .arg(result.lookedFor.toString());
        writeOut(stdout, text.toLocal8Bit());
    });
    const ResetResult result = awaitResult<ResetResult>(&resetter, &DeviceResetter::finished,
                                                        [&resetter, &expected] { resetter.start(expected); });
    if (result.outcome == ResetResult::Refused) {
        writeError(
            CommandLine::tr("The settings were written, but the device refused the reset: %1").arg(result.message));
        return 3;
    }
    if (!result.found) {
        writeError(result.outcome == ResetResult::NotConfirmed
                       ? CommandLine::tr("The settings were written, but the reset was not confirmed, and the device "
                                         "did not answer at %1 within 30 s.")
                             .arg(result.lookedFor.toString())
                       : CommandLine::tr("The settings were written and the device was reset, but it did not answer "
                                         "at %1 within 30 s.")
                             .arg(result.lookedFor.toString()));
        return 1;
    }
    writeOut(stdout, CommandLine::tr("The device answers at %1.\n").arg(result.lookedFor.toString()).toLocal8Bit());
    if (result.outcome == ResetResult::NotConfirmed) {
        writeError(CommandLine::tr("The settings were written, but the reset was not confirmed: %1")
                       .arg(result.message));
        return 1;
    }
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

    // Only what differs from the device's settings is written, as in the
    // window.
    settings = ipSettingsToWrite(current, settings);
    if (settings.isEmpty()) {
        writeOut(stdout,
                 CommandLine::tr("Nothing to change at %1: it has these settings already. Nothing was written.\n")
                     .arg(address.toString())
                     .toLocal8Bit());
        return 0;
    }
    const QStringList changes = ipSettingsChanges(current, settings);
    QString summary = CommandLine::tr("Changes at %1:\n").arg(address.toString());
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
    // expected where its settings, as read back, say.
    return resetAndFind(result.readBack.address, DeviceResetter::expectedAddress(result.readBack));
}

} // namespace Cli
