// Discovery over real UDP, run by tests/rig/rig.sh in a network namespace of
// its own with the links
//   rp1: 10.201.1.1/24 and 10.201.9.1/24
//   rp2: 10.201.2.1/24
//   rp3: 10.203.5.9/16
//   rp4: 10.204.6.1/23, 10.204.9.10/25 and 10.204.9.140/25
// and simulated devices behind them. The rig adds every address without a
// broadcast address of its own, so the kernel reports none for them.

#include "deviceprotocol.h"
#include "devicesupport.h"
#include "mainwindow.h"
#include "rigsupport.h"
#include "testsupport.h"

#include <QApplication>
#include <QHelpEvent>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMap>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolTip>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>

using Rig::Device;
using Rig::Identity;

namespace {

const char RigLinks[] =
    "10.201.1.1/24,10.201.9.1/24 10.201.2.1/24 10.203.5.9/16 10.204.6.1/23,10.204.9.10/25,10.204.9.140/25";
// Every address probes the broadcast address of its own subnet.
const QMap<QString, QString> ProbeOf = {
    {"10.201.1.1", "10.201.1.255"},   {"10.201.9.1", "10.201.9.255"},   {"10.201.2.1", "10.201.2.255"},
    {"10.203.5.9", "10.203.255.255"}, {"10.204.6.1", "10.204.7.255"},   {"10.204.9.10", "10.204.9.127"},
    {"10.204.9.140", "10.204.9.255"}, {"10.207.0.1", "10.207.255.255"}, {"10.205.0.5", "10.205.0.255"},
};
const QString FromItselfText = QStringLiteral("MainWindow::readyRead : Datagram from itself. Ignore!");
const QString FromItselfOpener = QStringLiteral("MainWindow::readyRead_opener : Datagram from itself. Ignore!");
const QString RunPrefix = QStringLiteral("MainWindow::on_pushButton_find_clicked : ");

struct Entry
{
    QString ifname;
    QString ip;
    QString probe() const { return ProbeOf.value(ip); }
};

const QRegularExpression RunLine(QStringLiteral("^.*\\. ([0-9.]+) to .*Etr\\.IP: ([0-9.]+) .*$"));

// The probe address of every run line written so far, by entry address.
QMap<QString, QString> probedAddresses()
{
    QMap<QString, QString> probes;
    const QStringList lines = Rig::LogCapture::linesStartingWith(RunPrefix);
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = RunLine.match(line);
        probes.insert(m.captured(2), m.hasMatch() ? m.captured(1) : line);
    }
    return probes;
}

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

// The list's lines without their running numbers, for lists whose order
// is left to chance. A line that does not start with its row's number is
// kept whole, so that it fails the comparison.
QSet<QString> unnumbered(const QListWidget *list)
{
    QSet<QString> lines;
    for (int row = 0; row < list->count(); ++row) {
        const QString text = list->item(row)->text();
        const QString number = QStringLiteral("%1.  ").arg(row + 1);
        lines.insert(text.startsWith(number) ? text.mid(number.size()) : text);
    }
    return lines;
}

// Runs each ip command of the list in turn; commands are separated by ";".
bool ipCommands(const QStringList &commands)
{
    bool ok = true;
    QStringList command;
    for (const QString &arg : commands + QStringList(";")) {
        if (arg != ";") {
            command.append(arg);
            continue;
        }
        ok = Rig::ip(command) && ok;
        command.clear();
    }
    return ok;
}

// The networks dialog's rows, as the user opens it from the status bar.
QStringList networkRows(QMainWindow *window)
{
    QTest::mouseClick(window->findChild<QLabel *>("label_networks"), Qt::LeftButton);
    const auto *table = window->findChild<QTableWidget *>("tableWidget_networks");
    return table ? TestSupport::tableRows(table) : QStringList("no networks dialog");
}

// The tooltip that a row shows when the pointer rests on it, as its cells
// in plain text, a value's lines joined by line breaks.
QStringList toolTipCells(QListWidget *list, int row)
{
    const QPoint pos = list->visualItemRect(list->item(row)).center();
    QHelpEvent event(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
    return DeviceSupport::toolTipCells(QToolTip::text());
}

// The value of one row of a tooltip's cells; "(none)" without that row.
QString toolTipRow(const QStringList &cells, const QString &label)
{
    for (int i = 0; i + 1 < cells.size(); i += 2) {
        if (cells.at(i) == label)
            return cells.at(i + 1);
    }
    return QStringLiteral("(none)");
}

bool hasIcon(const QListWidgetItem *item)
{
    return !item->icon().isNull();
}

// Forgets what both sides of every rig link know of each other's hardware
// addresses, so that a device's reply makes the device side ask again.
bool flushNeighbours()
{
    for (const Rig::Link &link : Rig::links()) {
        if (!Rig::ip({"neigh", "flush", "dev", link.progIf})
            || !Rig::ip({"-n", Rig::devNs(), "neigh", "flush", "dev", link.devIf}))
            return false;
    }
    return true;
}

} // namespace

class TestDiscoveryRig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void probesAndRunLines();
    void addressChanges_data();
    void addressChanges();
    void devicesOnEverySubnetSize();
    void ipv6SendersAreNotListed();
    void textReplies();
    void listIdentityReplies();
    void ownBroadcastsAndIdleClose();
    void failedSendIsLogged();
    void fiftyListIdentityDevices();
    void runningNumberDoesNotWrap();
    void hostileInput();
    void floodWhileSearching();
    void toolTips();
    void neighbourStates();
    void addressConflicts();
    void listCommand_data();
    void listCommand();
    void watchCommand_data();
    void watchCommand();

private:
    // A window whose automatic first run has written its run lines (by
    // default one per rig address).
    std::unique_ptr<MainWindow> startWindow(int runLines = -1);
    QListWidget *list(MainWindow *window) { return window->findChild<QListWidget *>("listWidget"); }

    QList<Entry> entries;
    std::unique_ptr<Rig::LogCapture> log;
};

void TestDiscoveryRig::initTestCase()
{
    if (!Rig::inRig())
        QSKIP("runs only inside tests/rig/rig.sh: the window broadcasts on every interface it sees");
    QCOMPARE(qEnvironmentVariable("RIG_LINKS"), QString::fromLatin1(RigLinks));
    // Refuse to broadcast anywhere but on the rig's own links.
    for (const QNetworkInterface &itfc : QNetworkInterface::allInterfaces())
        QVERIFY2(itfc.name() == QLatin1String("lo") || itfc.name().startsWith(QLatin1String("rp")),
                 qPrintable(itfc.name()));
    for (const Rig::Link &link : Rig::links()) {
        for (const QString &addr : link.progAddrs)
            entries.append({link.progIf, addr.section('/', 0, 0)});
    }
    QCOMPARE(entries.size(), 7);
    log = std::make_unique<Rig::LogCapture>();
}

void TestDiscoveryRig::init()
{
    // A link that an earlier test took down and up again regains its
    // carrier up to a second later; until then it is not probed.
    const QNetworkInterface::InterfaceFlags settled = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const Rig::Link &link : Rig::links())
        QTRY_VERIFY2((QNetworkInterface::interfaceFromName(link.progIf).flags() & settled) == settled,
                     qPrintable(link.progIf));
    Rig::LogCapture::clear();
}

std::unique_ptr<MainWindow> TestDiscoveryRig::startWindow(int runLines)
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    const int expected = runLines < 0 ? entries.size() : runLines;
    [&] { QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::linesStartingWith(RunPrefix).size(), expected, 3000); }();
    return window;
}

