// Remote networks over real UDP, run by tests/rig/rig.sh with a router: the
// program's link rp1 (10.209.0.1/24) leads to a router namespace that
// forwards to the remote networks 10.210.5.0/24 and 10.212.0.0/22 in the
// device namespace, where every address of them is local, so that the
// simulated devices see each probe sent into them.

#include "mainwindow.h"
#include "rigsupport.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkInterface>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <ctime>
#include <memory>

using Rig::Device;
using Rig::Identity;
using TestSupport::tableRows;

namespace {

double monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The most probes that arrived within any window of the given length.
int mostWithin(QList<double> times, double window)
{
    std::sort(times.begin(), times.end());
    int most = 0;
    for (int first = 0, last = 0; last < times.size(); ++last) {
        while (times.at(last) - times.at(first) >= window)
            ++first;
        most = std::max(most, last - first + 1);
    }
    return most;
}

QList<Rig::Probe> probesInto(const QList<Rig::Probe> &probes, const QString &prefix)
{
    QList<Rig::Probe> into;
    for (const Rig::Probe &probe : probes) {
        if (probe.dst.startsWith(prefix))
            into.append(probe);
    }
    return into;
}

} // namespace

class TestDiscoveryRouted : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sweepFindsDevicesBehindTheRouter();
    void cancelStopsTheSweep();

private:
    // A window after its automatic first run, with the networks dialog
    // open and the given remote networks added through it.
    std::unique_ptr<MainWindow> startWindow(const QStringList &remote);
    QTableWidget *table(MainWindow *window) { return window->findChild<QTableWidget *>("tableWidget_networks"); }
    // The dialog's rows that are not the loopback's or an IPv6 address's.
    QStringList searchedRows(MainWindow *window)
    {
        return tableRows(table(window)).filter(QRegularExpression("^(rp1 \\| 10\\.|routed)"));
    }

    std::unique_ptr<Rig::LogCapture> log;
};

void TestDiscoveryRouted::initTestCase()
{
    if (!Rig::inRig() || Rig::routerNs().isEmpty())
        QSKIP("runs only inside tests/rig/rig.sh --routed: the window broadcasts on every interface it sees");
    QCOMPARE(Rig::remoteNetworks(), (QStringList{"10.210.5.0/24", "10.212.0.0/22"}));
    for (const QNetworkInterface &itfc : QNetworkInterface::allInterfaces())
        QVERIFY2(itfc.name() == QLatin1String("lo") || itfc.name() == QLatin1String("rp1"), qPrintable(itfc.name()));
    log = std::make_unique<Rig::LogCapture>();
}

void TestDiscoveryRouted::init()
{
    Rig::LogCapture::clear();
}

std::unique_ptr<MainWindow> TestDiscoveryRouted::startWindow(const QStringList &remote)
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    auto *label = window->findChild<QLabel *>("label_networks");
    [&] { QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("Searching\u2026"), 3000); }();
    QTest::mouseClick(label, Qt::LeftButton);
    auto *edit = window->findChild<QLineEdit *>("lineEdit_network");
    for (const QString &network : remote) {
        edit->setText(network);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    return window;
}

