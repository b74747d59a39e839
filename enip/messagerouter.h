#ifndef MESSAGEROUTER_H
#define MESSAGEROUTER_H

#include "cipserialize.h"

#include <QVector>

namespace CIP {

// The services this program asks of a device.
enum Service : quint8 {
    GetAttributesAll = 0x01,
    GetAttributeList = 0x03,
    ResetService = 0x05,
    GetAttributeSingle = 0x0E,
    SetAttributeSingle = 0x10
};

// A reply carries the request's service with this bit set; a request's
// service is 0x00 to 0x7F.
constexpr quint8 ReplyServiceBit = 0x80;
constexpr quint8 MaxRequestService = 0x7F;

// The objects this program reads.
enum ClassCode : quint16 { IdentityClass = 0x01, TcpIpInterfaceClass = 0xF5, EthernetLinkClass = 0xF6 };

// A padded logical path to a class, an instance and optionally an
// attribute, preceded by its size in 16-bit words:
//
//   0      1
//   +------+-----------------------------------------+
//   | size | segments, size * 2 bytes                |
//   +------+-----------------------------------------+
//
// Each segment is 8-bit (type, value), 16-bit (type, pad 00, value
// little-endian) or 32-bit (type, pad 00, value little-endian): class
// 20 / 21, instance 24 / 25 / 26, attribute 30 / 31. Class and attribute
// IDs are 16-bit in CIP; only an instance has the 32-bit form. A write
// takes the smallest segment that holds each value. A read takes class,
// then instance, then at most an attribute, and refuses every other
// segment (a 32-bit class or attribute among them), a pad byte other than
// 00, a size that runs past the data and segments that do not fill the size
// exactly.
class CipPath : public ICipSerialize
{
public:
    CipPath() = default;
    CipPath(quint16 classId, quint32 instance);
    CipPath(quint16 classId, quint32 instance, quint16 attribute);

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // Leaves the path unchanged when it refuses.
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    bool operator==(const CipPath &other) const;
    bool operator!=(const CipPath &other) const { return !(*this == other); }

    quint16 classId = 0;
    quint32 instance = 0;
    bool hasAttribute = false;
    quint16 attribute = 0;
};

// A Message Router request, as SendRRData carries it:
//
//   0         1
//   +---------+------------------------+------------------------+
//   | service | path (CipPath)         | request data ...       |
//   +---------+------------------------+------------------------+
//
// The service is 0x00 to 0x7F (the top bit marks a reply); the data is
// whatever follows the path.
class MessageRouterRequest : public ICipSerialize
{
public:
    MessageRouterRequest() = default;
    MessageRouterRequest(quint8 service, const CipPath &path, const QByteArray &data = QByteArray());

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False, with the request unchanged, for an empty stream, a service
    // with the reply bit or a path it refuses; the data is the rest of the
    // stream.
    bool deserialize(QDataStream &stream) override;
    // False, writing nothing, for a service with the reply bit.
    bool serialize(QDataStream &stream) override;

    quint8 service = 0;
    CipPath path;
    QByteArray data;
};

// A Message Router response:
//
//   0         1          2         3       4
//   +---------+----------+---------+-------+------------------+---------+
//   | service | reserved | general | n     | n additional     | data    |
//   | | 0x80  | 00       | status  |       | status words     | ...     |
//   +---------+----------+---------+-------+------------------+---------+
//
// n counts 16-bit words. The data is whatever follows them, as long as the
// message that carries the response allows (see ENIP::MaxTcpDataLength).
class MessageRouterResponse : public ICipSerialize
{
public:
    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False, with the response unchanged, for fewer than four bytes or
    // fewer additional status words than n says.
    bool deserialize(QDataStream &stream) override;
    // False for more than 255 additional status words.
    bool serialize(QDataStream &stream) override;

    // Whether this is the reply to a request for requestService.
    bool answers(quint8 requestService) const { return service == (requestService | ReplyServiceBit); }

    quint8 service = 0;
    quint8 reserved = 0;
    quint8 generalStatus = 0;
    QVector<quint16> additionalStatus;
    QByteArray data;
};

} // namespace CIP

#endif // MESSAGEROUTER_H
