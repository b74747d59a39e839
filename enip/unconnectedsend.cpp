#include "unconnectedsend.h"

#include "cipnames.h"
#include "wirecheck.h"

#include <QCoreApplication>

namespace CIP {

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("CIP", text);
}

QString hexCode(uint code, int digits)
{
    return QStringLiteral("0x") + QString::number(code, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

struct ExtendedName
{
    quint16 code;
    const char *name;
};

// The extended statuses a bridge answers a failed Unconnected Send with.
const ExtendedName RoutingStatuses[] = {
    {0x0204, QT_TRANSLATE_NOOP("CIP", "the module did not answer in time")},
    {0x0205, QT_TRANSLATE_NOOP("CIP", "the bridge refused the request's parameters")},
    {0x0206, QT_TRANSLATE_NOOP("CIP", "the request is too large to route")},
    {0x0301, QT_TRANSLATE_NOOP("CIP", "the bridge has no buffer memory free")},
    {0x0311, QT_TRANSLATE_NOOP("CIP", "no such port on the bridge")},
    {0x0312, QT_TRANSLATE_NOOP("CIP", "no module at that link address")},
    {0x0315, QT_TRANSLATE_NOOP("CIP", "a bad segment in the route")},
    {0x0318, QT_TRANSLATE_NOOP("CIP", "the route leads back to the bridge itself")},
};

constexpr quint8 ConnectionFailure = 0x01;
constexpr quint8 ServiceNotSupported = 0x08;

} // namespace

int unconnectedSendTimeoutMs(quint8 tickTime, quint8 ticks)
{
    return (1 << (tickTime & 0x0F)) * int(ticks);
}

UnconnectedSendRequest::UnconnectedSendRequest(const MessageRouterRequest &request, const CipRoute &route)
    : request(request)
    , route(route)
{ }

bool UnconnectedSendRequest::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (bytesLeft(stream) < 4)
        return false;
    UnconnectedSendRequest read;
    quint16 length = 0;
    stream >> read.tickTime >> read.timeoutTicks >> length;
    QByteArray embedded;
    if (!readExactly(stream, length, &embedded) || !read.request.deserialize(embedded))
        return false;
    QByteArray pad;
    if (length % 2 && !readExactly(stream, 1, &pad))
        return false;
    if (bytesLeft(stream) < 2)
        return false;
    quint8 words = 0;
    quint8 reserved = 0;
    stream >> words >> reserved;
    QByteArray path;
    if (!readExactly(stream, 2 * qint64(words), &path) || bytesLeft(stream) != 0 || !read.route.deserialize(path))
        return false;
    *this = read;
    return true;
}

bool UnconnectedSendRequest::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    const int routeSize = route.encodedSize();
    QByteArray embedded;
    if (route.isEmpty() || routeSize < 0 || !MessageRouterRequest(request).serialize(&embedded)
        || embedded.size() > 0xFFFF)
        return false;
    stream << tickTime << timeoutTicks << quint16(embedded.size());
    stream.writeRawData(embedded.constData(), embedded.size());
    if (embedded.size() % 2)
        stream << quint8(0);
    stream << quint8(routeSize / 2) << quint8(0);
    return route.serialize(stream);
}

bool routedRequest(const MessageRouterRequest &request, const CipRoute &route, MessageRouterRequest *sent)
{
    if (route.isEmpty()) {
        *sent = request;
        return true;
    }
    QByteArray data;
    if (!UnconnectedSendRequest(request, route).serialize(&data))
        return false;
    *sent = MessageRouterRequest(UnconnectedSendService, CipPath(ConnectionManagerClass, 1), data);
    return true;
}

bool unwrapRoutedRequest(const MessageRouterRequest &request, UnconnectedSendRequest *send)
{
    if (request.service != UnconnectedSendService || request.path != CipPath(ConnectionManagerClass, 1))
        return false;
    return send->deserialize(request.data);
}

QString RoutingError::text() const
{
    return routingErrorText(generalStatus, additionalStatus);
}

MessageRouterResponse RoutingError::reply() const
{
    MessageRouterResponse response;
    response.service = UnconnectedSendService | ReplyServiceBit;
    response.generalStatus = generalStatus;
    response.additionalStatus = additionalStatus;
    if (remainingPathWords >= 0)
        response.data = QByteArray(1, char(quint8(remainingPathWords)));
    return response;
}

RoutedAnswer readRoutedAnswer(const MessageRouterResponse &response, quint8 service, const CipRoute &route,
                              RoutingError *error)
{
    if (response.answers(service))
        return RoutedAnswer::Reply;
    // A bridge that delivered the request passes the module's reply on as
    // it is; its own reply to Unconnected Send only ever reports a failure.
    if (route.isEmpty() || !response.answers(UnconnectedSendService) || response.generalStatus == 0)
        return RoutedAnswer::Mismatch;
    if (error) {
        RoutingError read;
        read.generalStatus = response.generalStatus;
        read.additionalStatus = response.additionalStatus;
        if (!response.data.isEmpty())
            read.remainingPathWords = quint8(response.data.at(0));
        *error = read;
    }
    return RoutedAnswer::RoutingError;
}

QString routingErrorText(quint8 generalStatus, const QVector<quint16> &additionalStatus)
{
    const QString general = hexCode(generalStatus, 2);
    if (generalStatus == ServiceNotSupported)
        return translated(QT_TRANSLATE_NOOP("CIP", "the device does not route requests (%1)")).arg(general);
    if (generalStatus != ConnectionFailure)
        return translated(QT_TRANSLATE_NOOP("CIP", "the bridge refused to route the request: %1 (%2)"))
            .arg(generalStatusName(generalStatus), general);
    if (additionalStatus.isEmpty())
        return translated(QT_TRANSLATE_NOOP("CIP", "the bridge could not deliver the request (%1)")).arg(general);
    const quint16 extended = additionalStatus.first();
    const QString code = hexCode(extended, 4);
    for (const ExtendedName &entry : RoutingStatuses) {
        if (entry.code == extended)
            return QStringLiteral("%1 (%2)").arg(translated(entry.name), code);
    }
    return translated(QT_TRANSLATE_NOOP("CIP", "the bridge could not deliver the request (%1, extended status %2)"))
        .arg(general, code);
}

} // namespace CIP

namespace ENIP {

ReplyFault readRoutedSendRRDataReply(const EncapMessage &reply, quint32 session, quint8 service,
                                     const CIP::CipRoute &route, CIP::MessageRouterResponse *response,
                                     CIP::RoutingError *error)
{
    CIP::MessageRouterResponse read;
    ReplyFault fault = readSendRRDataReply(reply, session, service, &read);
    // The checks before the service's are the same for either reply; a
    // bridge's own reply is looked at again as one to Unconnected Send.
    if (fault == ReplyFault::Service && !route.isEmpty())
        fault = readSendRRDataReply(reply, session, CIP::UnconnectedSendService, &read);
    if (fault != ReplyFault::None)
        return fault;
    CIP::RoutingError routing;
    switch (CIP::readRoutedAnswer(read, service, route, &routing)) {
    case CIP::RoutedAnswer::Mismatch:
        return ReplyFault::Service;
    case CIP::RoutedAnswer::RoutingError:
        *error = routing;
        break;
    case CIP::RoutedAnswer::Reply:
        *error = CIP::RoutingError();
        break;
    }
    *response = read;
    return ReplyFault::None;
}

} // namespace ENIP
