// Explicit messaging with simulated devices over real TCP, run by
// tests/rig/rig.sh with the link rp1: 10.206.1.1/24. Each test starts its
// own devices (tests/rig/devices.py) at addresses of its own.

#include "bootpdhcpdisabler.h"
#include "ciprequest.h"
#include "ciprequestdialog.h"
#include "deviceclient.h"
#include "devicedetails.h"
#include "devicedetailsdialog.h"
#include "deviceexport.h"
#include "deviceresetter.h"
#include "identityprobe.h"
#include "ipsettingsdialog.h"
#include "ipsettingswriter.h"
#include "modulelist.h"
#include "rigsupport.h"
#include "unconnectedsend.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace {

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// The attributes of a typical adapter: Identity, TCP/IP Interface (static
// 10.206.1.x/24, gateway .1, domain "plant", host name "io-7", settable,
// changes need a reset) and one Ethernet link (100 Mbit/s, full duplex,
// link up).
QJsonObject adapterAttributes(const QString &ip)
{
    const quint32 address = Rig::ipv4(ip);
    QByteArray ipBytes;
    for (int i = 0; i < 4; ++i)
        ipBytes += char((address >> (8 * i)) & 0xFF);
    return QJsonObject{
        {"01/1/1", "0100"},
        {"01/1/2", "0c00"},
        {"01/1/3", "4100"},
        {"01/1/4", "0307"},
        {"01/1/5", "3000"},
        {"01/1/6", "78563412"},
        {"01/1/7", "0b" + hexOf("1756-ENBT/A")},
        {"f5/1/1", "01000000"},
        {"f5/1/2", "d4000000"},
        {"f5/1/3", "00000000"},
        {"f5/1/4", "020020f62401"},
        {"f5/1/5",
         hexOf(ipBytes)
             + "00ffffff"
               "0101ce0a"
               "00000000"
               "00000000"
               "0500706c616e7400"},
        {"f5/1/6", "0400696f2d37"},
        {"f5/1/7", "000000000000"},
        {"f5/1/8", "01"},
        {"f5/1/9", "0000000000000000"},
        {"f5/1/a", "01"},
        {"f5/1/b", hexOf(QByteArray(35, '\0'))},
        {"f6/1/1", "64000000"},
        {"f6/1/2", "0f000000"},
        {"f6/1/3", "001d9c010203"},
    };
}

Rig::Device cipDevice(const QString &ip, QJsonObject cip)
{
    if (!cip.contains("attributes"))
        cip.insert("attributes", adapterAttributes(ip));
    Rig::Device device;
    device.addr = ip;
    device.cip = cip;
    return device;
}

// The device also answers a ListIdentity sent to it (on UDP port 44818)
// with an identity of the given product name, as it must after a reset.
void answerListIdentity(Rig::Device *device, const QByteArray &productName = "1756-ENBT/A")
{
    Rig::Identity identity;
    identity.productName = productName;
    device->port = 44818;
    device->replies = {Rig::identityReply(identity, Rig::ipv4(device->addr))};
}

// The details in a few lines: identity, TCP/IP, each link, each error.
QStringList detailsLines(const DeviceDetails &details)
{
    QStringList lines;
    const CIP::CipIdentityObject &id = details.identity.identity;
    lines << QStringLiteral("identity %1 serial %2 read %3")
                 .arg(id.productName.toString())
                 .arg(id.serialNumber, 0, 16)
                 .arg(details.identity.present.size());
    const CIP::CipTcpIpInterface &t = details.tcpip;
    lines << QStringLiteral("tcpip status %1 capability %2 control %3 %4/%5 gw %6 domain %7 host %8 acd %9")
                 .arg(t.has(1) ? QString::number(t.status, 16) : "-",
                      t.has(2) ? QString::number(t.capability, 16) : "-",
                      t.has(3) ? QString::number(t.control, 16) : "-",
                      t.has(5) ? QHostAddress(t.configuration.ipAddress).toString() : "-",
                      t.has(5) ? QHostAddress(t.configuration.netmask).toString() : "-",
                      t.has(5) ? QHostAddress(t.configuration.gateway).toString() : "-",
                      t.has(5) ? t.configuration.domainName.toString() : "-", t.has(6) ? t.hostName.toString() : "-",
                      t.has(10) ? QString::number(t.selectAcd) : "-");
    for (const CIP::CipEthernetLink &link : details.links)
        lines << QStringLiteral("link %1 Mbit/s flags %2 mac %3")
                     .arg(link.has(1) ? QString::number(link.speed) : "-",
                          link.has(2) ? QString::number(link.flags, 16) : "-",
                          link.has(3) ? QString::fromLatin1(
                              QByteArray(reinterpret_cast<const char *>(link.macAddress), 6).toHex())
                                      : "-");
    for (const AttributeError &error : details.errors)
        lines << QStringLiteral("error %1 %2 %3 %4")
                     .arg(error.object)
                     .arg(error.instance)
                     .arg(error.attributeName, error.status);
    if (!details.failure.isEmpty())
        lines << "failure " + details.failure;
    return lines;
}

// The explicit requests a device took, as "service path-hex [data-hex]",
// RegisterSession and UnRegisterSession left out.
QStringList requestsTo(const Rig::Devices &devices, const QString &ip)
{
    QStringList requests;
    for (const QJsonObject &request : devices.cipRequests) {
        if (request.value("addr").toString() != ip || request.value("command").toInt() != 0x6F)
            continue;
        QString line = QStringLiteral("%1 %2")
                           .arg(request.value("service").toInt(), 2, 16, QLatin1Char('0'))
                           .arg(request.value("path").toString());
        if (!request.value("data").toString().isEmpty())
            line += ' ' + request.value("data").toString();
        requests << line;
    }
    return requests;
}

// The program's outcome on the command line.
struct ProgramRun
{
    bool finished = false;
    bool normalExit = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the program with the arguments, without a display, for up to 45 s.
ProgramRun runProgram(const QStringList &arguments)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    program.start(NODESPOTTER_EXECUTABLE, arguments);
    ProgramRun run;
    if (!program.waitForStarted())
        return run;
    run.finished = program.waitForFinished(45000);
    run.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    run.normalExit = program.exitStatus() == QProcess::NormalExit;
    run.exitCode = program.exitCode();
    return run;
}

bool holds(const QString &text, const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
}

// The Ports and modules part of a bridge's details dialog, once read (see
// detailsDialog): only a module's row opens Module details, one dialog per
// module, read through its route, with nothing to write and no warnings;
// Copy and the tree's own Copy give the rows.
void detailsDialogModules(DeviceDetailsDialog *dialog, Rig::Devices *devices, bool routes)
{
    const QString ip = dialog->deviceAddress().toString();
    auto *tree = dialog->findChild<QTreeWidget *>("treeWidget_modules");
    auto *open = dialog->findChild<QPushButton *>("pushButton_moduleDetails");
    QGuiApplication::clipboard()->clear();
    dialog->findChild<QPushButton *>("pushButton_copy")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), dialog->rowsText());
    QVERIFY(open->isVisible());
    if (!routes) {
        QVERIFY(!tree->isVisible());
        QVERIFY(!open->isEnabled());
        return;
    }
    QHash<QString, QTreeWidgetItem *> byRoute;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (!(*it)->text(1).isEmpty())
            byRoute.insert((*it)->text(1), *it);
    }
    QStringList shown = byRoute.keys();
    shown.sort();
    QCOMPARE(shown, (QStringList{"1,0", "1,1", "1,2", "1,3", "1,4", "1,5"}));
    tree->setCurrentItem(tree->topLevelItem(1));
    QVERIFY(!open->isEnabled());
    for (const char *notModule : {"1,0", "1,3", "1,4", "1,5"}) {
        tree->setCurrentItem(byRoute.value(notModule));
        QVERIFY2(!open->isEnabled(), qPrintable(notModule));
    }
    // CIP request…: for the device itself where the row is no module's,
    // else for the module selected.
    auto *request = dialog->findChild<QPushButton *>("pushButton_request");
    tree->setCurrentItem(byRoute.value("1,3"));
    request->click();
    QPointer<CipRequestDialog> toDevice = CipRequestDialog::find(dialog->deviceAddress());
    QVERIFY(toDevice);
    tree->setCurrentItem(byRoute.value("1,2"));
    request->click();
    CIP::CipRoute slot2;
    QVERIFY(CIP::CipRoute::fromText("1,2", &slot2));
    QPointer<CipRequestDialog> toModule = CipRequestDialog::find(dialog->deviceAddress(), slot2);
    QVERIFY(toModule && toModule != toDevice);
    QCOMPARE(toModule->windowTitle(), "CIP request - " + ip + ", route 1,2");
    delete toDevice;
    delete toModule;
    QVERIFY(open->isEnabled());
    open->click();
    const auto opened = [dialog]() { return dialog->findChildren<DeviceDetailsDialog *>(); };
    QCOMPARE(opened().size(), 1);
    DeviceDetailsDialog *en2tr = opened().first();
    CIP::CipRoute route;
    QVERIFY(CIP::CipRoute::fromText("1,2", &route));
    QCOMPARE(dialog->moduleDialog(route), en2tr);
    QVERIFY(en2tr->isModule());
    QCOMPARE(en2tr->route(), route);
    QVERIFY(en2tr->isVisible());
    // Opened again by a double-click: the same dialog. An empty slot opens
    // nothing; the controller a dialog of its own.
    // The view's own double-click signal, as the mouse gives it.
    const auto doubleClick = [tree](QTreeWidgetItem *item) { emit tree->itemDoubleClicked(item, 0); };
    doubleClick(byRoute.value("1,2"));
    QCOMPARE(opened(), QList<DeviceDetailsDialog *>{en2tr});
    doubleClick(byRoute.value("1,3"));
    QCOMPARE(opened().size(), 1);
    doubleClick(byRoute.value("1,1"));
    QCOMPARE(opened().size(), 2);
    QVERIFY(CIP::CipRoute::fromText("1,1", &route));
    DeviceDetailsDialog *controller = dialog->moduleDialog(route);
    QVERIFY(controller && controller != en2tr);

    for (DeviceDetailsDialog *module : {en2tr, controller}) {
        auto *refresh = module->findChild<QPushButton *>("pushButton_refresh");
        QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 6000);
        QCOMPARE(module->findChild<QLabel *>("label_status")->text(), QString());
        // Nothing to write behind a bridge, and no ports of its own.
        for (const char *hidden :
             {"pushButton_changeIp", "pushButton_reset", "pushButton_moduleDetails", "groupBox_modules"})
            QVERIFY2(!module->findChild<QWidget *>(hidden)->isVisible(), hidden);
    }
    QCOMPARE(en2tr->windowTitle(), QString("Module details - 1756-EN2TR/C (10.206.1.60, route 1,2)"));
    QCOMPARE(controller->windowTitle(), QString("Module details - 1756-L83E/B (10.206.1.60, route 1,1)"));
    // The Ethernet module's own TCP/IP and link, at an address on another
    // network than the bridge's: compared with nothing here.
    const QStringList en2trRows = en2tr->rowsText().split('\n');
    for (const char *row : {"Bridge\t10.206.1.60", "Route\t1,2", "Product name\t1756-EN2TR/C", "Serial number\t12",
                            "IP address\t10.206.2.9", "Host name\ten2tr", "MAC address\t00:1d:9c:0a:0b:0c"})
        QVERIFY2(en2trRows.contains(row), qPrintable(QString(row) + " not in\n" + en2trRows.join('\n')));
    QVERIFY(en2trRows.filter(QRegularExpression("^Warning")).isEmpty());
    // The controller has neither object: no sections for them.
    const QString controllerText = controller->rowsText();
    QVERIFY2(controllerText.startsWith("Bridge\t10.206.1.60\nRoute\t1,1\nIdentity\nProduct name\t1756-L83E/B\n"),
             qPrintable(controllerText));
    for (const char *absent : {"TCP/IP interface", "Ethernet link", "not supported"})
        QVERIFY2(!controllerText.contains(absent), qPrintable(controllerText));

    // The tree's own Copy takes the selected rows.
    tree->clearSelection();
    byRoute.value("1,1")->setSelected(true);
    byRoute.value("1,3")->setSelected(true);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = dialog->rowsText().split('\n');
    QCOMPARE(QGuiApplication::clipboard()->text(),
             lines.filter(QRegularExpression("^  Slot [13]\t")).join('\n') + '\n');

    // Only Gets reached the bridge and the modules; the modules' objects
    // were read through their routes, after the bridge's own details.
    delete en2tr;
    delete controller;
    QTest::qWait(200);
    QVERIFY(devices->stop());
    int lastDetails = -1;
    int firstModules = -1;
    QSet<QString> en2trPaths;
    for (int i = 0; i < devices->cipRequests.size(); ++i) {
        const QJsonObject &request = devices->cipRequests.at(i);
        if (request.value("addr").toString() != ip || request.value("command").toInt() != 0x6F)
            continue;
        const int service = request.value("service").toInt();
        const QString path = request.value("path").toString();
        QVERIFY2(service == 0x01 || service == 0x0E || service == 0x52, qPrintable(QString::number(service)));
        if (service == 0x52) {
            const int embedded = request.value("embedded_service").toInt();
            QVERIFY2(embedded == 0x01 || embedded == 0x0E, qPrintable(QString::number(embedded)));
            if (request.value("route").toString() == "1,2")
                en2trPaths.insert(request.value("embedded_path").toString());
        }
        if (path.startsWith("20f5") || path.startsWith("20f6"))
            lastDetails = i;
        if ((path.startsWith("20f4") || service == 0x52) && firstModules < 0)
            firstModules = i;
    }
    QVERIFY2(lastDetails >= 0 && firstModules > lastDetails,
             qPrintable(QString("%1 %2").arg(lastDetails).arg(firstModules)));
    for (const char *object : {"20012401", "20f52401", "20f62401"})
        QVERIFY2(en2trPaths.contains(object), object);
}

