// The inventory read from simulated devices over real TCP, run by
// tests/rig/rig.sh with the link 10.214.1.1/24: the parallel reader with
// silent, slow and refusing devices and a chassis, and the command line's
// --inventory and --compare.

#include "deviceexport.h"
#include "deviceprotocol.h"
#include "inventorycomparison.h"
#include "inventorydialog.h"
#include "inventoryreader.h"
#include "listidentityreply.h"
#include "rigsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>

namespace {

const QString Prefix = QStringLiteral("10.214.1.");

Rig::Identity identityOf(int host, quint8 revisionMinor = 1)
{
    Rig::Identity identity;
    identity.vendorId = 1;
    identity.productCode = 41;
    identity.revisionMajor = 2;
    identity.revisionMinor = revisionMinor;
    identity.serialNumber = 0x5000 + quint32(host);
    identity.productName = "Adapter " + QByteArray::number(host);
    return identity;
}

// An adapter that answers ListIdentity and explicit messages (Identity,
// TCP/IP Interface, Ethernet Link) after delayMs, with more "cip" keys.
Rig::Device adapter(int host, int delayMs = 10, const QJsonObject &more = QJsonObject(), quint8 revisionMinor = 1)
{
    const QString ip = Prefix + QString::number(host);
    const Rig::Identity identity = identityOf(host, revisionMinor);
    QJsonObject attributes = Rig::identityAttributes(identity);
    const QJsonObject ethernet =
        Rig::ethernetAttributes(ip, "io-" + QByteArray::number(host), QByteArray::fromHex("02aa000000") + char(host));
    for (auto it = ethernet.begin(); it != ethernet.end(); ++it)
        attributes.insert(it.key(), it.value());
    QJsonObject cip = more;
    cip.insert("attributes", attributes);
    cip.insert("reply_delay_ms", delayMs);
    Rig::Device device;
    device.addr = ip;
    device.port = 44818;
    device.replies = {Rig::identityReply(identity, Rig::ipv4(ip))};
    device.cip = cip;
    return device;
}

Rig::Device chassisBridge(int host)
{
    const QString ip = Prefix + QString::number(host);
    Rig::Chassis chassis;
    chassis.ownSlot = 0;
    chassis.firstSlot = 0;
    chassis.lastSlot = 4;
    chassis.modules.insert(1, Rig::makeModule("1756-IB16", 0x7001, 7, 11));
    chassis.modules.insert(3, Rig::makeModule("1756-OB16", 0x7003, 7, 12));
    return Rig::bridge(ip, identityOf(host), chassis,
                       Rig::ethernetAttributes(ip, "rack-1", QByteArray::fromHex("02aa000000") + char(host)));
}

ExportedDevice listed(quint32 number, const QString &ip, const Rig::Identity &identity)
{
    ENIP::ListIdentityReply reply;
    reply.deserialize(Rig::identityReply(identity, Rig::ipv4(ip)));
    return {DeviceRecord::listIdentityDevice(number, Rig::ipv4(ip), ListIdentityPort, reply.items.value(0), 0),
            DevicePlace()};
}

const InventoryDevice *deviceAt(const Inventory &inventory, const QString &ip)
{
    for (const InventoryDevice &device : inventory.devices) {
        if (device.text("address") == ip)
            return &device;
    }
    return nullptr;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList &arguments, bool isolated = false)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    if (isolated)
        program.start("unshare", QStringList{"--net", NODESPOTTER_EXECUTABLE} + arguments);
    else
        program.start(NODESPOTTER_EXECUTABLE, arguments);
    Run run;
    if (!program.waitForStarted() || !program.waitForFinished(60000))
        return run;
    run.out = QString::fromUtf8(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    return run;
}

} // namespace

class TestInventoryRig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parallelReader();
    void commandLine();
    void dialogStates();
};

void TestInventoryRig::initTestCase()
{
    if (!Rig::inRig())
        QSKIP("needs the rig (tests/rig/rig.sh)");
}

