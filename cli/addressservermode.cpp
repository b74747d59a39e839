#include "climodes.h"

#include "addressserver.h"
#include "deviceexport.h"
#include "netaddress.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>

namespace Cli {

namespace {

// Why an assignment cannot be served on any card of this computer; empty
// when one of them can hold it.
QString assignmentProblem(const AddressAssignment &assignment, const QVector<AddressAssignment> &all)
{
    const AssignmentCheck check = AddressAssignments::check(assignment, usableCardAddresses(), all);
    return check.ok() || check.isWarning() ? QString() : check.text;
}

} // namespace

int runAddressServer(const CommandLine &commandLine)
{
    // Every assignment must fit a card before anything is answered.
    for (const AddressAssignment &assignment : commandLine.assignments) {
        const QString problem = assignmentProblem(assignment, commandLine.assignments);
        if (!problem.isEmpty()) {
            writeOut(stderr,
                     CommandLine::tr("Cannot assign %1 to %2: %3\n")
                         .arg(ipv4ToString(assignment.address), AddressAssignments::macText(assignment.mac), problem)
                         .toLocal8Bit());
            return 2;
        }
    }

    AddressServer server;
    QSet<QByteArray> waiting;
    for (const AddressAssignment &assignment : commandLine.assignments) {
        server.setAssignment(assignment);
        waiting.insert(assignment.mac);
    }
    bool writeFailed = false;
    const auto print = [&commandLine, &writeFailed](const QString &event, const AddressRequest &request,
                                                    const QString &reason) {
        if (!writeOut(stdout,
                      addressEventLine(commandLine.format, QDateTime::currentDateTime(), event, request, reason))
            && !writeFailed) {
            writeFailed = true;
            QCoreApplication::quit();
        }
    };
    QObject::connect(&server, &AddressServer::requestReceived, &server,
                     [&print](const AddressRequest &request) { print(QStringLiteral("request"), request, {}); });
    QObject::connect(&server, &AddressServer::ignored, &server,
                     [&print](const AddressRequest &request, const QString &reason) {
                         print(QStringLiteral("ignored"), request, reason);
                     });
    QObject::connect(&server, &AddressServer::answered, &server,
                     [&print, &server, &waiting](const AddressRequest &request, Bootp::ReplyKind kind) {
                         print(QStringLiteral("answered"), request, {});
                         if (kind != Bootp::ReplyKind::Ack && kind != Bootp::ReplyKind::BootpReply)
                             return;
                         waiting.remove(request.mac);
                         // Each assigned MAC has its address: the work is done.
                         if (waiting.isEmpty())
                             QTimer::singleShot(0, &server, &AddressServer::stop);
                     });
    QObject::connect(&server, &AddressServer::runningChanged, QCoreApplication::instance(), [](bool running) {
        if (!running)
            QCoreApplication::quit();
    });
    if (!server.start()) {
        writeOut(stderr, (server.errorString() + QLatin1Char('\n')).toLocal8Bit());
        return 5;
    }
    quitOnSignals();
    if (commandLine.forMs > 0)
        QTimer::singleShot(commandLine.forMs, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    server.stop();
    if (writeFailed) {
        writeOut(stderr, CommandLine::tr("Could not write the requests.\n").toLocal8Bit());
        return 1;
    }
    if (!waiting.isEmpty()) {
        QStringList macs;
        for (const AddressAssignment &assignment : commandLine.assignments) {
            if (waiting.contains(assignment.mac))
                macs.append(AddressAssignments::macText(assignment.mac));
        }
        writeOut(stderr,
                 CommandLine::tr("Without its address: %1\n").arg(macs.join(QLatin1String(", "))).toLocal8Bit());
        return 1;
    }
    return 0;
}

} // namespace Cli

QByteArray addressEventLine(ExportFormat format, const QDateTime &time, const QString &event,
                            const AddressRequest &request, const QString &reason)
{
    const QString address = request.address != 0 ? ipv4ToString(request.address) : QString();
    if (format == ExportFormat::Json) {
        const auto orNull = [](const QString &text) {
            return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
        };
        QJsonObject object;
        object.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODate));
        object.insert(QStringLiteral("event"), event);
        object.insert(QStringLiteral("mac_address"), request.macText);
        object.insert(QStringLiteral("card"), orNull(request.cardName));
        object.insert(QStringLiteral("protocol"), request.protocolText());
        object.insert(QStringLiteral("host_name"), orNull(request.hostName));
        object.insert(QStringLiteral("vendor_class"), orNull(request.vendorClass));
        object.insert(QStringLiteral("ip_address"), orNull(address));
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }
    // What the device sent may hold anything: quoted, on one line.
    const auto quoted = [](const QString &text) {
        return QLatin1Char('"') + DeviceExport::oneLine(text).replace(QLatin1Char('"'), QLatin1Char('\''))
            + QLatin1Char('"');
    };
    QStringList fields{time.toLocalTime().toString(QStringLiteral("HH:mm:ss")), event, request.macText,
                       request.cardName, request.protocolText()};
    if (!address.isEmpty())
        fields << address;
    if (!request.hostName.isEmpty())
        fields << QStringLiteral("host_name=") + quoted(request.hostName);
    if (!request.vendorClass.isEmpty())
        fields << QStringLiteral("vendor_class=") + quoted(request.vendorClass);
    if (!reason.isEmpty())
        fields << QLatin1Char('(') + reason + QLatin1Char(')');
    return (fields.join(QLatin1Char(' ')) + QLatin1Char('\n')).toUtf8();
}