const char TypicalIdentity[] = "identity 1756-ENBT/A serial 12345678 read 7";
const char TypicalLink[] = "link 100 Mbit/s flags f mac 001d9c010203";

// The "cip" block of a bridge, 1756-EN2T/D in slot 0 of slots 0 to 5 with
// a controller in slot 1, as changed by change (more modules, faults).
QJsonObject bridgeCip(const QString &ip, const std::function<void(Rig::Chassis *)> &change = {})
{
    Rig::Identity en2t;
    en2t.productName = "1756-EN2T/D";
    en2t.revisionMajor = 3;
    en2t.revisionMinor = 2;
    en2t.serialNumber = 0x005A0001;
    Rig::Chassis chassis;
    chassis.lastSlot = 5;
    chassis.modules.insert(1, Rig::makeModule("1756-L83E/B", 0x11, 14, 0xA6));
    if (change)
        change(&chassis);
    return Rig::bridge(ip, en2t, chassis, Rig::ethernetAttributes(ip, "bridge", QByteArray::fromHex("001d9c010203")))
        .cip;
}

} // namespace

class TestDeviceClientRig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void read_data();
    void read();
    void write_data();
    void write();
    void reset_data();
    void reset();
    void disableBootpDhcp_data();
    void disableBootpDhcp();
    void identityProbe_data();
    void identityProbe();
    void warnings_data();
    void warnings();
    void commandLine_data();
    void commandLine();
    void requestCommandLine_data();
    void requestCommandLine();
    void detailsDialog_data();
    void detailsDialog();
    void chassis_data();
    void chassis();
    void moduleList_data();
    void moduleList();
    void resetDialog_data();
    void resetDialog();
};

void TestDeviceClientRig::initTestCase()
{
    if (!Rig::inRig())
        QSKIP("runs only inside tests/rig/rig.sh");
}

void TestDeviceClientRig::read_data()
{
    QTest::addColumn<QJsonObject>("cip");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("requests");

    const QString typicalTcpip =
        "tcpip status 1 capability d4 control 0 10.206.1.10/255.255.255.0 gw 10.206.1.1 domain plant host io-7 acd 1";
    QTest::newRow("all at once") << QJsonObject() << QStringList{TypicalIdentity, typicalTcpip, TypicalLink}
                                 << QStringList{"01 20012401", "01 20f52401", "01 20f62401", "01 20f62402"};

    // No Get_Attributes_All for the TCP/IP object, nor ACD: attribute by
    // attribute, the two ACD ones "not supported".
    QJsonObject partial = adapterAttributes("10.206.1.10");
    partial.remove("f5/1/a");
    partial.remove("f5/1/b");
    QTest::newRow("partial support")
        << QJsonObject{{"attributes", partial},
                       {"get_all",
                        QJsonObject{{"1/1", QJsonArray{1, 2, 3, 4, 5, 6, 7}}, {"f6/1", QJsonArray{1, 2, 3}}}}}
        << QStringList{TypicalIdentity, QString(typicalTcpip).replace("acd 1", "acd -"), TypicalLink,
                       "error tcpip 1 acd_enabled 0x14 Attribute not supported",
                       "error tcpip 1 last_conflict 0x14 Attribute not supported"}
        << QStringList{"01 20012401",     "01 20f52401",     "0e 20f524013001", "0e 20f524013002",
                       "0e 20f524013003", "0e 20f524013005", "0e 20f524013006", "0e 20f52401300a",
                       "0e 20f52401300b", "01 20f62401",     "01 20f62402"};

    // A short answer: attributes 1 to 6 only, the rest asked one by one;
    // a device with two ports.
    QJsonObject twoPorts = adapterAttributes("10.206.1.10");
    twoPorts.insert("f6/2/1", "0a000000");
    twoPorts.insert("f6/2/2", "00000000");
    twoPorts.insert("f6/2/3", "001d9c010204");
    QTest::newRow("short answer, two ports")
        << QJsonObject{{"attributes", twoPorts},
                       {"get_all",
                        QJsonObject{{"1/1", QJsonArray{1, 2, 3, 4, 5, 6, 7}},
                                    {"f5/1", QJsonArray{1, 2, 3, 4, 5, 6}},
                                    {"f6/1", QJsonArray{1, 2, 3}},
                                    {"f6/2", QJsonArray{1, 2, 3}}}},
                       {"status", QJsonObject{{"0e/f5/1/b", "14"}}}}
        << QStringList{TypicalIdentity, typicalTcpip, TypicalLink, "link 10 Mbit/s flags 0 mac 001d9c010204",
                       "error tcpip 1 last_conflict 0x14 Attribute not supported"}
        << QStringList{"01 20012401", "01 20f52401", "0e 20f52401300a", "0e 20f52401300b",
                       "01 20f62401", "01 20f62402", "01 20f62403"};
}

void TestDeviceClientRig::read()
{
    QFETCH(QJsonObject, cip);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, requests);

    // One after the other on a session of the reader's own, then pipelined
    // on a shared one (as the inventory reads): the same answers, the same
    // requests, each once; only their order may differ.
    for (const bool pipelined : {false, true}) {
        Rig::Devices devices;
        QVERIFY(devices.start({cipDevice("10.206.1.10", cip)}));
        DeviceClient shared(QHostAddress("10.206.1.10"));
        shared.setMaxInFlight(3);
        DeviceDetailsReader own(QHostAddress("10.206.1.10"));
        DeviceDetailsReader pipelinedReader(&shared);
        pipelinedReader.setPipelined(true);
        DeviceDetailsReader &reader = pipelined ? pipelinedReader : own;
        QSignalSpy finished(&reader, &DeviceDetailsReader::finished);
        reader.start();
        QVERIFY(finished.wait(10000));
        const auto details = finished.first().first().value<DeviceDetails>();
        QCOMPARE(detailsLines(details), lines);
        QCOMPARE(details.address, QHostAddress("10.206.1.10"));
        // The shared session stays up for the next reader.
        QCOMPARE(shared.state(), pipelined ? DeviceClient::ConnectedState : DeviceClient::UnconnectedState);
        QTest::qWait(200);
        QVERIFY(devices.stop());
        QStringList sent = requestsTo(devices, "10.206.1.10");
        QStringList expected = requests;
        if (pipelined) {
            // The three objects went out first, before any single attribute
            // that an answer of theirs calls for.
            QCOMPARE(sent.mid(0, 3), (QStringList{"01 20012401", "01 20f52401", "01 20f62401"}));
            std::sort(sent.begin(), sent.end());
            std::sort(expected.begin(), expected.end());
        }
        QCOMPARE(sent, expected);
    }
}

void TestDeviceClientRig::write_data()
{
    QTest::addColumn<QJsonObject>("cip");
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("readBack");

    const QJsonArray settable{"f5/1/3", "f5/1/5", "f5/1/6"};
    const QString config11 = "0b01ce0a"
                             "00fcffff"
                             "0101ce0a"
                             "0801ce0a"
                             "00000000"
                             "0500706c616e7400";
    // From DHCP to static: the host name, then configuration control, then
    // the interface configuration, which the device takes only once it is
    // set to static; then everything is read back.
    QJsonObject dhcp = adapterAttributes("10.206.1.30");
    dhcp.insert("f5/1/3", "12000000");
    QTest::newRow("static, in order")
        << QJsonObject{{"attributes", dhcp},
                       {"settable", settable},
                       {"static_for", QJsonArray{"f5/1/5"}},
                       {"pending_on_set", true}}
        << int(IpSettings::Static) << "io-8"
        << QStringList{"0e 20f524013003", "10 20f524013006 0400696f2d38", "10 20f524013003 10000000",
                       "10 20f524013005 " + config11}
        << QStringList{"host_name written", "configuration_control written", "interface_configuration written"} << true
        << "tcpip status 21 capability d4 control 10 10.206.1.11/255.255.252.0 gw 10.206.1.1 domain plant host io-8 "
           "acd 1";
    QTest::newRow("DHCP") << QJsonObject{{"settable", settable}} << int(IpSettings::Dhcp) << ""
                          << QStringList{"0e 20f524013003", "10 20f524013003 02000000"}
                          << QStringList{"configuration_control written"} << true
                          << "tcpip status 1 capability d4 control 2 10.206.1.30/255.255.255.0 gw 10.206.1.1 domain "
                             "plant host io-7 acd 1";
    // The device does not let the host name be changed: nothing after it
    // is written.
    QTest::newRow("refused") << QJsonObject{{"settable", QJsonArray{"f5/1/3", "f5/1/5"}}} << int(IpSettings::Static)
                             << "io-8" << QStringList{"0e 20f524013003", "10 20f524013006 0400696f2d38"}
                             << QStringList{"host_name 0x0E Attribute not settable",
                                            "configuration_control Not written", "interface_configuration Not written"}
                             << false
                             << "tcpip status 1 capability d4 control 0 10.206.1.30/255.255.255.0 gw 10.206.1.1 "
                                "domain plant host io-7 acd 1";
}

void TestDeviceClientRig::write()
{
    QFETCH(QJsonObject, cip);
    QFETCH(int, method);
    QFETCH(QString, hostName);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, steps);
    QFETCH(bool, ok);
    QFETCH(QString, readBack);

    Rig::Devices devices;
    QVERIFY(devices.start({cipDevice("10.206.1.30", cip)}));
    IpSettings settings;
    settings.method = IpSettings::Method(method);
    settings.configuration.ipAddress = Rig::ipv4("10.206.1.11");
    settings.configuration.netmask = Rig::ipv4("255.255.252.0");
    settings.configuration.gateway = Rig::ipv4("10.206.1.1");
    settings.configuration.nameServer = Rig::ipv4("10.206.1.8");
    settings.configuration.domainName.text = "plant";
    settings.setHostName = !hostName.isEmpty();
    settings.hostName = hostName.toLatin1();

    IpSettingsWriter writer(QHostAddress("10.206.1.30"));
    QSignalSpy finished(&writer, &IpSettingsWriter::finished);
    writer.start(settings);
    QVERIFY(finished.wait(15000));
    const auto result = finished.first().first().value<IpSettingsResult>();
    QStringList stepLines;
    for (const IpSettingsResult::Step &step : result.steps)
        stepLines << step.name + ' ' + (step.written ? QStringLiteral("written") : step.status);
    QCOMPARE(stepLines, steps);
    QCOMPARE(result.ok(), ok);
    QCOMPARE(result.refused, !ok);
    QVERIFY2(result.mismatches.isEmpty(), qPrintable(result.mismatches.join("; ")));
    QCOMPARE(detailsLines(result.readBack).value(1), readBack);
    QTest::qWait(200);
    QVERIFY(devices.stop());
    // The writes, then the read-back's first requests.
    QCOMPARE(requestsTo(devices, "10.206.1.30").mid(0, requests.size()), requests);
    QCOMPARE(requestsTo(devices, "10.206.1.30").value(requests.size()), QStringLiteral("01 20012401"));
}

void TestDeviceClientRig::reset_data()
{
    QTest::addColumn<QJsonObject>("cip");
    // Whether the device answers a ListIdentity after the reset.
    QTest::addColumn<bool>("comesBack");
    // Where it is expected; empty: its own address.
    QTest::addColumn<QString>("expectedAt");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    QTest::newRow("accepted") << QJsonObject() << true << "" << int(ResetResult::Accepted) << "" << true << 0 << 1500;
    QTest::newRow("refused") << QJsonObject{{"status", QJsonObject{{"05/1/1", "08"}}}} << true << ""
                             << int(ResetResult::Refused) << "The device does not support this service (0x08)" << false
                             << 0 << 1500;
    QTest::newRow("refused in its state")
        << QJsonObject{{"reset", "refuse"}} << true << "" << int(ResetResult::Refused)
        << "The device cannot do this in its present state (0x10)" << false << 0 << 1500;
    // It restarts before its answer is out: a reset under way.
    QTest::newRow("connection closed") << QJsonObject{{"reset", "close"}} << true << "" << int(ResetResult::UnderWay)
                                       << "10.206.1.40 closed the connection without answering" << true << 0 << 1500;
    // Closed at RegisterSession, before the reset went out: no sign of a
    // restart, so not confirmed.
    QTest::newRow("connection closed before the reset")
        << QJsonObject{{"sessions", "close"}} << true << "" << int(ResetResult::NotConfirmed)
        << "10.206.1.40 closed the connection without answering" << true << 0 << 1500;
    // No answer at all: not confirmed, and looked for all the same.
    QTest::newRow("silent") << QJsonObject{{"reset", "silent"}} << true << "" << int(ResetResult::NotConfirmed)
                            << "No answer from 10.206.1.40 on TCP port 44818 within 3 s" << true << 2900 << 4500;
    QTest::newRow("connection closed, found at its new address")
        << QJsonObject{{"reset", "close"}} << true << "10.206.1.42" << int(ResetResult::UnderWay)
        << "10.206.1.40 closed the connection without answering" << true << 0 << 1500;
    // Looked for 2.5 s here.
    QTest::newRow("connection closed, not found again")
        << QJsonObject{{"reset", "close"}} << false << "" << int(ResetResult::UnderWay)
        << "10.206.1.40 closed the connection without answering" << false << 2400 << 3500;
}