void TestDiscoveryRig::probesAndRunLines()
{
    // The device side records every probe that reaches it, with its
    // destination: each must be its own subnet's broadcast address, so none
    // goes to another subnet or to a gateway.
    Rig::Devices devices;
    QVERIFY(devices.start({}));
    auto window = startWindow();
    QTest::qWait(300);
    QVERIFY(devices.stop());

    QStringList expectedLines;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &e = entries.at(i);
        expectedLines.append(
            RunPrefix
            + QStringLiteral("\"%1. %2 to %3 [Itfc name: %3 | Etr.IP: %4 | Itfc HW addr.: %5]\"")
                  .arg(QString::number(i + 1), e.probe(), e.ifname, e.ip, Rig::hardwareAddress(e.ifname)));
    }
    QCOMPARE(Rig::LogCapture::linesStartingWith(RunPrefix), expectedLines);

    const QByteArray listIdentity = QByteArray::fromHex("6300") + QByteArray(22, '\0');
    QCOMPARE(devices.probes.size(), 2 * entries.size());
    for (const Entry &e : qAsConst(entries)) {
        for (quint16 port : {quint16(55555), quint16(44818)}) {
            int seen = 0;
            for (const Rig::Probe &p : qAsConst(devices.probes)) {
                if (p.src != e.ip || p.dport != port)
                    continue;
                ++seen;
                QCOMPARE(p.dst, e.probe());
                QCOMPARE(p.sport, port);
                QCOMPARE(p.data, port == 55555 ? QByteArray("Hi") : listIdentity);
            }
            QVERIFY2(seen == 1, qPrintable(QStringLiteral("%1 port %2: %3 probes").arg(e.ip).arg(port).arg(seen)));
        }
    }
}

void TestDiscoveryRig::addressChanges_data()
{
    // ip arguments that change the program's addresses between two runs,
    // and those that undo the change.
    QTest::addColumn<QStringList>("change");
    QTest::addColumn<QStringList>("undo");
    QTest::addColumn<QString>("gone"); // entry no longer probed
    QTest::addColumn<QString>("added"); // entry probed in addition
    // The networks dialog's row for the changed card or address.
    QTest::addColumn<QString>("row");

    QTest::newRow("interface goes down") << QStringList{"link", "set", "rp2", "down"}
                                         << QStringList{"link", "set", "rp2", "up"} << "10.201.2.1" << QString()
                                         << "rp2 | 10.201.2.1/24 |  | down |  |  |  (disabled)";
    // An unplugged cable: the link stays up without carrier. Qt 5.15 reads
    // that as not up, Qt 6.4 as up and probes it; nothing answers either way.
    QTest::newRow("carrier lost")
        << QStringList{"-n", Rig::devNs(), "link", "set", "rd2", "down"}
        << QStringList{"-n", Rig::devNs(), "link", "set", "rd2", "up"}
        << (QT_VERSION < QT_VERSION_CHECK(6, 0, 0) ? "10.201.2.1" : QString()) << QString()
        << (QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
                ? "rp2 | 10.201.2.1/24 |  | down |  |  |  (disabled)"
                : "rp2 | 10.201.2.1/24 | 10.201.2.255 | searched (no carrier) | sent | sent | 0");
    // The broadcast address configured for the address is not its subnet's:
    // the subnet's own wins.
    QTest::newRow("configured broadcast differs")
        << QStringList{"addr", "add", "10.207.0.1/16", "brd", "10.207.0.255", "dev", "rp2"}
        << QStringList{"addr", "del", "10.207.0.1/16", "dev", "rp2"} << QString() << "10.207.0.1"
        << "rp2 | 10.207.0.1/16 | 10.207.255.255 | searched | sent | sent | 0";
    // A card that has no address at all, and one with an IPv6 address only.
    const QStringList newCard = {"link", "add", "rp9", "type", "veth", "peer", "name", "rd9", "netns", Rig::devNs()};
    QTest::newRow("card without an address") << newCard << QStringList{"link", "del", "rp9"} << QString() << QString()
                                             << "rp9 |  |  | no IPv4 address |  |  |  (disabled)";
    QTest::newRow("card with IPv6 only") << newCard
            + QStringList{";",    "addr", "add", "fd30::9/64", "dev", "rp9",  "nodad", ";",   "-n", Rig::devNs(),
                          "link", "set",  "rd9", "up",         ";",   "link", "set",   "rp9", "up"}
                                         << QStringList{"link", "del", "rp9"} << QString() << QString()
                                         << "rp9 | fd30::9/64 |  | not IPv4 |  |  |  (disabled)";
}

void TestDiscoveryRig::addressChanges()
{
    QFETCH(QStringList, change);
    QFETCH(QStringList, undo);
    QFETCH(QString, gone);
    QFETCH(QString, added);
    QFETCH(QString, row);

    QMap<QString, QString> expected;
    for (const Entry &e : qAsConst(entries))
        expected.insert(e.ip, e.probe());
    auto window = startWindow();
    QCOMPARE(probedAddresses(), expected);

    QVERIFY(ipCommands(change));
    auto undoChange = qScopeGuard([&undo] { Rig::ip(undo); });
    // The kernel reports a lost carrier up to a second later.
    if (QTest::currentDataTag() == QLatin1String("carrier lost"))
        QTRY_VERIFY(!QNetworkInterface::interfaceFromName("rp2").flags().testFlag(QNetworkInterface::IsRunning));
    // and a new link its carrier.
    if (QTest::currentDataTag() == QLatin1String("card with IPv6 only"))
        QTRY_VERIFY(QNetworkInterface::interfaceFromName("rp9").flags().testFlag(QNetworkInterface::IsUp));
    expected.remove(gone);
    if (!added.isEmpty())
        expected.insert(added, ProbeOf.value(added));
    Rig::LogCapture::clear();
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QCOMPARE(probedAddresses(), expected);
    QCOMPARE(Rig::LogCapture::linesStartingWith("MainWindow::priv_sendDatagram"), QStringList());
    const QStringList rows = networkRows(window.get());
    QVERIFY2(rows.contains(row), qPrintable(rows.join('\n')));
    // Loopback is always left out.
    QVERIFY(rows.contains("lo | 127.0.0.1/8 |  | loopback |  |  |  (disabled)"));
}

void TestDiscoveryRig::devicesOnEverySubnetSize()
{
    // Inside and outside the computer's own /24 of the /16 and the /23, and
    // in both halves of the /25.
    const QStringList addresses = {"10.203.5.30", "10.203.77.20", "10.203.200.21", "10.204.6.30", "10.204.7.31",
                                   "10.204.9.50", "10.204.9.51",  "10.204.9.200",  "10.204.9.201"};
    QList<Device> config;
    QSet<QString> expected;
    for (int i = 0; i < addresses.size(); ++i) {
        const QString &addr = addresses.at(i);
        if (i % 2) {
            config.append(Device{addr, 55555, 0, {"marovenda " + addr.toLatin1()}});
            expected.insert(addr + ":55555 | marovenda " + addr);
        } else {
            Identity identity{1, 12, 2, 1, 0, 0, quint32(i), "Node " + addr.toLatin1()};
            config.append(Device{addr, 44818, 0, {Rig::identityReply(identity)}});
            expected.insert(QStringLiteral("%1:55555 | \"Node %1\" (1.0) S/N: %2").arg(addr).arg(i));
        }
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), addresses.size(), 4000);
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QCOMPARE(unnumbered(listWidget), expected);

    // Each device counts for the network it lies in.
    QCOMPARE(networkRows(window.get()).filter(QRegularExpression("^rp[34] \\| 10\\.")),
             (QStringList{"rp3 | 10.203.5.9/16 | 10.203.255.255 | searched | sent | sent | 3",
                          "rp4 | 10.204.6.1/23 | 10.204.7.255 | searched | sent | sent | 2",
                          "rp4 | 10.204.9.10/25 | 10.204.9.127 | searched | sent | sent | 2",
                          "rp4 | 10.204.9.140/25 | 10.204.9.255 | searched | sent | sent | 2"}));
}

