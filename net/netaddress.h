#ifndef NETADDRESS_H
#define NETADDRESS_H

#include <QSet>
#include <QString>

QT_BEGIN_NAMESPACE
class QHostAddress;
class QNetworkAddressEntry;
class QNetworkInterface;
QT_END_NAMESPACE

// True for an address entry that a discovery run sends from: an IPv4
// address of an interface that is up, is not loopback and has a hardware
// address other than all zeros. The run and the own-address test share this
// one rule; if they drifted apart, the program's own echoes would be listed.
bool isUsableAddressEntry(const QNetworkInterface &itfc, const QNetworkAddressEntry &entry);

// Where a usable address's probes go: on an interface that can broadcast,
// the broadcast address of the address's own subnet (address OR NOT netmask)
// for prefixes /1 to /30. Point-to-point links and /31 or /32 addresses,
// where that formula gives the peer or the address itself, and addresses
// without a known prefix, probe the address's first three octets plus .255.
quint32 probeAddress(quint32 ip, int prefixLength, bool canBroadcast);

// The own-address test's quick first step. A socket can be bound to an
// address only when this computer has it, so a bind that fails with
// "address not available" shows that the address is not local, in a few
// microseconds instead of the tens that reading the interface list takes.
// False only then; every other outcome (bound, or failed for another
// reason) is true and leaves the answer to the interface list.
bool mayBeLocalAddress(quint32 address);

// True when the address is the IPv4 address of one of this computer's
// usable address entries. Nothing is cached: an address the computer gains
// or loses counts from the next call on.
bool isOwnAddress(const QHostAddress &address);

// The own-address test for the datagrams of a short while (the readers
// keep one for a second). The first few are asked about one by one
// (isOwnAddress); from then on there are many, and the interface list is
// read once and kept for the rest of that while. Nothing is carried over
// to the next one, so an address the computer gains counts a second later
// at the latest.
class OwnAddressTest
{
public:
    bool isOwn(const QHostAddress &address);

private:
    int asked = 0;
    bool listRead = false;
    QSet<quint32> usable;
};

// Dotted-decimal text of an IPv4 address in host byte order.
QString ipv4ToString(quint32 address);

#endif // NETADDRESS_H