void TestDeviceClientRig::reset()
{
    QFETCH(QJsonObject, cip);
    QFETCH(bool, comesBack);
    QFETCH(QString, expectedAt);
    QFETCH(int, outcome);
    QFETCH(QString, message);
    QFETCH(bool, found);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    const QString ip = "10.206.1.40";
    const QString lookedFor = expectedAt.isEmpty() ? ip : expectedAt;
    Rig::Device device = cipDevice(ip, cip);
    QList<Rig::Device> list;
    if (lookedFor == ip && comesBack) {
        answerListIdentity(&device);
    } else if (comesBack) {
        Rig::Device moved;
        moved.addr = lookedFor;
        answerListIdentity(&moved);
        list << moved;
    }
    list.prepend(device);
    Rig::Devices devices;
    QVERIFY(devices.start(list));

    DeviceResetter resetter(QHostAddress{ip});
    resetter.setFindTimeout(2500);
    QSignalSpy searching(&resetter, &DeviceResetter::searching);
    QSignalSpy finished(&resetter, &DeviceResetter::finished);
    QElapsedTimer timer;
    timer.start();
    resetter.start(expectedAt.isEmpty() ? QHostAddress() : QHostAddress(expectedAt));
    QVERIFY(finished.wait(8000));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    const auto result = finished.first().first().value<ResetResult>();
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.message, message);
    QCOMPARE(result.found, found);
    const bool refused = outcome == int(ResetResult::Refused);
    QCOMPARE(searching.size(), refused ? 0 : 1);
    QCOMPARE(result.lookedFor, refused ? QHostAddress() : QHostAddress(lookedFor));
    QCOMPARE(result.resetUnderWay(), outcome == int(ResetResult::Accepted) || outcome == int(ResetResult::UnderWay));
    QTest::qWait(200);
    QCOMPARE(finished.size(), 1);
    QVERIFY(devices.stop());
    // The reset reached the device, but where it closed the session first.
    const bool sessionClosed = cip.value("sessions").toString() == "close";
    QCOMPARE(requestsTo(devices, ip), sessionClosed ? QStringList() : QStringList{"05 20012401 00"});
    // The device is asked for where it is expected, and nowhere after a
    // refusal.
    const auto probes = devices.probes;
    const int asked = int(std::count_if(probes.cbegin(), probes.cend(),
                                        [&](const Rig::Probe &p) { return p.dport == 44818 && p.dst == lookedFor; }));
    QCOMPARE(asked > 0, !refused);
}

void TestDeviceClientRig::disableBootpDhcp_data()
{
    // Configuration control as the device holds it, hex.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QJsonObject>("cip");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const QJsonArray settable{"f5/1/3"};
    const QString read = "0e 20f524013003";
    // The method bits go to static, the DNS enable bit stays as it was.
    const QString writeStatic = "10 20f524013003 10000000";
    QTest::newRow("BOOTP, DNS enabled") << "11000000" << QJsonObject{{"settable", settable}}
                                        << QStringList{read, writeStatic, read} << true
                                        << "BOOTP/DHCP is off on 10.206.1.80: it reads back static (it was BOOTP), "
                                           "and keeps its address after a power cycle."
                                        << 0 << 1500;
    QTest::newRow("DHCP, DNS enabled") << "12000000" << QJsonObject{{"settable", settable}}
                                       << QStringList{read, writeStatic, read} << true
                                       << "BOOTP/DHCP is off on 10.206.1.80: it reads back static (it was DHCP), "
                                          "and keeps its address after a power cycle."
                                       << 0 << 1500;
    QTest::newRow("DHCP, DNS disabled") << "02000000" << QJsonObject{{"settable", settable}}
                                        << QStringList{read, "10 20f524013003 00000000", read} << true
                                        << "BOOTP/DHCP is off on 10.206.1.80: it reads back static (it was DHCP), "
                                           "and keeps its address after a power cycle."
                                        << 0 << 1500;
    // A refused write ends it: nothing is read back as if it had worked.
    QTest::newRow("not settable") << "12000000" << QJsonObject() << QStringList{read, writeStatic} << false
                                  << "10.206.1.80 refused the static address method: The device does not allow "
                                     "this value to be changed (0x0E)"
                                  << 0 << 1500;
    QTest::newRow("object state conflict")
        << "12000000" << QJsonObject{{"settable", settable}, {"status", QJsonObject{{"10/f5/1/3", "0c"}}}}
        << QStringList{read, writeStatic} << false
        << "10.206.1.80 refused the static address method: The device cannot do this in its present "
           "configuration (0x0C)"
        << 0 << 1500;
    // The write is answered with success, but the device keeps DHCP.
    QTest::newRow("write ignored") << "12000000" << QJsonObject{{"settable", settable}, {"ignored_sets", settable}}
                                   << QStringList{read, writeStatic, read} << false
                                   << "10.206.1.80 still reads back DHCP as its address method." << 0 << 1500;
    // The device takes the write and drops the connection unanswered: not
    // a refusal; the read-back, on a new session, shows it took it.
    QTest::newRow("write answer lost")
        << "12000000" << QJsonObject{{"settable", settable}, {"drop_after_set", settable}}
        << QStringList{read, writeStatic, read} << true
        << "BOOTP/DHCP is off on 10.206.1.80: it reads back static (it was DHCP), and keeps its address after a "
           "power cycle."
        << 0 << 1500;
    // The session is never registered: nothing is asked.
    QTest::newRow("silent") << "12000000" << QJsonObject{{"behaviour", "silent"}} << QStringList() << false
                            << "Could not read how 10.206.1.80 gets its address: No answer from 10.206.1.80 on "
                               "TCP port 44818 within 3 s"
                            << 2900 << 3600;
}

void TestDeviceClientRig::disableBootpDhcp()
{
    QFETCH(QString, control);
    QFETCH(QJsonObject, cip);
    QFETCH(QStringList, requests);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    const QString ip = "10.206.1.80";
    QJsonObject attributes = adapterAttributes(ip);
    attributes.insert("f5/1/3", control);
    cip.insert("attributes", attributes);
    Rig::Devices devices;
    QVERIFY(devices.start({cipDevice(ip, cip)}));

    BootpDhcpDisabler disabler{QHostAddress(ip)};
    QSignalSpy finished(&disabler, &BootpDhcpDisabler::finished);
    QElapsedTimer timer;
    timer.start();
    disabler.start();
    QVERIFY(finished.wait(6000));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(finished.first(), (QVariantList{ok, message}));
    // One result, and nothing more is asked afterwards.
    QTest::qWait(200);
    QCOMPARE(finished.size(), 1);
    QVERIFY(devices.stop());
    QCOMPARE(requestsTo(devices, ip), requests);
}

void TestDeviceClientRig::identityProbe_data()
{
    // Whether the device at the probed address answers, and how long it
    // takes.
    QTest::addColumn<bool>("answers");
    QTest::addColumn<int>("delayMs");
    // Whether another address sends an identity to the probe first.
    QTest::addColumn<bool>("stranger");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    // The answer comes three times over, the copies while the first is
    // being handled.
    QTest::newRow("answers") << true << 0 << false << 5000 << 1 << 0 << 1000;
    // The device answers late enough that the stranger's datagram is in and
    // read first even on a loaded machine.
    QTest::newRow("another address first, then the device") << true << 1200 << true << 5000 << 1 << 1150 << 2200;
    // Asked again after 2 s; the time is up at 2.3 s.
    QTest::newRow("only another address answers") << false << 0 << true << 2300 << 2 << 2250 << 2900;
}

