// Feeds arbitrary bytes through the ListIdentity reply decode path: header,
// Common Packet Format, and version, socket address and Identity object of
// every identity item, then the product name's text.

#include "../listidentitydecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0; // larger than any UDP datagram
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const DecodedReply reply = decodeListIdentityReply(datagram);

    // Touch every decoded value, so that a field left uninitialised shows
    // up under the sanitizers instead of being optimised away.
    quint32 sum = 0;
    for (const DecodedIdentity &decoded : reply.identities) {
        sum += decoded.version + quint16(decoded.sockaddr.sinFamily) + decoded.sockaddr.sinPort
            + decoded.sockaddr.sinAddr + decoded.identity.vendorId + decoded.identity.deviceType
            + decoded.identity.productCode + decoded.identity.revisionMajor + decoded.identity.revisionMinor
            + decoded.identity.status + decoded.identity.serialNumber + decoded.identity.state;
        for (const quint8 byte : decoded.sockaddr.sinZero)
            sum += byte;
        for (const QChar c : decoded.productName)
            sum += c.unicode();
    }
    volatile quint32 sink = sum;
    (void)sink;
    return 0;
}
