#ifndef ENCAPSULATION_H
#define ENCAPSULATION_H

#include "enipencapheader.h"
#include "messagerouter.h"

namespace ENIP {

// The TCP port of explicit messaging (and the UDP port of ListIdentity).
constexpr quint16 ExplicitMessagingPort = 44818;

// Largest data length accepted after a header on a TCP session. The
// replies this program asks for are a few hundred bytes; a length field
// beyond this is taken for garbage at once, without waiting for (or
// reserving room for) the bytes it promises.
constexpr int MaxTcpDataLength = 4096;

// Common Packet Format items of an unconnected explicit message.
constexpr quint16 NullAddressItemType = 0x0000;
constexpr quint16 UnconnectedDataItemType = 0x00B2;

// The status field of an encapsulation header.
enum EncapStatus : quint32 {
    EncapSuccess = 0x0000,
    InvalidCommand = 0x0001,
    InsufficientMemory = 0x0002,
    IncorrectData = 0x0003,
    InvalidSessionHandle = 0x0064,
    InvalidLength = 0x0065,
    UnsupportedProtocolRevision = 0x0069
};

// Whether a TCP receive buffer starts with a whole encapsulation message.
enum class Frame {
    Incomplete, // fewer than 24 + length bytes so far
    Complete, // *messageSize bytes, from the first, are one message
    TooLong // the length field exceeds MaxTcpDataLength
};
Frame frameOf(const QByteArray &buffer, int *messageSize);

// A whole encapsulation message on a TCP session: the 24-byte header, then
// exactly header.length bytes of data.
//
//   0                24
//   +----------------+-------------------------------+
//   | header         | data, header.length bytes     |
//   +----------------+-------------------------------+
class EncapMessage : public CIP::ICipSerialize
{
public:
    explicit EncapMessage(quint16 command = NOP, const QByteArray &data = QByteArray());

    using CIP::ICipSerialize::deserialize;
    using CIP::ICipSerialize::serialize;

    // False, with the message unchanged, when the stream holds fewer than
    // 24 bytes, the command is not a known one, the length exceeds
    // MaxTcpDataLength or the data is shorter than the length.
    bool deserialize(QDataStream &stream) override;
    // Sets header.length from the data; false for data beyond 65535 bytes.
    bool serialize(QDataStream &stream) override;

    // The message as one array, as it goes out in one write.
    QByteArray bytes();

    ENIPEncapHeader header;
    QByteArray data;
};

// The data of RegisterSession, request and reply alike:
//
//   0                  2
//   +------------------+------------------+
//   | protocol version | options (0)      |
//   +------------------+------------------+
class RegisterSessionData : public CIP::ICipSerialize
{
public:
    using CIP::ICipSerialize::deserialize;
    using CIP::ICipSerialize::serialize;

    // False for fewer than 4 bytes.
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    quint16 protocolVersion = 1;
    quint16 options = 0;
};

// The data of SendRRData, request and reply alike: an unconnected message
// in a Common Packet Format of two items.
//
//   0                4         6       8
//   +----------------+---------+-------+--------------+------------------+
//   | interface (0)  | timeout | count | 00 00 00 00  | B2 00 L  message |
//   +----------------+---------+-------+--------------+------------------+
//                                        null address   unconnected data
//
// A read requires every item to lie inside the data and exactly one
// unconnected data item; other items (the null address among them) are
// skipped.
class RRDataBody : public CIP::ICipSerialize
{
public:
    using CIP::ICipSerialize::deserialize;
    using CIP::ICipSerialize::serialize;

    // False, with the value unchanged, for data that ends early, an item
    // whose length runs past the end, no or two unconnected data items.
    bool deserialize(QDataStream &stream) override;
    // False for a message beyond 65535 bytes.
    bool serialize(QDataStream &stream) override;

    quint32 interfaceHandle = 0;
    quint16 timeout = 0;
    QByteArray message;
};

// The requests of a session, each one whole array.
QByteArray registerSessionRequest();
QByteArray unRegisterSessionRequest(quint32 session);
QByteArray sendRRDataRequest(quint32 session, const CIP::MessageRouterRequest &request);

// What is wrong with a reply, in the order it is checked.
enum class ReplyFault {
    None,
    Command, // not the command of the request
    Status, // the header's status is not 0: the device refused the request
    Session, // not the session of the request
    Data, // the data does not have the form of the reply, or more of it
    Service // the Message Router response is not for the request's service
};

// Checks a RegisterSession reply and takes its session handle, which must
// not be 0.
ReplyFault readRegisterSessionReply(const EncapMessage &reply, quint32 *session);
// Checks a SendRRData reply on the session and takes the Message Router
// response to service out of it.
ReplyFault readSendRRDataReply(const EncapMessage &reply, quint32 session, quint8 service,
                               CIP::MessageRouterResponse *response);

} // namespace ENIP

#endif // ENCAPSULATION_H