void TestDeviceClientRig::identityProbe()
{
    QFETCH(bool, answers);
    QFETCH(int, delayMs);
    QFETCH(bool, stranger);
    QFETCH(int, timeoutMs);
    QFETCH(int, sent);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    const QString ip = "10.206.1.90";
    // The stranger's identity even names the probed address inside: only
    // where it comes from gives it away.
    const QString strangerIp = "10.206.1.91";
    Rig::Device device;
    device.addr = ip;
    answerListIdentity(&device);
    if (!answers)
        device.replies.clear();
    device.delayMs = delayMs;
    device.repeat = 3;
    Rig::Device other;
    other.addr = strangerIp;
    Rig::Devices devices;
    QVERIFY(devices.start({device, other}));

    IdentityProbe probe;
    QSignalSpy answered(&probe, &IdentityProbe::answered);
    QSignalSpy timedOut(&probe, &IdentityProbe::timedOut);
    QElapsedTimer timer;
    timer.start();
    probe.start(QHostAddress(ip), timeoutMs);
    QVERIFY(probe.isRunning());
    if (stranger) {
        auto *socket = probe.findChild<QUdpSocket *>();
        QVERIFY(socket);
        Rig::Identity identity;
        identity.productName = "Stranger";
        const qint64 before = Rig::udpCounter("InDatagrams");
        QVERIFY(Rig::sendFromDeviceSide(strangerIp, "10.206.1.1", socket->localPort(),
                                        Rig::identityReply(identity, Rig::ipv4(ip))));
        // It arrived, and was read, before the device's own answer.
        QTRY_VERIFY(Rig::udpCounter("InDatagrams") > before);
        QTest::qWait(50);
        QCOMPARE(answered.size(), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(answered.size() + timedOut.size() > 0, timeoutMs + 1000);
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(answered.size(), answers ? 1 : 0);
    QCOMPARE(timedOut.size(), answers ? 0 : 1);
    QCOMPARE(probe.sent(), sent);
    QVERIFY(!probe.isRunning());
    if (answers) {
        const auto item = answered.first().first().value<ENIP::ListIdentityItem>();
        QCOMPARE(item.identity.productName.toString(), QString("1756-ENBT/A"));
    }
    // The copies that follow, and the repeat and deadline that would have
    // come, change nothing.
    QTest::qWait(200);
    QCOMPARE(answered.size() + timedOut.size(), 1);

    // The same probe asks again, with a socket of its own (once is enough:
    // the device that answers at once).
    if (answers && delayMs == 0) {
        probe.start(QHostAddress(ip), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(answered.size(), 2, delayMs + 1000);
        QCOMPARE(timedOut.size(), 0);
    }
    QVERIFY(devices.stop());
    const auto probes = devices.probes;
    const int toDevice = int(std::count_if(probes.cbegin(), probes.cend(), [&](const Rig::Probe &p) {
        return p.dst == ip && p.dport == 44818 && p.data == QByteArray::fromHex("6300" + QByteArray(44, '0'));
    }));
    QCOMPARE(toDevice, answers && delayMs == 0 ? 2 : sent);
}

void TestDeviceClientRig::warnings_data()
{
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<quint32>("status");
    QTest::addColumn<QString>("conflictMac");
    QTest::addColumn<QString>("cardNetmask");
    QTest::addColumn<QString>("answeredFrom");
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("none") << "10.206.1.10 255.255.255.0 10.206.1.1" << 0u << ""
                          << "255.255.255.0"
                          << "10.206.1.10" << QStringList();
    QTest::newRow("netmask differs") << "10.206.1.10 255.255.0.0 10.206.1.1" << 0u << ""
                                     << "255.255.255.0"
                                     << "10.206.1.10"
                                     << QStringList{"The device's netmask 255.255.0.0 differs from 255.255.255.0, that "
                                                    "of the network card it was found through"};
    QTest::newRow("gateway outside") << "10.206.1.10 255.255.255.0 10.206.2.1" << 0u << ""
                                     << "255.255.255.0"
                                     << "10.206.1.10"
                                     << QStringList{"The gateway 10.206.2.1 is outside the device's own subnet "
                                                    "10.206.1.0/24"};
    QTest::newRow("no gateway") << "10.206.1.10 255.255.255.0 0.0.0.0" << 0u << ""
                                << ""
                                << "" << QStringList();
    QTest::newRow("answered from elsewhere")
        << "10.206.1.11 255.255.255.0 10.206.1.1" << 0u << ""
        << "255.255.255.0"
        << "10.206.1.10"
        << QStringList{"The device is configured with the address 10.206.1.11 but answered from 10.206.1.10"};
    QTest::newRow("pending, bit 5") << "10.206.1.10 255.255.255.0 10.206.1.1" << 0x21u << ""
                                    << ""
                                    << ""
                                    << QStringList{"A change of the device's network settings waits until the device "
                                                   "is reset"};
    QTest::newRow("ACD status bit 6") << "10.206.1.10 255.255.255.0 10.206.1.1" << 0x41u << ""
                                      << ""
                                      << "" << QStringList{"The device detected an address conflict"};
    QTest::newRow("last conflict") << "10.206.1.10 255.255.255.0 10.206.1.1" << 0x01u << "001d9c0a0b0c"
                                   << ""
                                   << ""
                                   << QStringList{"The device detected an address conflict with the device "
                                                  "00:1D:9C:0A:0B:0C"};
}

void TestDeviceClientRig::warnings()
{
    QFETCH(QString, configuration);
    QFETCH(quint32, status);
    QFETCH(QString, conflictMac);
    QFETCH(QString, cardNetmask);
    QFETCH(QString, answeredFrom);
    QFETCH(QStringList, warnings);

    DeviceDetails details;
    const QStringList parts = configuration.split(' ');
    CIP::CipInterfaceConfiguration &c = details.tcpip.configuration;
    c.ipAddress = Rig::ipv4(parts.at(0));
    c.netmask = Rig::ipv4(parts.at(1));
    c.gateway = Rig::ipv4(parts.at(2));
    details.tcpip.status = status;
    details.tcpip.present = {CIP::CipTcpIpInterface::Status, CIP::CipTcpIpInterface::InterfaceConfiguration};
    if (!conflictMac.isEmpty()) {
        const QByteArray mac = QByteArray::fromHex(conflictMac.toLatin1());
        details.tcpip.lastConflict.activity = 1;
        std::memcpy(details.tcpip.lastConflict.remoteMac, mac.constData(), 6);
        details.tcpip.present.append(CIP::CipTcpIpInterface::LastConflictDetected);
    }
    QCOMPARE(deviceWarnings(details, Rig::ipv4(cardNetmask), Rig::ipv4(answeredFrom)), warnings);
    // What was not read warns of nothing.
    details.tcpip.present.clear();
    QCOMPARE(deviceWarnings(details, Rig::ipv4(cardNetmask), Rig::ipv4(answeredFrom)), QStringList());
}

void TestDeviceClientRig::commandLine_data()
{
    QTest::addColumn<QJsonObject>("cip");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    // Patterns that standard output and standard error must hold.
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("errors");
    // Whether any Set_Attribute_Single reached the device.
    QTest::addColumn<bool>("written");
    // The Set_Attribute_Single and Reset requests that reached the device,
    // in order.
    QTest::addColumn<QStringList>("sets");

    const QString ip = "10.206.1.50";
    const QJsonArray settable{"f5/1/3", "f5/1/5", "f5/1/6"};
    QTest::newRow("details") << QJsonObject() << QStringList{"--details", ip} << 0
                             << "Identity\n  Product name +1756-ENBT/A\n.*  IP address +10\\.206\\.1\\.50\n"
                                "  Netmask +255\\.255\\.255\\.0 \\(/24\\)\n.*Speed +100 Mbit/s"
                             << "" << false << QStringList();
    QTest::newRow("details, json") << QJsonObject() << QStringList{"--details", ip, "--format", "json"} << 0
                                   << "\"configuration_method\": \"static\".*\"netmask\": \"255\\.255\\.255\\.0\""
                                   << "" << false << QStringList();
    QTest::newRow("details, silent") << QJsonObject{{"behaviour", "silent"}} << QStringList{"--details", ip} << 1 << ""
                                     << "No answer from 10\\.206\\.1\\.50 on TCP port 44818 within 3 s" << false
                                     << QStringList();
    QTest::newRow("details, no server") << QJsonObject{{"none", true}} << QStringList{"--details", ip} << 1 << ""
                                        << "refused the connection on TCP port 44818" << false << QStringList();
    QTest::newRow("details, bad address") << QJsonObject() << QStringList{"--details", "10.206.1"} << 2 << ""
                                          << "Bad address" << false << QStringList();
    // --modules of a bridge (see bridgeCip) and its faults.
    QJsonObject chassis = bridgeCip(ip, [](Rig::Chassis *c) {
        c->modules.insert(3, Rig::makeModule("1756-IB16/A", 0x23, 7, 0x0A));
        c->modules[3].behaviour = "silent";
        // The controller's identity also holds its state (attribute 8).
        c->modules[1].attributes.insert("01/1/8", "03");
    });
    QTest::newRow("modules")
        << chassis << QStringList{"--modules", ip} << 0
        << "^Port 2: EtherNet/IP \"Ethernet\" \\(the port this program is connected through\\)\n"
           "Port 1: Backplane \"Backplane\", slots 0 to 5\n"
           "  Slot 0 \\(route 1,0\\) +this bridge, \"1756-EN2T/D\", device type Communications Adapter \\(12\\), "
           "product code 4, revision 3\\.2, S/N 005A0001, status 0x0000\n"
           "  Slot 1 \\(route 1,1\\) +\"1756-L83E/B\", device type Programmable Logic Controller \\(14\\), product "
           "code 166, revision 1\\.0, S/N 00000011, status 0x0000\n"
           "  Slot 2 \\(route 1,2\\) +no module, no module at that link address \\(0x0312\\)\n"
           "  Slot 3 \\(route 1,3\\) +did not answer in time, the module did not answer in time \\(0x0204\\)\n"
           "  Slot 4 \\(route 1,4\\) +no module, [^\n]*\n  Slot 5 \\(route 1,5\\) +no module, [^\n]*\n$"
        << "" << false << QStringList();
    QTest::newRow("modules, json") << chassis << QStringList{"--modules", ip, "--format", "json"} << 0
                                   << "\"slot_result\": \"no_answer\""
                                   << "" << false << QStringList();
    QTest::newRow("modules, csv")
        << chassis << QStringList{"--modules", ip, "--format", "csv"} << 0
        << "^port_number,port_type,port_name,slot,route,slot_result,slot_error,name,vendor_id,device_type,"
           "device_type_name,product_code,revision,serial_number,status,state,state_name\r\n"
           "1,Backplane,Backplane,0,\"1,0\",bridge,,1756-EN2T/D,1,12,Communications Adapter,4,3\\.2,005A0001,"
           "0x0000,,\r\n"
           "1,Backplane,Backplane,1,\"1,1\",module,,1756-L83E/B,1,14,Programmable Logic Controller,166,1\\.0,"
           "00000011,0x0000,3,Operational\r\n"
           "1,Backplane,Backplane,2,\"1,2\",no_module,no module at that link address \\(0x0312\\),,,,,,,,,,\r\n"
        << "" << false << QStringList();
    QTest::newRow("modules, silent") << QJsonObject{{"behaviour", "silent"}} << QStringList{"--modules", ip} << 1 << ""
                                     << "No answer from 10\\.206\\.1\\.50 on TCP port 44818 within 3 s" << false
                                     << QStringList();
    QTest::newRow("modules, no server") << QJsonObject{{"none", true}} << QStringList{"--modules", ip} << 1 << ""
                                        << "refused the connection on TCP port 44818" << false << QStringList();
    QTest::newRow("modules, garbage") << QJsonObject{{"behaviour", "garbage"}} << QStringList{"--modules", ip} << 1
                                      << ""
                                      << "." << false << QStringList();
    QTest::newRow("modules, session refused")
        << QJsonObject{{"sessions", "refuse"}} << QStringList{"--modules", ip} << 3 << ""
        << "refused a session" << false << QStringList();
    QTest::newRow("modules, does not route")
        << bridgeCip(ip, [](Rig::Chassis *c) { c->routes = false; }) << QStringList{"--modules", ip} << 3 << ""
        << "10\\.206\\.1\\.50 does not route requests to modules: the device does not route requests \\(0x08\\)"
        << false << QStringList();
    QTest::newRow("modules, plain adapter") << QJsonObject() << QStringList{"--modules", ip} << 3 << ""
                                            << "does not route requests to modules" << false << QStringList();
    // The backplane is not configured: no port leads to slots.
    QJsonObject unconfigured = chassis;
    QJsonObject attributes = unconfigured.value("attributes").toObject();
    attributes.insert("f4/2/1", "ffff");
    unconfigured.insert("attributes", attributes);
    QTest::newRow("modules, no port that leads to slots")
        << unconfigured << QStringList{"--modules", ip} << 3 << ""
        << "10\\.206\\.1\\.50 has no port that leads to slots" << false << QStringList();
    QTest::newRow("modules, bad format") << chassis << QStringList{"--modules", ip, "--format", "xml"} << 2 << ""
                                         << "--modules prints text, csv or json, not \"xml\"\\." << false
                                         << QStringList();
    // --details --route: a module behind the bridge, read through it.
    QTest::newRow("details, route") << chassis << QStringList{"--details", ip, "--route", "1,1", "--format", "json"}
                                    << 0 << "\"name\": \"1756-L83E/B\".*\"route\": \"1,1\""
                                    << "" << false << QStringList();
    QTest::newRow("details, route to a silent module")
        << chassis << QStringList{"--details", ip, "--route", "1,3"} << 1 << ""
        << "the module did not answer in time \\(0x0204\\)" << false << QStringList();
    QTest::newRow("details, route to an empty slot")
        << chassis << QStringList{"--details", ip, "--route", "1,2"} << 3 << ""
        << "no module at that link address \\(0x0312\\)" << false << QStringList();
    QTest::newRow("details, route to no such port")
        << chassis << QStringList{"--details", ip, "--route", "5,1"} << 3 << ""
        << "0x0311" << false << QStringList();
    QTest::newRow("details, route through a bridge that does not route")
        << bridgeCip(ip, [](Rig::Chassis *c) { c->routes = false; }) << QStringList{"--details", ip, "--route", "1,1"}
        << 3 << ""
        << "0x08" << false << QStringList();
    QTest::newRow("details, route to a silent device")
        << QJsonObject{{"behaviour", "silent"}} << QStringList{"--details", ip, "--route", "1,1"} << 1 << ""
        << "No answer from 10\\.206\\.1\\.50" << false << QStringList();
    QTest::newRow("set-ip, route") << chassis << QStringList{"--set-ip", ip, "--route", "1,1", "--dhcp", "--yes"} << 2
                                   << ""
                                   << "--route goes with --details, not with --set-ip\\." << false << QStringList();
    // Without --yes: what would change, and nothing written.
    QTest::newRow("set-ip, not confirmed")
        << QJsonObject{{"settable", settable}} << QStringList{"--set-ip", ip, "--static", "10.206.1.51/24"} << 4
        << "Changes at 10\\.206\\.1\\.50:\n  IP address: 10\\.206\\.1\\.50 -> 10\\.206\\.1\\.51\n"
           "  Gateway: 10\\.206\\.1\\.1 -> none\nNothing was written"
        << "" << false << QStringList();
    QTest::newRow("set-ip, host name") << QJsonObject{{"settable", settable}}
                                       << QStringList{"--set-ip", ip, "--hostname", "io-9", "--yes"} << 0
                                       << "Host name: io-7 -> io-9\n.*host_name: written\n.*Host name +io-9"
                                       << "" << true << QStringList{"10 20f524013006 0400696f2d39"};
    QTest::newRow("set-ip, refused")
        << QJsonObject{{"settable", QJsonArray{"f5/1/3"}}} << QStringList{"--set-ip", ip, "--hostname", "io-9", "--yes"}
        << 3 << "host_name: 0x0E Attribute not settable"
        << "The device refused the settings\\. Written: nothing\\. Not written: host_name\\." << true
        << QStringList{"10 20f524013006 0400696f2d39"};
    // The host name is written but cannot be read back.
    QTest::newRow("set-ip, read back differs") << QJsonObject{{"settable", settable},
                                                              {"get_all",
                                                               QJsonObject{{"1/1", QJsonArray{1, 2, 3, 4, 5, 6, 7}},
                                                                           {"f5/1", QJsonArray{1, 2, 3, 4, 5}},
                                                                           {"f6/1", QJsonArray{1, 2, 3}}}},
                                                              {"status", QJsonObject{{"0e/f5/1/6", "14"}}}}
                                               << QStringList{"--set-ip", ip, "--hostname", "io-9", "--yes"} << 3 << ""
                                               << "other values than those written:\n  host_name could not be read back"
                                               << true << QStringList{"10 20f524013006 0400696f2d39"};
    QTest::newRow("set-ip, silent") << QJsonObject{{"behaviour", "silent"}}
                                    << QStringList{"--set-ip", ip, "--dhcp", "--yes"} << 1 << ""
                                    << "No answer from 10\\.206\\.1\\.50" << false << QStringList();
    QTest::newRow("set-ip, bad gateway") << QJsonObject() << QStringList{"--set-ip",       ip,          "--static",
                                                                         "10.206.1.51/24", "--gateway", "10.206.2.1"}
                                         << 2 << ""
                                         << "The gateway 10\\.206\\.2\\.1 is outside the subnet 10\\.206\\.1\\.0/24"
                                         << false << QStringList();
    // Written, reset, and asked at its address until it answers.
    QTest::newRow("set-ip, reset")
        << QJsonObject{{"settable", settable}, {"pending_on_set", true}}
        << QStringList{"--set-ip", ip, "--dhcp", "--reset", "--yes"} << 0
        << "configuration_control: written\n.*Waiting up to 30 s for it to answer at 10\\.206\\.1\\.50\\.\n"
           "The device answers at 10\\.206\\.1\\.50\\.\n"
        << "" << true << QStringList{"10 20f524013003 02000000", "05 20012401 00"};
    // The device restarts before its answer to the reset is out: a reset
    // under way, and found again.
    QTest::newRow("set-ip, reset, connection closed")
        << QJsonObject{{"settable", settable}, {"pending_on_set", true}, {"reset", "close"}}
        << QStringList{"--set-ip", ip, "--dhcp", "--reset", "--yes"} << 0
        << "The device is restarting\\. Waiting up to 30 s for it to answer at 10\\.206\\.1\\.50\\.\n"
           "The device answers at 10\\.206\\.1\\.50\\.\n"
        << "" << true << QStringList{"10 20f524013003 02000000", "05 20012401 00"};
    QTest::newRow("set-ip, reset refused")
        << QJsonObject{{"settable", settable}, {"pending_on_set", true}, {"reset", "refuse"}}
        << QStringList{"--set-ip", ip, "--dhcp", "--reset", "--yes"} << 3 << "configuration_control: written\n"
        << "The settings were written, but the device refused the reset: The device cannot do this in its present "
           "state \\(0x10\\)"
        << true << QStringList{"10 20f524013003 02000000", "05 20012401 00"};
    // No answer at all: not confirmed, and the device is looked for all the
    // same.
    QTest::newRow("set-ip, reset silent")
        << QJsonObject{{"settable", settable}, {"pending_on_set", true}, {"reset", "silent"}}
        << QStringList{"--set-ip", ip, "--dhcp", "--reset", "--yes"} << 1
        << "The reset was not confirmed: No answer from 10\\.206\\.1\\.50 on TCP port 44818 within 3 s\n"
           "Looking for the device at 10\\.206\\.1\\.50 for up to 30 s\\.\nThe device answers at 10\\.206\\.1\\.50\\.\n"
        << "The settings were written, but the reset was not confirmed" << true
        << QStringList{"10 20f524013003 02000000", "05 20012401 00"};
    // The settings the device has: nothing is written, and that is no
    // fault.
    QTest::newRow("set-ip, unchanged")
        << QJsonObject{{"settable", settable}}
        << QStringList{"--set-ip",   ip,           "--static", "10.206.1.50/24", "--gateway",
                       "10.206.1.1", "--hostname", "io-7",     "--reset",        "--yes"}
        << 0 << "Nothing to change at 10\\.206\\.1\\.50: it has these settings already\\. Nothing was written\\.\n"
        << "" << false << QStringList();
    QTest::newRow("set-ip, unchanged, not confirmed")
        << QJsonObject{{"settable", settable}} << QStringList{"--set-ip", ip, "--hostname", "io-7"} << 0
        << "Nothing to change at 10\\.206\\.1\\.50"
        << "" << false << QStringList();
    // Only the host name differs: only the host name is written.
    QTest::newRow("set-ip, same address, new host name")
        << QJsonObject{{"settable", settable}}
        << QStringList{"--set-ip",   ip,           "--static", "10.206.1.50/24", "--gateway",
                       "10.206.1.1", "--hostname", "io-9",     "--yes"}
        << 0 << "Changes at 10\\.206\\.1\\.50:\n  Host name: io-7 -> io-9\n"
        << "" << true << QStringList{"10 20f524013006 0400696f2d39"};
    // A new address and the same host name: 3 and 5, in that order.
    QTest::newRow("set-ip, new address, same host name")
        << QJsonObject{{"settable", settable}}
        << QStringList{"--set-ip",   ip,           "--static", "10.206.1.50/24", "--gateway",
                       "10.206.1.2", "--hostname", "io-7",     "--yes"}
        << 0 << "Changes at 10\\.206\\.1\\.50:\n  Gateway: 10\\.206\\.1\\.1 -> 10\\.206\\.1\\.2\n"
        << "" << true
        << QStringList{"10 20f524013003 00000000",
                       "10 20f524013005 3201ce0a00ffffff0201ce0a00000000000000000500706c616e7400"};
    // A new host name and a new gateway: 6, then 3 and 5.
    QTest::newRow("set-ip, new address and host name")
        << QJsonObject{{"settable", settable}}
        << QStringList{"--set-ip",   ip,           "--static", "10.206.1.50/24", "--gateway",
                       "10.206.1.2", "--hostname", "io-9",     "--yes"}
        << 0 << "Host name: io-7 -> io-9\n"
        << "" << true
        << QStringList{"10 20f524013006 0400696f2d39", "10 20f524013003 00000000",
                       "10 20f524013005 3201ce0a00ffffff0201ce0a00000000000000000500706c616e7400"};
}

void TestDeviceClientRig::commandLine()
{
    QFETCH(QJsonObject, cip);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, errors);
    QFETCH(bool, written);
    QFETCH(QStringList, sets);

    const QString ip = "10.206.1.50";
    Rig::Devices devices;
    Rig::Device device = cipDevice(ip, cip);
    if (cip.contains("none"))
        device.cip = QJsonObject();
    answerListIdentity(&device);
    QVERIFY(devices.start({device}));

    const ProgramRun run = runProgram(arguments);
    const QString &out = run.out;
    const QString &err = run.err;
    QVERIFY2(run.finished, qPrintable(err));
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QVERIFY2(run.normalExit, qPrintable(out + err));
    QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + "\n" + out + err));
    QVERIFY2(holds(out, output), qPrintable(out));
    QVERIFY2(holds(err, errors), qPrintable(err));
    if (arguments.contains("json") && arguments.contains("--modules")) {
        // The ports, then one flat object per slot, the identity with the
        // list export's keys and null where the slot gave none.
        const QJsonObject document = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(document.value("address").toString(), ip);
        QCOMPARE(document.value("ports").toArray().size(), 2);
        const QJsonArray modules = document.value("modules").toArray();
        QCOMPARE(modules.size(), 6);
        QStringList keys = DeviceExport::columns().mid(4, 10);
        keys.removeOne("status");
        keys << "port_number"
             << "port_type"
             << "port_name"
             << "slot"
             << "route"
             << "slot_result"
             << "slot_error"
             << "status";
        keys.sort();
        QStringList results;
        for (const QJsonValue &value : modules) {
            const QJsonObject module = value.toObject();
            QCOMPARE(module.keys(), keys);
            results << module.value("route").toString() + ' ' + module.value("slot_result").toString();
            QCOMPARE(module.value("port_number").toInt(), 1);
            QCOMPARE(module.value("port_type").toString(), QString("Backplane"));
            QCOMPARE(module.value("slot_error").isNull(), !module.value("name").isNull());
        }
        QCOMPARE(results,
                 (QStringList{"1,0 bridge", "1,1 module", "1,2 no_module", "1,3 no_answer", "1,4 no_module",
                              "1,5 no_module"}));
        const QJsonObject controller = modules.at(1).toObject();
        QCOMPARE(controller.value("name").toString(), QString("1756-L83E/B"));
        QCOMPARE(controller.value("device_type").toInt(), 14);
        QCOMPARE(controller.value("product_code").toInt(), 0xA6);
        QCOMPARE(controller.value("serial_number").toString(), QString("00000011"));
        QCOMPARE(controller.value("status").toString(), QString("0x0000"));
        QCOMPARE(controller.value("state").toInt(), 3);
        QCOMPARE(controller.value("state_name").toString(), QString("Operational"));
        // The bridge's identity has no state: null, not 0 "Nonexistent".
        QCOMPARE(modules.at(0).toObject().value("state"), QJsonValue(QJsonValue::Null));
        QCOMPARE(modules.at(2).toObject().value("slot_error").toString(),
                 QString("no module at that link address (0x0312)"));
    } else if (arguments.contains("--route") && arguments.contains("json")) {
        const QJsonObject document = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(document.value("address").toString(), ip);
        QCOMPARE(document.value("route").toString(), QString("1,1"));
        QCOMPARE(document.value("identity").toObject().value("serial_number").toString(), QString("00000011"));
    } else if (arguments.contains("json")) {
        const QJsonObject document = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(document.value("address").toString(), ip);
        QCOMPARE(document.value("identity").toObject().value("name").toString(), QString("1756-ENBT/A"));
        QCOMPARE(document.value("tcpip").toObject().value("dns").toArray(), QJsonArray());
        QCOMPARE(document.value("tcpip").toObject().value("last_conflict_mac"), QJsonValue(QJsonValue::Null));
        QCOMPARE(document.value("ethernet_link").toObject().value("speed_mbps").toInt(), 100);
        QCOMPARE(document.value("errors").toArray(), QJsonArray());
    }
    // Nothing is ever written without --yes; with it, in the device's
    // order.
    const QStringList setRequests = requestsTo(devices, ip).filter(QRegularExpression("^10 "));
    QCOMPARE(!setRequests.isEmpty(), written);
    if (!arguments.contains("--yes"))
        QVERIFY(setRequests.isEmpty());
    QCOMPARE(requestsTo(devices, ip).filter(QRegularExpression("^(10|05) ")), sets);
    if (arguments.contains("--reset") && exitCode == 0 && written)
        QVERIFY(requestsTo(devices, ip).contains("05 20012401 00"));
}

