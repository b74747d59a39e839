#ifndef UNCONNECTEDSEND_H
#define UNCONNECTEDSEND_H

#include "ciproute.h"
#include "encapsulation.h"
#include "messagerouter.h"

namespace CIP {

// Unconnected Send, the Connection Manager's service that carries a
// request through a bridge to a module behind it.
constexpr quint8 UnconnectedSendService = 0x52;
constexpr quint16 ConnectionManagerClass = 0x06;

// The bridge's timeout for the module: 2^(tick time's low nibble) ms times
// the ticks. 128 ms x 7 = 896 ms: a bridge gives up on a slot that does not
// answer within a second and says so (0x01, extended 0x0204) before the
// client's own wait for the answer runs out.
constexpr quint8 UnconnectedSendTickTime = 0x07;
constexpr quint8 UnconnectedSendTimeoutTicks = 7;
// The timeout in milliseconds that a tick time byte and ticks stand for.
int unconnectedSendTimeoutMs(quint8 tickTime, quint8 ticks);

// The request data of an Unconnected Send, after its service and its path
// (class 06, instance 1):
//
//   0      1       2        4                 4+n     +1     +2
//   +------+-------+--------+-----------------+-----+------+----+-------+
//   | tick | ticks | n      | embedded        | pad | route| 00 | route |
//   | time |       | (UINT) | request, n bytes| 00  | words|    |       |
//   +------+-------+--------+-----------------+-----+------+----+-------+
//
// The pad byte is there only when n is odd; the route (CipRoute) is its
// size in 16-bit words long.
class UnconnectedSendRequest : public ICipSerialize
{
public:
    UnconnectedSendRequest() = default;
    UnconnectedSendRequest(const MessageRouterRequest &request, const CipRoute &route);

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False, with the value unchanged, for data that ends early, an
    // embedded request or a route it refuses, or bytes after the route.
    // The pad and reserved bytes' values are not checked.
    bool deserialize(QDataStream &stream) override;
    // False, with nothing written, for an empty route, one that cannot be
    // written, or an embedded request of more than 65535 bytes.
    bool serialize(QDataStream &stream) override;

    quint8 tickTime = UnconnectedSendTickTime;
    quint8 timeoutTicks = UnconnectedSendTimeoutTicks;
    MessageRouterRequest request;
    CipRoute route;
};

// The request to send for request to reach the module at the end of
// route: request itself for an empty route, else an Unconnected Send to
// the Connection Manager that carries it. False, with *sent unchanged, for
// a route or request that UnconnectedSendRequest does not write.
bool routedRequest(const MessageRouterRequest &request, const CipRoute &route, MessageRouterRequest *sent);
// The reverse, as a bridge reads it: false unless request is an
// Unconnected Send to the Connection Manager instance 1 whose data
// UnconnectedSendRequest reads.
bool unwrapRoutedRequest(const MessageRouterRequest &request, UnconnectedSendRequest *send);

// Why a bridge did not deliver a request: the general status of its
// Unconnected Send reply and the extended status words (0x01 with 0x0312:
// no module at that link address). remainingPathWords is the route's size
// in words from the hop that failed, when the reply says it, else -1.
struct RoutingError
{
    bool failed() const { return generalStatus != 0; }
    // The first additional status word; 0 when there is none.
    quint16 extendedStatus() const { return additionalStatus.value(0); }
    QString text() const;
    // The bridge's reply that says it.
    MessageRouterResponse reply() const;

    quint8 generalStatus = 0;
    QVector<quint16> additionalStatus;
    int remainingPathWords = -1;
};

// Extended statuses of a failed Unconnected Send (general status 0x01).
enum RoutingExtendedStatus : quint16 {
    RouteTimedOut = 0x0204, // the module did not answer in time
    RouteNoSuchPort = 0x0311,
    RouteNoModule = 0x0312, // nothing at that link address
    RouteBadSegment = 0x0315
};

// What a reply to a request sent through a route is.
enum class RoutedAnswer {
    Reply, // the module's (or, with no route, the device's) own reply
    RoutingError, // the bridge's Unconnected Send reply: not delivered
    Mismatch // neither: a reply to another service, or a 0xD2 reply
             // that claims success without the module's reply
};

// Classifies response to a request for service sent through route: a
// reply to service (with the reply bit) is the module's, whatever its
// status; with a route, an Unconnected Send reply with a status not 0 is
// a routing error, taken into *error when error is given.
RoutedAnswer readRoutedAnswer(const MessageRouterResponse &response, quint8 service, const CipRoute &route,
                              RoutingError *error = nullptr);

// Words a technician understands for a routing error, with its number:
// "no module at that link address (0x0312)", "the device does not route
// requests (0x08)". An extended status without a name gives its number.
QString routingErrorText(quint8 generalStatus, const QVector<quint16> &additionalStatus);

} // namespace CIP

namespace ENIP {

// As readSendRRDataReply, for a request for service sent through route:
// the response is the module's reply, or the bridge's routing error, which
// then is also taken into *error (error->failed() is true). A reply that
// is neither gives ReplyFault::Service.
ReplyFault readRoutedSendRRDataReply(const EncapMessage &reply, quint32 session, quint8 service,
                                     const CIP::CipRoute &route, CIP::MessageRouterResponse *response,
                                     CIP::RoutingError *error);

} // namespace ENIP

#endif // UNCONNECTEDSEND_H
