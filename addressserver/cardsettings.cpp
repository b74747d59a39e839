// GetAdaptersAddresses gives an adapter's gateways from Windows Vista on,
// and only where winsock2.h and ws2ipdef.h came before iphlpapi.h.
#ifdef _WIN32
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <winsock2.h>

#include <ws2ipdef.h>

#include <iphlpapi.h>
#endif

#include "cardsettings.h"

#include "ipv4subnet.h"

#include <QFile>
#include <QNetworkInterface>
#include <QtEndian>

CardSettings CardSettings::read(int interfaceIndex)
{
    CardSettings settings;
    const QNetworkInterface itfc = QNetworkInterface::interfaceFromIndex(interfaceIndex);
    if (!itfc.isValid())
        return settings;
    settings.name = itfc.humanReadableName();
    settings.addresses = cardSubnets(itfc);
#ifdef Q_OS_LINUX
    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly))
        settings.gateway = gatewayFromRouteTable(routes.read(1 << 20), itfc.name());
    QFile resolvConf(QStringLiteral("/etc/resolv.conf"));
    if (resolvConf.open(QIODevice::ReadOnly))
        settings.nameServers = nameServersFromResolvConf(resolvConf.read(1 << 20));
#elif defined(_WIN32)
    readAdapterSettings(&settings);
#endif
    return settings;
}

#ifdef _WIN32
namespace {

quint32 ipv4Of(const SOCKET_ADDRESS &address)
{
    if (!address.lpSockaddr || address.lpSockaddr->sa_family != AF_INET
        || address.iSockaddrLength < int(sizeof(sockaddr_in)))
        return 0;
    return ntohl(reinterpret_cast<const sockaddr_in *>(address.lpSockaddr)->sin_addr.s_addr);
}

} // namespace

// The adapter that holds one of the card's addresses: its first IPv4
// gateway and its first two IPv4 name servers.
void CardSettings::readAdapterSettings(CardSettings *settings)
{
    ULONG size = 16 * 1024;
    QByteArray buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the two calls; a few tries are enough.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(int(size));
        result =
            GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST,
                                 nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return;
    for (const auto *adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES *>(buffer.constData()); adapter;
         adapter = adapter->Next) {
        bool holdsCard = false;
        for (const auto *unicast = adapter->FirstUnicastAddress; unicast && !holdsCard; unicast = unicast->Next) {
            const quint32 address = ipv4Of(unicast->Address);
            for (const Ipv4Subnet &card : qAsConst(settings->addresses))
                holdsCard = holdsCard || (address != 0 && address == card.address);
        }
        if (!holdsCard)
            continue;
        for (const auto *gateway = adapter->FirstGatewayAddress; gateway && !settings->gateway; gateway = gateway->Next)
            settings->gateway = ipv4Of(gateway->Address);
        for (const auto *dns = adapter->FirstDnsServerAddress; dns && settings->nameServers.size() < 2;
             dns = dns->Next) {
            const quint32 server = ipv4Of(dns->Address);
            // A resolver on this computer is of no use to a device.
            if (server != 0 && (server >> 24) != 127)
                settings->nameServers.append(server);
        }
        return;
    }
}
#endif

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
        quint32 address = 0;
        // 127.0.0.0/8 is loopback.
        if (!parseIpv4(QString::fromLatin1(fields.at(1)), &address) || address >> 24 == 127)
            continue;
        servers.append(address);
        if (servers.size() == 2)
            break;
    }
    return servers;
}
