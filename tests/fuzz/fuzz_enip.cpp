// Feeds arbitrary bytes through the codec's decoders: the decode of a whole
// ListIdentity reply, the one the reply reader calls (header, Common Packet
// Format, and version, socket address and Identity object of every identity
// item, then the product name's text); and the explicit-messaging decoders
// the device client calls on a TCP answer (framing, encapsulation message,
// RegisterSession and SendRRData reply checks, Message Router response),
// then the objects' attributes, all at once and one by one; the decoders
// of requests through a bridge: the route's port segments and text,
// Unconnected Send requests and the answers to routed requests, and the
// Port object; and what the request dialog and the command line do with an
// answer of any service (its readings and hex dump) and with typed text
// (the request parser). What a decoder accepts is written again and read
// back, which must give the same value.

#include "cipobjects.h"
#include "cipport.h"
#include "cipreadings.h"
#include "ciprequest.h"
#include "encapsulation.h"
#include "listidentityreply.h"
#include "unconnectedsend.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

quint32 sumOf(const CIP::CipAttributeValues &values)
{
    quint32 sum = 0;
    for (const quint16 attribute : values.present) {
        for (const char byte : values.attributeData(attribute))
            sum += quint8(byte);
    }
    return sum;
}

// Every attribute decoder, on the whole input and on the input as one
// attribute.
quint32 decodeAttributes(const QByteArray &bytes)
{
    CIP::CipIdentityAttributes identity;
    CIP::CipTcpIpInterface tcpip;
    CIP::CipEthernetLink link;
    CIP::CipPortInstance port;
    quint32 sum =
        identity.deserialize(bytes) + tcpip.deserialize(bytes) + link.deserialize(bytes) + port.deserialize(bytes);
    sum += sumOf(identity) + sumOf(tcpip) + sumOf(link) + sumOf(port);
    CIP::CipRouteHop hop;
    if (port.nodeAddressHop(&hop))
        sum += hop.port + quint32(hop.link.size());
    CIP::CipPortClassAttributes portClass;
    for (quint16 attribute = 1; attribute <= 11; ++attribute) {
        CIP::CipIdentityAttributes oneIdentity;
        CIP::CipTcpIpInterface oneTcpip;
        CIP::CipEthernetLink oneLink;
        CIP::CipPortInstance onePort;
        sum += oneIdentity.setAttribute(attribute, bytes) + oneTcpip.setAttribute(attribute, bytes)
            + oneLink.setAttribute(attribute, bytes) + onePort.setAttribute(attribute, bytes)
            + portClass.setAttribute(attribute, bytes);
        sum += sumOf(oneIdentity) + sumOf(oneTcpip) + sumOf(oneLink) + sumOf(onePort);
    }
    return sum + portClass.maxInstance + portClass.entryPort;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A route read from segments or text is written again and read back the
// same.
quint32 checkRoute(const CIP::CipRoute &route)
{
    QByteArray written;
    if (!CIP::CipRoute(route).serialize(&written)) {
        check(route.encodedSize() < 0);
        return 0;
    }
    check(written.size() == route.encodedSize() && written.size() % 2 == 0);
    CIP::CipRoute again;
    check(again.deserialize(written) && again == route);
    return quint32(written.size()) + quint32(route.toText().size());
}

// The decoders of requests through a bridge.
quint32 decodeRouted(const QByteArray &bytes)
{
    quint32 sum = 0;
    CIP::CipRoute route;
    if (route.deserialize(bytes))
        sum += checkRoute(route);
    CIP::CipRoute fromText;
    if (CIP::CipRoute::fromText(QString::fromLatin1(bytes), &fromText)) {
        sum += checkRoute(fromText);
        CIP::CipRoute again;
        check(CIP::CipRoute::fromText(fromText.toText(), &again) && again == fromText);
    }

    CIP::UnconnectedSendRequest send;
    if (send.deserialize(bytes)) {
        QByteArray written;
        if (CIP::UnconnectedSendRequest(send).serialize(&written)) {
            CIP::UnconnectedSendRequest again;
            check(again.deserialize(written) && again.route == send.route
                  && again.request.service == send.request.service && again.request.path == send.request.path
                  && again.request.data == send.request.data);
        }
        sum += send.tickTime + send.timeoutTicks + quint32(written.size());
    }
    CIP::MessageRouterRequest outer;
    if (outer.deserialize(bytes) && CIP::unwrapRoutedRequest(outer, &send))
        sum += quint32(send.route.hops.size());

    CIP::MessageRouterResponse response;
    if (response.deserialize(bytes)) {
        const CIP::CipRoute routes[] = {CIP::CipRoute(), CIP::CipRoute({CIP::CipRouteHop(1, 3)})};
        for (const CIP::CipRoute &through : routes) {
            CIP::RoutingError error;
            const CIP::RoutedAnswer answer = CIP::readRoutedAnswer(response, CIP::GetAttributesAll, through, &error);
            check(error.failed() == (answer == CIP::RoutedAnswer::RoutingError));
            sum += quint32(answer) + quint32(error.text().size()) + quint32(error.remainingPathWords);
        }
    }
    return sum;
}

// The readings and dumps of answer data of any length.
quint32 decodeReadings(const QByteArray &bytes)
{
    const CIP::Readings r = CIP::readings(bytes);
    quint32 sum = r.usintValue.value_or(0) + r.uintValue.value_or(0) + r.udintValue.value_or(0)
        + quint32(r.intValue.value_or(0)) + quint32(r.dintValue.value_or(0)) + r.realFinite
        + quint32(r.realText.size());
    if (r.realValue && r.realFinite)
        sum += quint32(*r.realValue > 0);
    for (const std::optional<QString> &text : {r.shortString, r.string}) {
        if (text) {
            for (const QChar c : *text)
                sum += c.unicode();
        }
    }
    sum += quint32(CIP::hexText(bytes).size() + CIP::hexDump(bytes).size());
    return sum;
}

// The request parser on the bytes as Latin-1 text, split into five fields
// at each '|', then the request it gives written and read back.
quint32 parseRequest(const QByteArray &bytes)
{
    QStringList fields = QString::fromLatin1(bytes).split(QLatin1Char('|'));
    while (fields.size() < 5)
        fields.append(QString());
    CIP::GenericRequest request;
    QString error;
    const CIP::GenericRequest::Field field = CIP::GenericRequest::parse(fields.at(0), fields.at(1), fields.at(2),
                                                                        fields.at(3), fields.at(4), &request, &error);
    quint32 sum = quint32(field) + quint32(error.size());
    if (field != CIP::GenericRequest::NoField)
        return sum;
    CIP::MessageRouterRequest read;
    // What the parser accepts is a request the codec writes and reads back
    // unchanged.
    if (!read.deserialize(request.bytes()) || read.service != request.service || read.path != request.path()
        || read.data != request.data)
        __builtin_trap();
    return sum + quint32(request.pathText().size());
}

// The decoders of a TCP answer, as the device client runs them.
quint32 decodeExplicit(const QByteArray &bytes)
{
    int messageSize = 0;
    quint32 sum = quint32(ENIP::frameOf(bytes, &messageSize));
    if (sum != quint32(ENIP::Frame::Complete))
        return sum;
    ENIP::EncapMessage message;
    if (!message.deserialize(bytes.left(messageSize)))
        return sum;
    quint32 session = 0;
    sum += quint32(ENIP::readRegisterSessionReply(message, &session)) + session;
    CIP::MessageRouterResponse response;
    const ENIP::ReplyFault fault =
        ENIP::readSendRRDataReply(message, message.header.sessionHandle, CIP::GetAttributesAll, &response);
    sum += quint32(fault);
    if (fault == ENIP::ReplyFault::None) {
        sum += response.generalStatus + response.reserved;
        for (const quint16 word : qAsConst(response.additionalStatus))
            sum += word;
        sum += decodeAttributes(response.data) + decodeReadings(response.data);
    }
    CIP::MessageRouterResponse routed;
    CIP::RoutingError routingError;
    if (ENIP::readRoutedSendRRDataReply(message, message.header.sessionHandle, CIP::GetAttributesAll,
                                        CIP::CipRoute({CIP::CipRouteHop(1, 3)}), &routed, &routingError)
        == ENIP::ReplyFault::None)
        sum += routed.generalStatus + routingError.extendedStatus() + decodeAttributes(routed.data);
    // The same reply as the answer to a request of any service: the one its
    // last byte names.
    const quint8 anyService = quint8(bytes.at(bytes.size() - 1)) & CIP::MaxRequestService;
    if (ENIP::readSendRRDataReply(message, message.header.sessionHandle, anyService, &response)
        == ENIP::ReplyFault::None)
        sum += response.generalStatus + quint32(response.additionalStatus.size()) + decodeReadings(response.data);
    CIP::MessageRouterRequest request;
    if (request.deserialize(message.data))
        sum += request.service + request.path.classId + request.path.instance + request.path.attribute
            + quint32(request.data.size());
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0; // larger than any UDP datagram
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    volatile quint32 explicitSink = decodeExplicit(datagram) + decodeAttributes(datagram) + decodeRouted(datagram)
        + decodeReadings(datagram) + parseRequest(datagram);
    (void)explicitSink;

    ENIP::ListIdentityReply reply;
    if (!reply.deserialize(datagram))
        return 0;

    // Touch every decoded value, so that a field left uninitialised shows
    // up under the sanitizers instead of being optimised away.
    quint32 sum = reply.header.length + reply.header.sessionHandle + reply.header.status + reply.header.options;
    for (const quint8 byte : reply.header.senderContext)
        sum += byte;
    for (const ENIP::ListIdentityItem &item : qAsConst(reply.items)) {
        sum += item.typeId;
        if (!item.isType(ENIP::IdentityItemType))
            continue;
        const CIP::CipIdentityObject &identity = item.identity;
        sum += item.encapVersion + quint16(item.sockaddr.sinFamily) + item.sockaddr.sinPort + item.sockaddr.sinAddr
            + identity.vendorId + identity.deviceType + identity.productCode + identity.revisionMajor
            + identity.revisionMinor + identity.status + identity.serialNumber + item.identityDecoded;
        for (const quint8 byte : item.sockaddr.sinZero)
            sum += byte;
        sum += identity.state;
        for (const QChar c : identity.productName.toString())
            sum += c.unicode();
    }
    volatile quint32 sink = sum;
    (void)sink;
    return 0;
}
