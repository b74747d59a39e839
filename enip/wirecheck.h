#ifndef WIRECHECK_H
#define WIRECHECK_H

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

// Bounds checks for the explicit-messaging types. Unlike the ListIdentity
// types, which take QDataStream's zeros for bytes past the end, these types
// look at what the stream still holds before every field and refuse data
// that is too short. A length field is only ever trusted after this check,
// so nothing is allocated for bytes that were never sent.
namespace CIP {

// Bytes the stream still holds; 0 for a stream without a device or one
// that already failed.
inline qint64 bytesLeft(const QDataStream &stream)
{
    const QIODevice *device = stream.device();
    if (!device || stream.status() != QDataStream::Ok)
        return 0;
    return device->bytesAvailable();
}

// Reads exactly count raw bytes into *bytes. False, with *bytes unchanged
// and nothing allocated, when the stream holds fewer.
inline bool readExactly(QDataStream &stream, qint64 count, QByteArray *bytes)
{
    if (count < 0 || bytesLeft(stream) < count)
        return false;
    QByteArray read(int(count), '\0');
    if (stream.readRawData(read.data(), int(count)) != int(count))
        return false;
    *bytes = read;
    return true;
}

// Reads exactly size raw bytes into buffer; false when the stream holds
// fewer.
inline bool readExactly(QDataStream &stream, quint8 *buffer, int size)
{
    if (bytesLeft(stream) < size)
        return false;
    return stream.readRawData(reinterpret_cast<char *>(buffer), size) == size;
}

} // namespace CIP

#endif // WIRECHECK_H