void TestDiscoveryRig::ipv6SendersAreNotListed()
{
    QVERIFY(Rig::ip({"addr", "add", "fd20::1/64", "dev", "rp2", "nodad"}));
    QVERIFY(Rig::ip({"-n", Rig::devNs(), "addr", "add", "fd20::2/64", "dev", "rd2", "nodad"}));
    auto removeAddresses = qScopeGuard([] {
        Rig::ip({"addr", "del", "fd20::1/64", "dev", "rp2"});
        Rig::ip({"-n", Rig::devNs(), "addr", "del", "fd20::2/64", "dev", "rd2"});
    });
    auto window = startWindow();
    // Let the echoes of the window's own probes pass first.
    QTest::qWait(300);
    Rig::LogCapture::clear();

    // The sockets are dual-stack, so both datagrams reach the readers.
    Identity identity{1, 12, 2, 1, 0, 0, 6, "Over IPv6"};
    QVERIFY(Rig::sendFromDeviceSide("fd20::2", "fd20::1", 55555, "marovenda over IPv6"));
    QVERIFY(Rig::sendFromDeviceSide("fd20::2", "fd20::1", 44818, Rig::identityReply(identity)));
    QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::linesStartingWith("MainWindow::readyRead"),
                              QStringList({"MainWindow::readyRead : Datagram without an IPv4 sender. Ignore!",
                                           "MainWindow::readyRead_opener : Datagram without an IPv4 sender. Ignore!"}),
                              2000);
    QCOMPARE(list(window.get())->count(), 0);

    // An IPv4 sender on the same link is still listed.
    QVERIFY(Rig::sendFromDeviceSide("10.201.2.254", "10.201.2.1", 55555, "marovenda over IPv4"));
    QTRY_COMPARE_WITH_TIMEOUT(list(window.get())->count(), 1, 2000);
    const QString line = list(window.get())->item(0)->text();
    QVERIFY2(line.startsWith("1.  10.201.2.254:") && line.endsWith(" | marovenda over IPv4"), qPrintable(line));
}

void TestDiscoveryRig::textReplies()
{
    struct TextDevice
    {
        const char *addr;
        QByteArray reply;
        quint16 srcPort;
        QString shown; // empty: dropped
    };
    const QList<TextDevice> table = {
        {"10.201.1.10", "Marovenda-01", 55555, "Marovenda-01"},
        {"10.201.1.11", "unit MAROVENDA", 40000, "unit MAROVENDA"},
        {"10.201.2.12", "xmarovenday", 55555, "xmarovenday"},
        {"10.201.1.13", "hello", 55555, ""},
        {"10.201.1.14", QByteArray("abc\0marovenda", 13), 55555, ""},
        {"10.201.1.15", "", 55555, ""},
        {"10.201.1.16", QByteArray("MAROVENDA\0junk", 14), 55555, "MAROVENDA"},
        {"10.201.1.17", "%2 %1 marovenda %3", 55555, "%2 %1 marovenda %3"},
        {"10.201.1.18", "Marovend a", 55555, ""},
        {"10.201.9.19", "MaRoVeNdA on the second address", 55555, "MaRoVeNdA on the second address"},
    };
    // Spaced out, so they arrive in table order.
    QList<Device> config;
    QStringList expected;
    for (int i = 0; i < table.size(); ++i) {
        const TextDevice &d = table.at(i);
        config.append(Device{d.addr, 55555, d.srcPort, {d.reply}, 100 * i});
        if (!d.shown.isEmpty())
            expected.append(QStringLiteral("%1.  %2:%3 | %4")
                                .arg(QString::number(expected.size() + 1), QString::fromLatin1(d.addr),
                                     QString::number(d.srcPort), d.shown));
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), expected.size(), 4000);
    QTest::qWait(100 * table.size());
    QVERIFY(devices.stop());
    QCOMPARE(devices.sent, table.size());

    QCOMPARE(itemTexts(listWidget), expected);
    for (int row = 0; row < listWidget->count(); ++row) {
        const QString address = expected.at(row).section(' ', 2, 2).section(':', 0, 0);
        QCOMPARE(listWidget->item(row)->data(AddressRole).toString(), address);
        QCOMPARE(listWidget->item(row)->data(ConfigRole).toBool(), true);
    }
    QCOMPARE(Rig::LogCapture::count("MainWindow::readyRead : Device added to the list (DragonFrame)"), expected.size());
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Found %1 device(s)").arg(expected.size()));
    QCOMPARE(listWidget->currentRow(), 0);
}

void TestDiscoveryRig::listIdentityReplies()
{
    Identity opener20{1, 12, 2, 3, 7, 0, 0x00A1B2C3, "Opener 20"};
    Identity opener21{1, 12, 3, 1, 0, 0, 0, "Opener 21"};
    Identity opener22{1, 12, 4, 1, 2, 0, 0xDEADBEEF, "%5%6%7 x"};
    Identity opener23{7, 43, 2, 2, 1, 0, 0x10, "Two items"};
    Identity both24{1, 12, 2, 9, 9, 0, 0x24, "Text first"};
    Identity both25{1, 12, 4, 5, 5, 0, 0x25, "Opener first"};
    Identity long26{1, 12, 4, 1, 1, 0, 0xFFFFFFFF, QByteArray(32, 'N')};
    const QByteArray twoItems = Rig::listIdentityReply(
        {{0x0086, QByteArray::fromHex("0102")}, {0x000C, Rig::identityItemData(opener23, Rig::ipv4("10.201.1.23"))}});

    const QList<Device> config = {
        {"10.201.1.20", 44818, 0, {Rig::identityReply(opener20, Rig::ipv4("10.201.1.20"))}, 0},
        {"10.201.1.21", 44818, 2222, {Rig::identityReply(opener21)}, 150},
        {"10.201.2.22", 44818, 0, {Rig::identityReply(opener22)}, 300},
        {"10.201.1.23", 44818, 0, {twoItems}, 450},
        {"10.201.1.24", 55555, 0, {"marovenda 24"}, 600},
        {"10.201.1.24", 44818, 0, {Rig::identityReply(both24)}, 750},
        {"10.201.1.25", 44818, 0, {Rig::identityReply(both25)}, 900},
        {"10.201.1.25", 55555, 0, {"marovenda 25"}, 1050},
        {"10.201.1.26", 44818, 0, {Rig::identityReply(long26)}, 1200},
    };
    const QStringList expected = {
        "1.  10.201.1.20:55555 | \"Opener 20\" (3.7) S/N: A1B2C3",
        "2.  10.201.1.21:55555 | \"Opener 21\" (1.0) S/N: 0",
        "3.  10.201.2.22:55555 | \"%5%6%7 x\" (1.2) S/N: DEADBEEF",
        "4.  10.201.1.23:55555 | \"Two items\" (2.1) S/N: 10",
        "5.  10.201.1.24:55555 | marovenda 24",
        "6.  10.201.1.25:55555 | \"Opener first\" (5.5) S/N: 25",
        "7.  10.201.1.26:55555 | \"NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN\" (1.1) S/N: FFFFFFFF",
    };
    const QList<bool> configFlags = {true, true, false, true, true, false, false};

    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), expected.size(), 4000);
    QTest::qWait(300);
    QVERIFY(devices.stop());
    QCOMPARE(devices.sent, config.size());

    QCOMPARE(itemTexts(listWidget), expected);
    for (int row = 0; row < expected.size(); ++row)
        QCOMPARE(listWidget->item(row)->data(ConfigRole).toBool(), configFlags.at(row));

    const QString p = QStringLiteral("MainWindow::readyRead_opener : ");
    const QStringList lines = Rig::LogCapture::linesStartingWith(QString());
    const int first = lines.indexOf(p + "Item: Type = 12");
    QVERIFY(first >= 0);
    QCOMPARE(lines.mid(first, 5),
             QStringList({p + "Item: Type = 12", p + "Identity item: Encap. protocol ver. =  1",
                          p
                              + "Identity item: Sockaddr: family = 2 , port = 44818 , addr = \"10.201.1.20\" , "
                                "zero = \"00 00 00 00 00 00 00 00\"",
                          p + "Identity item: Identity object: Product name = \"Opener 20\"",
                          p + "Device added to the list (Opener)"}));
    // The two-item reply logs both types; every identity item logs its name,
    // also when its address is listed already.
    QCOMPARE(Rig::LogCapture::count(p + "Item: Type = 134"), 1);
    QCOMPARE(Rig::LogCapture::count(p + "Item: Type = 12"), 7);
    QCOMPARE(Rig::LogCapture::count(p + "Identity item: Identity object: Product name = \"Text first\""), 1);
    QCOMPARE(Rig::LogCapture::count(p + "Device added to the list (Opener)"), 6);
    QCOMPARE(Rig::LogCapture::count("MainWindow::readyRead : Device added to the list (DragonFrame)"), 1);
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Found 7 device(s)"));

    // The first entry is current and both buttons follow the selection.
    auto *copy = window->findChild<QPushButton *>("pushButton_copy");
    auto *openConfig = window->findChild<QPushButton *>("pushButton_config");
    QCOMPARE(listWidget->currentRow(), 0);
    QVERIFY(copy->isEnabled());
    QVERIFY(openConfig->isEnabled());
    listWidget->setCurrentRow(2);
    QVERIFY(copy->isEnabled());
    QVERIFY(!openConfig->isEnabled());
    listWidget->setCurrentRow(4);
    QVERIFY(openConfig->isEnabled());
}

