// The inventory's files, read back as untrusted input, and the comparison
// of a saved inventory with the current one.

#include "csvtext.h"
#include "deviceexport.h"
#include "devicerecord.h"
#include "devicesupport.h"
#include "inventory.h"
#include "inventorycomparison.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(Inventory)

namespace {

const QDateTime Taken = QDateTime(QDate(2026, 11, 3), QTime(6, 30), Qt::UTC);

QJsonObject moduleIdentity(const QString &name, int productCode, const QString &revision, const QString &serial)
{
    QJsonObject identity;
    identity.insert("name", name);
    identity.insert("vendor_id", 1);
    identity.insert("device_type", 7);
    identity.insert("device_type_name", "General Purpose Discrete I/O");
    identity.insert("product_code", productCode);
    identity.insert("revision", revision);
    identity.insert("serial_number", serial);
    identity.insert("status", "0x0060");
    identity.insert("state", 3);
    identity.insert("state_name", "Operational");
    return identity;
}

// A controller in a chassis as the reader fills it, told apart by n: its
// address 10.0.0.n, MAC 00:1D:9C:00:00:nn and serial number; its own slot
// 0, an input module in slot 1, slot 2 empty.
InventoryDevice plc(int n)
{
    const QString address = QStringLiteral("10.0.0.%1").arg(n);
    const QString mac = QStringLiteral("00:1D:9C:00:00:%1").arg(n, 2, 16, QLatin1Char('0')).toUpper();
    const QString serial = QStringLiteral("%1").arg(0x40001000 + n, 8, 16, QLatin1Char('0')).toUpper();
    InventoryDevice device = InventoryDevice::fromList(DeviceExport::columns(),
                                                       {n,
                                                        address,
                                                        44818,
                                                        "EtherNet/IP",
                                                        QStringLiteral("PLC %1").arg(n),
                                                        1,
                                                        14,
                                                        "Programmable Logic Controller",
                                                        55,
                                                        "20.11",
                                                        serial,
                                                        "0x0060",
                                                        3,
                                                        "Operational",
                                                        address + ":44818",
                                                        1,
                                                        mac,
                                                        "eth0",
                                                        "10.0.0.1/24",
                                                        ""});
    device.setTcpIp(InventoryResult::read(), "static", address, "255.255.255.0", "10.0.0.1",
                    QStringLiteral("plc-%1").arg(n));
    device.setEthernetLink(InventoryResult::read(), 100, "full", mac);
    device.setModules(InventoryResult::read(),
                      {InventoryDevice::slot(1, 1, "Backplane", 0, "1,0", "bridge", QString(),
                                             moduleIdentity("ENBT", 58, "6.1", serial)),
                       InventoryDevice::slot(1, 1, "Backplane", 1, "1,1", "module", QString(),
                                             moduleIdentity("IB16", 16, "3.2", QStringLiteral("00C0FFE%1").arg(n))),
                       InventoryDevice::slot(1, 1, "Backplane", 2, "1,2", "no_module",
                                             "no module at that link address (0x0312)", QJsonObject())});
    return device;
}

// A text-protocol device: its address and reply, no objects.
InventoryDevice textDevice(int n, const QString &reply)
{
    const DeviceRecord record =
        DeviceRecord::textDevice(n, Rig::ipv4(QStringLiteral("10.0.0.%1").arg(n)), 55555, reply.toUtf8(), 0);
    return InventoryDevice::fromRecord(record, DevicePlace());
}

InventoryDevice with(InventoryDevice device, const QString &column, const QJsonValue &value)
{
    device.fields.insert(column, value);
    return device;
}

InventoryDevice withSlot(InventoryDevice device, int slot, const QString &column, const QJsonValue &value)
{
    device.modules[slot].insert(column, value);
    return device;
}

InventoryDevice withResult(InventoryDevice device, InventoryObject object, const InventoryResult &result)
{
    device.setResult(object, result);
    return device;
}

// Neither MAC address is known: the Ethernet Link object was not read and
// the device is behind a router.
InventoryDevice withoutMac(InventoryDevice device)
{
    device.setEthernetLink(InventoryResult::refused(0x16));
    return with(device, "mac_address", QJsonValue::Null);
}

Inventory inventory(const QVector<InventoryDevice> &devices)
{
    return Inventory::make(devices, Taken);
}

// The inventory as a list saved with Save list… holds it: the export's
// columns alone.
Inventory asSavedList(const Inventory &full)
{
    Inventory list = full;
    for (InventoryDevice &device : list.devices) {
        device.holdsAll = false;
        device.held = QSet<QString>(DeviceExport::columns().cbegin(), DeviceExport::columns().cend());
    }
    return list;
}

Inventory readBack(const QByteArray &data)
{
    Inventory read;
    QString error;
    if (!Inventory::read(data, &read, &error))
        qWarning("%s", qPrintable(error));
    return read;
}

} // namespace

