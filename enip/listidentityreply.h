#ifndef LISTIDENTITYREPLY_H
#define LISTIDENTITYREPLY_H

#include "cipidentity.h"
#include "cpf.h"
#include "enipencapheader.h"

#include <QVector>

namespace ENIP {

// One item of a ListIdentity reply. For a CIP Identity item (type 0x000C)
// the item's data is decoded as well, little-endian but for the socket
// address:
//
//   0            2                  18
//   +------------+------------------+---------------------------------+
//   | encap. ver | sockaddr (BE)    | identity object attributes      |
//   +------------+------------------+---------------------------------+
//
// Fields beyond the end of the item's data read as 0. Items of any other
// type keep only their type id.
struct ListIdentityItem
{
    bool isType(quint16 type) const { return typeId == type; }

    quint16 typeId = 0;
    quint16 encapVersion = 0;
    CIP::CipSockaddr sockaddr;
    CIP::CipIdentityObject identity;
    // False when the identity object was refused (a product name longer than
    // 32 characters): the fields before the name hold what was read.
    bool identityDecoded = false;
};

// A whole ListIdentity reply datagram, as the reply reader sees it:
//
//   0                24        26
//   +----------------+---------+--------+--------+---
//   | encap. header  | count N | item 1 | item 2 | ... N items
//   +----------------+---------+--------+--------+---
//
// The header is read without the 24-byte check (missing fields read as 0),
// and its length field is not used. Only the items that start inside the
// datagram are kept (see CPFData), so the work done is bounded by the
// datagram's size whatever its item count says.
class ListIdentityReply : public CIP::ICipSerialize
{
public:
    using CIP::ICipSerialize::deserialize;
    using CIP::ICipSerialize::serialize;

    // Replaces the items. False, with no items, when the header cannot be
    // read or its command is not ListIdentity.
    bool deserialize(QDataStream &stream) override;
    // Replies are only ever read; writing one reports false.
    bool serialize(QDataStream &stream) override;

    ENIPEncapHeader header = ENIPEncapHeader(0);
    QVector<ListIdentityItem> items;
};

} // namespace ENIP

#endif // LISTIDENTITYREPLY_H