void TestDiscoveryRouted::sweepFindsDevicesBehindTheRouter()
{
    // Routers often drop a broadcast aimed at a remote subnet: this one
    // does for 10.210.5.0/24, so its devices are found by the sweep alone.
    // A route into nowhere on the program's side makes every send into
    // 10.213.0.0/30 fail.
    QVERIFY(Rig::ip({"-n", Rig::routerNs(), "route", "add", "blackhole", "10.210.5.255/32"}));
    QVERIFY(Rig::ip({"route", "add", "blackhole", "10.213.0.0/30"}));
    auto undo = qScopeGuard([] {
        Rig::ip({"-n", Rig::routerNs(), "route", "del", "blackhole", "10.210.5.255/32"});
        Rig::ip({"route", "del", "blackhole", "10.213.0.0/30"});
    });
    QList<Device> config;
    QSet<QString> expected;
    for (int host = 10; host < 40; ++host) {
        const QString addr = QStringLiteral("10.210.5.%1").arg(host);
        if (host % 2) {
            config.append(Device{addr, 55555, 0, {"marovenda " + addr.toLatin1()}});
            expected.insert(QStringLiteral("%1:55555 | marovenda %1").arg(addr));
        } else {
            Identity identity{1, 12, 4, 1, 0, 0, quint32(host), "Routed " + QByteArray::number(host)};
            config.append(Device{addr, 44818, 0, {Rig::identityReply(identity)}});
            expected.insert(QStringLiteral("%1:55555 | \"Routed %2\" (1.0) S/N: %3")
                                .arg(addr, QString::number(host), QString::number(host, 16).toUpper()));
        }
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow({"10.210.5.0/24", "10.212.0.0/22", "10.213.0.0/30"});

    auto *progress = window->findChild<QProgressBar *>("progressBar_sweep");
    auto *cancel = window->findChild<QPushButton *>("pushButton_cancelSweep");
    auto *label = window->findChild<QLabel *>("label_networks");
    const double started = monotonicNow();
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QVERIFY(progress->isVisible());
    QVERIFY(cancel->isVisible());
    QCOMPARE(progress->maximum(), 254 + 1022 + 2);
    QCOMPARE(label->text(), QString("Searching\u2026"));

    auto *list = window->findChild<QListWidget *>("listWidget");
    // 2,556 datagrams at no more than 1,000 a second: about 2.6 s; a
    // generous bound, as the machine may be busy.
    QTRY_VERIFY_WITH_TIMEOUT(!progress->isVisible(), 15000);
    const double finished = monotonicNow();
    QVERIFY(!cancel->isVisible());
    QCOMPARE(list->count(), expected.size());
    QCOMPARE(label->text(), QString("Searching\u2026"));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("Searched 4 network(s)"), 3500);
    QVERIFY(devices.stop());

    QSet<QString> listed;
    for (int row = 0; row < list->count(); ++row)
        listed.insert(list->item(row)->text().section("  ", 1));
    QCOMPARE(listed, expected);

    const QString sweep = "sent; sweep: sent";
    const QString failed = "NetworkError; sweep: NetworkError (2 failed)";
    QCOMPARE(searchedRows(window.get()),
             (QStringList{"rp1 | 10.209.0.1/24 | 10.209.0.255 | searched | sent | sent | 0",
                          "routed | 10.210.5.0/24 | 10.210.5.255, then each of 10.210.5.1 to 10.210.5.254 | searched | "
                              + sweep + " | " + sweep + " | 30",
                          "routed | 10.212.0.0/22 | 10.212.3.255, then each of 10.212.0.1 to 10.212.3.254 | searched | "
                              + sweep + " | " + sweep + " | 0",
                          "routed | 10.213.0.0/30 | 10.213.0.3, then each of 10.213.0.1 to 10.213.0.2 | searched | "
                              + failed + " | " + failed + " | 0"}));

    // Each host got both probes once, in order, by unicast from one
    // socket per probe port.
    const QList<Rig::Probe> swept = probesInto(devices.probes, "10.21");
    QSet<QString> seen;
    QSet<quint16> sourcePorts[2];
    QList<double> times;
    for (const Rig::Probe &probe : swept) {
        if (probe.dst == "10.210.5.255" || probe.dst == "10.212.3.255")
            continue;
        seen.insert(probe.dst + ' ' + QString::number(probe.dport));
        const bool text = probe.dport == 55555;
        QCOMPARE(probe.data, text ? QByteArray("Hi") : QByteArray::fromHex("6300") + QByteArray(22, '\0'));
        sourcePorts[text ? 0 : 1].insert(probe.sport);
        times.append(probe.time);
    }
    QCOMPARE(seen.size(), 2 * (254 + 1022));
    QCOMPARE(times.size(), seen.size());
    // One socket per probe port swept them all, beside one per probe and
    // broadcast address.
    QCOMPARE(window->findChildren<QUdpSocket *>().size(), 2 * (1 + 3) + 2);
    QCOMPARE(sourcePorts[0], QSet<quint16>{55555});
    QCOMPARE(sourcePorts[1], QSet<quint16>{44818});
    // The directed broadcast into 10.212.0.0/22 was forwarded and arrived.
    QCOMPARE(probesInto(swept, "10.212.3.255").size(), 2);
    QCOMPARE(probesInto(swept, "10.210.5.255").size(), 0);
    QCOMPARE(probesInto(swept, "10.213.").size(), 0);

    // The pace, as the devices saw it: no second holds more than 1,000
    // probes, and the sweep took as long as that pace needs.
    const int perSecond = mostWithin(times, 1.0);
    qInfo("%lld probes in %.3f s, at most %d within a second", qint64(times.size()),
          *std::max_element(times.begin(), times.end()) - *std::min_element(times.begin(), times.end()), perSecond);
    QVERIFY2(perSecond <= 1000, qPrintable(QString::number(perSecond)));
    const double span = *std::max_element(times.begin(), times.end()) - *std::min_element(times.begin(), times.end());
    QVERIFY2(span >= (times.size() - 20) / 980.0, qPrintable(QString::number(span)));
    QVERIFY2(finished - started < 12, qPrintable(QString::number(finished - started)));

    const QString s = QStringLiteral("MainWindow::priv_sweepNext : ");
    QCOMPARE(Rig::LogCapture::linesStartingWith("MainWindow::priv_searchRemoteNetworks : "),
             (QStringList{"MainWindow::priv_searchRemoteNetworks : Broadcast to remote network = \"10.210.5.0/24\" , "
                          "addr = \"10.210.5.255\"",
                          "MainWindow::priv_searchRemoteNetworks : Broadcast to remote network = \"10.212.0.0/22\" , "
                          "addr = \"10.212.3.255\"",
                          "MainWindow::priv_searchRemoteNetworks : Broadcast to remote network = \"10.213.0.0/30\" , "
                          "addr = \"10.213.0.3\"",
                          "MainWindow::priv_searchRemoteNetworks : Sweep started: networks = 3 , datagrams = 2556 , "
                          "per second at most = 980"}));
    QCOMPARE(Rig::LogCapture::linesStartingWith(s),
             (QStringList{s + "Sweeping network = \"10.210.5.0/24\" , from = \"10.210.5.1\" , to = \"10.210.5.254\"",
                          s + "Swept network = \"10.210.5.0/24\" , datagrams sent = 508 , failed = 0",
                          s + "Sweeping network = \"10.212.0.0/22\" , from = \"10.212.0.1\" , to = \"10.212.3.254\"",
                          s + "Swept network = \"10.212.0.0/22\" , datagrams sent = 2044 , failed = 0",
                          s + "Sweeping network = \"10.213.0.0/30\" , from = \"10.213.0.1\" , to = \"10.213.0.2\"",
                          s + "Datagram error = QAbstractSocket::NetworkError , addr = \"10.213.0.1\" , port = 55555",
                          s + "Datagram error = QAbstractSocket::NetworkError , addr = \"10.213.0.1\" , port = 44818",
                          s + "Swept network = \"10.213.0.0/30\" , datagrams sent = 4 , failed = 4"}));
    QCOMPARE(Rig::LogCapture::linesStartingWith("MainWindow::priv_sendDatagram : "),
             QStringList("MainWindow::priv_sendDatagram : Datagram error = QAbstractSocket::NetworkError"));
}