class tst_Inventory : public QObject
{
    Q_OBJECT

private slots:
    void comparison_data();
    void comparison();
    void comparisonOutput();
    void roundTrip_data();
    void roundTrip();
    void savedList_data();
    void savedList();
    void refusedFiles_data();
    void refusedFiles();
    void formulaGuard_data();
    void formulaGuard();
    void results_data();
    void results();
    void save();
};

void tst_Inventory::comparison_data()
{
    QTest::addColumn<Inventory>("saved");
    QTest::addColumn<Inventory>("current");
    // "state address" per device, in the comparison's order.
    QTest::addColumn<QStringList>("states");
    // "field[@slot]=old>new" of every device, in order.
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QString>("summary");

    const InventoryDevice a = plc(5);
    const InventoryDevice b = plc(6);
    const Inventory ab = inventory({a, b});

    QTest::newRow("same") << ab << ab << QStringList{"same 10.0.0.5", "same 10.0.0.6"} << QStringList()
                          << "0 new, 0 missing, 0 changed, 2 same";
    QTest::newRow("new") << inventory({a}) << ab << QStringList{"same 10.0.0.5", "new 10.0.0.6"} << QStringList()
                         << "1 new, 0 missing, 0 changed, 1 same";
    QTest::newRow("missing after the current ones")
        << inventory({b, a}) << inventory({a}) << QStringList{"same 10.0.0.5", "missing 10.0.0.6"} << QStringList()
        << "0 new, 1 missing, 0 changed, 1 same";
    QTest::newRow("empty both times") << inventory({}) << inventory({}) << QStringList() << QStringList()
                                      << "0 new, 0 missing, 0 changed, 0 same";

    // Each compared field, the device found by its MAC address.
    const struct
    {
        const char *column;
        QJsonValue value;
        const char *old;
    } fields[] = {
        {"vendor_id", 2, "1"},
        {"device_type", 12, "14"},
        {"product_code", 56, "55"},
        {"revision", "20.12", "20.11"},
        {"name", "PLC 5 spare", "PLC 5"},
        {"serial_number", "40009999", "40001005"},
        {"address", "10.0.0.50", "10.0.0.5"},
        {"tcpip_ip_address", "10.0.0.51", "10.0.0.5"},
        {"tcpip_netmask", "255.255.0.0", "255.255.255.0"},
        {"tcpip_gateway", "10.0.0.254", "10.0.0.1"},
        {"tcpip_configuration_method", "dhcp", "static"},
        {"tcpip_host_name", "", "plc-5"},
        {"link_speed", 10, "100"},
        {"link_duplex", "half", "full"},
    };
    for (const auto &field : fields) {
        const QString newText = InventoryDevice::valueText(field.value);
        QTest::addRow("changed %s", field.column)
            << ab << inventory({with(a, field.column, field.value), b})
            << QStringList{QStringLiteral("changed %1")
                               .arg(field.column == QLatin1String("address") ? "10.0.0.50" : "10.0.0.5"),
                           "same 10.0.0.6"}
            << QStringList{QStringLiteral("%1=%2>%3").arg(field.column, field.old, newText)}
            << "0 new, 0 missing, 1 changed, 1 same";
    }
    // Another Ethernet Link MAC: found by vendor and serial number instead.
    QTest::newRow("changed link MAC address")
        << ab << inventory({with(a, "link_mac_address", "00:1D:9C:00:00:99"), b})
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"link_mac_address=00:1D:9C:00:00:05>00:1D:9C:00:00:99"} << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("changed list MAC address, both known")
        << inventory({with(withoutMac(a), "mac_address", "00:1D:9C:00:00:76")})
        << inventory({with(withoutMac(a), "mac_address", "00:1D:9C:00:00:77")}) << QStringList{"changed 10.0.0.5"}
        << QStringList{"mac_address=00:1D:9C:00:00:76>00:1D:9C:00:00:77"} << "0 new, 0 missing, 1 changed, 0 same";
    // Fields that are not compared.
    QTest::newRow("status word, state, encapsulation version")
        << ab
        << inventory(
               {with(with(with(a, "status", "0x0F64"), "state", 5), "state_name", "Major Unrecoverable Fault"), b})
        << QStringList{"same 10.0.0.5", "same 10.0.0.6"} << QStringList() << "0 new, 0 missing, 0 changed, 2 same";
    QTest::newRow("list MAC unknown today (searched from behind a router)")
        << ab << inventory({with(a, "mac_address", QJsonValue::Null), b})
        << QStringList{"same 10.0.0.5", "same 10.0.0.6"} << QStringList() << "0 new, 0 missing, 0 changed, 2 same";

    // Matching.
    QTest::newRow("matched by MAC despite a new address and serial")
        << inventory({a}) << inventory({with(with(a, "address", "10.0.0.9"), "serial_number", "11111111")})
        << QStringList{"changed 10.0.0.9"}
        << QStringList{"serial_number=40001005>11111111", "address=10.0.0.5>10.0.0.9"}
        << "0 new, 0 missing, 1 changed, 0 same";
    QTest::newRow("matched by vendor and serial number, moved address")
        << inventory({withoutMac(a), withoutMac(b)})
        << inventory({with(withoutMac(b), "address", "10.0.0.5"), with(withoutMac(a), "address", "10.0.0.6")})
        << QStringList{"changed 10.0.0.5", "changed 10.0.0.6"}
        << QStringList{"address=10.0.0.6>10.0.0.5", "address=10.0.0.5>10.0.0.6"}
        << "0 new, 0 missing, 2 changed, 0 same";
    QTest::newRow("matched by address, same identity")
        << inventory({textDevice(7, "MAROVENDA 1")}) << inventory({textDevice(7, "MAROVENDA 2")})
        << QStringList{"changed 10.0.0.7"} << QStringList{"name=MAROVENDA 1>MAROVENDA 2"}
        << "0 new, 0 missing, 1 changed, 0 same";
    QTest::newRow("replaced: matched by address with another serial number")
        << inventory({withoutMac(a)}) << inventory({with(withoutMac(a), "serial_number", "40007777")})
        << QStringList{"replaced 10.0.0.5"} << QStringList{"serial_number=40001005>40007777"}
        << "0 new, 0 missing, 1 replaced, 0 changed, 0 same";
    QTest::newRow("replaced: another product at the address")
        << inventory({withoutMac(a)})
        << inventory({with(with(with(withoutMac(a), "product_code", 99), "vendor_id", 3), "revision", "1.1")})
        << QStringList{"replaced 10.0.0.5"} << QStringList{"vendor_id=1>3", "product_code=55>99", "revision=20.11>1.1"}
        << "0 new, 0 missing, 1 replaced, 0 changed, 0 same";
    QTest::newRow("not matched by anything: new and missing")
        << inventory({withoutMac(a)})
        << inventory({with(with(withoutMac(a), "serial_number", "40007777"), "address", "10.0.0.77")})
        << QStringList{"new 10.0.0.77", "missing 10.0.0.5"} << QStringList() << "1 new, 1 missing, 0 changed, 0 same";

    // A key twice in one inventory matches nothing: the two saved devices
    // share a MAC address (one was cloned from the other), so the current
    // one is found by its serial number; two saved devices with one
    // address and no other key are both missing.
    QTest::newRow("MAC address twice in the saved file")
        << inventory({a, with(with(b, "link_mac_address", "00:1D:9C:00:00:05"), "mac_address", "00:1D:9C:00:00:05")})
        << inventory({with(with(b, "link_mac_address", "00:1D:9C:00:00:05"), "mac_address", "00:1D:9C:00:00:05")})
        << QStringList{"same 10.0.0.6", "missing 10.0.0.5"} << QStringList() << "0 new, 1 missing, 0 changed, 1 same";
    QTest::newRow("serial number twice in the saved file")
        << inventory({withoutMac(a), with(withoutMac(b), "serial_number", "40001005")})
        << inventory({with(withoutMac(a), "address", "10.0.0.8")})
        << QStringList{"new 10.0.0.8", "missing 10.0.0.5", "missing 10.0.0.6"} << QStringList()
        << "1 new, 2 missing, 0 changed, 0 same";
    QTest::newRow("address twice in the saved file")
        << inventory({textDevice(7, "A"), textDevice(7, "B")}) << inventory({textDevice(7, "A")})
        << QStringList{"new 10.0.0.7", "missing 10.0.0.7", "missing 10.0.0.7"} << QStringList()
        << "1 new, 2 missing, 0 changed, 0 same";
    QTest::newRow("MAC address twice today")
        << inventory({a})
        << inventory({a, with(with(b, "link_mac_address", "00:1D:9C:00:00:05"), "serial_number", "1")})
        << QStringList{"same 10.0.0.5", "new 10.0.0.6"} << QStringList() << "1 new, 0 missing, 0 changed, 1 same";

    // Each object's read.
    QTest::newRow("readable last time, no answer now")
        << ab << inventory({withResult(a, InventoryObject::TcpIp, InventoryResult::noAnswer()), b})
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"} << QStringList{"tcpip_result=read>no answer"}
        << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("link refused now")
        << ab << inventory({withResult(a, InventoryObject::EthernetLink, InventoryResult::refused(0x08)), b})
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"link_result=read>refused: service not supported (0x08)"}
        << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("readable again") << inventory({withResult(a, InventoryObject::TcpIp, InventoryResult::noAnswer())})
                                    << inventory({a}) << QStringList{"changed 10.0.0.5"}
                                    << QStringList{"tcpip_result=no answer>read"}
                                    << "0 new, 0 missing, 1 changed, 0 same";
    QTest::newRow("unreadable both times, for other reasons")
        << inventory(
               {withResult(with(a, "tcpip_netmask", "0.0.0.0"), InventoryObject::TcpIp, InventoryResult::noAnswer())})
        << inventory({withResult(a, InventoryObject::TcpIp, InventoryResult::refused(0x16))})
        << QStringList{"same 10.0.0.5"} << QStringList() << "0 new, 0 missing, 0 changed, 1 same";
    QTest::newRow("busy now: its fields are not compared")
        << inventory({a})
        << inventory({withResult(with(a, "tcpip_netmask", QJsonValue::Null), InventoryObject::TcpIp,
                                 InventoryResult::refused(0x02))})
        << QStringList{"same 10.0.0.5"} << QStringList() << "0 new, 0 missing, 0 changed, 1 same";
    QTest::newRow("busy last time") << inventory({withResult(
        with(a, "link_speed", QJsonValue::Null), InventoryObject::EthernetLink, InventoryResult::refused(0x02))})
                                    << inventory({a}) << QStringList{"same 10.0.0.5"} << QStringList()
                                    << "0 new, 0 missing, 0 changed, 1 same";
    QTest::newRow("refused with another status is no busy device")
        << inventory({a})
        << inventory({withResult(with(a, "tcpip_netmask", QJsonValue::Null), InventoryObject::TcpIp,
                                 InventoryResult::refused(0x0C))})
        << QStringList{"changed 10.0.0.5"} << QStringList{"tcpip_result=read>refused: object state conflict (0x0c)"}
        << "0 new, 0 missing, 1 changed, 0 same";

    // Modules, by port and slot.
    QTest::newRow("a module's revision") << ab << inventory({withSlot(a, 1, "revision", "3.3"), b})
                                         << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
                                         << QStringList{"revision@1,1=3.2>3.3"}
                                         << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("another module in a slot")
        << ab
        << inventory({withSlot(withSlot(withSlot(a, 1, "serial_number", "00D00D01"), 1, "product_code", 32), 1, "name",
                               "OB16"),
                      b})
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"product_code@1,1=16>32", "name@1,1=IB16>OB16", "serial_number@1,1=00C0FFE5>00D00D01"}
        << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("a module taken out")
        << ab << inventory({withSlot(withSlot(a, 1, "slot_result", "no_module"), 1, "name", QJsonValue::Null), b})
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"module@1,1=\"IB16\" (3.2) S/N: 00C0FFE5>no_module"} << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("a module put into an empty slot")
        << ab
        << inventory({withSlot(withSlot(withSlot(withSlot(a, 2, "slot_result", "module"), 2, "name", "OW8"), 2,
                                        "revision", "1.4"),
                               2, "serial_number", "00ABCDEF"),
                      b})
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"module@1,2=no_module>\"OW8\" (1.4) S/N: 00ABCDEF"} << "0 new, 0 missing, 1 changed, 1 same";
    InventoryDevice fewerSlots = a;
    fewerSlots.modules.removeLast();
    InventoryDevice moreSlots = a;
    moreSlots.modules.append(InventoryDevice::slot(1, 1, "Backplane", 3, "1,3", "no_answer", "no answer (0x0204)", {}));
    QTest::newRow("a slot no longer read")
        << ab << inventory({fewerSlots, b}) << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"module@1,2=no_module>"} << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("a slot more") << ab << inventory({moreSlots, b}) << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
                                 << QStringList{"module@1,3=>no_answer"} << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("no longer routes") << ab
                                      << inventory({[&] {
                                                        InventoryDevice d = a;
                                                        d.setModules(InventoryResult::other(
                                                            "does not route: service not supported (0x08)", 0x08));
                                                        return d;
                                                    }(),
                                                    b})
                                      << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
                                      << QStringList{"modules_result=read>does not route: service not supported (0x08)"}
                                      << "0 new, 0 missing, 1 changed, 1 same";

    // What the saved file holds is compared, what it lacks is not.
    const Inventory changedToday = inventory({with(with(a, "tcpip_netmask", "255.0.0.0"), "revision", "21.1"), b});
    QTest::newRow("a list saved with Save list…: identity and address")
        << asSavedList(ab) << changedToday << QStringList{"changed 10.0.0.5", "same 10.0.0.6"}
        << QStringList{"revision=20.11>21.1"} << "0 new, 0 missing, 1 changed, 1 same";
    // (A CSV file has one header for all its rows: no device holds it.)
    Inventory withoutHostName = ab;
    for (InventoryDevice &device : withoutHostName.devices) {
        device.holdsAll = false;
        device.held = QSet<QString>(Inventory::deviceColumns().cbegin(), Inventory::deviceColumns().cend());
        device.held.remove("tcpip_host_name");
        device.held.insert("modules");
    }
    QTest::newRow("a column the file lacks")
        << withoutHostName << inventory({with(a, "tcpip_host_name", "renamed"), b})
        << QStringList{"same 10.0.0.5", "same 10.0.0.6"} << QStringList() << "0 new, 0 missing, 0 changed, 2 same";
    QTest::newRow("a column the file holds empty")
        << inventory({with(a, "tcpip_host_name", QJsonValue::Null), b}) << ab
        << QStringList{"changed 10.0.0.5", "same 10.0.0.6"} << QStringList{"tcpip_host_name=>plc-5"}
        << "0 new, 0 missing, 1 changed, 1 same";
    QTest::newRow("a text-protocol device beside controllers")
        << inventory({a, textDevice(9, "MAROVENDA")}) << inventory({textDevice(9, "MAROVENDA"), a})
        << QStringList{"same 10.0.0.9", "same 10.0.0.5"} << QStringList() << "0 new, 0 missing, 0 changed, 2 same";
}

