// Where a discovery run's probes go, for every kind of address; which
// addresses are this computer's own; which remote networks can be added;
// the sweep's pace and order; and how the networks report counts devices.

#include "ipv4subnet.h"
#include "netaddress.h"
#include "networkreport.h"
#include "remotenetwork.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>

namespace {

// Wine's ntdll exports its version; Windows' does not.
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace
#endif

namespace {

Ipv4Subnet net(const char *text)
{
    const QString s = QString::fromLatin1(text);
    const int prefix = s.section('/', 1).toInt();
    return {QHostAddress(s.section('/', 0, 0)).toIPv4Address(), prefix};
}

quint32 ip(const char *dotted)
{
    return QHostAddress(QString::fromLatin1(dotted)).toIPv4Address();
}

} // namespace

class TestNetAddress : public QObject
{
    Q_OBJECT

private slots:
    void parseIpv4_data();
    void parseIpv4();
    void ipv4Text_data();
    void ipv4Text();
    void netmask_data();
    void netmask();
    void subnet_data();
    void subnet();
    void probeAddress_data();
    void probeAddress();
    void ownAddress_data();
    void ownAddress();
    void remoteNetwork_data();
    void remoteNetwork();
    void sweepPace();
    void sweepOrder();
    void devicesPerRow();
    void labelText();
};

void TestNetAddress::parseIpv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused

    QTest::newRow("address") << "192.168.1.20"
                             << "192.168.1.20";
    QTest::newRow("zero") << "0.0.0.0"
                          << "0.0.0.0";
    QTest::newRow("all ones") << "255.255.255.255"
                              << "255.255.255.255";
    // QHostAddress reads 010 as octal 8: the user means ten.
    QTest::newRow("leading zeros are decimal") << "010.001.000.009"
                                               << "10.1.0.9";
    const char *const refused[] = {
        "",           "10.1",    "10.0.0",          "10.0.0.1.5", "10..0.1",   "10.0.0.",  "10.0.0.256", "1000.0.0.1",
        "0x0a.0.0.1", "fe80::1", "::ffff:10.0.0.1", " 10.0.0.1",  "10.0.0.1 ", "+1.2.3.4", "1.2.3.-4",   "10.0.0.1/24"};
    for (const char *text : refused)
        QTest::addRow("refused \"%s\"", text) << QString::fromLatin1(text) << QString();
    // Digits of another script are no dotted decimal either.
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\u0661\u0660.0.0.1") << QString();
}

void TestNetAddress::parseIpv4()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    // A refused text leaves the address as it was.
    quint32 parsed = 0xDEADBEEF;
    QCOMPARE(::parseIpv4(text, &parsed), !address.isEmpty());
    QCOMPARE(address.isEmpty() ? parsed == 0xDEADBEEF : ipv4ToString(parsed) == address, true);
}

void TestNetAddress::ipv4Text_data()
{
    QTest::addColumn<quint32>("address");
    // Each octet at the edges of one, two and three digits, in every place.
    const quint32 octets[] = {0, 1, 9, 10, 11, 99, 100, 101, 199, 200, 249, 250, 255};
    for (const quint32 octet : octets)
        for (int shift = 0; shift <= 24; shift += 8)
            QTest::addRow("%u at bit %d", octet, shift) << ((octet << shift) | (0x7F7F7F7Fu & ~(0xFFu << shift)));
    QTest::newRow("0.0.0.0") << 0u;
    QTest::newRow("255.255.255.255") << 0xFFFFFFFFu;
}

void TestNetAddress::ipv4Text()
{
    QFETCH(quint32, address);
    QCOMPARE(ipv4ToString(address), QHostAddress(address).toString());
}

void TestNetAddress::netmask_data()
{
    QTest::addColumn<int>("prefix");
    QTest::addColumn<QString>("netmask");

    QTest::newRow("/0") << 0 << "0.0.0.0";
    QTest::newRow("/1") << 1 << "128.0.0.0";
    QTest::newRow("/8") << 8 << "255.0.0.0";
    QTest::newRow("/23") << 23 << "255.255.254.0";
    QTest::newRow("/24") << 24 << "255.255.255.0";
    QTest::newRow("/31") << 31 << "255.255.255.254";
    QTest::newRow("/32") << 32 << "255.255.255.255";
}