// --request against the simulator: an adapter with a vendor object (class
// 0x300, a 32-bit instance, an answer at the framing limit and one over
// it), a silent device, a bridge with modules and a plain adapter asked
// to route.
void TestDeviceClientRig::requestCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    // Patterns that standard output and standard error must hold.
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("errors");
    // What the device at the address took: "service path [data]", and for
    // a routed request "route R: service path [data] result".
    QTest::addColumn<QStringList>("taken");

    const QString adapter = "10.206.1.70";
    const QString silent = "10.206.1.71";
    const QString bridge = "10.206.1.72";
    const QString plain = "10.206.1.73";
    const auto row = [](const char *tag, const QStringList &arguments) -> QTestData & {
        return QTest::newRow(tag) << arguments;
    };
    row("Get succeeds", {"--request", adapter, "Get_Attribute_Single", "0x300", "0x12345678", "1"})
        << 0
        << "^Status: 0x00 Success\nAdditional status: none\nData: 4 byte\\(s\\)\n0000  2a 00 00 00 +\\*\\.\\.\\.\n"
           "USINT: 42 \\(0x2A\\)\n.*DINT: 42\nREAL: 5\\.9e-44\n"
        << "" << QStringList{"0e 210000032600785634123001"};
    row("Get, json", {"--request", adapter, "0x0E", "768", "305419896", "1", "--format", "json"})
        << 0
        << "\"address\": \"10\\.206\\.1\\.70\".*\"data_hex\": \"2a 00 00 00\".*\"dint\": 42.*"
           "\"request_hex\": \"0e 06 21 00 00 03 26 00 78 56 34 12 30 01\".*\"route\": null"
        << "" << QStringList{"0e 210000032600785634123001"};
    row("Get refused: no attribute", {"--request", adapter, "0x0E", "0x300", "0x12345678", "9"})
        << 3 << "^Status: 0x14 Attribute not supported\nAdditional status: none\nData: none\n$"
        << "The device does not support this attribute \\(0x14\\)" << QStringList{"0e 210000032600785634123009"};
    row("Get refused: no object", {"--request", adapter, "Get_Attributes_All", "0x301", "1"})
        << 3 << "^Status: 0x05 Path destination unknown\n"
        << "(0x05)" << QStringList{"01 210001032401"};
    row("answer at the framing limit", {"--request", adapter, "0x0E", "0x300", "0x12345678", "2"})
        << 0 << "Data: 4076 byte\\(s\\)\n.*\n0fe0  .*\nUSINT: 0 "
        << "" << QStringList{"0e 210000032600785634123002"};
    row("answer over the framing limit", {"--request", adapter, "0x0E", "0x300", "0x12345678", "3"})
        << 1 << "^$"
        << "announced an answer of 4097 bytes" << QStringList{"0e 210000032600785634123003"};
    // Not a Get: without --yes nothing is sent, not even a connection.
    row("Set without --yes",
        {"--request", adapter, "Set_Attribute_Single", "0x300", "0x12345678", "1", "--data", "07000000"})
        << 4
        << "^Request: 0x10 Set_Attribute_Single class 0x300 instance 0x12345678 attribute 0x01\n"
           "To: 10\\.206\\.1\\.70, the device itself\nData: 07 00 00 00\n"
           "Bytes: 10 06 21 00 00 03 26 00 78 56 34 12 30 01 07 00 00 00\n"
           "Nothing was sent: 0x10 Set_Attribute_Single is not a Get\\. Give --yes to send it\\.\n$"
        << "" << QStringList();
    row("Reset without --yes", {"--request", adapter, "Reset", "1", "1"})
        << 4 << "^Request: 0x05 Reset class 0x01 instance 0x01\n"
        << "" << QStringList();
    row("vendor service without --yes, routed", {"--request", bridge, "0x4B", "0x64", "1", "--route", "1,3"})
        << 4 << "To: 10\\.206\\.1\\.72, route 1,3\n"
        << "" << QStringList();
    row("Set with --yes",
        {"--request", adapter, "Set_Attribute_Single", "0x300", "0x12345678", "1", "--data", "07000000", "--yes"})
        << 0 << "^Status: 0x00 Success\nAdditional status: none\nData: none\n$"
        << "" << QStringList{"10 210000032600785634123001 07000000"};
    // It takes the connection and never answers: not even a session.
    row("silent device", {"--request", silent, "0x0E", "1", "1", "7"})
        << 1 << "^$"
        << "No answer from 10\\.206\\.1\\.71 on TCP port 44818 within 3 s" << QStringList();
    row("through a chassis route", {"--request", bridge, "Get_Attribute_Single", "1", "1", "7", "--route", "1,3"})
        << 0 << "SHORT_STRING: \"1756-IB16/A\"\n"
        << "" << QStringList{"route 1,3: 0e 200124013007 module"};
    row("route to an empty slot", {"--request", bridge, "0x0E", "1", "1", "7", "--route", "1,5"})
        << 3
        << "^Not delivered by the bridge: no module at that link address \\(0x0312\\)\n"
           "Status: 0x01 Connection failure\nAdditional status: 0x0312\n"
        << "no module at that link address" << QStringList{"route 1,5: 0e 200124013007 no_module"};
    row("route to a silent module", {"--request", bridge, "0x0E", "1", "1", "7", "--route", "1,4"})
        << 1 << "Additional status: 0x0204\n"
        << "the module did not answer in time \\(0x0204\\)" << QStringList{"route 1,4: 0e 200124013007 no_answer"};
    row("a device that does not route",
        {"--request", plain, "0x0E", "1", "1", "7", "--route", "1,3", "--format", "json"})
        << 3 << "\"general_status\": 8,.*\"route\": \"1,3\",.*\"routing_failed\": true"
        << "the device does not route requests \\(0x08\\)" << QStringList{"route 1,3: 0e 200124013007 not_routed"};
}

