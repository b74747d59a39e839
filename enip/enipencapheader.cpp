#include "enipencapheader.h"

#include <cstring>

namespace ENIP {

ENIPEncapHeader::ENIPEncapHeader(quint16 command)
    : command(command)
{ }

bool ENIPEncapHeader::isKnownCommand(quint16 command)
{
    switch (command) {
    case NOP:
    case ListServices:
    case ListIdentity:
    case ListInterfaces:
    case RegisterSession:
    case UnRegisterSession:
    case SendRRData:
    case SendUnitData:
    case IndicateStatus:
    case Cancel:
        return true;
    default:
        return false;
    }
}

bool ENIPEncapHeader::deserialize(const QByteArray &bytes)
{
    if (bytes.size() < Size)
        return false;
    QDataStream stream(bytes);
    return deserialize(stream);
}

bool ENIPEncapHeader::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream.startTransaction();

    quint16 readCommand = 0;
    stream >> readCommand;
    if (!isKnownCommand(readCommand)) {
        // Puts the stream back before the command, so that the caller may
        // try the bytes as something else.
        stream.rollbackTransaction();
        return false;
    }
    // On a stream shorter than two bytes the commit fails and the stream
    // reports ReadPastEnd; the command then reads as 0 (NOP), which the
    // caller tells apart by its value.
    stream.commitTransaction();

    command = readCommand;
    stream >> length >> sessionHandle >> status;
    // readRawData leaves whatever it cannot fill untouched: clear the
    // context first, so that bytes beyond the end read as 0 like any field.
    std::memset(senderContext, 0, sizeof senderContext);
    stream.readRawData(reinterpret_cast<char *>(senderContext), sizeof senderContext);
    stream >> options;
    return true;
}

bool ENIPEncapHeader::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << command << length << sessionHandle << status;
    stream.writeRawData(reinterpret_cast<const char *>(senderContext), sizeof senderContext);
    stream << options;
    return true;
}

} // namespace ENIP