void TestDiscoveryRouted::cancelStopsTheSweep()
{
    Rig::Devices devices;
    QVERIFY(devices.start({}));
    auto window = startWindow({"10.212.0.0/22"});
    auto *progress = window->findChild<QProgressBar *>("progressBar_sweep");
    auto *cancel = window->findChild<QPushButton *>("pushButton_cancelSweep");
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QTRY_VERIFY(progress->value() >= 200);
    QVERIFY(progress->value() < 1022);
    QTest::mouseClick(cancel, Qt::LeftButton);
    const double cancelled = monotonicNow();
    QVERIFY(!progress->isVisible());
    QVERIFY(!cancel->isVisible());
    QTest::qWait(700);
    QVERIFY(devices.stop());

    const QStringList lines = Rig::LogCapture::linesStartingWith("MainWindow::priv_finishSweep : ");
    QCOMPARE(lines.size(), 1);
    const QRegularExpressionMatch m =
        QRegularExpression("^MainWindow::priv_finishSweep : Sweep cancelled: network = \"10\\.212\\.0\\.0/22\" , "
                           "datagrams sent = (\\d+) , of = 2044$")
            .match(lines.at(0));
    QVERIFY2(m.hasMatch(), qPrintable(lines.at(0)));
    const int sent = m.captured(1).toInt();
    QVERIFY(sent >= 400 && sent < 2044);

    // Every datagram sent before Cancel arrived, and none went out after.
    QList<Rig::Probe> swept;
    for (const Rig::Probe &probe : probesInto(devices.probes, "10.212.")) {
        if (probe.dst != "10.212.3.255")
            swept.append(probe);
    }
    QCOMPARE(swept.size(), sent);
    for (const Rig::Probe &probe : qAsConst(swept))
        QVERIFY2(probe.time < cancelled + 0.05, qPrintable(probe.dst));
    const QString status = QStringLiteral("sweep cancelled after %1 of 1022 hosts").arg(sent / 2);
    QCOMPARE(searchedRows(window.get()).filter("routed"),
             QStringList("routed | 10.212.0.0/22 | 10.212.3.255, then each of 10.212.0.1 to 10.212.3.254 | " + status
                         + " | sent; sweep: sent | sent; sweep: sent | 0"));

    // The next Find sweeps from the first host again.
    Rig::LogCapture::clear();
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QVERIFY(progress->isVisible());
    QVERIFY(progress->value() <= 20);
    QCOMPARE(Rig::LogCapture::count("MainWindow::priv_sweepNext : Sweeping network = \"10.212.0.0/22\" , from = "
                                    "\"10.212.0.1\" , to = \"10.212.3.254\""),
             1);
}

QTEST_MAIN(TestDiscoveryRouted)
#include "tst_discovery_routed.moc"