void TestInventoryRig::parallelReader()
{
    Rig::LogCapture log;
    QList<Rig::Device> simulated;
    QVector<ExportedDevice> devices;
    quint32 number = 1;
    // Eight adapters answering within 10 ms, one slow, two silent, one
    // refusing its TCP/IP and Ethernet Link objects, a chassis.
    for (int host = 10; host < 18; ++host)
        simulated << adapter(host);
    simulated << adapter(20, 350);
    simulated << adapter(21, 0, QJsonObject{{"behaviour", "silent"}});
    simulated << adapter(22, 0, QJsonObject{{"behaviour", "silent"}});
    simulated << adapter(23, 5, QJsonObject{{"class_status", QJsonObject{{"f5", "08"}, {"f6", "08"}}}});
    simulated << chassisBridge(30);
    for (const Rig::Device &device : qAsConst(simulated)) {
        const int host = device.addr.section('.', 3).toInt();
        devices << listed(number++, device.addr, identityOf(host));
    }
    // Listed, but without an EtherNet/IP server on TCP: refused at once.
    Rig::Device withoutServer = adapter(41);
    withoutServer.cip = QJsonObject();
    simulated << withoutServer;
    devices << listed(number++, withoutServer.addr, identityOf(41));
    // Listed, and gone since: no connection within the timeout.
    devices << listed(number++, Prefix + "42", identityOf(42));
    // A text-protocol device: its address and reply only.
    devices << ExportedDevice{
        DeviceRecord::textDevice(number++, Rig::ipv4(Prefix + "40"), TextProbePort, "press 7 ready", 0), DevicePlace()};

    Rig::Devices rig;
    QVERIFY(rig.start(simulated));
    InventoryReader reader;
    QSignalSpy progress(&reader, &InventoryReader::progress);
    QSignalSpy finished(&reader, &InventoryReader::finished);
    QElapsedTimer clock;
    clock.start();
    reader.start(devices);
    QCOMPARE(progress.count(), 0); // nothing from inside start()
    QVERIFY(finished.wait(20000));
    const qint64 elapsed = clock.elapsed();
    QTest::qWait(100);
    QVERIFY(rig.stop());

    QCOMPARE(finished.count(), 1);
    const Inventory inventory = finished.first().first().value<Inventory>();
    QCOMPARE(inventory.devices.size(), devices.size());
    QCOMPARE(progress.count(), devices.size());
    for (int i = 0; i < progress.count(); ++i)
        QCOMPARE(progress.at(i), (QVariantList{i + 1, int(devices.size())}));
    // The two silent devices time out side by side: one timeout, not two
    // after each other, beside the slow device's reading.
    QVERIFY2(elapsed < 5500, qPrintable(QString::number(elapsed)));

    for (int host = 10; host < 18; ++host) {
        const QString ip = Prefix + QString::number(host);
        const InventoryDevice *device = deviceAt(inventory, ip);
        QVERIFY(device);
        QCOMPARE(device->text("tcpip_result"), QString("read"));
        QCOMPARE(device->text("tcpip_configuration_method"), QString("static"));
        QCOMPARE(device->text("tcpip_ip_address"), ip);
        QCOMPARE(device->text("tcpip_netmask"), QString("255.255.255.0"));
        QCOMPARE(device->text("tcpip_gateway"), Prefix + "1");
        QCOMPARE(device->text("tcpip_host_name"), "io-" + QString::number(host));
        QCOMPARE(device->text("link_result"), QString("read"));
        QCOMPARE(device->text("link_speed"), QString("100"));
        QCOMPARE(device->text("link_duplex"), QString("full"));
        QCOMPARE(device->text("link_mac_address"),
                 QStringLiteral("02:AA:00:00:00:%1").arg(host, 2, 16, QChar('0')).toUpper());
        // A plain adapter does not route: no slots, and why.
        QVERIFY(device->modules.isEmpty());
        const InventoryResult modules = device->result(InventoryObject::Modules);
        QCOMPARE(int(modules.outcome), int(InventoryResult::Outcome::Other));
        QVERIFY2(!modules.text.contains(ip), qPrintable(modules.text));
    }
    const InventoryDevice *slow = deviceAt(inventory, Prefix + "20");
    QCOMPARE(slow->text("tcpip_result"), QString("read"));
    QCOMPARE(slow->text("link_result"), QString("read"));
    for (const char *silentHost : {"21", "22"}) {
        const InventoryDevice *silent = deviceAt(inventory, Prefix + silentHost);
        QCOMPARE(silent->text("tcpip_result"), QString("no answer"));
        QCOMPARE(silent->text("link_result"), QString("no answer"));
        QCOMPARE(silent->text("modules_result"), QString("no answer"));
        // Its identity from the list stays.
        QCOMPARE(silent->text("serial_number"),
                 QStringLiteral("%1").arg(0x5000 + QByteArray(silentHost).toInt(), 8, 16, QChar('0')).toUpper());
    }
    const InventoryDevice *refusing = deviceAt(inventory, Prefix + "23");
    QCOMPARE(refusing->text("tcpip_result"), QString("refused: service not supported (0x08)"));
    QCOMPARE(refusing->text("link_result"), QString("refused: service not supported (0x08)"));
    QCOMPARE(refusing->result(InventoryObject::TcpIp).generalStatus, 8);

    const InventoryDevice *bridge = deviceAt(inventory, Prefix + "30");
    QCOMPARE(bridge->text("tcpip_host_name"), QString("rack-1"));
    QCOMPARE(bridge->text("modules_result"), QString("read"));
    QStringList slotLines;
    for (const QJsonObject &module : bridge->modules)
        slotLines << QStringLiteral("%1 %2 %3")
                         .arg(module.value("route").toString(), module.value("slot_result").toString(),
                              InventoryDevice::valueText(module.value("name")));
    QCOMPARE(slotLines,
             (QStringList{"1,0 bridge Adapter 30", "1,1 module 1756-IB16", "1,2 no_module ", "1,3 module 1756-OB16",
                          "1,4 no_module "}));
    QCOMPARE(InventoryDevice::valueText(bridge->modules.at(3).value("serial_number")), QString("00007003"));

    const InventoryDevice *noServer = deviceAt(inventory, Prefix + "41");
    QVERIFY(noServer->text("tcpip_result") != "read" && noServer->text("tcpip_result") != "no answer");
    QVERIFY(!noServer->text("modules_result").isEmpty());
    const InventoryDevice *gone = deviceAt(inventory, Prefix + "42");
    QCOMPARE(gone->text("tcpip_result"), QString("no answer"));
    QCOMPARE(gone->text("modules_result"), QString("no answer"));
    const InventoryDevice *text = deviceAt(inventory, Prefix + "40");
    QCOMPARE(text->text("protocol"), QString("text"));
    QCOMPARE(text->text("name"), QString("press 7 ready"));
    QCOMPARE(text->text("tcpip_result"), QString());

    // Never more than eight sessions at once, and really several.
    const int most = rig.mostConnectionsAtOnce();
    QVERIFY2(most <= InventoryReader::MaxSessions, qPrintable(QString::number(most)));
    QVERIFY2(most >= 4, qPrintable(QString::number(most)));
    // Details and modules over one session of each device's that accepts
    // a connection.
    QCOMPARE(rig.connections.size(), 11 + 2);
    qInfo("%d devices read in %lld ms, at most %d sessions at once", int(devices.size()), elapsed, most);
    // One log line per device read.
    QCOMPARE(Rig::LogCapture::linesStartingWith("InventoryReader::priv_finishEntry :").size(), devices.size());
}