void TestNetAddress::netmask()
{
    QFETCH(int, prefix);
    QFETCH(QString, netmask);
    const quint32 mask = prefixNetmask(prefix);
    QCOMPARE(ipv4ToString(mask), netmask);
    QCOMPARE(netmaskPrefix(mask), prefix);
    QVERIFY(isContiguousNetmask(mask));
    // One bit set below the ones is no netmask; the prefix counts the ones
    // from the left only.
    if (prefix <= 30) {
        const quint32 gap = mask | (1u << (31 - prefix - 1));
        QVERIFY(!isContiguousNetmask(gap));
        QCOMPARE(netmaskPrefix(gap), prefix);
    }
    // What the system gives without a known prefix (-1), and beyond 32.
    QCOMPARE(prefixNetmask(-1), 0u);
    QCOMPARE(prefixNetmask(33), 0xFFFFFFFFu);
}

void TestNetAddress::subnet_data()
{
    QTest::addColumn<QString>("subnet");
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("broadcast");
    QTest::addColumn<QStringList>("inside");
    QTest::addColumn<QStringList>("outside");
    QTest::addColumn<qint64>("hostCount");

    QTest::newRow("card of a /24") << "10.201.1.77/24"
                                   << "10.201.1.0/24"
                                   << "10.201.1.255" << QStringList{"10.201.1.0", "10.201.1.254", "10.201.1.255"}
                                   << QStringList{"10.201.2.0", "10.201.0.255", "0.0.0.0"} << qint64(254);
    QTest::newRow("/23 from its upper half") << "10.204.7.9/23"
                                             << "10.204.6.0/23"
                                             << "10.204.7.255" << QStringList{"10.204.6.1", "10.204.7.200"}
                                             << QStringList{"10.204.8.0", "10.204.5.255"} << qint64(510);
    QTest::newRow("/30") << "10.5.5.6/30"
                         << "10.5.5.4/30"
                         << "10.5.5.7" << QStringList{"10.5.5.4", "10.5.5.7"} << QStringList{"10.5.5.3", "10.5.5.8"}
                         << qint64(2);
    QTest::newRow("/31 holds no hosts") << "10.5.5.1/31"
                                        << "10.5.5.0/31"
                                        << "10.5.5.1" << QStringList{"10.5.5.0"} << QStringList{"10.5.5.2"}
                                        << qint64(0);
    QTest::newRow("/32") << "10.205.0.5/32"
                         << "10.205.0.5/32"
                         << "10.205.0.5" << QStringList{"10.205.0.5"} << QStringList{"10.205.0.4", "10.205.0.6"}
                         << qint64(0);
    QTest::newRow("/0 holds everything") << "10.1.2.3/0"
                                         << "0.0.0.0/0"
                                         << "255.255.255.255" << QStringList{"0.0.0.0", "255.255.255.255"}
                                         << QStringList() << qint64(0xFFFFFFFE);
}

void TestNetAddress::subnet()
{
    QFETCH(QString, subnet);
    QFETCH(QString, network);
    QFETCH(QString, broadcast);
    QFETCH(QStringList, inside);
    QFETCH(QStringList, outside);
    QFETCH(qint64, hostCount);

    const Ipv4Subnet s = net(subnet.toLatin1().constData());
    QCOMPARE(s.text(), subnet);
    QCOMPARE(s.networkOnly().text(), network);
    QCOMPARE(ipv4ToString(s.broadcast()), broadcast);
    QCOMPARE(s.networkOnly().netmask(), s.netmask());
    for (const QString &address : inside)
        QVERIFY2(s.contains(ip(address.toLatin1().constData())), qPrintable(address));
    for (const QString &address : outside)
        QVERIFY2(!s.contains(ip(address.toLatin1().constData())), qPrintable(address));
    QCOMPARE(qint64(s.hostCount()), hostCount);
    if (hostCount > 0)
        QCOMPARE(s.firstHost(), s.network() + 1);
    // A network overlaps a subnet inside it, and the other way round.
    const Ipv4Subnet inner{s.address, qMin(s.prefixLength + 1, 32)};
    QVERIFY(s.overlaps(inner) && inner.overlaps(s));
    QCOMPARE(s.networkOnly() == s, s.address == s.network());
}

