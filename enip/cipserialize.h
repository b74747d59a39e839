#ifndef CIPSERIALIZE_H
#define CIPSERIALIZE_H

#include <QByteArray>
#include <QDataStream>

namespace CIP {

// Read/write interface of every EtherNet/IP and CIP wire type.
//
// The stream overloads do the work; the byte-array overloads open a stream
// for the length of the call and hand it over. Each type sets the byte order
// its fields need on the stream and leaves it set, so that a following read
// on the same stream continues in that order. Fields that lie beyond the end
// of the data read as 0 and the read still succeeds: only an explicit format
// fault of a type gives false.
class ICipSerialize
{
public:
    ICipSerialize() = default;
    ICipSerialize(const ICipSerialize &) = default;
    ICipSerialize &operator=(const ICipSerialize &) = default;
    virtual ~ICipSerialize();

    // Reads from the first byte of bytes; the stream starts in big-endian.
    virtual bool deserialize(const QByteArray &bytes);
    virtual bool deserialize(QDataStream &stream) = 0;

    // Writes from the first byte of *bytes: what the array holds there is
    // replaced, the array grows where needed and is never truncated.
    virtual bool serialize(QByteArray *bytes);
    virtual bool serialize(QDataStream &stream) = 0;
};

} // namespace CIP

#endif // CIPSERIALIZE_H
