#include "encapsulation.h"

#include "wirecheck.h"

#include <QIODevice>

namespace ENIP {

Frame frameOf(const QByteArray &buffer, int *messageSize)
{
    if (buffer.size() < ENIPEncapHeader::Size)
        return Frame::Incomplete;
    // The length field, bytes 2 and 3, counts the bytes after the header.
    const int length = quint8(buffer.at(2)) | quint8(buffer.at(3)) << 8;
    if (length > MaxTcpDataLength)
        return Frame::TooLong;
    if (buffer.size() < ENIPEncapHeader::Size + length)
        return Frame::Incomplete;
    *messageSize = ENIPEncapHeader::Size + length;
    return Frame::Complete;
}

EncapMessage::EncapMessage(quint16 command, const QByteArray &data)
    : header(command)
    , data(data)
{ }

bool EncapMessage::deserialize(QDataStream &stream)
{
    if (CIP::bytesLeft(stream) < ENIPEncapHeader::Size)
        return false;
    ENIPEncapHeader readHeader(NOP);
    if (!readHeader.deserialize(stream) || readHeader.length > MaxTcpDataLength)
        return false;
    QByteArray readData;
    if (!CIP::readExactly(stream, readHeader.length, &readData))
        return false;
    header = readHeader;
    data = readData;
    return true;
}

bool EncapMessage::serialize(QDataStream &stream)
{
    if (data.size() > 0xFFFF)
        return false;
    header.length = quint16(data.size());
    header.serialize(stream);
    stream.writeRawData(data.constData(), data.size());
    return true;
}

QByteArray EncapMessage::bytes()
{
    QByteArray out;
    if (!serialize(&out))
        return QByteArray();
    return out;
}

bool RegisterSessionData::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (CIP::bytesLeft(stream) < 4)
        return false;
    stream >> protocolVersion >> options;
    return true;
}

bool RegisterSessionData::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << protocolVersion << options;
    return true;
}

bool RRDataBody::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (CIP::bytesLeft(stream) < 8)
        return false;
    RRDataBody read;
    quint16 count = 0;
    stream >> read.interfaceHandle >> read.timeout >> count;
    int unconnected = 0;
    // Every item is at least four bytes, so the loop ends with the data
    // whatever the count says.
    for (int i = 0; i < count; ++i) {
        if (CIP::bytesLeft(stream) < 4)
            return false;
        quint16 type = 0;
        quint16 length = 0;
        stream >> type >> length;
        QByteArray itemData;
        if (!CIP::readExactly(stream, length, &itemData))
            return false;
        if (type == UnconnectedDataItemType) {
            read.message = itemData;
            ++unconnected;
        }
    }
    if (unconnected != 1)
        return false;
    *this = read;
    return true;
}

bool RRDataBody::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (message.size() > 0xFFFF)
        return false;
    stream << interfaceHandle << timeout << quint16(2);
    stream << NullAddressItemType << quint16(0);
    stream << UnconnectedDataItemType << quint16(message.size());
    stream.writeRawData(message.constData(), message.size());
    return true;
}

QByteArray registerSessionRequest()
{
    QByteArray data;
    RegisterSessionData().serialize(&data);
    return EncapMessage(RegisterSession, data).bytes();
}

QByteArray unRegisterSessionRequest(quint32 session)
{
    EncapMessage message(UnRegisterSession);
    message.header.sessionHandle = session;
    return message.bytes();
}

QByteArray sendRRDataRequest(quint32 session, const CIP::MessageRouterRequest &request)
{
    RRDataBody rr;
    CIP::MessageRouterRequest copy = request;
    if (!copy.serialize(&rr.message))
        return QByteArray();
    EncapMessage message(SendRRData);
    message.header.sessionHandle = session;
    if (!rr.serialize(&message.data))
        return QByteArray();
    return message.bytes();
}

namespace {

// Reads value from exactly the bytes of data: false when they are too few
// or some are left over.
bool readWhole(CIP::ICipSerialize *value, const QByteArray &data)
{
    QDataStream stream(data);
    return value->deserialize(stream) && stream.atEnd();
}

} // namespace

ReplyFault readRegisterSessionReply(const EncapMessage &reply, quint32 *session)
{
    if (reply.header.command != RegisterSession)
        return ReplyFault::Command;
    if (reply.header.status != EncapSuccess)
        return ReplyFault::Status;
    if (reply.header.sessionHandle == 0)
        return ReplyFault::Session;
    RegisterSessionData data;
    if (!readWhole(&data, reply.data))
        return ReplyFault::Data;
    *session = reply.header.sessionHandle;
    return ReplyFault::None;
}

ReplyFault readSendRRDataReply(const EncapMessage &reply, quint32 session, quint8 service,
                               CIP::MessageRouterResponse *response)
{
    if (reply.header.command != SendRRData)
        return ReplyFault::Command;
    if (reply.header.status != EncapSuccess)
        return ReplyFault::Status;
    if (reply.header.sessionHandle != session)
        return ReplyFault::Session;
    RRDataBody rr;
    if (!readWhole(&rr, reply.data))
        return ReplyFault::Data;
    CIP::MessageRouterResponse read;
    if (!read.deserialize(rr.message))
        return ReplyFault::Data;
    if (!read.answers(service))
        return ReplyFault::Service;
    *response = read;
    return ReplyFault::None;
}

} // namespace ENIP
