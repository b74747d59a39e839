#ifndef ENIPENCAPHEADER_H
#define ENIPENCAPHEADER_H

#include "cipserialize.h"

namespace ENIP {

// Encapsulation command codes that a header read accepts: the published
// EtherNet/IP encapsulation command set.
enum EncapCommand : quint16 {
    NOP = 0x0000,
    ListServices = 0x0004,
    ListIdentity = 0x0063,
    ListInterfaces = 0x0064,
    RegisterSession = 0x0065,
    UnRegisterSession = 0x0066,
    SendRRData = 0x006F,
    SendUnitData = 0x0070,
    IndicateStatus = 0x0072,
    Cancel = 0x0073
};

// The 24-byte encapsulation header that opens every EtherNet/IP message.
//
//   0        2        4                 8                 12
//   +--------+--------+-----------------+-----------------+
//   | command| length | session handle  | status          |
//   +--------+--------+-----------------+-----------------+
//   12                                   20                24
//   +-----------------------------------+-----------------+
//   | sender context (8 raw bytes)      | options         |
//   +-----------------------------------+-----------------+
//
// Every integer is little-endian. length counts the bytes that follow the
// header; it is carried as it stands and never checked against the data.
class ENIPEncapHeader : public CIP::ICipSerialize
{
public:
    static constexpr int Size = 24;

    explicit ENIPEncapHeader(quint16 command);

    using CIP::ICipSerialize::serialize;

    // Refuses fewer than 24 bytes without touching the header.
    bool deserialize(const QByteArray &bytes) override;
    // Reads the command first and gives up, with the stream back where it
    // was, when the command is not a known one. Fields beyond the end of the
    // data read as 0.
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    static bool isKnownCommand(quint16 command);

    quint16 command;
    quint16 length = 0;
    quint32 sessionHandle = 0;
    quint32 status = 0;
    quint8 senderContext[8] = {};
    quint32 options = 0;
};

} // namespace ENIP

#endif // ENIPENCAPHEADER_H
