#ifndef INVENTORY_H
#define INVENTORY_H

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

struct DeviceRecord;
struct DevicePlace;

// How reading one object of a device ended. Its text is what the files
// hold: "read", "refused: object does not exist (0x16)", "no answer", or
// another reason the reader gives (a bridge that does not route). The
// general status is kept apart, so that a device that was busy (0x02,
// resource unavailable) can be told from one that refused for good.
struct InventoryResult
{
    enum class Outcome { None, Read, Refused, NoAnswer, Other };

    Outcome outcome = Outcome::None;
    int generalStatus = -1; // -1: none
    QString text;

    static InventoryResult read();
    // "refused: <name> (0xNN)"; without a name, the status's name from
    // CIP's table.
    static InventoryResult refused(quint8 generalStatus, const QString &name = QString());
    static InventoryResult noAnswer();
    // Any other outcome, in the reader's words, with the status it carried.
    static InventoryResult other(const QString &text, int generalStatus = -1);
    // The result a file holds: its outcome from the words, its general
    // status from a closing "(0xNN)".
    static InventoryResult fromText(const QString &text);

    bool isRead() const { return outcome == Outcome::Read; }
    // Refused with 0x02: what the object holds was not known this time.
    bool busy() const { return outcome == Outcome::Refused && generalStatus == 0x02; }
};

// The three objects an inventory reads besides the list's identity.
enum class InventoryObject { TcpIp, EthernetLink, Modules };

// One device of an inventory, by the column names of the files: the list
// export's keys (number, address, ..., conflict), the TCP/IP Interface
// object's (tcpip_result, tcpip_configuration_method, tcpip_ip_address,
// tcpip_netmask, tcpip_gateway, tcpip_host_name), the Ethernet Link
// object's (link_result, link_speed, link_duplex, link_mac_address) and
// modules_result; modules holds one object per slot read, keyed by
// slotColumns() and moduleColumns().
struct InventoryDevice
{
    QJsonObject fields;
    QVector<QJsonObject> modules;
    // The columns the device's source holds (a saved file may lack some:
    // a list saved with Save list… has no TCP/IP columns); "modules" for
    // the slot list. Only a column both hold is compared.
    QSet<QString> held;
    bool holdsAll = true;

    // From a listed device, as the list export gives it; a text-protocol
    // device keeps its address and reply text, and its objects stay unread.
    static InventoryDevice fromRecord(const DeviceRecord &record, const DevicePlace &place);
    static InventoryDevice fromList(const QStringList &columns, const QVector<QJsonValue> &values);

    void setTcpIp(const InventoryResult &result, const QString &configurationMethod = QString(),
                  const QString &ipAddress = QString(), const QString &netmask = QString(),
                  const QString &gateway = QString(), const QString &hostName = QString());
    // speed in Mbit/s (null when not read), duplex "full" or "half".
    void setEthernetLink(const InventoryResult &result, const QJsonValue &speed = QJsonValue(QJsonValue::Null),
                         const QString &duplex = QString(), const QString &macAddress = QString());
    void setModules(const InventoryResult &result, const QVector<QJsonObject> &slotList = {});
    // One slot: slotResult is "module", "bridge", "no_module", "no_answer"
    // or "error"; slotError the status in words with its number, empty for
    // none (written as null); identity by moduleColumns(), keys it lacks
    // written as null.
    static QJsonObject slot(int portNumber, const QJsonValue &portType, const QString &portName, int slot,
                            const QString &route, const QString &slotResult, const QString &slotError,
                            const QJsonObject &identity);

    bool holds(const QString &column) const { return holdsAll || held.contains(column); }
    QJsonValue value(const QString &column) const { return fields.value(column); }
    // The value as files compare it: numbers in decimal, null as empty.
    QString text(const QString &column) const { return valueText(fields.value(column)); }
    InventoryResult result(InventoryObject object) const;
    // The address, name, revision and serial number, as lines show them.
    QString label() const;
    void setResult(InventoryObject object, const InventoryResult &result);

    static QString valueText(const QJsonValue &value);
    static QString resultColumn(InventoryObject object);
};

enum class InventoryFormat { Text, Json, Csv };

// Every device of a search with what its objects answered, and the files
// that keep it: JSON {"program", "version", "time", "devices": [...]} and
// CSV with one row per device and one per slot read.
struct Inventory
{
    Q_DECLARE_TR_FUNCTIONS(Inventory)

public:
    // Bounds on a file read back: it is untrusted input.
    static constexpr int MaxFileSize = 16 * 1024 * 1024;
    static constexpr int MaxDevices = 65536;
    static constexpr int MaxSlots = 1024; // per device
    static constexpr int MaxRows = 200000; // CSV, devices and slots
    static constexpr int MaxColumns = 256;
    static constexpr int MaxCellLength = 65536; // characters, also JSON text

    QString program;
    QString version;
    QDateTime time;
    QVector<InventoryDevice> devices;

    // This program's name and version, made now.
    static Inventory make(const QVector<InventoryDevice> &devices, const QDateTime &time);

    // A device's columns in file order: the list export's, then tcpip_…,
    // link_… and modules_result.
    static const QStringList &deviceColumns();
    // A slot's own columns: port_number, slot, port_type, port_name, route,
    // slot_result, slot_error.
    static const QStringList &slotColumns();
    // A module's identity, under the list export's names: name, vendor_id,
    // device_type, device_type_name, product_code, revision, serial_number,
    // status, state, state_name. A slot's row in CSV holds them in the
    // device's columns of those names.
    static const QStringList &moduleColumns();

    QByteArray json() const;
    // One device as the JSON file holds it: the columns it holds, the
    // tcpip_… ones in "tcpip", the link_… ones in "ethernet_link", and its
    // slots in "modules".
    static QJsonObject deviceObject(const InventoryDevice &device);
    // A CSV cell, formula-safe and quoted (a negative number too).
    static QString csvCell(const QJsonValue &value);
    // UTF-8 with a byte-order mark, CRLF: the device's row, then one row
    // per slot with the device's number, address, port and protocol, the
    // module's identity and the slot's columns. Columns no device holds
    // are left out.
    QByteArray csv() const;
    QString text() const;
    QByteArray document(InventoryFormat format) const;

    // Reads a file of either format, told by its content: JSON begins with
    // "{" (after an optional byte-order mark and blanks), anything else is
    // CSV. A list saved with Save list… is read too, holding the columns it
    // has. False, with the reason (the line of CSV, the byte offset of
    // JSON) in *error, for a file that does not parse or is too large.
    static bool read(const QByteArray &data, Inventory *inventory, QString *error);

    // Writes through QSaveFile: an empty text, or why it was not written.
    static QString saveFile(const QString &fileName, const QByteArray &data);
    QString save(const QString &fileName, InventoryFormat format) const;
    // The format a file name ends with (.json or .csv, any case); false
    // for another name.
    static bool formatOf(const QString &fileName, InventoryFormat *format);
};

#endif // INVENTORY_H
