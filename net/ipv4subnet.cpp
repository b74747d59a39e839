#include "ipv4subnet.h"

#include "netaddress.h"

#include <QNetworkInterface>

quint32 prefixNetmask(int prefixLength)
{
    if (prefixLength <= 0)
        return 0;
    if (prefixLength >= 32)
        return 0xFFFFFFFFu;
    return 0xFFFFFFFFu << (32 - prefixLength);
}

int netmaskPrefix(quint32 netmask)
{
    int length = 0;
    while (length < 32 && (netmask & (0x80000000u >> length)))
        ++length;
    return length;
}

bool isContiguousNetmask(quint32 netmask)
{
    return netmask == prefixNetmask(netmaskPrefix(netmask));
}

bool parseIpv4(const QString &text, quint32 *address)
{
    const QStringList octets = text.split(QLatin1Char('.'));
    if (octets.size() != 4)
        return false;
    quint32 value = 0;
    for (const QString &octet : octets) {
        if (octet.isEmpty() || octet.size() > 3)
            return false;
        for (const QChar c : octet) {
            if (c.unicode() < '0' || c.unicode() > '9')
                return false;
        }
        const int number = octet.toInt();
        if (number > 255)
            return false;
        value = value << 8 | quint32(number);
    }
    *address = value;
    return true;
}

QString Ipv4Subnet::text() const
{
    return QStringLiteral("%1/%2").arg(ipv4ToString(address)).arg(prefixLength);
}

QVector<Ipv4Subnet> cardSubnets(const QNetworkInterface &itfc)
{
    QVector<Ipv4Subnet> subnets;
    const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        bool isIpv4 = false;
        const quint32 address = entry.ip().toIPv4Address(&isIpv4);
        if (isIpv4)
            subnets.append(Ipv4Subnet{address, entry.prefixLength()});
    }
    return subnets;
}

QVector<Ipv4Subnet> usableCardAddresses()
{
    QVector<Ipv4Subnet> addresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &itfc : interfaces) {
        const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (isUsableAddressEntry(itfc, entry))
                addresses.append(Ipv4Subnet{entry.ip().toIPv4Address(), entry.prefixLength()});
        }
    }
    return addresses;
}