void tst_Inventory::comparison()
{
    QFETCH(Inventory, saved);
    QFETCH(Inventory, current);
    QFETCH(QStringList, states);
    QFETCH(QStringList, changes);
    QFETCH(QString, summary);

    // The same outcome from the saved inventory as it is and as its file
    // gives it back, in either format.
    const QVector<QPair<const char *, Inventory>> forms = {
        {"in memory", saved}, {"JSON", readBack(saved.json())}, {"CSV", readBack(saved.csv())}};
    for (const auto &form : forms) {
        const InventoryComparison comparison = InventoryComparison::compare(form.second, current);
        QStringList gotStates;
        QStringList gotChanges;
        for (const InventoryDeviceComparison &device : comparison.devices) {
            gotStates << InventoryComparison::stateName(device.state) + ' ' + device.device.text("address");
            for (const InventoryChange &change : device.changes)
                gotChanges << change.field + (change.slot.isEmpty() ? QString() : '@' + change.slot) + '='
                        + change.oldValue + '>' + change.newValue;
        }
        QVERIFY2(gotStates == states, qPrintable(form.first + (": " + gotStates.join(" | "))));
        QVERIFY2(gotChanges == changes, qPrintable(form.first + (": " + gotChanges.join(" | "))));
        QCOMPARE(comparison.summary(), summary);
        QCOMPARE(comparison.differs(), comparison.count(InventoryState::Same) != states.size());
    }
}

