#include "cardsettings.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QtEndian>

CardSettings CardSettings::read(int interfaceIndex)
{
    CardSettings settings;
    const QNetworkInterface itfc = QNetworkInterface::interfaceFromIndex(interfaceIndex);
    if (!itfc.isValid())
        return settings;
    settings.name = itfc.humanReadableName();
    const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        bool isIpv4 = false;
        const quint32 address = entry.ip().toIPv4Address(&isIpv4);
        if (isIpv4)
            settings.addresses.append(CardAddress{address, entry.prefixLength()});
    }
#ifdef Q_OS_LINUX
    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly))
        settings.gateway = gatewayFromRouteTable(routes.read(1 << 20), itfc.name());
    QFile resolvConf(QStringLiteral("/etc/resolv.conf"));
    if (resolvConf.open(QIODevice::ReadOnly))
        settings.nameServers = nameServersFromResolvConf(resolvConf.read(1 << 20));
#endif
    return settings;
}

// /proc/net/route, one route a line after a header:
//   Iface  Destination  Gateway   Flags  RefCnt  Use  Metric  Mask  ...
//   eth0   00000000     0101A8C0  0003   ...
// Addresses are the kernel's network-order words printed in hex as the host
// reads them: on a little-endian host the first octet is the lowest byte.
quint32 CardSettings::gatewayFromRouteTable(const QByteArray &table, const QString &ifname)
{
    const QList<QByteArray> lines = table.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || QString::fromLatin1(fields.at(0)) != ifname)
            continue;
        bool destinationOk = false;
        bool gatewayOk = false;
        bool maskOk = false;
        const quint32 destination = fields.at(1).toUInt(&destinationOk, 16);
        const quint32 gateway = fields.at(2).toUInt(&gatewayOk, 16);
        const quint32 mask = fields.at(7).toUInt(&maskOk, 16);
        if (destinationOk && gatewayOk && maskOk && destination == 0 && mask == 0 && gateway != 0)
            return qFromBigEndian(gateway);
    }
    return 0;
}

QVector<quint32> CardSettings::nameServersFromResolvConf(const QByteArray &text)
{
    QVector<quint32> servers;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2 || fields.at(0) != "nameserver")
            continue;
        const QString text = QString::fromLatin1(fields.at(1));
        QHostAddress address;
        if (text.count(QLatin1Char('.')) != 3 || !address.setAddress(text)
            || address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback())
            continue;
        servers.append(address.toIPv4Address());
        if (servers.size() == 2)
            break;
    }
    return servers;
}