void TestDiscoveryRig::ownBroadcastsAndIdleClose()
{
    auto window = startWindow();
    QList<QUdpSocket *> sockets = window->findChildren<QUdpSocket *>();
    QCOMPARE(sockets.size(), 2 * entries.size());
    QTest::qWait(500);

    // Second run while every socket is still bound: all of them get every
    // probe sent to a broadcast address back.
    Rig::LogCapture::clear();
    const qint64 secondRun = Rig::LogCapture::elapsed();
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QCOMPARE(window->findChildren<QUdpSocket *>().size(), sockets.size());
    // Every probe goes to a subnet broadcast address and so comes back to
    // every socket of its port.
    const int echoes = entries.size() * entries.size();
    QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::count(FromItselfText), echoes, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::count(FromItselfOpener), echoes, 1000);
    QTest::qWait(100);
    QCOMPARE(Rig::LogCapture::count(FromItselfText), echoes);
    QCOMPARE(list(window.get())->count(), 0);
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Found 0 device(s)"));

    QMap<QUdpSocket *, quint16> ports;
    for (QUdpSocket *socket : qAsConst(sockets))
        ports.insert(socket, socket->localPort());

    // Every socket closes 2000 ms after its last datagram: the second run's
    // echoes, which reach every socket bound to the port.
    const QRegularExpression closeLine(
        QStringLiteral("^.*ConnSocket.* : Closing socket on port = (\\d+) , addr = \"([0-9.]+)\"$"));
    QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::linesStartingWith(QString()).filter(closeLine).size(), sockets.size(),
                              4000);
    QList<qint64> times;
    const QStringList all = Rig::LogCapture::linesStartingWith(QString(), &times);
    QSet<QString> closed;
    for (int i = 0; i < all.size(); ++i) {
        const QRegularExpressionMatch m = closeLine.match(all.at(i));
        if (!m.hasMatch())
            continue;
        closed.insert(m.captured(1) + ' ' + m.captured(2));
        // QTimer's coarse timers may fire up to 5 % early.
        const qint64 idle = times.at(i) - secondRun;
        QVERIFY2(idle >= 1900 && idle <= 2700, qPrintable(QStringLiteral("%1 after %2 ms").arg(all.at(i)).arg(idle)));
    }
    QSet<QString> expectedClosed;
    for (const Entry &e : qAsConst(entries)) {
        expectedClosed.insert("55555 " + e.probe());
        expectedClosed.insert("44818 " + e.probe());
    }
    QCOMPARE(closed, expectedClosed);
    for (QUdpSocket *socket : qAsConst(sockets)) {
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(socket->localPort(), quint16(0));
    }

    // A run after every socket closed binds the same sockets again, each to
    // the port it had.
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QCOMPARE(window->findChildren<QUdpSocket *>().size(), sockets.size());
    for (QUdpSocket *socket : qAsConst(sockets)) {
        QCOMPARE(socket->state(), QAbstractSocket::BoundState);
        QCOMPARE(socket->localPort(), ports.value(socket));
    }
}

void TestDiscoveryRig::failedSendIsLogged()
{
    // A /32 address has no subnet to broadcast to: its probes go to its own
    // first three octets and .255, here a blackhole, so both sends fail.
    QVERIFY(Rig::ip({"addr", "add", "10.205.0.5/32", "dev", "rp3"}));
    QVERIFY(Rig::ip({"route", "add", "blackhole", "10.205.0.255/32"}));
    auto undo = qScopeGuard([] {
        Rig::ip({"route", "del", "blackhole", "10.205.0.255/32"});
        Rig::ip({"addr", "del", "10.205.0.5/32", "dev", "rp3"});
    });
    Rig::Devices devices;
    QVERIFY(devices.start({}));
    auto window = startWindow(entries.size() + 1);
    QTest::qWait(200);
    QVERIFY(devices.stop());

    QMap<QString, QString> expected;
    for (const Entry &e : qAsConst(entries))
        expected.insert(e.ip, e.probe());
    expected.insert("10.205.0.5", "10.205.0.255");
    QCOMPARE(probedAddresses(), expected);
    QCOMPARE(Rig::LogCapture::linesStartingWith("MainWindow::priv_sendDatagram : "),
             QStringList("MainWindow::priv_sendDatagram : Datagram error = QAbstractSocket::NetworkError"));
    QCOMPARE(Rig::LogCapture::linesStartingWith("MainWindow::priv_sendDatagram_opener : "),
             QStringList("MainWindow::priv_sendDatagram_opener : Datagram error = QAbstractSocket::NetworkError"));
    // The run went on: every other entry's probes went out.
    QCOMPARE(devices.probes.size(), 2 * entries.size());

    // Each entry's probes go out before its run line: the two errors of the
    // blackholed entry stand, in probe order, between the run line of the
    // entry before it and its own.
    const QStringList lines = Rig::LogCapture::linesStartingWith(QString());
    // The index of the first line that the pattern matches whole.
    const auto indexOf = [&lines](const QString &pattern) { return lines.indexOf(QRegularExpression(pattern)); };
    const int textError = indexOf("MainWindow::priv_sendDatagram : .*");
    const int openerError = indexOf("MainWindow::priv_sendDatagram_opener : .*");
    QVERIFY(textError > 0);
    QCOMPARE(openerError, textError + 1);
    QCOMPARE(indexOf(".*Etr\\.IP: 10\\.205\\.0\\.5 .*"), openerError + 1);
    QVERIFY(lines.at(textError - 1).startsWith(RunPrefix));

    // The user sees the failure in the address's row.
    QVERIFY(networkRows(window.get())
                .contains("rp3 | 10.205.0.5/32 | 10.205.0.255 | searched | NetworkError | NetworkError | 0"));
}

void TestDiscoveryRig::fiftyListIdentityDevices()
{
    QList<Device> config;
    QSet<QString> expected;
    for (int i = 0; i < 50; ++i) {
        const QString addr = QStringLiteral("10.201.2.%1").arg(100 + i);
        Identity identity{1, 12, 2, 1, quint8(i), 0, quint32(0x5000 + i), "Opener " + QByteArray::number(i)};
        config.append(Device{addr, 44818, 0, {Rig::identityReply(identity)}, 0, 1500});
        expected.insert(QStringLiteral("%1:55555 | \"Opener %2\" (1.%2) S/N: %3")
                            .arg(addr, QString::number(i), QString::number(0x5000 + i, 16).toUpper()));
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), 50, 4000);
    QVERIFY(devices.stop());
    QCOMPARE(unnumbered(listWidget), expected);
}

void TestDiscoveryRig::runningNumberDoesNotWrap()
{
    QList<Device> config;
    for (const char *subnet : {"10.201.1.", "10.201.2."}) {
        for (int host = 2; host < 132; ++host)
            config.append(Device{subnet + QString::number(host), 55555, 0, {"marovenda"}, 0, 300});
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), 260, 4000);
    QVERIFY(devices.stop());
    // Row 256 must read "257.  ", not "1.  ".
    for (int row = 0; row < listWidget->count(); ++row)
        QVERIFY2(listWidget->item(row)->text().startsWith(QStringLiteral("%1.  ").arg(row + 1)),
                 qPrintable(listWidget->item(row)->text()));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Found 260 device(s)"));
}

