#include "climodes.h"

#include "ciprequester.h"
#include "ciprequesttext.h"
#include "unconnectedsend.h"

#include <QHostAddress>

namespace Cli {

int runRequest(const CommandLine &commandLine)
{
    const QHostAddress address(commandLine.deviceAddress);
    const CIP::GenericRequest &request = commandLine.request;
    // Nothing but a Get goes out unless the user said so: the request is
    // shown, and no connection is opened.
    if (!CIP::isGetService(request.service) && !commandLine.yes) {
        const QString text = CipRequestText::requestText(address, commandLine.route, request)
            + CommandLine::tr("Nothing was sent: %1 is not a Get. Give --yes to send it.")
                  .arg(CIP::serviceText(request.service))
            + QLatin1Char('\n');
        if (!writeOut(stdout, text.toLocal8Bit()))
            return 1;
        return 4;
    }

    CipRequester requester(address, commandLine.route);
    const CipRequestResult result = awaitResult<CipRequestResult>(&requester, &CipRequester::finished,
                                                                  [&requester, &request] { requester.send(request); });
    const QByteArray out = commandLine.format == ExportFormat::Json
        ? CipRequestText::resultJson(result)
        : (result.answered() ? CipRequestText::resultText(result).toLocal8Bit() : QByteArray());
    if (!out.isEmpty() && !writeOut(stdout, out)) {
        writeError(CommandLine::tr("Could not write the answer."));
        return 1;
    }
    if (!result.answered()) {
        writeError(result.errorString);
        return 1;
    }
    if (result.succeeded())
        return 0;
    writeError(result.errorString);
    // The bridge gave up waiting for the module: no answer, as from a
    // device that does not answer (as --details has it).
    const bool timedOut =
        result.routingFailed && result.generalStatus == 0x01 && result.additionalStatus.value(0) == CIP::RouteTimedOut;
    return timedOut ? 1 : 3;
}

} // namespace Cli
