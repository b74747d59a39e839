#ifndef CIPROUTE_H
#define CIPROUTE_H

#include "cipserialize.h"

#include <QString>
#include <QVector>

namespace CIP {

// One hop of a route: out of the device through port, to the node at link
// on the network (or backplane) behind it. A link of one byte is a slot or
// node number; a longer one is an address in text, such as "10.0.0.5" on
// an Ethernet port.
struct CipRouteHop
{
    CipRouteHop() = default;
    CipRouteHop(quint16 port, quint8 slot)
        : port(port)
        , link(1, char(slot))
    { }
    CipRouteHop(quint16 port, const QByteArray &link)
        : port(port)
        , link(link)
    { }

    bool isSlot() const { return link.size() == 1; }
    // The slot or node number; 0 for a longer link.
    quint8 slot() const { return isSlot() ? quint8(link.at(0)) : 0; }

    bool operator==(const CipRouteHop &other) const { return port == other.port && link == other.link; }
    bool operator!=(const CipRouteHop &other) const { return !(*this == other); }

    quint16 port = 0;
    QByteArray link;
};

// A route through bridges to a module, as port segments: one per hop, each
// padded to an even number of bytes.
//
//   0        1         [2       3]       [4 ...]      [pad]
//   +--------+---------+-----------------+------------+-----+
//   | 000E   | link    | extended port   | link       | 00  |
//   | pppp   | size    | (UINT)          | address    |     |
//   +--------+---------+-----------------+------------+-----+
//
// The first byte holds the port in its low nibble (1 to 14; 15 says an
// extended port number follows as a UINT) and E, 0x10, which says a link
// size byte follows and the link is that many bytes. Without E the link is
// one byte. A slot hop through port 1 is 01 03; through port 20 it is
// 0F 14 00 03; to 10.0.0.5 through port 2 it is 12 08 "10.0.0.5".
//
// An empty route is the device itself.
class CipRoute : public ICipSerialize
{
public:
    // The longest route an Unconnected Send carries: its size is one byte
    // of 16-bit words.
    static constexpr int MaxEncodedSize = 2 * 0xFF;

    CipRoute() = default;
    explicit CipRoute(const QVector<CipRouteHop> &hops)
        : hops(hops)
    { }

    // Reads the command line's form, PORT,LINK[,PORT,LINK...]: decimal
    // port numbers from 1 to 65535, each followed by a slot from 0 to 255
    // or a dotted IPv4 address, as in "1,3" or "1,2,2,10.0.0.5". Spaces
    // around a field are allowed. False, with *route unchanged and the
    // reason in *error, for empty text, an odd number of fields, an empty
    // field, port 0, a link that is neither a slot nor an address, or a
    // route longer than MaxEncodedSize bytes.
    static bool fromText(const QString &text, CipRoute *route, QString *error = nullptr);
    // The command line's form; an address link as its text. A longer link
    // that is not printable text, which only a device can send, is shown
    // as hexadecimal after "0x" (and does not read back).
    QString toText() const;

    bool isEmpty() const { return hops.isEmpty(); }

    // The port segments' size in bytes, a multiple of 2; -1 for a route
    // that cannot be written (see serialize).
    int encodedSize() const;

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // Reads port segments to the end of the stream. False, with the route
    // unchanged, for any other segment, port 0, an empty extended link, or
    // a segment cut by the end. The pad byte's value is not checked.
    bool deserialize(QDataStream &stream) override;
    // Writes the segments, the shortest form of each. False, with nothing
    // written, for port 0, an empty link or one of more than 255 bytes, or
    // a route longer than MaxEncodedSize bytes.
    bool serialize(QDataStream &stream) override;

    bool operator==(const CipRoute &other) const { return hops == other.hops; }
    bool operator!=(const CipRoute &other) const { return !(*this == other); }

    QVector<CipRouteHop> hops;
};

} // namespace CIP

#endif // CIPROUTE_H
