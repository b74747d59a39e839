#ifndef IPV4SUBNET_H
#define IPV4SUBNET_H

#include <QString>
#include <QVector>

QT_BEGIN_NAMESPACE
class QNetworkInterface;
QT_END_NAMESPACE

// The netmask of a prefix length: one bits from the left. 0 and less give
// 0, 32 and more give all ones.
quint32 prefixNetmask(int prefixLength);
// The number of one bits a netmask has from the left, up to the first zero.
int netmaskPrefix(quint32 netmask);
// True for one bits from the left and then only zero bits (0 included).
bool isContiguousNetmask(quint32 netmask);

// Strict dotted-decimal IPv4: four numbers of one to three digits, each 0
// to 255, and nothing else (no spaces, no sign). QHostAddress alone would
// also take "10.1", "0x0a.0.0.1" (read as hexadecimal), "010.0.0.1" (read
// as octal) and IPv6. *address, in host byte order, is left alone when the
// text is no such address.
bool parseIpv4(const QString &text, quint32 *address);

// An IPv4 address with the prefix length of its subnet, in host byte
// order: one address of a network card, or a network (host bits zero).
struct Ipv4Subnet
{
    quint32 address = 0;
    int prefixLength = 0;

    quint32 netmask() const { return prefixNetmask(prefixLength); }
    quint32 network() const { return address & netmask(); }
    quint32 broadcast() const { return address | ~netmask(); }
    bool contains(quint32 ip) const { return (ip & netmask()) == network(); }
    bool overlaps(const Ipv4Subnet &other) const
    {
        return prefixLength <= other.prefixLength ? contains(other.address) : other.contains(address);
    }
    // The same subnet with the host bits of the address cleared.
    Ipv4Subnet networkOnly() const { return Ipv4Subnet{network(), prefixLength}; }
    // The host addresses, network and broadcast address left out (/30 and
    // shorter prefixes only).
    quint32 firstHost() const { return network() + 1; }
    quint32 hostCount() const { return prefixLength >= 31 ? 0 : (0xFFFFFFFFu >> prefixLength) - 1; }
    // "address/prefix", as in 10.40.8.0/22.
    QString text() const;
    bool operator==(const Ipv4Subnet &other) const
    {
        return address == other.address && prefixLength == other.prefixLength;
    }
    bool operator!=(const Ipv4Subnet &other) const { return !(*this == other); }
};

// The IPv4 addresses of one card, whatever its state, with their prefix
// lengths as the system gives them (-1 where it gives none).
QVector<Ipv4Subnet> cardSubnets(const QNetworkInterface &itfc);

// The addresses this computer sends from (isUsableAddressEntry), on every
// card, with their prefix lengths.
QVector<Ipv4Subnet> usableCardAddresses();

#endif // IPV4SUBNET_H