void TestDiscoveryRig::hostileInput()
{
    Identity good{1, 12, 2, 2, 5, 0, 0x1234ABCD, "Good"};
    const QByteArray goodItem = Rig::identityItemData(good);
    Identity name33 = good;
    name33.productName = QByteArray(33, 'L');
    Identity name255 = good;
    name255.productName = QByteArray(255, 'L');
    const QByteArray header = Rig::listIdentityReply({}).left(24);

    struct Hostile
    {
        int host;
        quint16 port;
        QByteArray datagram;
        QString shown; // empty: not listed
    };
    const QList<Hostile> table = {
        {30, 44818, QByteArray(), ""},
        {31, 44818, QByteArray::fromHex("63"), ""},
        {32, 44818, QByteArray::fromHex("6300"), ""},
        {33, 44818, QByteArray::fromHex("63000000000000000000"), ""},
        {34, 44818, header.left(23), ""},
        {35, 44818, Rig::listIdentityReply({{0x000C, goodItem}}, -1, 0x0001), ""},
        {36, 44818, Rig::listIdentityReply({{0x000C, goodItem}}, -1, 0x0065), ""},
        {37, 44818, Rig::listIdentityReply({}, 65535), ""},
        {38, 44818, Rig::listIdentityReply({{0x0086, QByteArray()}}, 65535), ""},
        // Length 200, but only the identity up to its serial number is there.
        {39, 44818, Rig::listIdentityReply({{0x000C, goodItem.left(32), 200}}), "\"\" (2.5) S/N: 1234ABCD"},
        {40, 44818, Rig::listIdentityReply({{0x000C, Rig::identityItemData(name33)}}), ""},
        {41, 44818, Rig::listIdentityReply({{0x000C, Rig::identityItemData(name255)}}), ""},
        {42, 44818, Rig::listIdentityReply({{0x000C, goodItem}, {0x000C, goodItem.left(3), 60000}}),
         "\"Good\" (2.5) S/N: 1234ABCD"},
        {43, 44818, Rig::listIdentityReply({{0x000C, goodItem.left(2)}}), "\"\" (0.0) S/N: 0"},
        {44, 55555, QByteArray(), ""},
        {45, 55555, QByteArray("\0\0marovenda", 11), ""},
        {46, 55555, QByteArray("marovenda\0\0\xff\xfe", 13), "marovenda"},
        {47, 55555, QByteArray(1400, 'x') + "MAROVENDA", QString(1400, 'x') + "MAROVENDA"},
        {48, 55555, QByteArray("\xff\xfe marovenda"), QString::fromUtf8("\xff\xfe marovenda")},
        // A well-formed device after all of that is still listed.
        {49, 44818, Rig::identityReply(good), "\"Good\" (2.5) S/N: 1234ABCD"},
    };
    QList<Device> config;
    QSet<QString> expected;
    for (const Hostile &h : table) {
        const QString addr = QStringLiteral("10.201.2.%1").arg(h.host);
        config.append(Device{addr, h.port, 0, {h.datagram}, h.host == 49 ? 600 : 0});
        if (!h.shown.isEmpty())
            expected.insert(
                QStringLiteral("%1:%2 | %3").arg(addr, QString::number(h.port == 44818 ? 55555 : h.port), h.shown));
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), expected.size(), 4000);
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QCOMPARE(devices.sent, table.size());

    QCOMPARE(unnumbered(listWidget), expected);
    const QString p = QStringLiteral("MainWindow::readyRead_opener : ");
    // Only items that start inside their datagram are looked at: one each
    // from 38, 39, 40, 41, 43 and 49, two from 42; none from 37.
    QCOMPARE(Rig::LogCapture::count(p + "Item: Type = 134"), 1);
    QCOMPARE(Rig::LogCapture::count(p + "Item: Type = 12"), 7);
    QCOMPARE(Rig::LogCapture::linesStartingWith(p + "Item: Type =").size(), 8);
    QCOMPARE(Rig::LogCapture::count(p + "Decode: Identity object: Decoding error!"), 2);
    // 39, 43 and the second, truncated item of 42 have no name bytes left.
    QCOMPARE(Rig::LogCapture::count(p + "Identity item: Identity object: Product name = \"\""), 3);
}