void TestDeviceClientRig::requestCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, errors);
    QFETCH(QStringList, taken);

    QJsonObject attributes = adapterAttributes("10.206.1.70");
    attributes.insert("300/12345678/1", "2a000000");
    // 4096 bytes of encapsulated data: 16 of items, 4 of reply header.
    attributes.insert("300/12345678/2", hexOf(QByteArray(4076, '\0')));
    attributes.insert("300/12345678/3", hexOf(QByteArray(4077, '\0')));
    Rig::Device adapter =
        cipDevice("10.206.1.70", {{"attributes", attributes}, {"settable", QJsonArray{"300/12345678/1"}}});
    Rig::Chassis chassis;
    chassis.modules.insert(3, Rig::makeModule("1756-IB16/A", 0x13, 7, 0x0A));
    chassis.modules.insert(4, Rig::makeModule("1756-OB16/A", 0x14, 7, 0x0B));
    chassis.modules[4].behaviour = "silent";
    Rig::Identity bridgeIdentity;
    bridgeIdentity.productName = "1756-EN2T/D";
    Rig::Devices devices;
    QVERIFY(devices.start({adapter, cipDevice("10.206.1.71", {{"behaviour", "silent"}}),
                           Rig::bridge("10.206.1.72", bridgeIdentity, chassis), cipDevice("10.206.1.73", {})}));

    const ProgramRun run = runProgram(arguments);
    QVERIFY2(run.finished, qPrintable(run.err));
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QVERIFY2(run.normalExit, qPrintable(run.out + run.err));
    QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + "\n" + run.out + run.err));
    QVERIFY2(holds(run.out, output), qPrintable(run.out));
    QVERIFY2(holds(run.err, errors), qPrintable(run.err));
    if (arguments.contains("json"))
        QVERIFY(QJsonDocument::fromJson(run.out.toUtf8()).isObject());

    const QString ip = arguments.at(1);
    QStringList took;
    for (const QJsonObject &request : qAsConst(devices.cipRequests)) {
        if (request.value("command").toInt() != 0x6F)
            continue;
        QCOMPARE(request.value("addr").toString(), ip);
        const bool routed = request.value("service").toInt() == 0x52;
        const QString prefix = routed ? QStringLiteral("embedded_") : QString();
        const int service = request.value(prefix + "service").toInt();
        // Nothing but a Get reaches a device without --yes.
        if (!arguments.contains("--yes"))
            QVERIFY2(CIP::isGetService(quint8(service)), qPrintable(QString::number(service, 16)));
        QString line = QStringLiteral("%1 %2")
                           .arg(service, 2, 16, QLatin1Char('0'))
                           .arg(request.value(prefix + "path").toString());
        if (!request.value(prefix + "data").toString().isEmpty())
            line += ' ' + request.value(prefix + "data").toString();
        // The Unconnected Send carries the request along the route.
        if (routed)
            line = QStringLiteral("route %1: %2 %3")
                       .arg(request.value("route").toString(), line, request.value("route_result").toString());
        took << line;
    }
    QCOMPARE(took, taken);
    // A request not sent opens no connection at all.
    if (exitCode == 4)
        QCOMPARE(devices.accepted, QStringList());
    else
        QCOMPARE(devices.accepted, QStringList{ip});
}

void TestDeviceClientRig::detailsDialog_data()
{
    // "adapter" (settable, changes need a reset), or a bridge: "chassis"
    // (see detailsDialog) or "not routing" (Unconnected Send answered
    // 0x08).
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("rows");
    // The Ports and modules part as Copy gives it (nothing for a device
    // that gave no details).
    QTest::addColumn<QStringList>("modules");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const QString notRouting = "This device does not route requests to other modules.";
    QTest::newRow("normal") << "adapter"
                            << "normal"
                            << "" << QStringList{"Product name\t1756-ENBT/A",
                                                 "Address from\tstatic",
                                                 "IP address\t10.206.1.60",
                                                 "Netmask\t255.255.255.0 (/24)",
                                                 "Gateway\t10.206.1.1",
                                                 "Host name\tio-7",
                                                 "Speed\t100 Mbit/s",
                                                 "Duplex\tfull",
                                                 "MAC address\t00:1d:9c:01:02:03"}
                            << QStringList{"Ports and modules", notRouting} << 0 << 2000;
    QTest::newRow("silent") << "adapter"
                            << "silent"
                            << "No answer from 10.206.1.60 on TCP port 44818 within 3 s" << QStringList()
                            << QStringList() << 2900 << 3600;
    const QString header = "Port / slot\tRoute\tModule\tDevice type\tProduct code\tRevision\tSerial number\tStatus";
    QTest::newRow("chassis")
        << "chassis"
        << "normal"
        << "" << QStringList{"Product name\t1756-EN2T/D", "IP address\t10.206.1.60", "Host name\tbridge"}
        << QStringList{"Ports and modules",
                       header,
                       "Port 2: EtherNet/IP \"Ethernet\" (the port this program is connected through)",
                       "Port 1: Backplane \"Backplane\", slots 0 to 5",
                       "  Slot 0 (this bridge)\t1,0\t1756-EN2T/D\t12 (0x000C) Communications "
                       "Adapter\t4 (0x0004)\t3.2\t5A0001\t0x0000 (Not owned, Not configured, "
                       "Extended device status 0)",
                       "  Slot 1\t1,1\t1756-L83E/B\t14 (0x000E) Programmable Logic "
                       "Controller\t166 (0x00A6)\t1.0\t11\t0x0000 (Not owned, Not configured, "
                       "Extended device status 0)",
                       "  Slot 3\t1,3\tno module at that link address (0x0312)",
                       "  Slot 4\t1,4\tthe module did not answer in time (0x0204)",
                       "  Slot 5\t1,5\tThe module at route 1,5 behind 10.206.1.60 sent an answer "
                       "that is cut short or malformed"}
        << 900 << 3000;
    QTest::newRow("bridge that does not route") << "not routing"
                                                << "normal"
                                                << "" << QStringList{"Product name\t1756-EN2T/D", "Host name\tbridge"}
                                                << QStringList{"Ports and modules", notRouting} << 0 << 2000;
}

void TestDeviceClientRig::detailsDialog()
{
    QFETCH(QString, device);
    QFETCH(QString, behaviour);
    QFETCH(QString, status);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, modules);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    const QString ip = "10.206.1.60";
    Rig::Devices devices;
    if (device == "adapter") {
        Rig::Device adapter = cipDevice(
            ip, QJsonObject{{"behaviour", behaviour}, {"settable", QJsonArray{"f5/1/3", "f5/1/5", "f5/1/6"}}});
        answerListIdentity(&adapter);
        QVERIFY(devices.start({adapter}));
    } else {
        // A bridge in slot 0 of six: a controller in slot 1, an Ethernet
        // module with its own TCP/IP object in slot 2, slot 3 empty, a
        // module that never answers in slot 4 and one that answers
        // garbage in slot 5.
        Rig::Identity en2t;
        en2t.productName = "1756-EN2T/D";
        en2t.revisionMajor = 3;
        en2t.revisionMinor = 2;
        en2t.serialNumber = 0x005A0001;
        Rig::Chassis chassis;
        chassis.lastSlot = 5;
        chassis.routes = device == "chassis";
        chassis.modules.insert(1, Rig::makeModule("1756-L83E/B", 0x11, 14, 0xA6));
        chassis.modules.insert(2, Rig::makeModule("1756-EN2TR/C", 0x12));
        chassis.modules[2].attributes =
            Rig::ethernetAttributes("10.206.2.9", "en2tr", QByteArray::fromHex("001d9c0a0b0c"));
        chassis.modules.insert(4, Rig::makeModule("1756-IB16/A", 0x14, 7, 0x0A));
        chassis.modules[4].behaviour = "silent";
        chassis.modules.insert(5, Rig::makeModule("1756-OB16/A", 0x15, 7, 0x0B));
        chassis.modules[5].behaviour = "random";
        QVERIFY(devices.start({Rig::bridge(
            ip, en2t, chassis, Rig::ethernetAttributes(ip, "bridge", QByteArray::fromHex("001d9c010203")))}));
    }
    DeviceRecord record;
    record.protocol = DeviceProtocol::ListIdentity;
    record.address = Rig::ipv4(ip);
    ENIP::ListIdentityItem item;
    QVERIFY(item.identity.productName.deserialize(QByteArray::fromHex("04454e4254")));
    record.identities.append(item);

    QElapsedTimer timer;
    timer.start();
    DeviceDetailsDialog dialog(nullptr, record, Rig::ipv4("255.255.255.0"),
                               []() { return QVector<quint32>{Rig::ipv4("10.206.1.61")}; });
    dialog.show();
    auto *label = dialog.findChild<QLabel *>("label_status");
    auto *refresh = dialog.findChild<QPushButton *>("pushButton_refresh");
    QCOMPARE(dialog.windowTitle(), QString("Device details - ENBT (10.206.1.60)"));
    QCOMPARE(label->text(), QString::fromUtf8("Reading\u2026"));
    if (device == "chassis") {
        // The modules are read once the details are shown.
        auto *modulesLabel = dialog.findChild<QLabel *>("label_modules");
        QTRY_COMPARE_WITH_TIMEOUT(modulesLabel->text(), QString::fromUtf8("Reading modules\u2026"), 3000);
        QVERIFY(dialog.rowsText().startsWith("Identity\nProduct name\t1756-EN2T/D\n"));
        QVERIFY(!refresh->isEnabled());
    }
    QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 6000);
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(label->text(), status);
    const QStringList shown = dialog.rowsText().split('\n');
    for (const QString &row : rows)
        QVERIFY2(shown.contains(row), qPrintable(row + " not in\n" + shown.join('\n')));
    // The ports and modules follow the details, in the tree's order.
    const QString text = dialog.rowsText();
    const QString modulesPart = text.mid(text.indexOf("Ports and modules\n"));
    QCOMPARE(modulesPart.contains("Ports and modules\n"), !modules.isEmpty());
    // Two lines are the whole part: a device without a tree of modules.
    if (modules.size() == 2)
        QCOMPARE(modulesPart, modules.join('\n') + '\n');
    if (!modules.isEmpty()) {
        const QStringList copied = modulesPart.split('\n');
        int at = -1;
        for (const QString &line : modules) {
            const int found = copied.indexOf(line);
            QVERIFY2(found > at, qPrintable(line + " not in order in\n" + modulesPart));
            at = found;
        }
    }
    // No box for a device that does not route, nor for anything else.
    QVERIFY(dialog.findChildren<QMessageBox *>().isEmpty());
    auto *changeIp = dialog.findChild<QPushButton *>("pushButton_changeIp");
    if (device != "adapter") {
        detailsDialogModules(&dialog, &devices, device == "chassis");
        return;
    }
    QCOMPARE(changeIp->isEnabled(), !rows.isEmpty());
    if (rows.isEmpty()) {
        QCOMPARE(dialog.findChild<QTableWidget *>("tableWidget_details")->rowCount(), 0);
        return;
    }
    // The title takes the name the device gave.
    QCOMPARE(dialog.windowTitle(), QString("Device details - 1756-ENBT/A (10.206.1.60)"));

    // A new host name: nothing reaches the device until the summary is
    // confirmed; then the write, the read-back and the result.
    changeIp->click();
    auto *settings = dialog.findChild<IpSettingsDialog *>();
    QVERIFY(settings);
    auto *hostName = settings->findChild<QLineEdit *>("lineEdit_hostName");
    hostName->selectAll();
    QTest::keyClicks(hostName, "io-9");
    settings->findChild<QPushButton *>("pushButton_write")->click();
    auto *box = settings->findChild<QMessageBox *>("messageBox_confirm");
    QVERIFY(box);
    QVERIFY(box->informativeText().startsWith("Host name: io-7 -> io-9\n"));
    QTest::qWait(300);
    QVERIFY(!refresh->isEnabled() || label->text().isEmpty());
    const QList<QAbstractButton *> buttons = box->buttons();
    const auto write = std::find_if(buttons.cbegin(), buttons.cend(),
                                    [](QAbstractButton *button) { return button->text() == "Write"; });
    QVERIFY(write != buttons.cend());
    (*write)->click();
    // The device says changes need a reset: Reset device is offered.
    auto *reset = dialog.findChild<QPushButton *>("pushButton_reset");
    QTRY_COMPARE_WITH_TIMEOUT(label->text(),
                              QString("The new settings were written and read back.\n"
                                      "The device applies the new settings after a reset."),
                              8000);
    QVERIFY(dialog.rowsText().split('\n').contains("Host name\tio-9"));
    QVERIFY(reset->isVisible());
    QVERIFY(reset->isEnabled());

    // Reset, behind a second question; then the device is asked until it
    // answers at its address, and the list is searched again.
    QSignalSpy searchRequested(&dialog, &DeviceDetailsDialog::searchRequested);
    reset->click();
    QMessageBox *resetBox = nullptr;
    for (QMessageBox *candidate : dialog.findChildren<QMessageBox *>()) {
        if (candidate->isVisible() && candidate->text().startsWith("Reset"))
            resetBox = candidate;
    }
    QVERIFY(resetBox);
    for (QAbstractButton *button : resetBox->buttons()) {
        if (button->text() == "Reset")
            button->click();
    }
    QTRY_COMPARE_WITH_TIMEOUT(searchRequested.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QString("The device answers at 10.206.1.60."), 8000);
    QVERIFY(!reset->isVisible());
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QCOMPARE(requestsTo(devices, ip).filter(QRegularExpression("^(10|05) ")),
             (QStringList{"10 20f524013006 0400696f2d39", "05 20012401 00"}));
}