void TestNetAddress::probeAddress_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("prefixLength");
    QTest::addColumn<bool>("canBroadcast");
    QTest::addColumn<QString>("probe");

    QTest::newRow("/24") << "192.168.0.77" << 24 << true << "192.168.0.255";
    QTest::newRow("/8") << "10.1.2.3" << 8 << true << "10.255.255.255";
    QTest::newRow("/16") << "172.16.5.9" << 16 << true << "172.16.255.255";
    QTest::newRow("/23, lower /24") << "10.204.6.1" << 23 << true << "10.204.7.255";
    QTest::newRow("/25, lower half") << "10.204.9.10" << 25 << true << "10.204.9.127";
    QTest::newRow("/25, upper half") << "10.204.9.140" << 25 << true << "10.204.9.255";
    QTest::newRow("/30") << "10.9.9.5" << 30 << true << "10.9.9.7";
    // No broadcast address of their own: the peer, or the address itself.
    QTest::newRow("/31") << "10.9.9.4" << 31 << true << "10.9.9.255";
    QTest::newRow("/32") << "10.205.0.5" << 32 << true << "10.205.0.255";
    QTest::newRow("no known prefix") << "10.1.2.3" << -1 << true << "10.1.2.255";
    QTest::newRow("/0") << "10.1.2.3" << 0 << true << "10.1.2.255";
    QTest::newRow("point-to-point /16") << "10.206.3.1" << 16 << false << "10.206.3.255";
    QTest::newRow("point-to-point /30") << "10.9.9.5" << 30 << false << "10.9.9.255";
}

void TestNetAddress::probeAddress()
{
    QFETCH(QString, ip);
    QFETCH(int, prefixLength);
    QFETCH(bool, canBroadcast);
    QFETCH(QString, probe);
    QCOMPARE(QHostAddress(::probeAddress(QHostAddress(ip).toIPv4Address(), prefixLength, canBroadcast)).toString(),
             probe);
}

void TestNetAddress::ownAddress_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("mayBeLocal");
    QTest::addColumn<bool>("own");

    // No computer has a documentation address: the bind says so at once.
    QTest::newRow("198.51.100.254") << "198.51.100.254" << false << false;
    // Local, so the bind succeeds, but never a sending address.
    QTest::newRow("loopback") << "127.0.0.1" << true << false;
    QTest::newRow("any") << "0.0.0.0" << true << false;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &itfc : interfaces) {
        for (const QNetworkAddressEntry &entry : itfc.addressEntries()) {
            if (isUsableAddressEntry(itfc, entry))
                QTest::newRow(qPrintable("own " + entry.ip().toString())) << entry.ip().toString() << true << true;
        }
    }
}

void TestNetAddress::ownAddress()
{
    QFETCH(QString, ip);
    QFETCH(bool, mayBeLocal);
    QFETCH(bool, own);
    const QHostAddress address(ip);
    QCOMPARE(isOwnAddress(address), own);
#ifdef Q_OS_WIN
    // Wine 8 binds a UDP socket to any address, where Windows fails with
    // WSAEADDRNOTAVAIL, so there the quick step cannot answer and the
    // interface list does (checked above).
    if (!mayBeLocal && underWine())
        QSKIP("wine binds to addresses this computer does not have");
#endif
    QCOMPARE(mayBeLocalAddress(address.toIPv4Address()), mayBeLocal);
}