void TestInventoryRig::commandLine()
{
    QTemporaryDir dir;
    const QString saved = dir.filePath("plant.json");
    const QString savedCsv = dir.filePath("today.csv");
    QList<Rig::Device> plant{adapter(50), adapter(51), adapter(52), chassisBridge(53)};

    {
        Rig::Devices rig;
        QVERIFY(rig.start(plant));
        const Run first = runProgram({"--inventory", "--wait", "1000", "--save", saved});
        QCOMPARE(first.exitCode, 0);
        // Standard error is no terminal here: no progress line on it.
        QVERIFY2(!first.err.contains(QLatin1Char('\r')) && !first.err.contains("Reading the devices"),
                 qPrintable(first.err));
        for (const char *name : {"Adapter 50", "Adapter 51", "Adapter 52", "Adapter 53", "1756-IB16", "1756-OB16"})
            QVERIFY2(first.out.contains(name), qPrintable(first.out));
        Inventory inventory;
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString error;
        QVERIFY2(Inventory::read(file.readAll(), &inventory, &error), qPrintable(error));
        QCOMPARE(inventory.devices.size(), 4);
        // The same network again: nothing differs, and today's inventory is
        // saved as CSV in the same run.
        const Run same = runProgram({"--inventory", "--wait", "1000", "--compare", saved, "--save", savedCsv});
        QCOMPARE(same.exitCode, 0);
        QVERIFY2(same.out.contains("0 new, 0 missing, 0 changed, 4 same"), qPrintable(same.out));
        QVERIFY(QFile::exists(savedCsv));
        // A file that cannot be written: printed, then 1.
        const Run unwritable = runProgram({"--inventory", "--wait", "500", "--save", dir.filePath("none/x.json")});
        QCOMPARE(unwritable.exitCode, 1);
        QVERIFY(unwritable.out.contains("Adapter 50"));
        QVERIFY(rig.stop());
    }
    {
        // Another revision at .51, .52 gone.
        Rig::Devices rig;
        QVERIFY(rig.start({adapter(50), adapter(51, 10, QJsonObject(), 7), chassisBridge(53)}));
        const Run differs = runProgram({"--inventory", "--wait", "1000", "--compare", saved, "--format", "json"});
        QCOMPARE(differs.exitCode, 6);
        const QJsonArray devices = QJsonDocument::fromJson(differs.out.toUtf8()).object().value("devices").toArray();
        QStringList states;
        for (const QJsonValue &device : devices)
            states << device.toObject().value("address").toString().section('.', 3) + ' '
                    + device.toObject().value("comparison").toString();
        states.sort();
        QCOMPARE(states, (QStringList{"50 same", "51 changed", "52 missing", "53 same"}));
        // From the saved CSV too.
        const Run fromCsv = runProgram({"--inventory", "--wait", "1000", "--compare", savedCsv, "--format", "csv"});
        QCOMPARE(fromCsv.exitCode, 6);
        QVERIFY(fromCsv.out.contains("missing"));
        QVERIFY(rig.stop());
    }
    // A file that does not parse: a usage error, before anything is sent.
    QFile broken(dir.filePath("broken.json"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("{\"devices\": [");
    broken.close();
    const Run usage = runProgram({"--inventory", "--compare", broken.fileName()});
    QCOMPARE(usage.exitCode, 2);
    QVERIFY2(usage.err.contains(broken.fileName() + ": "), qPrintable(usage.err));
    QCOMPARE(runProgram({"--inventory", "--save", dir.filePath("plant.txt")}).exitCode, 2);
    // No address to send from.
    const Run nothing = runProgram({"--inventory", "--compare", saved}, true);
    QCOMPARE(nothing.exitCode, 1);
    QVERIFY(nothing.err.contains("nothing was sent"));
}

void TestInventoryRig::dialogStates()
{
    QTemporaryDir dir;
    QList<Rig::Device> plant{adapter(60), adapter(61), adapter(62, 0, QJsonObject{{"behaviour", "silent"}})};
    QVector<ExportedDevice> listedDevices;
    for (const Rig::Device &device : qAsConst(plant))
        listedDevices << listed(quint32(listedDevices.size() + 1), device.addr,
                                identityOf(device.addr.section('.', 3).toInt()));
    InventoryDialog dialog([&listedDevices]() { return listedDevices; });
    dialog.show();
    auto *read = dialog.findChild<QPushButton *>("pushButton_read");
    auto *save = dialog.findChild<QPushButton *>("pushButton_save");
    auto *compare = dialog.findChild<QPushButton *>("pushButton_compare");
    auto *cancel = dialog.findChild<QPushButton *>("pushButton_cancel");
    auto *bar = dialog.findChild<QProgressBar *>("progressBar");
    auto *tree = dialog.findChild<QTreeWidget *>("treeWidget");
    auto *summary = dialog.findChild<QLabel *>("label_summary");
    QVERIFY(read && save && compare && cancel && bar && tree && summary);
    QVERIFY(!dialog.isModal());
    QVERIFY(!save->isEnabled() && !compare->isEnabled());

    Rig::Devices rig;
    QVERIFY(rig.start(plant));
    // Cancel: nothing more comes, the buttons come back.
    read->click();
    QVERIFY(bar->isVisible() && cancel->isVisible() && !read->isEnabled());
    QTest::qWait(200);
    cancel->click();
    QVERIFY(!bar->isVisible() && read->isEnabled());
    QSignalSpy finished(dialog.reader(), &InventoryReader::finished);
    QTest::qWait(300);
    QCOMPARE(finished.count(), 0);
    // Read all, and the window never stalls meanwhile.
    QElapsedTimer clock;
    clock.start();
    read->click();
    qint64 worst = 0;
    qint64 last = clock.elapsed();
    while (finished.isEmpty() && clock.elapsed() < 15000) {
        QTest::qWait(5);
        worst = qMax(worst, clock.elapsed() - last);
        last = clock.elapsed();
    }
    QVERIFY(rig.stop());
    QCOMPARE(finished.count(), 1);
    QVERIFY2(worst < 50, qPrintable(QString::number(worst)));
    QCOMPARE(tree->topLevelItemCount(), 3);
    QVERIFY(save->isEnabled() && compare->isEnabled());
    QCOMPARE(tree->topLevelItem(2)->text(5), QString("no answer"));

    const QString savedFile = dir.filePath("plant.csv");
    QCOMPARE(dialog.saveTo(savedFile), QString());
    QVERIFY(!dialog.saveTo(dir.filePath("plant.txt")).isEmpty());

    // Today: .60 gets another revision, .61 is gone, .63 is new.
    Inventory today = dialog.inventory();
    today.devices[0].fields.insert("revision", "2.9");
    today.devices.remove(1);
    InventoryDevice added = today.devices.first();
    added.fields.insert("address", Prefix + "63");
    added.fields.insert("serial_number", "00005063");
    added.fields.insert("link_mac_address", "02:AA:00:00:00:3F");
    today.devices.append(added);
    dialog.setInventory(today);
    QVERIFY(dialog.compareWith(savedFile));
    QCOMPARE(summary->text(), QString("1 new, 1 missing, 1 changed, 1 same"));
    QStringList rows;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = tree->topLevelItem(i);
        rows << item->text(0) + ' ' + item->text(1).section('.', 3) + ' ' + item->text(8);
        // A colour for everything but same, and always the word.
        QCOMPARE(item->background(1).color().isValid() && item->background(1).style() != Qt::NoBrush,
                 item->text(0) != "same");
    }
    QCOMPARE(rows, (QStringList{"changed 60 revision: 2.1 \u2192 2.9", "same 62 ", "new 63 ", "missing 61 "}));

    // A file that does not parse: a message, nothing compared.
    QFile broken(dir.filePath("broken.csv"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("address,name\r\n\"10.0.0.1,\r\n");
    broken.close();
    QVERIFY(!dialog.compareWith(broken.fileName()));
    auto *message = dialog.findChild<QMessageBox *>("inventoryError");
    QVERIFY(message);
    QVERIFY2(message->text().contains("Line 2: "), qPrintable(message->text()));
    QCOMPARE(summary->text(), QString("1 new, 1 missing, 1 changed, 1 same"));
}

QTEST_MAIN(TestInventoryRig)
#include "tst_inventory_rig.moc"
