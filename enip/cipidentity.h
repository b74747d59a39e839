#ifndef CIPIDENTITY_H
#define CIPIDENTITY_H

#include "cipserialize.h"

#include <QString>

namespace CIP {

// A value that can be shown as text.
class ICipData
{
public:
    virtual ~ICipData() = default;
    virtual QString toString() const = 0;
};

// CIP SHORT_STRING: a one-byte length n, then n Latin-1 characters with no
// terminator.
//
// data is null until the string is read; a read always leaves a buffer,
// also for n = 0, so that an empty name and a name never read stay apart.
// Copies own buffers of their own.
class CipShortString : public ICipData, public ICipSerialize
{
public:
    CipShortString() = default;
    CipShortString(const CipShortString &other);
    CipShortString &operator=(const CipShortString &other);
    ~CipShortString() override;

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // "NULL" while the string holds no buffer.
    QString toString() const override;
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    // Reads count characters into a new buffer of exactly count bytes.
    // Characters beyond the end of the data are 0.
    void readCharacters(QDataStream &stream, quint8 count);

    quint8 length = 0;
    char *data = nullptr;
};

// The socket-address block of a ListIdentity reply, 16 bytes and, unlike
// everything else in EtherNet/IP, big-endian:
//
//   0          2        4        8                  16
//   +----------+--------+--------+------------------+
//   | family   | port   | addr   | zero (8 bytes)   |
//   +----------+--------+--------+------------------+
//
// Reading or writing it leaves the stream in the byte order it had before.
class CipSockaddr : public ICipSerialize
{
public:
    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    qint16 sinFamily = 0;
    quint16 sinPort = 0;
    quint32 sinAddr = 0xFFFFFFFF;
    quint8 sinZero[8] = {};
};

// The attributes of a device's CIP Identity object as a ListIdentity reply
// carries them, little-endian:
//
//   0       2        4        6   7   8       10            14  15      15+n
//   +-------+--------+--------+---+---+-------+-------------+---+-------+-----+
//   |vendor |devtype |product |maj|min|status | serial no.  | n | name  |state|
//   +-------+--------+--------+---+---+-------+-------------+---+-------+-----+
//
// Identity objects are only ever read; writing one reports false.
class CipIdentityObject : public ICipSerialize
{
public:
    static constexpr quint8 MaxProductNameLength = 32;

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False for a product name longer than 32 characters; the fields before
    // the name then hold what was read, productName and state are kept.
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    quint16 vendorId = 0;
    quint16 deviceType = 0;
    quint16 productCode = 0;
    quint8 revisionMajor = 0;
    quint8 revisionMinor = 0;
    quint16 status = 0;
    quint32 serialNumber = 0;
    CipShortString productName;
    quint8 state = 0;
};

} // namespace CIP

#endif // CIPIDENTITY_H