void TestDeviceClientRig::chassis_data()
{
    // The request as hex (service, path, data), sent as it is or, with a
    // route, inside an Unconnected Send along that route (hex).
    QTest::addColumn<QString>("addr");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("route");
    // "status, additional status words: data", all hex.
    QTest::addColumn<QString>("answer");
    // The route and what became of it, as the simulator logged them.
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const QString full = "10.206.1.60";
    QTest::newRow("bridge's identity") << full << "01022001 2401"
                                       << ""
                                       << "00,: 0100 0c00 0400 0302 0000 01005a00 0b" + hexOf("1756-EN2T/D") << "" << 0
                                       << 1000;
    QTest::newRow("Ethernet port") << full << "010220f4 2401"
                                   << ""
                                   << "00,: 0400 0200 0200 20f52401 08" + hexOf("Ethernet") + " 0700 120b"
            + hexOf("10.206.1.60") + "00"
                                   << "" << 0 << 1000;
    QTest::newRow("backplane") << full << "010220f4 2402"
                               << ""
                               << "00,: 0100 0100 0000 09" + hexOf("Backplane") + " 0100 0100"
                               << "" << 0 << 1000;
    QTest::newRow("node range") << full << "0e0320f4 24023008"
                                << ""
                                << "00,: 0000 0c00"
                                << "" << 0 << 1000;
    QTest::newRow("empty slot") << full << "01022001 2401"
                                << "0105"
                                << "01,0312: 01"
                                << "1,5 no_module" << 0 << 1000;
    QTest::newRow("slot past the node range") << full << "01022001 2401"
                                              << "0111"
                                              << "01,0312: 01"
                                              << "1,17 no_module" << 0 << 1000;
    QTest::newRow("no such port") << full << "01022001 2401"
                                  << "0302"
                                  << "01,0311: 01"
                                  << "3,2 no_port" << 0 << 1000;
    QTest::newRow("silent module") << full << "01022001 2401"
                                   << "0104"
                                   << "01,0204:"
                                   << "1,4 no_answer" << 900 << 1500;
    QTest::newRow("bridge that does not route") << "10.206.1.61"
                                                << "01022001 2401"
                                                << "0101"
                                                << "08,:"
                                                << "1,1 not_routed" << 0 << 1000;
    QTest::newRow("no Port object") << "10.206.1.62"
                                    << "010220f4 2401"
                                    << ""
                                    << "16,:"
                                    << "" << 0 << 1000;
    const QString partial = "10.206.1.63";
    QTest::newRow("port without Get_Attributes_All") << partial << "010220f4 2402"
                                                     << ""
                                                     << "08,:"
                                                     << "" << 0 << 1000;
    QTest::newRow("own slot") << partial << "0e0320f4 24023007"
                              << ""
                              << "00,: 0100 0103"
                              << "" << 0 << 1000;
    QTest::newRow("no node range") << partial << "0e0320f4 24023008"
                                   << ""
                                   << "14,:"
                                   << "" << 0 << 1000;
    QTest::newRow("without remaining path size") << partial << "01022001 2401"
                                                 << "0105"
                                                 << "01,0312:"
                                                 << "1,5 no_module" << 0 << 1000;
    QTest::newRow("bridge's TCP/IP settings") << partial << "0e0320f5 24013005"
                                              << ""
                                              << "00,: 3f01ce0a 00ffffff 0101ce0a 00000000 00000000 0000"
                                              << "" << 0 << 1000;
}

// The routing errors and the Port object of bridges configured through
// rigsupport's chassis, read by the client. (A module's own answer, 0x81 to
// an Unconnected Send, is checked byte by byte in devices_chassis_rig.)
void TestDeviceClientRig::chassis()
{
    QFETCH(QString, addr);
    QFETCH(QString, request);
    QFETCH(QString, route);
    QFETCH(QString, answer);
    QFETCH(QString, logged);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    Rig::Identity enbt;
    enbt.productName = "1756-EN2T/D";
    enbt.revisionMajor = 3;
    enbt.revisionMinor = 2;
    enbt.serialNumber = 0x005A0001;
    Rig::Chassis full; // 13 slots
    full.lastSlot = 12;
    full.modules.insert(1, Rig::makeModule("1756-L83E/B", 0x11, 14, 0xA6));
    full.modules.insert(2, Rig::makeModule("1756-EN2TR/C", 0x12));
    full.modules[2].attributes = Rig::ethernetAttributes("10.206.2.9", "en2tr", QByteArray::fromHex("001d9c0a0b0c"));
    full.modules.insert(4, Rig::makeModule("1756-IB16/A", 0x14, 7, 0x0A));
    full.modules[4].behaviour = "silent";
    Rig::Chassis notRouting;
    notRouting.routes = false;
    Rig::Chassis noPorts;
    noPorts.portObject = false;
    noPorts.missingPortObjectStatus = 0x16;
    Rig::Chassis partial;
    partial.ownSlot = 3;
    partial.portGetAll = false;
    partial.nodeRange = false;
    partial.remainingPathSize = false;
    Rig::Devices devices;
    QVERIFY(devices.start(
        {Rig::bridge("10.206.1.60", enbt, full), Rig::bridge("10.206.1.61", enbt, notRouting),
         Rig::bridge("10.206.1.62", enbt, noPorts),
         Rig::bridge("10.206.1.63", enbt, partial,
                     Rig::ethernetAttributes("10.206.1.63", "bridge", QByteArray::fromHex("001d9c010203")))}));

    CIP::MessageRouterRequest sent;
    QByteArray bytes = QByteArray::fromHex(request.toLatin1());
    if (!route.isEmpty())
        bytes = QByteArray::fromHex("52022006 2401")
            + Rig::unconnectedSendData(bytes, QByteArray::fromHex(route.toLatin1()));
    QVERIFY(sent.deserialize(bytes));
    DeviceClient client{QHostAddress(addr)};
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<DeviceReply> reply(client.send(sent));
    QSignalSpy finished(reply.get(), &DeviceReply::finished);
    QVERIFY(finished.wait(3000));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(reply->answered(), qPrintable(reply->errorString()));
    QStringList additional;
    const QVector<quint16> words = reply->additionalStatus();
    for (quint16 word : words)
        additional << QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0'));
    QCOMPARE(QStringLiteral("%1,%2: %3")
                 .arg(reply->generalStatus(), 2, 16, QLatin1Char('0'))
                 .arg(additional.join(' '), hexOf(reply->data()))
                 .trimmed(),
             answer.remove(' ').replace(':', ": ").trimmed());
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    client.close();
    QTest::qWait(100);
    QVERIFY(devices.stop());
    QJsonObject last;
    for (const QJsonObject &record : qAsConst(devices.cipRequests))
        last = record.value("command").toInt() == 0x6F ? record : last;
    QCOMPARE(last.value("addr").toString(), addr);
    if (!route.isEmpty())
        QCOMPARE(last.value("route").toString() + ' ' + last.value("route_result").toString(), logged);
}

void TestDeviceClientRig::moduleList_data()
{
    QTest::addColumn<QJsonObject>("cip");
    QTest::addColumn<int>("outcome");
    // The ports, then the slots as "route result product-or-error"; for a
    // list not read, the outcome's text alone.
    QTest::addColumn<QStringList>("lines");
    // The slots asked (Unconnected Sends that reached the device, each
    // slot once on each session), the time, and the sessions opened.
    QTest::addColumn<int>("sends");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::addColumn<int>("sessions");

    const QString ip = "10.206.1.70";
    const QStringList ports{"port 2 EtherNet/IP Ethernet entry", "port 1 Backplane Backplane slots 0-5 own 0"};
    const QString noModule = "no_module no module at that link address (0x0312)";
    const QString timedOut = "no_answer the module did not answer in time (0x0204)";
    const auto garbage = [&ip](int slot, const QString &what) {
        return QStringLiteral("1,%1 error The module at route 1,%1 behind %2 %3").arg(slot).arg(ip, what);
    };
    const QString malformed = "sent an answer that is cut short or malformed";
    const QStringList bridgeAndController{"1,0 bridge 1756-EN2T/D", "1,1 module 1756-L83E/B"};
    const int read = ModuleList::Read;
    QTest::newRow("empty slots") << bridgeCip(ip) << read
                                 << ports + bridgeAndController
            + QStringList{"1,2 " + noModule, "1,3 " + noModule, "1,4 " + noModule, "1,5 " + noModule}
                                 << 6 << 0 << 900 << 1;
    // The two silent modules cost one bridge timeout (1 s), not two.
    QTest::newRow("slots that never answer")
        << bridgeCip(ip,
                     [](Rig::Chassis *c) {
                         for (int slot : {2, 4}) {
                             c->modules.insert(slot, Rig::makeModule("1756-IB16/A", 0x20 + slot, 7, 0x0A));
                             c->modules[slot].behaviour = "silent";
                         }
                         c->modules.insert(5, Rig::makeModule("1756-OB16/A", 0x25, 7, 0x0B));
                     })
        << read
        << ports + bridgeAndController
            + QStringList{"1,2 " + timedOut, "1,3 " + noModule, "1,4 " + timedOut, "1,5 module 1756-OB16/A"}
        << 6 << 800 << 1900 << 1;
    // Each fails its own slot; the module after them on the same session
    // is read all the same. Slot 6 answers success with an identity cut
    // short after two bytes: an error, not a module of zeros.
    QTest::newRow("garbage from slots") << bridgeCip(
        ip,
        [](Rig::Chassis *c) {
            const char *const spoilt[] = {"random", "wrong_service", "truncated"};
            for (int slot = 2; slot <= 4; ++slot) {
                c->modules.insert(slot, Rig::makeModule("1756-IB16/A", 0x20 + slot));
                c->modules[slot].behaviour = spoilt[slot - 2];
            }
            c->modules.insert(5, Rig::makeModule("1756-OB16/A", 0x25));
            c->modules.insert(6, Rig::makeModule("1756-OB16/A", 0x26));
            c->modules[6].answer = QByteArray::fromHex("810000000100");
            c->lastSlot = 6;
        }) << read
                                        << QStringList{"port 2 EtherNet/IP Ethernet entry",
                                                       "port 1 Backplane Backplane slots 0-6 own 0"}
            + bridgeAndController
            + QStringList{garbage(2, malformed), garbage(3, "answered another request than the one sent"),
                          garbage(4, malformed), "1,5 module 1756-OB16/A",
                          "1,6 error an identity that is cut short or malformed (2 bytes)"}
                                        << 7 << 0 << 900 << 1;
    // Answered 0x08: one slot asked, not six.
    QTest::newRow("bridge that does not route")
        << bridgeCip(ip, [](Rig::Chassis *c) { c->routes = false; }) << int(ModuleList::NotRouting)
        << QStringList{ip + " does not route requests to modules: the device does not route requests (0x08)"} << 1 << 0
        << 900 << 1;
    // No Port object (0x05), and Unconnected Send answered 0x08 as a plain
    // adapter's stack does: one slot asked, not seventeen.
    QTest::newRow("plain adapter")
        << QJsonObject{{"attributes", adapterAttributes(ip)}} << int(ModuleList::NotRouting)
        << QStringList{ip + " does not route requests to modules: the device does not route requests (0x08)"} << 1 << 0
        << 900 << 1;
    // No Connection Manager: the Unconnected Send answered 0x05, as
    // devices answer a class they lack.
    QTest::newRow("adapter without a Connection Manager")
        << QJsonObject{{"attributes", adapterAttributes(ip)}, {"status", QJsonObject{{"52/6/1", "05"}}}}
        << int(ModuleList::NotRouting)
        << QStringList{ip + " does not route requests to modules: " + CIP::routingErrorText(0x05, {})} << 1 << 0 << 900
        << 1;
    // Without a Port object (0x16 here), port 1 slots 0 to 16; the bridge's
    // own slot is not known then, and its answer is a module's.
    QStringList fallback{"port 1 Backplane  slots 0-16", "1,0 module 1756-EN2T/D", "1,1 module 1756-L83E/B"};
    for (int slot = 2; slot <= 16; ++slot)
        fallback << QStringLiteral("1,%1 ").arg(slot) + (slot == 7 ? "module 1756-OB16/A" : noModule);
    QTest::newRow("no Port object") << bridgeCip(ip,
                                                 [](Rig::Chassis *c) {
                                                     c->portObject = false;
                                                     c->missingPortObjectStatus = 0x16;
                                                     c->lastSlot = 16;
                                                     c->modules.insert(7, Rig::makeModule("1756-OB16/A", 0x27));
                                                 })
                                    << read << fallback << 17 << 0 << 900 << 1;
    // Ports read attribute by attribute, without a node range: the same 17
    // slots, and the node address still marks the bridge's own.
    QStringList noRange{"port 2 EtherNet/IP Ethernet entry", "port 1 Backplane Backplane slots 0-16 own 3",
                        "1,0 " + noModule, "1,1 module 1756-L83E/B"};
    for (int slot = 2; slot <= 16; ++slot)
        noRange << QStringLiteral("1,%1 ").arg(slot) + (slot == 3 ? "bridge 1756-EN2T/D" : noModule);
    QTest::newRow("ports without a node range") << bridgeCip(ip, [](Rig::Chassis *c) {
        c->ownSlot = 3;
        c->portGetAll = false;
        c->nodeRange = false;
        c->lastSlot = 16;
    }) << read << noRange << 17 << 0 << 900 << 1;
    // A node range on the port the request came in through alone says
    // nothing of the backplane: port 1 slots 0 to 16 all the same.
    QJsonObject entryRange = bridgeCip(ip, [](Rig::Chassis *c) {
        c->ownSlot = 3;
        c->portGetAll = false;
        c->nodeRange = false;
        c->lastSlot = 16;
    });
    QJsonObject entryAttributes = entryRange.value("attributes").toObject();
    entryAttributes.insert("f4/1/8", "00000300");
    entryRange.insert("attributes", entryAttributes);
    QStringList entryRangeLines = noRange;
    entryRangeLines[0] = "port 2 EtherNet/IP Ethernet slots 0-3 entry";
    QTest::newRow("a node range on the entry port only")
        << entryRange << read << entryRangeLines << 17 << 0 << 900 << 1;
    // An older revision's Get_Attributes_All ends before the node address:
    // asked on its own, it still marks the bridge's own slot.
    QJsonObject shortPorts = bridgeCip(ip, [](Rig::Chassis *c) { c->ownSlot = 2; });
    shortPorts.insert("get_all",
                      QJsonObject{{"1/1", QJsonArray{1, 2, 3, 4, 5, 6, 7}},
                                  {"f4/1", QJsonArray{1, 2, 3, 4, 7}},
                                  {"f4/2", QJsonArray{1, 2, 3, 4}}});
    QTest::newRow("ports' answers without the node address")
        << shortPorts << read
        << QStringList{"port 2 EtherNet/IP Ethernet entry",
                       "port 1 Backplane Backplane slots 0-5 own 2",
                       "1,0 " + noModule,
                       "1,1 module 1756-L83E/B",
                       "1,2 bridge 1756-EN2T/D",
                       "1,3 " + noModule,
                       "1,4 " + noModule,
                       "1,5 " + noModule}
        << 6 << 0 << 900 << 1;
    // A route's slot is one byte: a range past 255 is read up to there,
    // never wrapped round to slot 0.
    QTest::newRow("a node range past 255")
        << bridgeCip(ip,
                     [](Rig::Chassis *c) {
                         c->firstSlot = 252;
                         c->lastSlot = 300;
                         c->ownSlot = 252;
                         c->modules.insert(254, Rig::makeModule("1756-OB16/A", 0x27));
                     })
        << read << QStringList{"port 2 EtherNet/IP Ethernet entry", "port 1 Backplane Backplane slots 252-255 own 252",
                               "1,252 bridge 1756-EN2T/D",          "1,253 " + noModule,
                               "1,254 module 1756-OB16/A",          "1,255 " + noModule}
        << 4 << 0 << 900 << 1;
    // The bridge refuses its own identity as a whole (directly and through
    // its slot): its slot still shows as the bridge, with the refusal.
    QJsonObject refusing = bridgeCip(ip, [](Rig::Chassis *c) { c->ownSlot = 2; });
    refusing.insert("status", QJsonObject{{"01/1/1", "08"}});
    QTest::newRow("bridge's own slot refuses Get_Attributes_All")
        << refusing << read
        << QStringList{"port 2 EtherNet/IP Ethernet entry",
                       "port 1 Backplane Backplane slots 0-5 own 2",
                       "1,0 " + noModule,
                       "1,1 module 1756-L83E/B",
                       "1,2 bridge The device does not support this service (0x08)",
                       "1,3 " + noModule,
                       "1,4 " + noModule,
                       "1,5 " + noModule}
        << 6 << 0 << 900 << 1;
    // A bridge that serves one request at a time, with four silent modules
    // ahead of a controller: 0.9 s each, longer than the client waits for
    // the last ones. The slots that lost their session are asked again on
    // a new one, and the controller in slot 6 is read all the same.
    QTest::newRow("one at a time, silent slots ahead")
        << bridgeCip(ip,
                     [](Rig::Chassis *c) {
                         c->oneAtATime = true;
                         for (int slot = 2; slot <= 5; ++slot) {
                             c->modules.insert(slot, Rig::makeModule("1756-IB16/A", 0x20 + slot));
                             c->modules[slot].behaviour = "silent";
                         }
                         c->modules.insert(6, Rig::makeModule("1756-L83E/B", 0x26, 14, 0xA6));
                         c->lastSlot = 6;
                     })
        << read
        << QStringList{"port 2 EtherNet/IP Ethernet entry", "port 1 Backplane Backplane slots 0-6 own 0"}
            + bridgeAndController
            + QStringList{"1,2 " + timedOut, "1,3 " + timedOut, "1,4 " + timedOut, "1,5 " + timedOut,
                          "1,6 module 1756-L83E/B"}
        << 7 << 3500 << 5500 << 2;
}

