#ifndef CARDSETTINGS_H
#define CARDSETTINGS_H

#include "addressassignment.h"

#include <QString>
#include <QVector>

// What a card of this computer offers a device that gets an address on its
// link: its IPv4 addresses, and the gateway and name servers the computer
// itself uses there, so that the device can be given the same.
struct CardSettings
{
    QString name;
    QVector<Ipv4Subnet> addresses;
    quint32 gateway = 0; // 0: none known
    QVector<quint32> nameServers; // at most two

    // The card with this interface index. The gateway and name servers are
    // read from the system (Linux: /proc/net/route and /etc/resolv.conf;
    // Windows: the adapter's own, through the IP helper API); elsewhere
    // they stay unknown.
    static CardSettings read(int interfaceIndex);

    // The parts of read() that take text, apart for testing. The default
    // route through the card ifname in /proc/net/route's table; the IPv4
    // name servers of a resolv.conf, without loopback addresses (a local
    // resolver is of no use to a device), at most two.
    static quint32 gatewayFromRouteTable(const QByteArray &table, const QString &ifname);
    static QVector<quint32> nameServersFromResolvConf(const QByteArray &text);

private:
#ifdef _WIN32
    static void readAdapterSettings(CardSettings *settings);
#endif
};

#endif // CARDSETTINGS_H
