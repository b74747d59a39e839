// Feeds arbitrary bytes through the address server's request decode, and
// every request it accepts through each kind of reply, as the server would
// answer it.

#include "bootp.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0; // larger than any UDP datagram
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    Bootp::Message message;
    if (Bootp::decodeRequest(datagram, &message) != Bootp::DecodeError::None)
        return 0;

    // Touch every decoded value, so that a field left uninitialised shows
    // up under the sanitizers instead of being optimised away.
    quint32 sum = message.op + message.htype + message.hlen + message.hops + message.xid + message.secs + message.flags
        + message.ciaddr + message.yiaddr + message.siaddr + message.giaddr + message.messageType()
        + message.requestedAddress() + message.serverIdentifier();
    for (const char byte : message.chaddr + message.sname + message.file + message.hardwareAddress())
        sum += quint8(byte);
    for (const Bootp::Option &option : qAsConst(message.options)) {
        sum += option.code;
        for (const char byte : option.value)
            sum += quint8(byte);
    }
    for (const QChar c : message.hostName() + message.vendorClass())
        sum += c.unicode();

    Bootp::ReplyParameters parameters;
    parameters.yourAddress = 0x0AC90132;
    parameters.serverAddress = 0x0AC90101;
    parameters.gateway = message.requestedAddress();
    parameters.nameServers = {message.ciaddr, message.serverIdentifier()};
    parameters.hostName = message.hostName();
    for (const Bootp::ReplyKind kind : {Bootp::ReplyKind::BootpReply, Bootp::ReplyKind::Offer, Bootp::ReplyKind::Ack,
                                        Bootp::ReplyKind::Nak, Bootp::ReplyKind::InformAck}) {
        const QByteArray reply = Bootp::encodeReply(message, kind, parameters);
        // Every reply is a whole message, and goes back with the request's
        // transaction and hardware address.
        if (reply.size() < Bootp::MinReplySize || reply.mid(28, 16) != message.chaddr
            || reply.mid(4, 4) != datagram.mid(4, 4))
            abort();
        sum += quint8(reply.at(reply.size() - 1));
    }
    volatile quint32 sink = sum;
    (void)sink;
    return 0;
}