void tst_Inventory::comparisonOutput()
{
    const InventoryDevice a = plc(5);
    const InventoryDevice b = plc(6);
    const InventoryComparison comparison = InventoryComparison::compare(
        inventory({a, b}), inventory({withSlot(with(a, "revision", "=20.12"), 1, "revision", "3.3"), plc(7)}));
    QVERIFY(comparison.differs());

    const QJsonObject json = QJsonDocument::fromJson(comparison.json()).object();
    QCOMPARE(json.value("summary").toObject().value("changed").toInt(), 1);
    QCOMPARE(json.value("summary").toObject().value("missing").toInt(), 1);
    const QJsonArray devices = json.value("devices").toArray();
    QCOMPARE(devices.size(), 3);
    QCOMPARE(devices.at(0).toObject().value("comparison").toString(), QString("changed"));
    const QJsonArray changes = devices.at(0).toObject().value("changes").toArray();
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0).toObject().value("field").toString(), QString("revision"));
    QVERIFY(changes.at(0).toObject().value("slot").isNull());
    QCOMPARE(changes.at(0).toObject().value("new").toString(), QString("=20.12"));
    QCOMPARE(changes.at(1).toObject().value("slot").toString(), QString("1,1"));
    QCOMPARE(devices.at(1).toObject().value("comparison").toString(), QString("new"));
    QCOMPARE(devices.at(2).toObject().value("comparison").toString(), QString("missing"));
    QCOMPARE(devices.at(2).toObject().value("address").toString(), QString("10.0.0.6"));
    QCOMPARE(devices.at(2).toObject().value("tcpip").toObject().value("host_name").toString(), QString("plc-6"));

    // CSV: comparison and changes first, every cell formula-safe.
    QVector<CsvText::Row> rows;
    QString error;
    QVERIFY2(CsvText::parse(comparison.csv(), {}, &rows, &error), qPrintable(error));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.at(0).cells.mid(0, 3), (QStringList{"comparison", "changes", "number"}));
    QCOMPARE(rows.at(1).cells.at(0), QString("changed"));
    QCOMPARE(rows.at(1).cells.at(1), QString("revision: 20.11 → =20.12; slot 1,1 revision: 3.2 → 3.3"));
    QCOMPARE(rows.at(1).cells.at(2 + Inventory::deviceColumns().indexOf("revision")), QString("=20.12"));
    QVERIFY(comparison.csv().contains(",'=20.12,"));
    QCOMPARE(rows.at(3).cells.at(0), QString("missing"));

    QCOMPARE(comparison.text(),
             QString("changed  10.0.0.5 \"PLC 5\" (=20.12) S/N: 40001005: revision: 20.11 → =20.12; slot 1,1 revision: "
                     "3.2 → 3.3\n"
                     "new  10.0.0.7 \"PLC 7\" (20.11) S/N: 40001007\n"
                     "missing  10.0.0.6 \"PLC 6\" (20.11) S/N: 40001006\n"
                     "1 new, 1 missing, 1 changed, 0 same\n"));
}

