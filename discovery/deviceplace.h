#ifndef DEVICEPLACE_H
#define DEVICEPLACE_H

#include "ipv4subnet.h"

#include <QByteArray>
#include <QList>
#include <QNetworkInterface>
#include <QString>
#include <QVector>

struct DeviceRecord;

// One entry of the computer's neighbour table (ARP cache) that holds a
// hardware address in use.
struct Neighbour
{
    quint32 address = 0; // IPv4, host byte order
    int interfaceIndex = 0;
    QByteArray hardwareAddress;
};

// The computer's neighbour table. Reading it asks the system, which costs
// far more than handling a reply, so it is read when a device's details
// are shown, never once per reply. Tests put a table of their own in its
// place.
class NeighbourTable
{
public:
    virtual ~NeighbourTable() = default;
    // False where this platform's table cannot be read at all; the MAC
    // address is then left out rather than called unknown.
    virtual bool isAvailable() const = 0;
    // The entries whose hardware address is known and in use: reachable,
    // stale (as an entry learnt from a device's own ARP request is), delay,
    // probe and permanent ones, not incomplete or failed ones.
    virtual QVector<Neighbour> read() const = 0;
};

// The table of this computer: netlink RTM_GETNEIGH on Linux,
// GetIpNetTable2 on Windows, none elsewhere.
class SystemNeighbourTable : public NeighbourTable
{
public:
    bool isAvailable() const override;
    QVector<Neighbour> read() const override;
};

// Where a device sits in this computer's networks.
struct DevicePlace
{
    // The card the reply came in on, and its address entry whose subnet
    // holds the device (its first IPv4 entry where none does). Name empty:
    // not known; prefix -1: the card has no IPv4 address.
    QString cardName;
    quint32 cardAddress = 0;
    int cardPrefixLength = -1;
    // The card's netmask; 0 where its prefix is not known.
    quint32 cardNetmask() const { return prefixNetmask(cardPrefixLength); }
    // A subnet of one of this computer's IPv4 addresses holds the device;
    // otherwise the device is reached through a router and its own hardware
    // address cannot be known here.
    bool onLocalSubnet = false;
    // The neighbour table could be read on this platform.
    bool neighboursRead = false;
    // The device's hardware address from the neighbour table; empty when
    // the table holds none for it.
    QByteArray hardwareAddress;

    // "lan1, 10.231.1.1/24", "lan1" for a card without an IPv4 address,
    // empty when the card is not known.
    QString cardText() const;
    // Colon-separated lower-case hexadecimal, "02:72:01:01:00:01"; empty
    // when not known.
    QString hardwareAddressText() const;
};

// Finds the places of devices from the interface list and the neighbour
// table as they were when it was made: one read of each for any number of
// devices.
class DeviceLocator
{
public:
    explicit DeviceLocator(const NeighbourTable &table);
    DevicePlace place(const DeviceRecord &record) const;
    DevicePlace place(quint32 address, int interfaceIndex) const;

private:
    QList<QNetworkInterface> interfaces;
    QVector<Neighbour> neighbours;
    bool neighboursRead;
};

#endif // DEVICEPLACE_H