void TestDiscoveryRig::floodWhileSearching()
{
    // One device answers every ListIdentity probe with a flood of one and
    // the same reply, 50,000 a second for 3 s; quiet devices on its card and
    // on another answer each probe, of both kinds.
    Identity flood{1, 12, 2, 1, 0, 0, 0xF100D, "Flood"};
    Device flooder{"10.201.1.200", 44818, 0, {Rig::identityReply(flood)}, 0, 0, 0.02};
    flooder.repeat = 150000;
    QList<Device> config = {flooder};
    const QStringList quiet = {"10.201.1.60", "10.201.1.61", "10.201.2.62", "10.201.2.63"};
    for (int i = 0; i < quiet.size(); ++i) {
        Identity identity{1, 12, 2, 1, 0, 0, quint32(i), "Quiet " + quiet.at(i).toLatin1()};
        config.append(i == 1 ? Device{quiet.at(i), 55555, 0, {"marovenda quiet"}, 100, 0, 300}
                             : Device{quiet.at(i), 44818, 0, {Rig::identityReply(identity)}, 100, 0, 300});
        // Three times, so that a machine too busy to drain its receive
        // buffers in time does not fail the test.
        config.last().repeat = 3;
    }
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    const auto listed = [listWidget](const QString &address) {
        for (int row = 0; row < listWidget->count(); ++row) {
            if (listWidget->item(row)->data(AddressRole).toString() == address)
                return true;
        }
        return false;
    };
    const auto quietListed = [&] { return std::all_of(quiet.begin(), quiet.end(), listed); };
    const qint64 floodStart = Rig::udpCounter("InDatagrams");
    QTRY_VERIFY_WITH_TIMEOUT(Rig::udpCounter("InDatagrams") - floodStart > 20000, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(quietListed(), 2000);

    // The search runs at once, and its quiet devices are listed while the
    // flood goes on.
    const qint64 dropsBefore = Rig::udpCounter("RcvbufErrors");
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QCOMPARE(listWidget->count(), 0);
    QTRY_VERIFY2_WITH_TIMEOUT(quietListed(),
                              qPrintable(QStringLiteral("listed: %1; receive-buffer drops: %2")
                                             .arg(itemTexts(listWidget).join(" / "))
                                             .arg(Rig::udpCounter("RcvbufErrors") - dropsBefore)),
                              2000);
    const qint64 in = Rig::udpCounter("InDatagrams");
    QTest::qWait(100);
    QVERIFY2(Rig::udpCounter("InDatagrams") - in > 1000, "the flood was over before the quiet devices were listed");
    QVERIFY(devices.stop());
    QTest::qWait(200);
    QCOMPARE(listWidget->count(), quiet.size() + 1);
    QVERIFY(listed(flooder.addr));

    // The flood's repeats were counted, not decoded and logged one by one;
    // the quiet devices' own repeats may be counted as well.
    const QString p = QStringLiteral("MainWindow::readyRead_opener : ");
    const int floodNames = Rig::LogCapture::count(p + "Identity item: Identity object: Product name = \"Flood\"");
    qint64 repeats = 0;
    for (const QString &line : Rig::LogCapture::linesStartingWith(p + "Identical repeats skipped = ")) {
        const QString address = line.section('"', 1, 1);
        QVERIFY2(address == flooder.addr || quiet.contains(address), qPrintable(line));
        repeats += address == flooder.addr ? line.section(' ', 6, 6).toLongLong() : 0;
    }
    QVERIFY(repeats > 0);
    QVERIFY2(floodNames < repeats / 4,
             qPrintable(QStringLiteral("%1 decoded, %2 counted").arg(floodNames).arg(repeats)));
}

void TestDiscoveryRig::toolTips()
{
    // Odd values: every bit set, zeros, a reported socket address that is
    // not the sender's, an item cut off after its protocol version, and a
    // device in a major fault.
    Identity odd{0xFFFF, 0x8001, 2, 255, 0, 0xFFFF, 0, "Odd", -1, 255};
    Identity usual{1, 12, 4, 1, 2, 0x0030, 0xDEADBEEF, "Usual"};
    Identity faulted{1, 0xC8, 4, 1, 0, 0x0000, 0x55, "Faulted", -1, 4};
    const QByteArray oddItem = Rig::identityItemData(odd, Rig::ipv4("192.0.2.77"), 0xFFFF, 2222);
    const QByteArray longReply = "marovenda " + QByteArray(600, 'y');
    QStringList longLines;
    for (int i = 0; i < 512; i += 64)
        longLines.append(QString::fromLatin1(longReply.mid(i, 64)));
    const QString rigMac1 = Rig::links().at(0).devMac;
    const QString rigMac4 = Rig::links().at(3).devMac;
    const QString noEntry = QStringLiteral("Not in this computer's neighbour table");

    struct ToolTipDevice
    {
        const char *addr;
        quint16 port;
        QByteArray datagram;
        QStringList cells;
    };
    const QString reply = QStringLiteral("Reply");
    // The first device behind each link and subnet asks for the program's
    // hardware address, and the program's side learns the device's from
    // that request; the others on the subnet use the answer it got.
    const QList<ToolTipDevice> table = {
        {"10.201.1.50",
         44818,
         Rig::listIdentityReply({{0x000C, oddItem}}),
         {"Fault",
          "Major recoverable fault (status bit 10)\nMajor unrecoverable fault (status bit 11)",
          "Vendor ID",
          "65535 (0xFFFF)",
          "Device type",
          "32769 (0x8001) Unknown",
          "Product code",
          "2 (0x0002)",
          "Revision",
          "255.0",
          "Serial number",
          "0",
          "Status",
          "0xFFFF\nOwned, Configured, Extended device status 15\nMinor recoverable fault\nMinor unrecoverable "
          "fault\nMajor recoverable fault\nMajor unrecoverable fault",
          "State",
          "255 Default",
          "Socket address",
          "192.0.2.77:2222",
          "Reported address",
          "192.0.2.77 is not 10.201.1.50, the address the reply came from",
          "Encapsulation version",
          "65535",
          "Network card",
          "rp1, 10.201.1.1/24",
          "MAC address",
          rigMac1}},
        {"10.201.1.51",
         44818,
         Rig::identityReply(usual, Rig::ipv4("10.201.1.51")),
         {"Vendor ID",
          "1 (0x0001)",
          "Device type",
          "12 (0x000C) Communications Adapter",
          "Product code",
          "4 (0x0004)",
          "Revision",
          "1.2",
          "Serial number",
          "DEADBEEF",
          "Status",
          "0x0030\nNot owned, Not configured, Extended device status 3",
          "State",
          "3 Operational",
          "Socket address",
          "10.201.1.51:44818",
          "Encapsulation version",
          "1",
          "Network card",
          "rp1, 10.201.1.1/24",
          "MAC address",
          noEntry}},
        {"10.201.1.52",
         44818,
         Rig::listIdentityReply({{0x000C, QByteArray::fromHex("0100")}}),
         {"Vendor ID",
          "0 (0x0000)",
          "Device type",
          "0 (0x0000) Generic Device",
          "Product code",
          "0 (0x0000)",
          "Revision",
          "0.0",
          "Serial number",
          "0",
          "Status",
          "0x0000\nNot owned, Not configured, Extended device status 0",
          "State",
          "0 Nonexistent",
          "Socket address",
          "0.0.0.0:0",
          "Reported address",
          "0.0.0.0 is not 10.201.1.52, the address the reply came from",
          "Encapsulation version",
          "1",
          "Network card",
          "rp1, 10.201.1.1/24",
          "MAC address",
          noEntry}},
        // Control characters, a backslash, invalid UTF-8 (a stray byte, an
        // encoded surrogate, an overlong slash), a direction override, and
        // text that must not be taken as markup.
        {"10.201.1.53",
         55555,
         "marovenda\t\x01\x7f\\ \xc3\xa9 \xff \xed\xa0\x80 \xc0\xaf \xe2\x80\xae \xf0\x9f\x98\x80 <b>&amp;",
         {reply,
          QString::fromUtf8("marovenda\\x09\\x01\\x7F\\\\ \xc3\xa9 \\xFF \\xED\\xA0\\x80 \\xC0\\xAF "
                            "\\u202E \xf0\x9f\x98\x80 <b>&amp;"),
          "Network card", "rp1, 10.201.1.1/24", "MAC address", noEntry}},
        // Text ends at a zero byte; 512 characters are shown, then an ellipsis.
        {"10.201.1.54",
         55555,
         longReply + QByteArray("\0zzz", 4),
         {reply, longLines.join('\n') + QChar(0x2026), "Network card", "rp1, 10.201.1.1/24", "MAC address", noEntry}},
        // The card's second address, and a /25 of a card with three.
        {"10.201.9.55",
         44818,
         Rig::identityReply(faulted, Rig::ipv4("10.201.9.55")),
         {"Fault",
          "Major recoverable fault (state 4)",
          "Vendor ID",
          "1 (0x0001)",
          "Device type",
          "200 (0x00C8) Embedded Component",
          "Product code",
          "4 (0x0004)",
          "Revision",
          "1.0",
          "Serial number",
          "55",
          "Status",
          "0x0000\nNot owned, Not configured, Extended device status 0",
          "State",
          "4 Major recoverable fault",
          "Socket address",
          "10.201.9.55:44818",
          "Encapsulation version",
          "1",
          "Network card",
          "rp1, 10.201.9.1/24",
          "MAC address",
          rigMac1}},
        {"10.204.9.200",
         55555,
         "marovenda on rp4",
         {reply, "marovenda on rp4", "Network card", "rp4, 10.204.9.140/25", "MAC address", rigMac4}},
    };
    QList<Device> config;
    for (const ToolTipDevice &d : table)
        config.append(Device{d.addr, d.port, 0, {d.datagram}, 150 * int(config.size())});
    QVERIFY(flushNeighbours());
    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), table.size(), 4000);
    QVERIFY(devices.stop());

    for (int row = 0; row < table.size(); ++row) {
        QCOMPARE(toolTipCells(listWidget, row), table.at(row).cells);
        // Only the entries in a fault carry the warning icon.
        QCOMPARE(hasIcon(listWidget->item(row)), table.at(row).cells.first() == "Fault");
    }
}

void TestDiscoveryRig::neighbourStates()
{
    // The neighbour table's entries in every state, set by hand after the
    // replies came (the first device's own request would set one).
    struct StateDevice
    {
        int host;
        const char *state;
        QString mac; // as shown
    };
    const QString noEntry = QStringLiteral("Not in this computer's neighbour table");
    const QList<StateDevice> table = {
        {70, "stale", "02:00:00:00:02:46"},
        {71, "reachable", "02:00:00:00:02:47"},
        {72, "probe", "02:00:00:00:02:48"},
        {73, "permanent", "02:00:00:00:02:49"},
        {74, "failed", noEntry},
        {75, "incomplete", noEntry},
    };
    QList<Device> config;
    for (const StateDevice &d : table)
        config.append(Device{QStringLiteral("10.201.2.%1").arg(d.host), 55555, 0, {"marovenda"}, 0});
    // A device behind a router: the table holds the router, never the
    // device, whatever it holds for the device's address.
    QVERIFY(Rig::ip({"-n", Rig::devNs(), "addr", "add", "10.209.0.5/32", "dev", "rd2"}));
    QVERIFY(Rig::ip({"route", "add", "10.209.0.0/24", "via", "10.201.2.254"}));
    auto undo = qScopeGuard([] {
        Rig::ip({"route", "del", "10.209.0.0/24"});
        Rig::ip({"-n", Rig::devNs(), "addr", "del", "10.209.0.5/32", "dev", "rd2"});
        for (int host = 70; host <= 75; ++host)
            Rig::ip({"neigh", "del", QStringLiteral("10.201.2.%1").arg(host), "dev", "rp2"});
    });

    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), table.size(), 4000);
    QVERIFY(Rig::sendFromDeviceSide("10.209.0.5", "10.201.2.1", 55555, "marovenda routed"));
    QTRY_COMPARE_WITH_TIMEOUT(listWidget->count(), table.size() + 1, 2000);
    QVERIFY(devices.stop());

    QMap<QString, int> rows;
    for (int row = 0; row < listWidget->count(); ++row)
        rows.insert(listWidget->item(row)->data(AddressRole).toString(), row);
    for (const StateDevice &d : table) {
        const QString addr = QStringLiteral("10.201.2.%1").arg(d.host);
        const QString lladdr = d.mac == noEntry ? QStringLiteral("02:00:00:00:02:%1").arg(d.host, 2, 16) : d.mac;
        QVERIFY(Rig::ip({"neigh", "replace", addr, "lladdr", lladdr, "dev", "rp2", "nud", d.state}));
        const QStringList cells = toolTipCells(listWidget, rows.value(addr));
        QVERIFY2(toolTipRow(cells, "MAC address") == d.mac, qPrintable(d.state + (": " + cells.join(" | "))));
        QCOMPARE(toolTipRow(cells, "Network card"), QStringLiteral("rp2, 10.201.2.1/24"));
    }
    QVERIFY(
        Rig::ip({"neigh", "replace", "10.209.0.5", "lladdr", "02:00:00:00:09:05", "dev", "rp2", "nud", "permanent"}));
    auto undoRouted = qScopeGuard([] { Rig::ip({"neigh", "del", "10.209.0.5", "dev", "rp2"}); });
    const QStringList routed = toolTipCells(listWidget, rows.value("10.209.0.5"));
    QCOMPARE(toolTipRow(routed, "MAC address"),
             QStringLiteral("Not known: the device is not on a subnet of this computer"));
    // The card it came in on, with the card's one address.
    QCOMPARE(toolTipRow(routed, "Network card"), QStringLiteral("rp2, 10.201.2.1/24"));
}