void tst_Inventory::roundTrip_data()
{
    QTest::addColumn<Inventory>("inventory");
    QTest::addColumn<bool>("matched"); // each device has a key to be found by

    QTest::newRow("empty") << inventory({}) << true;
    QTest::newRow("controllers and a text device")
        << inventory({plc(5), textDevice(9, "MAROVENDA, \"unit\" 1\nline two"), plc(6)}) << true;
    // Text a spreadsheet would run, apostrophes that look like the guard,
    // separators and line breaks, in device and slot cells alike.
    InventoryDevice odd = with(with(plc(5), "name", "=HYPERLINK(\"http://x\",\"y\")"), "tcpip_host_name", "'=x");
    odd = with(with(with(odd, "conflict", "''"), "link_duplex", "-half"), "revision", "@1");
    odd = withSlot(withSlot(withSlot(odd, 1, "name", "+IB16,\n\"x\""), 1, "port_name", "\tBackplane"), 1, "slot_error",
                   "'");
    QTest::newRow("formula-like and quoted text") << inventory({odd}) << true;
    InventoryDevice silent = plc(7);
    silent.setTcpIp(InventoryResult::noAnswer());
    silent.setEthernetLink(InventoryResult::noAnswer());
    silent.setModules(InventoryResult::noAnswer());
    InventoryDevice adapter = plc(8);
    adapter.setModules(InventoryResult::other("does not route: service not supported (0x08)", 8));
    QTest::newRow("silent device and an adapter without modules") << inventory({silent, adapter}) << true;
    QTest::newRow("no time") << Inventory::make({plc(5)}, QDateTime()) << true;
    // One column, empty: its row must not be written as a blank line.
    InventoryDevice bare;
    bare.holdsAll = false;
    bare.held = {"address"};
    QTest::newRow("a device holding an empty address alone") << inventory({bare, bare}) << false;
}