void TestNetAddress::remoteNetwork_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("reason");

    const int invalid = RemoteNetworkCheck::Invalid;
    const int typing = RemoteNetworkCheck::Intermediate;
    const int ok = RemoteNetworkCheck::Acceptable;
    const QString example = "Type a network as address/prefix, for example 10.40.8.0/22";
    QTest::newRow("empty") << "" << typing << "" << example;
    QTest::newRow("first octet") << "10" << typing << "" << example;
    QTest::newRow("address without prefix") << "10.40.8.0" << typing << "" << example;
    QTest::newRow("slash") << "10.40.8.0/" << typing << "" << example;
    QTest::newRow("empty octet") << "10..8.0/22" << typing << "" << example;
    QTest::newRow("letter") << "10.40.8.x" << invalid << ""
                            << "";
    QTest::newRow("fifth octet") << "10.40.8.0.1" << invalid << ""
                                 << "";
    QTest::newRow("octet above 255") << "10.256" << invalid << ""
                                     << "";
    QTest::newRow("four digits") << "10.0040" << invalid << ""
                                 << "";
    QTest::newRow("second slash") << "10.40.8.0/22/" << invalid << ""
                                  << "";
    QTest::newRow("prefix of three digits") << "10.40.8.0/100" << invalid << ""
                                            << "";
    // A prefix still being typed, or out of range: the user may go on.
    QTest::newRow("/2") << "10.40.8.0/2" << typing << ""
                        << "The prefix must be /16 to /30";
    QTest::newRow("/15") << "10.40.8.0/15" << typing << ""
                         << "The prefix must be /16 to /30";
    QTest::newRow("/31") << "10.40.8.0/31" << typing << ""
                         << "The prefix must be /16 to /30";
    QTest::newRow("/16") << "10.40.0.0/16" << ok << "10.40.0.0/16"
                         << "Enter adds 10.40.0.0/16: 65534 host(s), swept in about 2 min at each Find";
    QTest::newRow("/22") << "10.40.8.0/22" << ok << "10.40.8.0/22"
                         << "Enter adds 10.40.8.0/22: 1022 host(s), swept in about 2 s at each Find";
    QTest::newRow("/30") << "192.0.2.4/30" << ok << "192.0.2.4/30"
                         << "Enter adds 192.0.2.4/30: 2 host(s), swept in about 1 s at each Find";
    QTest::newRow("host bits cleared, spaces trimmed")
        << " 10.40.9.77/22 " << ok << "10.40.8.0/22"
        << "Enter adds 10.40.8.0/22: 1022 host(s), swept in about 2 s at each Find";
    QTest::newRow("loopback") << "127.1.0.0/16" << typing << ""
                              << "127.0.0.0/8 is loopback, this computer itself";
    QTest::newRow("link-local") << "169.254.3.0/24" << typing << ""
                                << "169.254.0.0/16 is link-local and never routed";
    QTest::newRow("multicast") << "239.1.1.0/24" << typing << ""
                               << "Multicast and reserved addresses (224.0.0.0 and above) cannot be searched";
    QTest::newRow("this network") << "0.0.1.0/24" << typing << ""
                                  << "0.0.0.0/8 is not a network that can be searched";
    // Own networks: rp1 10.201.1.1/24, rp2 10.203.5.9/16, rp3 10.205.0.5/32.
    QTest::newRow("own network") << "10.201.1.0/24" << typing << ""
                                 << "10.201.1.0/24 is this computer's own network (10.201.1.0/24 on rp1): it is "
                                    "searched by broadcast already";
    QTest::newRow("inside an own network") << "10.203.7.0/24" << typing << ""
                                           << "10.203.7.0/24 is this computer's own network (10.203.0.0/16 on rp2): "
                                              "it is searched by broadcast already";
    QTest::newRow("holds an own /32") << "10.205.0.0/16" << typing << ""
                                      << "10.205.0.0/16 is this computer's own network (10.205.0.5/32 on rp3): it is "
                                         "searched by broadcast already";
    QTest::newRow("next to an own network") << "10.201.2.0/24" << ok << "10.201.2.0/24"
                                            << "Enter adds 10.201.2.0/24: 254 host(s), swept in about 1 s at each Find";
    QTest::newRow("added already") << "10.60.0.0/24" << typing << ""
                                   << "10.60.0.0/24 overlaps 10.60.0.0/22, which is added already";
}

void TestNetAddress::remoteNetwork()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    QFETCH(QString, network);
    QFETCH(QString, reason);

    const QList<OwnNetwork> own = {
        {net("10.201.1.0/24"), "rp1"}, {net("10.203.0.0/16"), "rp2"}, {net("10.205.0.5/32"), "rp3"}};
    const RemoteNetworkCheck check = checkRemoteNetwork(text, own, {net("10.60.0.0/22")});
    QCOMPARE(int(check.state), state);
    QCOMPARE(check.reason, reason);
    QCOMPARE(check.state == RemoteNetworkCheck::Acceptable ? check.network.text() : QString(), network);
}

void TestNetAddress::sweepPace()
{
    qint64 now = 1000;
    SweepPacer pacer([&now] { return now; });
    pacer.start();
    // A full bucket at the start, then PerSecond a second.
    QCOMPARE(pacer.due(), SweepPacer::Burst);
    pacer.take(SweepPacer::Burst);
    QCOMPARE(pacer.due(), 0);
    int sent = SweepPacer::Burst;
    for (int ms = 1; ms <= 1000; ++ms) {
        now = 1000 + ms;
        const int due = pacer.due();
        pacer.take(due);
        sent += due;
    }
    QCOMPARE(sent, SweepPacer::Burst + SweepPacer::PerSecond);
    QVERIFY(sent <= 1000);
    // A stalled event loop does not send the missed datagrams in one go
    // afterwards: the bucket holds Burst at most.
    now += 5000;
    QCOMPARE(pacer.due(), SweepPacer::Burst);
    // A clock that steps back neither adds nor loses tokens.
    pacer.take(SweepPacer::Burst);
    now -= 100;
    QCOMPARE(pacer.due(), 0);
    now += 110;
    QCOMPARE(pacer.due(), 9);
}