void TestDiscoveryRig::addressConflicts()
{
    // Two devices with one address, a spare with a factory address being
    // the classic case, against a device answering twice, two equal items
    // in one reply, a text device beside an EtherNet/IP one, and a device
    // whose name alone differs. The conflicting replies come last, when
    // they add no entry.
    Identity driveA{1, 12, 4, 1, 0, 0, 0x1111, "Conveyor drive A"};
    Identity spareB{1, 12, 4, 1, 0, 0, 0x2222, "Spare drive B"};
    Identity twice{1, 12, 2, 2, 0, 0, 0x61, "Twice"};
    Identity product5{1, 12, 5, 1, 0, 0, 0x64, "Product 5"};
    Identity product6 = product5;
    product6.productCode = 6;
    Identity renamed{1, 12, 4, 1, 0, 0, 0x65, "Old name"};
    Identity renamed2 = renamed;
    renamed2.productName = "New name";
    const QByteArray twoItems =
        Rig::listIdentityReply({{0x000C, Rig::identityItemData(twice)}, {0x000C, Rig::identityItemData(twice)}});
    QList<QByteArray> made;
    for (quint32 serial = 1; serial <= 20; ++serial)
        made.append(Rig::identityReply({7, 12, 4, 1, 0, 0, serial, "Made up"}));

    const QList<Device> config = {
        {"10.201.1.60", 44818, 0, {Rig::identityReply(driveA)}, 0},
        {"10.201.1.61", 44818, 0, {Rig::identityReply(twice), Rig::identityReply(twice)}, 100, 0, 50},
        {"10.201.1.62", 44818, 0, {twoItems}, 200},
        {"10.201.1.63", 55555, 0, {"marovenda 63"}, 300},
        {"10.201.1.63", 44818, 0, {Rig::identityReply(twice)}, 400},
        {"10.201.1.64", 44818, 0, {Rig::identityReply(product5)}, 500},
        {"10.201.1.65", 44818, 0, {Rig::identityReply(renamed)}, 600},
        {"10.201.1.66", 44818, 0, made, 700},
        {"10.201.1.65", 44818, 0, {Rig::identityReply(renamed2)}, 800},
        {"10.201.1.64", 44818, 0, {Rig::identityReply(product6)}, 900},
        {"10.201.1.60", 44818, 0, {Rig::identityReply(spareB)}, 1100},
    };
    const QStringList expected = {
        "1.  10.201.1.60:55555 | \"Conveyor drive A\" (1.0) S/N: 1111",
        "2.  10.201.1.61:55555 | \"Twice\" (2.0) S/N: 61",
        "3.  10.201.1.62:55555 | \"Twice\" (2.0) S/N: 61",
        "4.  10.201.1.63:55555 | marovenda 63",
        "5.  10.201.1.64:55555 | \"Product 5\" (1.0) S/N: 64",
        "6.  10.201.1.65:55555 | \"Old name\" (1.0) S/N: 65",
        "7.  10.201.1.66:55555 | \"Made up\" (1.0) S/N: 1",
    };
    const QList<bool> conflicts = {true, false, false, false, true, false, true};
    const QString p = QStringLiteral("MainWindow::readyRead_opener : ");
    const QString conflictLine = p
        + "IP address conflict at \"10.201.1.60\" : \"Conveyor drive A\" S/N: 1111 , product code = 4 , vendor ID = 1 "
          "and \"Spare drive B\" S/N: 2222 , product code = 4 , vendor ID = 1";

    Rig::Devices devices;
    QVERIFY(devices.start(config));
    auto window = startWindow();
    QListWidget *listWidget = list(window.get());
    auto *status = window->statusBar();
    QTRY_COMPARE_WITH_TIMEOUT(status->currentMessage(),
                              QStringLiteral("Found 7 device(s), 2 with an IP address conflict"), 4000);
    // Before the last reply the entry at .60 is one device like any other.
    QVERIFY(!hasIcon(listWidget->item(0)));
    QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::count(conflictLine), 1, 2000);
    QCOMPARE(status->currentMessage(), QStringLiteral("Found 7 device(s), 3 with an IP address conflict"));

    QCOMPARE(itemTexts(listWidget), expected);
    for (int row = 0; row < expected.size(); ++row)
        QVERIFY2(hasIcon(listWidget->item(row)) == conflicts.at(row), qPrintable(expected.at(row)));
    // One line per further identity: .64's, .60's and the nineteen made up.
    QCOMPARE(Rig::LogCapture::linesStartingWith(p + "IP address conflict at ").size(), 21);
    QCOMPARE(Rig::LogCapture::count(p + "Device added to the list (Opener)"), 6);
    QCOMPARE(toolTipRow(toolTipCells(listWidget, 0), "IP address conflict"),
             QStringLiteral("\"Conveyor drive A\" S/N: 1111, product code 4, vendor ID 1\n"
                            "\"Spare drive B\" S/N: 2222, product code 4, vendor ID 1"));
    QCOMPARE(toolTipRow(toolTipCells(listWidget, 4), "IP address conflict"),
             QStringLiteral("\"Product 5\" S/N: 64, product code 5, vendor ID 1\n"
                            "\"Product 5\" S/N: 64, product code 6, vendor ID 1"));
    const QStringList madeUp = toolTipRow(toolTipCells(listWidget, 6), "IP address conflict").split('\n');
    QCOMPARE(madeUp.size(), 17);
    QCOMPARE(madeUp.at(15), QStringLiteral("\"Made up\" S/N: 10, product code 4, vendor ID 7"));
    QCOMPARE(madeUp.at(16), QStringLiteral("4 more reply(s) with another identity"));
    for (int row : {1, 2, 3, 5})
        QCOMPARE(toolTipRow(toolTipCells(listWidget, row), "IP address conflict"), QStringLiteral("(none)"));

    // The icon that came later is laid out: every row is where Qt's own
    // delegate, which measures every time, puts it.
    QList<QRect> rects;
    for (int row = 0; row < listWidget->count(); ++row)
        rects.append(listWidget->visualItemRect(listWidget->item(row)));
    QAbstractItemDelegate *delegate = listWidget->itemDelegate();
    QStyledItemDelegate plain;
    listWidget->setItemDelegate(&plain);
    listWidget->doItemsLayout();
    for (int row = 0; row < listWidget->count(); ++row)
        QCOMPARE(listWidget->visualItemRect(listWidget->item(row)), rects.at(row));
    listWidget->setItemDelegate(delegate);

    // A new run starts without conflicts and finds the same again.
    QVERIFY(devices.stop());
    QVERIFY(devices.start(config));
    status->clearMessage();
    Rig::LogCapture::clear();
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Rig::LogCapture::count(conflictLine), 1, 4000);
    QCOMPARE(status->currentMessage(), QStringLiteral("Found 7 device(s), 3 with an IP address conflict"));
    QVERIFY(devices.stop());
}

void TestDiscoveryRig::listCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("isolated"); // in a namespace of its own with loopback only
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("devices"); // listed, in arrival order; the third answers after 1200 ms

    QTest::newRow("text") << QStringList{"--list"} << false << 0 << 3;
    QTest::newRow("csv, shorter wait") << QStringList{"--list", "--format", "csv", "--wait", "600"} << false << 0 << 2;
    QTest::newRow("json, Qt's options") << QStringList{"-style", "fusion", "--format=json", "--list", "--wait=2000"}
                                        << false << 0 << 3;
    QTest::newRow("no usable address") << QStringList{"--list"} << true << 1 << 0;
    QTest::newRow("unknown format") << QStringList{"--list", "--format", "xml"} << false << 2 << 0;
}