void tst_Inventory::roundTrip()
{
    QFETCH(Inventory, inventory);
    QFETCH(bool, matched);

    for (const InventoryFormat format : {InventoryFormat::Json, InventoryFormat::Csv}) {
        const QByteArray written = inventory.document(format);
        Inventory read;
        QString error;
        QVERIFY2(Inventory::read(written, &read, &error), qPrintable(error));
        QCOMPARE(read.devices.size(), inventory.devices.size());
        // Written again, byte for byte the same file.
        QCOMPARE(read.document(format), written);
        const InventoryComparison comparison = InventoryComparison::compare(read, inventory);
        QVERIFY2(comparison.differs() != matched, qPrintable(comparison.text()));
        for (int i = 0; i < read.devices.size(); ++i) {
            for (const QString &column : Inventory::deviceColumns())
                QCOMPARE(read.devices.at(i).text(column), inventory.devices.at(i).text(column));
            QCOMPARE(read.devices.at(i).modules.size(), inventory.devices.at(i).modules.size());
            for (int s = 0; s < read.devices.at(i).modules.size(); ++s) {
                for (const QString &column : Inventory::slotColumns() + Inventory::moduleColumns())
                    QCOMPARE(InventoryDevice::valueText(read.devices.at(i).modules.at(s).value(column)),
                             InventoryDevice::valueText(inventory.devices.at(i).modules.at(s).value(column)));
            }
        }
        if (format == InventoryFormat::Json) {
            QCOMPARE(read.time, inventory.time);
            QCOMPARE(read.version, inventory.version);
        }

        // Without the byte-order mark, with LF line ends, with blanks
        // before the JSON: the same inventory.
        QByteArray variant;
        if (format == InventoryFormat::Csv)
            variant = written.mid(3).replace("\r\n", "\n");
        else
            variant = "\xEF\xBB\xBF \r\n\t" + written;
        Inventory again;
        QVERIFY2(Inventory::read(variant, &again, &error), qPrintable(error));
        QCOMPARE(again.document(format), written);
    }
}

void tst_Inventory::savedList_data()
{
    QTest::addColumn<int>("format");

    QTest::newRow("CSV") << int(ExportFormat::Csv);
    QTest::newRow("JSON") << int(ExportFormat::Json);
}

