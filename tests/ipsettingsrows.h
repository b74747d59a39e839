#ifndef IPSETTINGSROWS_H
#define IPSETTINGSROWS_H

#include "ipsettingscheck.h"

#include <QStringList>
#include <QtTest>

// The rows of the IP settings check: the rule alone in tst_ipsettings, the
// window's dialog typing the same fields in tst_mainwindow.
inline void ipSettingsCheckRows()
{
    QTest::addColumn<int>("method");
    // address, netmask, gateway, name server, second name server, domain,
    // host name; "-" for a host name not to be set.
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("warning");
    // The values the settings hold: "address/netmask gw ns ns2 domain", or
    // empty when something is refused.
    QTest::addColumn<QString>("settings");

    const int s = int(IpSettings::Static);
    const auto row = [](const char *tag, int method, const QStringList &fields) -> QTestData & {
        return QTest::newRow(tag) << method << fields;
    };
    row("typical", s, {"10.0.0.20", "255.255.255.0", "10.0.0.1", "10.0.0.2", "", "plant", "io-7"})
        << ""
        << ""
        << "10.0.0.20/255.255.255.0 10.0.0.1 10.0.0.2 0.0.0.0 plant io-7";
    row("prefix, no gateway", s, {"10.0.0.20", "24", "", "", "", "", "-"})
        << ""
        << ""
        << "10.0.0.20/255.255.255.0 0.0.0.0 0.0.0.0 0.0.0.0  -";
    row("slash prefix", s, {"172.16.4.1", "/22", "172.16.7.254", "", "", "", "-"})
        << ""
        << ""
        << "172.16.4.1/255.255.252.0 172.16.7.254 0.0.0.0 0.0.0.0  -";
    row("empty address", s, {"", "24", "", "", "", "", "-"}) << "Type the device's address"
                                                             << ""
                                                             << "";
    row("not an address", s, {"10.0.0", "24", "", "", "", "", "-"}) << "\"10.0.0\" is not an IPv4 address"
                                                                    << ""
                                                                    << "";
    row("octet too big", s, {"10.0.0.256", "24", "", "", "", "", "-"}) << "\"10.0.0.256\" is not an IPv4 address"
                                                                       << ""
                                                                       << "";
    row("letters", s, {"10.0.0.x", "24", "", "", "", "", "-"}) << "\"10.0.0.x\" is not an IPv4 address"
                                                               << ""
                                                               << "";
    row("loopback", s, {"127.0.0.5", "8", "", "", "", "", "-"})
        << "127.0.0.5 cannot be a device's address (this network, loopback, multicast or reserved)"
        << ""
        << "";
    row("multicast", s, {"224.0.0.5", "8", "", "", "", "", "-"})
        << "224.0.0.5 cannot be a device's address (this network, loopback, multicast or reserved)"
        << ""
        << "";
    row("network address", s, {"10.0.0.0", "255.255.255.0", "", "", "", "", "-"})
        << "10.0.0.0 is the network address of 10.0.0.0/24"
        << ""
        << "";
    row("broadcast address", s, {"10.0.3.255", "22", "", "", "", "", "-"})
        << "10.0.3.255 is the broadcast address of 10.0.0.0/22"
        << ""
        << "";
    row("no netmask", s, {"10.0.0.20", "", "", "", "", "", "-"}) << "Type the netmask or the prefix length"
                                                                 << ""
                                                                 << "";
    row("netmask with a hole", s, {"10.0.0.20", "255.0.255.0", "", "", "", "", "-"})
        << "\"255.0.255.0\" is not a netmask: give 255.255.255.0 or a prefix length such as 24"
        << ""
        << "";
    row("prefix 33", s, {"10.0.0.20", "33", "", "", "", "", "-"})
        << "\"33\" is not a netmask: give 255.255.255.0 or a prefix length such as 24"
        << ""
        << "";
    row("prefix 31", s, {"10.0.0.20", "31", "", "", "", "", "-"})
        << "A /31 subnet has no room for a device: give /30 or shorter"
        << ""
        << "";
    row("gateway outside", s, {"10.0.0.20", "24", "10.0.1.1", "", "", "", "-"})
        << "The gateway 10.0.1.1 is outside the subnet 10.0.0.0/24"
        << ""
        << "";
    row("gateway is the device", s, {"10.0.0.20", "24", "10.0.0.20", "", "", "", "-"})
        << "The gateway 10.0.0.20 is the device's own address"
        << ""
        << "";
    row("gateway is the broadcast", s, {"10.0.0.20", "24", "10.0.0.255", "", "", "", "-"})
        << "The gateway 10.0.0.255 is the network or broadcast address of 10.0.0.0/24"
        << ""
        << "";
    row("bad name server", s, {"10.0.0.20", "24", "", "8.8.8", "", "", "-"}) << "\"8.8.8\" is not an IPv4 address"
                                                                             << ""
                                                                             << "";
    row("bad second name server", s, {"10.0.0.20", "24", "", "", "dns", "", "-"}) << "\"dns\" is not an IPv4 address"
                                                                                  << ""
                                                                                  << "";
    row("bad domain", s, {"10.0.0.20", "24", "", "", "", "plant..local", "-"})
        << "\"plant..local\" is not a domain name: letters, digits and hyphens, parts joined by dots"
        << ""
        << "";
    row("domain too long", s, {"10.0.0.20", "24", "", "", "", QString(49, 'a'), "-"})
        << "A domain name has at most 48 characters"
        << ""
        << "";
    row("bad host name", s, {"10.0.0.20", "24", "", "", "", "", "-io"})
        << "A host name holds only letters, digits, hyphens and dots, and no part of it begins or ends with a "
           "hyphen"
        << ""
        << "";
    // Another listed device (10.0.0.8) has the address: a warning only.
    row("address of a listed device", s, {"10.0.0.8", "24", "", "", "", "", "-"})
        << ""
        << "Another listed device has the address 10.0.0.8: the two would conflict"
        << "10.0.0.8/255.255.255.0 0.0.0.0 0.0.0.0 0.0.0.0  -";
    // DHCP: the address fields are not looked at.
    row("DHCP", int(IpSettings::Dhcp), {"bad", "bad", "bad", "", "", "", "io-9"})
        << ""
        << ""
        << "0.0.0.0/0.0.0.0 0.0.0.0 0.0.0.0 0.0.0.0  io-9";
}

// The input of one row.
inline IpSettingsInput ipSettingsInputOf(int method, const QStringList &fields)
{
    IpSettingsInput input;
    input.method = IpSettings::Method(method);
    input.address = fields.at(0);
    input.netmask = fields.at(1);
    input.gateway = fields.at(2);
    input.nameServer = fields.at(3);
    input.nameServer2 = fields.at(4);
    input.domain = fields.at(5);
    input.setHostName = fields.at(6) != "-";
    input.hostName = input.setHostName ? fields.at(6) : QString();
    return input;
}

#endif // IPSETTINGSROWS_H