void TestDiscoveryRig::listCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, isolated);
    QFETCH(int, exitCode);
    QFETCH(int, devices);

    // The program itself, without a window and without a display.
    Identity drive{1, 12, 2, 1, 2, 0, 0x1234, "Rig drive"};
    QVERIFY(flushNeighbours());
    Rig::Devices rigDevices;
    QVERIFY(
        rigDevices.start({Device{"10.201.1.20", 55555, 0, {"marovenda \"one\", =two"}},
                          Device{"10.201.2.21", 44818, 0, {Rig::identityReply(drive, Rig::ipv4("10.201.2.21"))}, 300},
                          Device{"10.203.5.30", 55555, 0, {"marovenda late"}, 1200}}));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    if (isolated)
        program.start("unshare", QStringList{"--net", NODESPOTTER_EXECUTABLE} + arguments);
    else
        program.start(NODESPOTTER_EXECUTABLE, arguments);
    QVERIFY(program.waitForStarted());
    const bool finished = program.waitForFinished(20000);
    const QByteArray out = program.readAllStandardOutput();
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(finished, qPrintable(errors));
    QVERIFY(rigDevices.stop());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    if (exitCode != 0) {
        QCOMPARE(out, QByteArray());
        QVERIFY2(errors.contains(exitCode == 1 ? "No usable network address: nothing was sent."
                                               : "Unknown format \"xml\": use text, csv or json."),
                 qPrintable(errors));
        return;
    }

    // The window's own search: its probes and run lines, its log.
    QCOMPARE(rigDevices.probes.size(), 2 * entries.size());
    QCOMPARE(errors.split('\n').filter(QRegularExpression("^" + RunPrefix)).size(), entries.size());
    QVERIFY(errors.contains("MainWindow::readyRead_opener : Device added to the list (Opener)"));

    const QString mac1 = Rig::links().at(0).devMac;
    const QString mac2 = Rig::links().at(1).devMac;
    // Each device is the first on its link to answer, so the device side
    // asks for the program's hardware address, and the program's neighbour
    // table learns the device's.
    const QString mac3 = Rig::links().at(2).devMac;
    const QStringList lines = {
        "1.  10.201.1.20:55555 | marovenda \"one\", =two",
        "2.  10.201.2.21:55555 | \"Rig drive\" (1.2) S/N: 1234",
        "3.  10.203.5.30:55555 | marovenda late",
    };
    const QStringList csvRows = {
        "1,10.201.1.20,55555,text,\"marovenda \"\"one\"\", =two\",,,,,,,,,,,," + mac1 + ",rp1,10.201.1.1/24,",
        "2,10.201.2.21,55555,EtherNet/IP,Rig drive,1,12,Communications Adapter,2,1.2,00001234,0x0000,3,"
        "Operational,10.201.2.21:44818,1,"
            + mac2 + ",rp2,10.201.2.1/24,",
        "3,10.203.5.30,55555,text,marovenda late,,,,,,,,,,,," + mac3 + ",rp3,10.203.5.9/16,",
    };
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    if (tag == "text") {
        QCOMPARE(QString::fromUtf8(out), lines.mid(0, devices).join('\n') + '\n');
    } else if (tag.startsWith("csv")) {
        QVERIFY(out.startsWith("\xef\xbb\xbfnumber,address,port,protocol,name,"));
        const QStringList rows = QString::fromUtf8(out).split("\r\n");
        QCOMPARE(rows.mid(1), csvRows.mid(0, devices) + QStringList(QString()));
    } else {
        const QJsonObject document = QJsonDocument::fromJson(out).object();
        QCOMPARE(document.value("program").toString(), QString("Quorvel Node Spotter"));
        const QJsonArray listed = document.value("devices").toArray();
        QCOMPARE(listed.size(), devices);
        const QStringList macs = {mac1, mac2, mac3};
        for (int i = 0; i < devices; ++i) {
            const QJsonObject device = listed.at(i).toObject();
            QCOMPARE(device.value("number").toInt(-1), i + 1);
            QCOMPARE(device.value("mac_address").toString(), macs.at(i));
            QCOMPARE(device.value("product_code").isNull(), i != 1);
        }
        QCOMPARE(listed.at(1).toObject().value("name").toString(), QString("Rig drive"));
    }
}

void TestDiscoveryRig::watchCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("isolated");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("device stops and starts again")
        << QStringList{"--watch", "--interval", "3"} << false << 0 << QString();
    QTest::newRow("json, runs its time") << QStringList{"--watch", "--format=json", "--for", "1.5"} << false << 0
                                         << QString();
    QTest::newRow("no usable address") << QStringList{"--watch"} << true << 1
                                       << "No usable network address: nothing was sent.";
    QTest::newRow("interval too short") << QStringList{"--watch", "--interval", "2.9"} << false << 2
                                        << "Bad value \"2.9\" for --interval: give seconds, 3 or more.";
    QTest::newRow("csv") << QStringList{"--watch", "--format", "csv"} << false << 2
                         << "--watch prints text or json, not csv.";
    QTest::newRow("bad --for") << QStringList{"--watch", "--for", "0"} << false << 2
                               << "Bad value \"0\" for --for: give seconds, more than 0.";
}

void TestDiscoveryRig::watchCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, isolated);
    QFETCH(int, exitCode);
    QFETCH(QString, error);

    Identity drive{1, 12, 2, 1, 2, 0, 0x1234, "Rig drive"};
    const QList<Device> config = {
        Device{"10.201.2.21", 44818, 0, {Rig::identityReply(drive, Rig::ipv4("10.201.2.21"))}, 100}};
    Rig::Devices rigDevices;
    QVERIFY(rigDevices.start(config));
    QProcess program;
    if (isolated)
        program.start("unshare", QStringList{"--net", NODESPOTTER_EXECUTABLE} + arguments);
    else
        program.start(NODESPOTTER_EXECUTABLE, arguments);
    QVERIFY(program.waitForStarted());
    QByteArray out;
    // Waits for the next line of the program's standard output.
    const auto nextLine = [&program, &out](int timeoutMs) {
        QElapsedTimer waited;
        waited.start();
        while (!out.contains('\n') && waited.elapsed() < timeoutMs)
            if (program.waitForReadyRead(100))
                out += program.readAllStandardOutput();
        const int end = out.indexOf('\n');
        const QString line = end < 0 ? QString() : QString::fromUtf8(out.left(end));
        out.remove(0, end + 1);
        return line;
    };
    const QString entry = "1.  10.201.2.21:55555 | \"Rig drive\" (1.2) S/N: 1234";
    const QRegularExpression time("^\\d\\d:\\d\\d:\\d\\d ");
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    if (tag == "device stops and starts again") {
        QString line = nextLine(5000);
        QVERIFY2(time.match(line).hasMatch(), qPrintable(line));
        QCOMPARE(line.mid(9), "found " + entry);
        // Three rounds of 3 s without it: offline when the third ends.
        QVERIFY(rigDevices.stop());
        QElapsedTimer stopped;
        stopped.start();
        line = nextLine(15000);
        QCOMPARE(line.mid(9), "offline " + entry);
        QVERIFY2(stopped.elapsed() > 6000, qPrintable(QString::number(stopped.elapsed())));
        QVERIFY(rigDevices.start(config));
        line = nextLine(8000);
        QCOMPARE(line.mid(9), "back " + entry);
        // SIGTERM ends it as its time would.
        program.terminate();
    } else if (tag.startsWith("json")) {
        const QJsonObject event = QJsonDocument::fromJson(nextLine(3000).toUtf8()).object();
        QCOMPARE(event.value("event").toString(), QString("found"));
        QVERIFY(event.value("time").toString().endsWith('Z'));
        QCOMPARE(event.value("address").toString(), QString("10.201.2.21"));
        QCOMPARE(event.value("name").toString(), QString("Rig drive"));
    }
    const bool finished = program.waitForFinished(10000);
    out += program.readAllStandardOutput();
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(finished, qPrintable(errors));
    rigDevices.stop();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QCOMPARE(out, QByteArray());
    QVERIFY2(errors.contains(error), qPrintable(errors));
}

QTEST_MAIN(TestDiscoveryRig)
#include "tst_discovery_rig.moc"