void tst_Inventory::savedList()
{
    QFETCH(int, format);

    Rig::Identity identity;
    identity.vendorId = 1;
    identity.productCode = 55;
    identity.serialNumber = 0x40001005;
    identity.revisionMajor = 20;
    identity.revisionMinor = 11;
    identity.productName = "=PLC 5";
    const DeviceRecord record =
        DeviceRecord::listIdentityDevice(1, Rig::ipv4("10.0.0.5"), 44818, DeviceSupport::identityItem(identity), 0);
    const DeviceRecord text = DeviceRecord::textDevice(2, Rig::ipv4("10.0.0.9"), 55555, "'=MAROVENDA", 0);
    const QVector<ExportedDevice> list = {{record, DevicePlace()}, {text, DevicePlace()}};
    const QByteArray file = DeviceExport::document(ExportFormat(format), list, Taken);

    Inventory saved;
    QString error;
    QVERIFY2(Inventory::read(file, &saved, &error), qPrintable(error));
    QCOMPARE(saved.devices.size(), 2);
    QVERIFY(!saved.devices.at(0).holds("tcpip_result"));
    QVERIFY(!saved.devices.at(0).holds("modules"));
    QVERIFY(saved.devices.at(0).holds("mac_address"));
    QCOMPARE(saved.devices.at(0).text("name"), QString("=PLC 5"));
    QCOMPARE(saved.devices.at(1).text("name"), QString("'=MAROVENDA"));
    if (ExportFormat(format) == ExportFormat::Json)
        QCOMPARE(saved.time, Taken);

    // Today's full inventory of the same devices is the same; one with
    // another revision is changed, in the identity the list holds.
    InventoryDevice device = InventoryDevice::fromRecord(record, DevicePlace());
    device.setTcpIp(InventoryResult::read(), "static", "10.0.0.5", "255.255.255.0", "10.0.0.1", "plc");
    const InventoryDevice textDevice = InventoryDevice::fromRecord(text, DevicePlace());
    QVERIFY(!InventoryComparison::compare(saved, inventory({device, textDevice})).differs());
    const InventoryComparison comparison =
        InventoryComparison::compare(saved, inventory({with(device, "revision", "20.12"), textDevice}));
    QCOMPARE(comparison.summary(), QString("0 new, 0 missing, 1 changed, 1 same"));
}

void tst_Inventory::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error"); // "*" at its end: the reason begins so

    const QByteArray header = "number,address,name\r\n";
    QTest::newRow("empty") << QByteArray() << "The file is empty.";
    QTest::newRow("a byte-order mark alone") << QByteArray("\xEF\xBB\xBF\r\n") << "The file is empty.";
    QTest::newRow("a row cut short") << header + "1,10.0.0.5,PLC\r\n2,10.0.0.6\r\n"
                                     << "Line 3: 2 cell(s) where the header has 3.";
    QTest::newRow("a row too long, LF") << QByteArray("number,address\n1,10.0.0.5\n\n2,10.0.0.6,x\n")
                                        << "Line 4: 3 cell(s) where the header has 2.";
    QTest::newRow("a quoted cell that does not end") << header + "1,10.0.0.5,\"PLC\r\n2,10.0.0.6,x\r\n"
                                                     << "Line 2: a quoted cell does not end.";
    QTest::newRow("text after a quote") << header + "1,\"a\r\nb\"x,PLC\r\n"
                                        << "Line 3: text after a quoted cell.";
    QTest::newRow("a quote inside a cell") << header + "1,10.0.0.5,PL\"C\r\n"
                                           << "Line 2: a quote inside an unquoted cell.";
    QTest::newRow("no address column") << QByteArray("ip,host\r\n10.0.0.5,x\r\n")
                                       << "Line 1: the header names no address column; the file is not a device "
                                          "list or inventory of this program.";
    QTest::newRow("a column twice") << QByteArray("address,name,address\r\n")
                                    << "Line 1: the column address occurs twice.";
    QTest::newRow("a slot before any device") << QByteArray("number,address,port_number,slot\r\n1,10.0.0.5,1,3\r\n")
                                              << "Line 2: a slot's row before any device's row.";
    QTest::newRow("too many columns") << QByteArray("address") + QByteArray(",x").repeated(Inventory::MaxColumns)
                                      << "Line 1: more than 256 cell(s) in a row.";
    QTest::newRow("an overlong cell") << header + "1,10.0.0.5," + QByteArray(Inventory::MaxCellLength + 2, 'x')
                                      << "Line 2: a cell is longer than 65537 character(s).";
    QTest::newRow("an overlong quoted cell")
        << header + "1,10.0.0.5,\"" + QByteArray(Inventory::MaxCellLength + 2, 'x') + "\""
        << "Line 2: a cell is longer than 65537 character(s).";
    QTest::newRow("too large") << QByteArray(Inventory::MaxFileSize + 1, ' ') << "The file is larger than 16 MiB.";

    QTest::newRow("JSON cut short") << QByteArray(
        "{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": \"10.0.0.5\"")
                                    << "The file is not valid JSON at byte *";
    QTest::newRow("JSON with a stray comma, after a byte-order mark")
        << QByteArray("\xEF\xBB\xBF{\"program\": \"Quorvel Node Spotter\",, \"devices\": []}")
        << "The file is not valid JSON at byte 39: *";
    QTest::newRow("another program") << QByteArray("{\"program\": \"Other Scanner\", \"devices\": []}")
                                     << "The file is not a device list or inventory of this program: it was written "
                                        "by \"Other Scanner\".";
    QTest::newRow("no program") << QByteArray("{\"devices\": []}")
                                << "The file is not a device list or inventory of this program: it names no program.";
    QTest::newRow("no devices") << QByteArray("{\"program\": \"Quorvel Node Spotter\", \"devices\": {}}")
                                << "The file holds no list of devices.";
    QTest::newRow("a device that is no object")
        << QByteArray("{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": null}, 3]}")
        << "Device 2 in the file: it is not an object.";
    QTest::newRow("a device without an address")
        << QByteArray("{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"name\": \"PLC\"}]}")
        << "Device 1 in the file: it has no address.";
    QTest::newRow("a field that is a list")
        << QByteArray("{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": [1]}]}")
        << "Device 1 in the file: address is neither a number nor a text.";
    QTest::newRow("tcpip that is no object") << QByteArray(
        "{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": \"\", \"tcpip\": \"read\"}]}")
                                             << "Device 1 in the file: tcpip is not an object.";
    QTest::newRow("a slot field that is an object") << QByteArray(
        "{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": \"\", \"modules\": [{\"slot\": {}}]}]}")
                                                    << "Device 1 in the file: slot is neither a number nor a text.";
    QTest::newRow("too many slots")
        << "{\"program\": \"Quorvel Node Spotter\", \"devices\": [{\"address\": \"\", \"modules\": ["
            + QByteArray("{},").repeated(Inventory::MaxSlots) + "{}]}]}"
        << "Device 1 in the file: more than 1024 slot(s).";
}

