// Socket take-over across runs, run by tests/rig/rig.sh with the one link
// rp1: 10.201.1.1/24. The test moves that link to 10.201.3.1/24 between two
// runs, so the second run meets sockets made for an address that is gone.

#include "mainwindow.h"
#include "netaddress.h"
#include "rigsupport.h"

#include <QListWidget>
#include <QNetworkInterface>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using Rig::Device;

class TestDiscoverySockets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void closedSocketIsTakenOnlyByItsOwnKind();
    void ownAddress_data();
    void ownAddress();

private:
    std::unique_ptr<Rig::LogCapture> log;
};

void TestDiscoverySockets::initTestCase()
{
    if (!Rig::inRig())
        QSKIP("runs only inside tests/rig/rig.sh: the window broadcasts on every interface it sees");
    QCOMPARE(qEnvironmentVariable("RIG_LINKS"), QStringLiteral("10.201.1.1/24"));
    for (const QNetworkInterface &itfc : QNetworkInterface::allInterfaces())
        QVERIFY2(itfc.name() == QLatin1String("lo") || itfc.name() == QLatin1String("rp1"), qPrintable(itfc.name()));
    log = std::make_unique<Rig::LogCapture>();
}

void TestDiscoverySockets::closedSocketIsTakenOnlyByItsOwnKind()
{
    // The new subnet must exist on the device side before the devices start.
    QVERIFY(Rig::ip({"-n", Rig::devNs(), "addr", "add", "10.201.3.254/24", "dev", "rd1"}));
    Rig::Identity identity{1, 12, 2, 4, 2, 0, 0xB21, "Opener B"};
    const QList<Device> config = {
        // Keeps the first text socket busy, and so bound, well past the time
        // its ListIdentity twin closes.
        {"10.201.1.10",
         55555,
         0,
         {"marovenda A", "marovenda A", "marovenda A", "marovenda A", "marovenda A"},
         0,
         0,
         600},
        {"10.201.3.20", 55555, 0, {"marovenda B"}, 200},
        {"10.201.3.21", 44818, 0, {Rig::identityReply(identity)}, 400},
    };
    Rig::Devices devices;
    QVERIFY(devices.start(config));

    auto window = std::make_unique<MainWindow>();
    auto *listWidget = window->findChild<QListWidget *>("listWidget");
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), 1, 3000);
    const QList<QUdpSocket *> first = window->findChildren<QUdpSocket *>();
    QCOMPARE(first.size(), 2);
    QUdpSocket *text = first.at(0)->localPort() == 55555 ? first.at(0) : first.at(1);
    QUdpSocket *listIdentity = text == first.at(0) ? first.at(1) : first.at(0);
    QCOMPARE(listIdentity->localPort(), quint16(44818));

    // The ListIdentity socket hears nothing after its own echo and closes;
    // the text socket keeps getting replies and stays bound.
    QTRY_COMPARE_WITH_TIMEOUT(listIdentity->state(), QAbstractSocket::UnconnectedState, 3000);
    QCOMPARE(text->state(), QAbstractSocket::BoundState);

    QVERIFY(Rig::ip({"addr", "del", "10.201.1.1/24", "dev", "rp1"}));
    QVERIFY(Rig::ip({"addr", "add", "10.201.3.1/24", "dev", "rp1"}));
    Rig::LogCapture::clear();
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);

    // The closed ListIdentity socket went to the ListIdentity probe; the text
    // probe, finding no closed text socket, made a new one.
    const QList<QUdpSocket *> second = window->findChildren<QUdpSocket *>();
    QCOMPARE(second.size(), 3);
    QCOMPARE(listIdentity->localPort(), quint16(44818));
    QUdpSocket *newText = second.at(2);
    QCOMPARE(newText->localPort(), quint16(55555));

    // Both devices of the new subnet reach their readers.
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), 2, 3000);
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QCOMPARE(listWidget->item(0)->text(), QStringLiteral("1.  10.201.3.20:55555 | marovenda B"));
    QCOMPARE(listWidget->item(1)->text(), QStringLiteral("2.  10.201.3.21:55555 | \"Opener B\" (4.2) S/N: B21"));

    // The address gained after start-up counts as the program's own at once:
    // its broadcasts came back to both text sockets and to the ListIdentity
    // socket and were all dropped as echoes.
    QCOMPARE(Rig::LogCapture::count(QStringLiteral("MainWindow::readyRead : Datagram from itself. Ignore!")), 2);
    QCOMPARE(Rig::LogCapture::count(QStringLiteral("MainWindow::readyRead_opener : Datagram from itself. Ignore!")), 1);
}

void TestDiscoverySockets::ownAddress_data()
{
    // ip commands (one per item, words separated by blanks) run before and
    // after the test, the address asked about and whether it is own.
    QTest::addColumn<QStringList>("setUp");
    QTest::addColumn<QStringList>("tearDown");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("own");

    const QString gain = QStringLiteral("addr add 10.201.7.1/24 dev rp1");
    const QString lose = QStringLiteral("addr del 10.201.7.1/24 dev rp1");
    QTest::newRow("gained just now") << QStringList{gain} << QStringList{lose} << "10.201.7.1" << true;
    QTest::newRow("lost just now") << QStringList{gain, lose} << QStringList() << "10.201.7.1" << false;
    QTest::newRow("another host") << QStringList() << QStringList() << "10.201.1.254" << false;
    // Addresses this computer has, but never sends from.
    QTest::newRow("loopback") << QStringList() << QStringList() << "127.0.0.1" << false;
    QTest::newRow("unspecified") << QStringList() << QStringList() << "0.0.0.0" << false;
    QTest::newRow("interface down") << QStringList{"link add rpx type veth peer name rpy",
                                                   "addr add 10.201.8.1/24 dev rpx"}
                                    << QStringList{"link del rpx"} << "10.201.8.1" << false;
}

void TestDiscoverySockets::ownAddress()
{
    QFETCH(QStringList, setUp);
    QFETCH(QStringList, tearDown);
    QFETCH(QString, address);
    QFETCH(bool, own);
    auto undo = qScopeGuard([&] {
        for (const QString &command : tearDown)
            Rig::ip(command.split(' '));
    });
    for (const QString &command : setUp)
        QVERIFY(Rig::ip(command.split(' ')));
    QCOMPARE(isOwnAddress(QHostAddress(address)), own);
    // A reader's long batch asks about the first datagrams one by one and
    // then reads the interface list once: the answers stay the same.
    OwnAddressTest batch;
    for (int i = 0; i < 20; ++i)
        QCOMPARE(batch.isOwn(QHostAddress(address)), own);
}

QTEST_MAIN(TestDiscoverySockets)
#include "tst_discovery_sockets.moc"