void TestNetAddress::sweepOrder()
{
    SweepPlan plan({net("10.40.8.0/30"), net("192.0.2.0/29")});
    QCOMPARE(plan.total(), 2 * (2 + 6));
    QStringList sent;
    while (!plan.atEnd()) {
        const SweepPlan::Datagram d = plan.next();
        sent.append(
            QStringLiteral("%1 %2 %3").arg(d.network).arg(ipv4ToString(d.host)).arg(d.listIdentity ? "L" : "T"));
    }
    QCOMPARE(plan.done(), plan.total());
    QCOMPARE(sent,
             (QStringList{"0 10.40.8.1 T", "0 10.40.8.1 L", "0 10.40.8.2 T", "0 10.40.8.2 L", "1 192.0.2.1 T",
                          "1 192.0.2.1 L", "1 192.0.2.2 T", "1 192.0.2.2 L", "1 192.0.2.3 T", "1 192.0.2.3 L",
                          "1 192.0.2.4 T", "1 192.0.2.4 L", "1 192.0.2.5 T", "1 192.0.2.5 L", "1 192.0.2.6 T",
                          "1 192.0.2.6 L"}));
    QVERIFY(SweepPlan().atEnd());
}

void TestNetAddress::devicesPerRow()
{
    RunReport report;
    report.clear();
    const auto add = [&report](int card, const char *network, const QString &reason = QString()) {
        NetworkRow row;
        row.card = QStringLiteral("rp%1").arg(card);
        row.interfaceIndex = card;
        row.reason = reason;
        if (reason.isEmpty())
            row.network = net(network);
        report.rows.append(row);
    };
    add(1, "10.201.1.0/24");
    add(1, "10.201.0.0/16");
    add(2, "10.201.1.0/24");
    add(3, "10.202.0.0/24", "down");
    report.addRemote(net("10.40.8.0/22"), QString());
    // By network, the longest prefix first; the card the reply came in on
    // decides where it is known. A device on a card that was left out, or
    // outside every network, counts nowhere.
    const QList<quint32> devices = {ip("10.201.1.7"),   ip("10.201.1.8"), ip("10.201.9.1"), ip("10.202.0.9"),
                                    ip("10.40.11.254"), ip("10.40.8.1"),  ip("192.0.2.1"),  ip("10.201.1.9")};
    report.countDevices(devices);
    QList<int> counts;
    for (const NetworkRow &row : qAsConst(report.rows))
        counts.append(row.devices);
    QCOMPARE(counts, (QList<int>{3, 1, 0, 0, 2}));
    report.countDevices(devices, {2, 1, 0, 0, 0, 0, 0, 2});
    counts.clear();
    for (const NetworkRow &row : qAsConst(report.rows))
        counts.append(row.devices);
    QCOMPARE(counts, (QList<int>{1, 1, 2, 0, 2}));
}

void TestNetAddress::labelText()
{
    RunReport report;
    QCOMPARE(report.labelText(false), QString());
    report.clear();
    QCOMPARE(report.labelText(true), QString::fromUtf8("Searching\u2026"));
    NetworkRow loopback;
    loopback.card = "lo";
    loopback.reason = "loopback";
    report.rows.append(loopback);
    QCOMPARE(report.labelText(false), QString("No network to search"));
    // A remote network that was only added is not searched yet.
    report.addRemote(net("10.40.8.0/22"), "added: searched from the next Find on");
    QCOMPARE(report.labelText(false), QString("No network to search"));
    report.addRemote(net("10.41.8.0/22"), QString());
    QCOMPARE(report.labelText(false), QString("Searched 1 network(s)"));
    NetworkRow card;
    card.card = "rp1";
    report.rows.append(card);
    QCOMPARE(report.labelText(false), QString("Searched 2 network(s)"));
}

QTEST_APPLESS_MAIN(TestNetAddress)
#include "tst_netaddress.moc"