void tst_Inventory::refusedFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);

    Inventory read = inventory({plc(5)});
    QString why;
    QVERIFY(!Inventory::read(file, &read, &why));
    // JSON's reason is in Qt's own words: "*" ends the part that is checked.
    if (error.endsWith('*'))
        QVERIFY2(why.startsWith(error.chopped(1)), qPrintable(why));
    else
        QCOMPARE(why, error);
    // Nothing half-read is left to compare.
    QVERIFY(read.devices.isEmpty());
}

void tst_Inventory::formulaGuard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cell");

    QTest::newRow("plain") << "PLC"
                           << "PLC";
    QTest::newRow("formula") << "=1+2"
                             << "'=1+2";
    QTest::newRow("minus") << "-1"
                           << "'-1";
    QTest::newRow("tab") << "\tx"
                         << "'\tx";
    QTest::newRow("carriage return") << "\rx"
                                     << "\"'\rx\"";
    QTest::newRow("apostrophe before a formula") << "'=x"
                                                 << "''=x";
    QTest::newRow("two apostrophes") << "''"
                                     << "'''";
    QTest::newRow("apostrophe before a letter") << "'x"
                                                << "'x";
    QTest::newRow("apostrophe alone") << "'"
                                      << "'";
    QTest::newRow("a zero character") << QString::fromUtf8("a\0b", 3) << QString::fromUtf8("a\0b", 3);
    QTest::newRow("guarded and quoted") << "=a,\"b\""
                                        << "\"'=a,\"\"b\"\"\"";
}

void tst_Inventory::formulaGuard()
{
    QFETCH(QString, text);
    QFETCH(QString, cell);

    QCOMPARE(CsvText::field(text), cell);
    QVector<CsvText::Row> rows;
    QString error;
    QVERIFY(CsvText::parse((cell + ",x").toUtf8(), {}, &rows, &error));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).cells, (QStringList{text, "x"}));
}

void tst_Inventory::results_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("busy");

    using O = InventoryResult::Outcome;
    QTest::newRow("read") << InventoryResult::read().text << int(O::Read) << -1 << false;
    QTest::newRow("no answer") << InventoryResult::noAnswer().text << int(O::NoAnswer) << -1 << false;
    QTest::newRow("refused") << InventoryResult::refused(0x16).text << int(O::Refused) << 0x16 << false;
    QTest::newRow("busy") << InventoryResult::refused(0x02, "Resource unavailable").text << int(O::Refused) << 2
                          << true;
    QTest::newRow("does not route") << "does not route: service not supported (0x08)" << int(O::Other) << 8 << false;
    QTest::newRow("none") << QString() << int(O::None) << -1 << false;
    QTest::newRow("another program's words") << "ok (0x02)" << int(O::Other) << 2 << false;
}

void tst_Inventory::results()
{
    QFETCH(QString, text);
    QFETCH(int, outcome);
    QFETCH(int, status);
    QFETCH(bool, busy);

    const InventoryResult result = InventoryResult::fromText(text);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.generalStatus, status);
    QCOMPARE(result.busy(), busy);
    QCOMPARE(result.text, text);
}

void tst_Inventory::save()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const Inventory saved = inventory({plc(5)});
    InventoryFormat format = InventoryFormat::Text;
    QVERIFY(Inventory::formatOf("a/B.CSV", &format));
    QCOMPARE(format, InventoryFormat::Csv);
    QVERIFY(Inventory::formatOf("b.json", &format));
    QCOMPARE(format, InventoryFormat::Json);
    QVERIFY(!Inventory::formatOf("b.txt", &format));

    const QString name = folder.filePath("inventory.json");
    QCOMPARE(saved.save(name, InventoryFormat::Json), QString());
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), saved.json());
    // A folder that is a file: not written, and said why.
    const QString error = saved.save(folder.filePath("inventory.json/x.csv"), InventoryFormat::Csv);
    QVERIFY2(error.startsWith("Could not write " + folder.filePath("inventory.json/x.csv") + ": "), qPrintable(error));
}

QTEST_APPLESS_MAIN(tst_Inventory)
#include "tst_inventory.moc"