// The module list workflow against the rig's chassis and its faults, each
// fault costing its own slot alone.
void TestDeviceClientRig::moduleList()
{
    QFETCH(QJsonObject, cip);
    QFETCH(int, outcome);
    QFETCH(QStringList, lines);
    QFETCH(int, sends);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    QFETCH(int, sessions);

    const QString ip = "10.206.1.70";
    Rig::Devices devices;
    QVERIFY(devices.start({cipDevice(ip, cip)}));
    ModuleListReader reader{QHostAddress(ip)};
    QSignalSpy finished(&reader, &ModuleListReader::finished);
    QElapsedTimer timer;
    timer.start();
    reader.start();
    QVERIFY(finished.isEmpty());
    QVERIFY(finished.wait(6000));
    const qint64 elapsed = timer.elapsed();
    const ModuleList list = finished.first().first().value<ModuleList>();
    QTest::qWait(100);
    QVERIFY(finished.size() == 1);
    QVERIFY(devices.stop());

    QStringList shown;
    if (list.outcome != ModuleList::Read)
        shown << list.text;
    for (const BridgePort &port : list.ports) {
        if (list.outcome != ModuleList::Read)
            break;
        QString line = QStringLiteral("port %1 %2 %3").arg(port.number).arg(CIP::portTypeName(port.type), port.name);
        if (port.hasNodeRange || !port.moduleSlots.isEmpty())
            line += QStringLiteral(" slots %1-%2").arg(port.firstSlot).arg(port.lastSlot);
        if (port.hasOwnSlot)
            line += QStringLiteral(" own %1").arg(port.ownSlot);
        if (port.entryPort)
            line += QStringLiteral(" entry");
        shown << line;
        for (const ModuleSlot &slot : port.moduleSlots) {
            QCOMPARE(slot.route.toText(), QStringLiteral("%1,%2").arg(port.number).arg(slot.slot));
            QCOMPARE(slot.hasIdentity, slot.error.isEmpty());
            shown << QStringLiteral("%1 %2 %3")
                         .arg(slot.route.toText(), ModuleSlot::resultKey(slot.result),
                              slot.hasIdentity ? slot.identity.productName.toString() : slot.error);
        }
    }
    QCOMPARE(shown, lines);
    QCOMPARE(int(list.outcome), outcome);
    QCOMPARE(list.address, QHostAddress(ip));
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));

    // One session; only Gets, to the Port object or through the bridge to
    // the Identity object of a slot, each slot asked once.
    int opened = 0;
    QStringList routes;
    for (const QJsonObject &request : qAsConst(devices.cipRequests)) {
        opened += request.value("command").toInt() == 0x65;
        if (request.value("command").toInt() != 0x6F)
            continue;
        const int service = request.value("service").toInt();
        QVERIFY2(service == 0x01 || service == 0x0E || service == 0x52, qPrintable(QString::number(service)));
        if (service == 0x52 && !request.contains("embedded_service")) {
            routes << QString();
        } else if (service == 0x52) {
            QCOMPARE(request.value("embedded_service").toInt(), 0x01);
            QCOMPARE(request.value("embedded_path").toString(), QString("20012401"));
            // The bridge gives up on a slot within about a second.
            const int timeoutMs = request.value("timeout_ms").toInt();
            QVERIFY2(timeoutMs >= 500 && timeoutMs <= 1000, qPrintable(QString::number(timeoutMs)));
            routes << request.value("route").toString();
        } else {
            QVERIFY2(request.value("path").toString().startsWith("20f4"), qPrintable(request.value("path").toString()));
        }
    }
    QCOMPARE(opened, sessions);
    QCOMPARE(QSet<QString>(routes.cbegin(), routes.cend()).size(), sends);
    if (sessions == 1)
        QCOMPARE(routes.size(), sends);
    QVERIFY(routes.size() <= sends * sessions);
}

void TestDeviceClientRig::resetDialog_data()
{
    // The device's reset behaviour (tests/rig/devices.py).
    QTest::addColumn<QString>("reset");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("searches");
    QTest::addColumn<int>("maxMs");

    // It restarts before its answer is out: the window says so as a
    // restart, not a failure, and finds it again.
    QTest::newRow("connection closed") << "close"
                                       << "The device answers at 10.206.1.62." << 1 << 3000;
    QTest::newRow("refused") << "refuse"
                             << "The device refused the reset: The device cannot do this in its present state (0x10)"
                             << 0 << 3000;
    // No answer at all: not confirmed, and the device is looked for all the
    // same.
    QTest::newRow("silent") << "silent"
                            << "The reset was not confirmed: No answer from 10.206.1.62 on TCP port 44818 within 3 "
                               "s\nThe device answers at 10.206.1.62."
                            << 1 << 6000;
}

void TestDeviceClientRig::resetDialog()
{
    QFETCH(QString, reset);
    QFETCH(QString, status);
    QFETCH(int, searches);
    QFETCH(int, maxMs);

    const QString ip = "10.206.1.62";
    Rig::Devices devices;
    Rig::Device device =
        cipDevice(ip, QJsonObject{{"reset", reset}, {"settable", QJsonArray{"f5/1/3", "f5/1/5", "f5/1/6"}}});
    answerListIdentity(&device);
    QVERIFY(devices.start({device}));
    DeviceRecord record;
    record.protocol = DeviceProtocol::ListIdentity;
    record.address = Rig::ipv4(ip);
    record.identities.append(ENIP::ListIdentityItem());
    DeviceDetailsDialog dialog(nullptr, record, Rig::ipv4("255.255.255.0"), []() { return QVector<quint32>(); });
    dialog.show();
    auto *label = dialog.findChild<QLabel *>("label_status");
    auto *refresh = dialog.findChild<QPushButton *>("pushButton_refresh");
    auto *changeIp = dialog.findChild<QPushButton *>("pushButton_changeIp");
    QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 6000);
    QVERIFY(changeIp->isEnabled());

    // The device's own settings: Write stays disabled, nothing is sent.
    changeIp->click();
    QPointer<IpSettingsDialog> unchanged = dialog.findChild<IpSettingsDialog *>();
    QVERIFY(unchanged);
    QVERIFY(!unchanged->findChild<QPushButton *>("pushButton_write")->isEnabled());
    QCOMPARE(unchanged->findChild<QLabel *>("label_check")->text(),
             QString("These are the device's settings now: nothing to write"));
    QCOMPARE(unchanged->settings().attributes(), QVector<quint16>());
    unchanged->findChild<QPushButton *>("pushButton_cancel")->click();
    QTRY_VERIFY(!unchanged);

    // A new host name and gateway, written in the order 6, 3, 5; then the
    // reset the device asks for.
    changeIp->click();
    auto *settings = dialog.findChild<IpSettingsDialog *>();
    QVERIFY(settings);
    auto *hostName = settings->findChild<QLineEdit *>("lineEdit_hostName");
    hostName->selectAll();
    QTest::keyClicks(hostName, "io-9");
    auto *gateway = settings->findChild<QLineEdit *>("lineEdit_gateway");
    gateway->selectAll();
    QTest::keyClicks(gateway, "10.206.1.2");
    settings->findChild<QPushButton *>("pushButton_write")->click();
    auto *box = settings->findChild<QMessageBox *>("messageBox_confirm");
    QVERIFY(box);
    QVERIFY2(box->informativeText().contains("Host name: io-7 -> io-9\n"), qPrintable(box->informativeText()));
    QVERIFY2(box->informativeText().contains("Gateway: 10.206.1.1 -> 10.206.1.2\n"),
             qPrintable(box->informativeText()));
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == "Write")
            button->click();
    }
    auto *resetButton = dialog.findChild<QPushButton *>("pushButton_reset");
    QTRY_VERIFY_WITH_TIMEOUT(resetButton->isVisible() && resetButton->isEnabled(), 8000);

    QSignalSpy searchRequested(&dialog, &DeviceDetailsDialog::searchRequested);
    QElapsedTimer timer;
    timer.start();
    resetButton->click();
    QMessageBox *resetBox = nullptr;
    for (QMessageBox *candidate : dialog.findChildren<QMessageBox *>()) {
        if (candidate->isVisible() && candidate->text().startsWith("Reset"))
            resetBox = candidate;
    }
    QVERIFY(resetBox);
    for (QAbstractButton *button : resetBox->buttons()) {
        if (button->text() == "Reset")
            button->click();
    }
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), status, maxMs + 2000);
    QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 3000);
    QCOMPARE(label->text(), status);
    QVERIFY2(timer.elapsed() <= maxMs + 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(searchRequested.size(), searches);
    // A refused reset can be asked for again.
    QCOMPARE(resetButton->isVisible(), searches == 0);
    QTest::qWait(200);
    QVERIFY(devices.stop());
    QCOMPARE(
        requestsTo(devices, ip).filter(QRegularExpression("^(10|05) ")),
        (QStringList{"10 20f524013006 0400696f2d39", "10 20f524013003 00000000",
                     "10 20f524013005 3e01ce0a00ffffff0201ce0a00000000000000000500706c616e7400", "05 20012401 00"}));
}

QTEST_MAIN(TestDeviceClientRig)

#include "tst_deviceclient_rig.moc"
