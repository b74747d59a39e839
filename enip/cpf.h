#ifndef CPF_H
#define CPF_H

#include "cipserialize.h"

#include <QList>

namespace ENIP {

// Type id of the CIP Identity item that carries a device's identity in a
// ListIdentity reply.
constexpr quint16 IdentityItemType = 0x000C;

// One item of the Common Packet Format:
//
//   0         2         4
//   +---------+---------+------------------+
//   | type id | length L| L bytes of data  |
//   +---------+---------+------------------+
//
// An item sets no byte order of its own: inside a CPFData it reads and
// writes in little-endian, on its own through the byte-array overloads in
// QDataStream's default big-endian.
class CPFItem : public CIP::ICipSerialize
{
public:
    using CIP::ICipSerialize::deserialize;
    using CIP::ICipSerialize::serialize;

    // An item whose length runs past the end of the data keeps its declared
    // length; the bytes the data does not hold are 0.
    bool deserialize(QDataStream &stream) override;
    // Writes the low 16 bits of data.size() as the length; callers keep the
    // data at 65535 bytes or less.
    bool serialize(QDataStream &stream) override;

    bool isType(quint16 type) const { return typeId == type; }

    quint16 typeId = 0;
    QByteArray data;
};

// The Common Packet Format block that follows the encapsulation header: a
// little-endian 16-bit item count, then the items one after the other, with
// no alignment and no trailer.
class CPFData : public CIP::ICipSerialize
{
public:
    using CIP::ICipSerialize::deserialize;
    using CIP::ICipSerialize::serialize;

    // Replaces all items. Reads at most count items, and none that would
    // start at or past the end of the data: a count larger than the data
    // can hold yields only the items that are there. An item that starts
    // inside the data is read in full, with zeros for what is missing.
    bool deserialize(QDataStream &stream) override;
    // Writes at most 65535 items, with a count that agrees with them.
    bool serialize(QDataStream &stream) override;

    QList<CPFItem> items;
};

} // namespace ENIP

#endif // CPF_H
