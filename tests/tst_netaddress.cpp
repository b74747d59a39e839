// Where a discovery run's probes go, for every kind of address, and which
// addresses are this computer's own.

#include "netaddress.h"

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

class TestNetAddress : public QObject
{
    Q_OBJECT

private slots:
    void probeAddress_data();
    void probeAddress();
    void ownAddress_data();
    void ownAddress();
};

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

QTEST_APPLESS_MAIN(TestNetAddress)
#include "tst_netaddress.moc"
