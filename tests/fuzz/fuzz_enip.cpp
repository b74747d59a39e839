// Feeds arbitrary bytes through the codec's decode of a whole ListIdentity
// reply, the one the reply reader calls: header, Common Packet Format, and
// version, socket address and Identity object of every identity item, then
// the product name's text.

#include "listidentityreply.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0; // larger than any UDP datagram
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
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
