#include "inventory.h"

#include "cipnames.h"
#include "csvtext.h"
#include "deviceexport.h"
#include "exportkeys.h"
#include "projectinfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

namespace {

const QString TcpIpPrefix = QStringLiteral("tcpip_");
const QString LinkPrefix = QStringLiteral("link_");
const QString TcpIpKey = QStringLiteral("tcpip");
const QString LinkKey = QStringLiteral("ethernet_link");
const QString ModulesKey = QStringLiteral("modules");

// Columns whose cells are numbers; CSV gives them back as numbers.
bool numberColumn(const QString &column)
{
    static const QSet<QString> numbers = {
        QStringLiteral("number"),
        QStringLiteral("port"),
        QStringLiteral("vendor_id"),
        QStringLiteral("device_type"),
        QStringLiteral("product_code"),
        QStringLiteral("state"),
        QStringLiteral("encapsulation_version"),
        QStringLiteral("link_speed"),
        QStringLiteral("port_number"),
        QStringLiteral("slot"),
        QStringLiteral("port_type"),
    };
    return numbers.contains(column);
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// A CSV cell as the value JSON would hold: empty is null, an integer in a
// number column is a number.
QJsonValue cellValue(const QString &column, const QString &cell)
{
    if (cell.isEmpty())
        return QJsonValue(QJsonValue::Null);
    // Only the number's own form: "007" and "-0" stay text, so that the
    // file is written again as it was read.
    if (numberColumn(column) && cell.size() <= 15) {
        bool ok = false;
        const qint64 number = cell.toLongLong(&ok);
        if (ok && QString::number(number) == cell)
            return QJsonValue(double(number));
    }
    return QJsonValue(cell);
}

// Where a flat column lives in JSON: the object's key (empty at the top)
// and the key within it.
void jsonPlace(const QString &column, QString *object, QString *key)
{
    if (column.startsWith(TcpIpPrefix)) {
        *object = TcpIpKey;
        *key = column.mid(TcpIpPrefix.size());
    } else if (column.startsWith(LinkPrefix)) {
        *object = LinkKey;
        *key = column.mid(LinkPrefix.size());
    } else {
        object->clear();
        *key = column;
    }
}

QString describeDevice(const InventoryDevice &device)
{
    const QString name = device.text(QStringLiteral("name"));
    QString text = device.text(QStringLiteral("address"));
    if (!name.isEmpty())
        text += QStringLiteral(" \"%1\"").arg(DeviceExport::oneLine(name));
    const QString revision = device.text(QStringLiteral("revision"));
    if (!revision.isEmpty())
        text += QStringLiteral(" (%1)").arg(revision);
    const QString serial = device.text(QStringLiteral("serial_number"));
    if (!serial.isEmpty())
        text += Inventory::tr(" S/N: %1").arg(serial);
    return text;
}

// One row's line. A row of one empty cell is written as a quoted empty
// cell: a blank line would be read as no row at all.
QString csvLine(const QStringList &cells)
{
    const QString line = cells.join(QLatin1Char(','));
    return line.isEmpty() ? QStringLiteral("\"\"") : line;
}

} // namespace

QString InventoryDevice::label() const
{
    return describeDevice(*this);
}

InventoryResult InventoryResult::read()
{
    return {Outcome::Read, -1, QStringLiteral("read")};
}

InventoryResult InventoryResult::refused(quint8 generalStatus, const QString &name)
{
    QString words = name.isEmpty() ? CIP::generalStatusName(generalStatus) : name;
    if (!words.isEmpty())
        words[0] = words.at(0).toLower();
    return {Outcome::Refused, generalStatus,
            QStringLiteral("refused: %1 (0x%2)").arg(words).arg(generalStatus, 2, 16, QLatin1Char('0'))};
}

InventoryResult InventoryResult::noAnswer()
{
    return {Outcome::NoAnswer, -1, QStringLiteral("no answer")};
}

InventoryResult InventoryResult::other(const QString &text, int generalStatus)
{
    return {Outcome::Other, generalStatus, text};
}

InventoryResult InventoryResult::fromText(const QString &text)
{
    InventoryResult result;
    result.text = text;
    if (text.isEmpty())
        result.outcome = Outcome::None;
    else if (text == QLatin1String("read"))
        result.outcome = Outcome::Read;
    else if (text == QLatin1String("no answer"))
        result.outcome = Outcome::NoAnswer;
    else if (text.startsWith(QLatin1String("refused")))
        result.outcome = Outcome::Refused;
    else
        result.outcome = Outcome::Other;
    static const QRegularExpression status(QStringLiteral("\\(0x([0-9A-Fa-f]{1,2})\\)\\s*$"));
    const QRegularExpressionMatch match = status.match(text);
    if (match.hasMatch())
        result.generalStatus = match.captured(1).toInt(nullptr, 16);
    return result;
}

InventoryDevice InventoryDevice::fromRecord(const DeviceRecord &record, const DevicePlace &place)
{
    return fromList(DeviceExport::columns(), DeviceExport::fields(record, place));
}

InventoryDevice InventoryDevice::fromList(const QStringList &columns, const QVector<QJsonValue> &values)
{
    InventoryDevice device;
    for (const QString &column : Inventory::deviceColumns())
        device.fields.insert(column, QJsonValue(QJsonValue::Null));
    for (int i = 0; i < columns.size() && i < values.size(); ++i)
        device.fields.insert(columns.at(i), values.at(i));
    return device;
}

void InventoryDevice::setTcpIp(const InventoryResult &result, const QString &configurationMethod,
                               const QString &ipAddress, const QString &netmask, const QString &gateway,
                               const QString &hostName)
{
    setResult(InventoryObject::TcpIp, result);
    fields.insert(QStringLiteral("tcpip_configuration_method"), textOrNull(configurationMethod));
    fields.insert(QStringLiteral("tcpip_ip_address"), textOrNull(ipAddress));
    fields.insert(QStringLiteral("tcpip_netmask"), textOrNull(netmask));
    fields.insert(QStringLiteral("tcpip_gateway"), textOrNull(gateway));
    fields.insert(QStringLiteral("tcpip_host_name"), textOrNull(hostName));
}

void InventoryDevice::setEthernetLink(const InventoryResult &result, const QJsonValue &speed, const QString &duplex,
                                      const QString &macAddress)
{
    setResult(InventoryObject::EthernetLink, result);
    fields.insert(QStringLiteral("link_speed"), speed);
    fields.insert(QStringLiteral("link_duplex"), textOrNull(duplex));
    fields.insert(QStringLiteral("link_mac_address"), textOrNull(macAddress));
}

void InventoryDevice::setModules(const InventoryResult &result, const QVector<QJsonObject> &slotList)
{
    setResult(InventoryObject::Modules, result);
    modules = slotList;
}

QJsonObject InventoryDevice::slot(int portNumber, const QJsonValue &portType, const QString &portName, int slot,
                                  const QString &route, const QString &slotResult, const QString &slotError,
                                  const QJsonObject &identity)
{
    QJsonObject object;
    for (const QString &column : Inventory::moduleColumns())
        object.insert(column,
                      identity.value(column).isUndefined() ? QJsonValue(QJsonValue::Null) : identity.value(column));
    object.insert(QStringLiteral("port_number"), portNumber);
    object.insert(QStringLiteral("slot"), slot);
    object.insert(QStringLiteral("port_type"), portType);
    object.insert(QStringLiteral("port_name"), textOrNull(portName));
    object.insert(QStringLiteral("route"), route);
    object.insert(QStringLiteral("slot_result"), slotResult);
    object.insert(QStringLiteral("slot_error"), textOrNull(slotError));
    return object;
}

QString InventoryDevice::resultColumn(InventoryObject object)
{
    switch (object) {
    case InventoryObject::TcpIp:
        return QStringLiteral("tcpip_result");
    case InventoryObject::EthernetLink:
        return QStringLiteral("link_result");
    case InventoryObject::Modules:
        break;
    }
    return QStringLiteral("modules_result");
}

InventoryResult InventoryDevice::result(InventoryObject object) const
{
    return InventoryResult::fromText(text(resultColumn(object)));
}

void InventoryDevice::setResult(InventoryObject object, const InventoryResult &result)
{
    fields.insert(resultColumn(object), textOrNull(result.text));
}

QString InventoryDevice::valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        // Qt's JSON reader drops U+FEFF inside a text: so does the
        // comparison, and a name saved as JSON compares as it was.
        return value.toString().remove(QChar(0xFEFF));
    case QJsonValue::Double: {
        const double number = value.toDouble();
        // Whole numbers as integers; only those that fit exactly.
        if (std::floor(number) == number && std::fabs(number) < 9007199254740992.0)
            return QString::number(qint64(number));
        return QString::number(number, 'g', 17);
    }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return QString();
    }
}

Inventory Inventory::make(const QVector<InventoryDevice> &devices, const QDateTime &time)
{
    Inventory inventory;
    inventory.program = QString::fromLatin1(DeviceExport::ProgramName);
    inventory.version = QStringLiteral(NODESPOTTER_VERSION);
    inventory.time = time;
    inventory.devices = devices;
    return inventory;
}

const QStringList &Inventory::deviceColumns()
{
    static const QStringList names = DeviceExport::columns()
        + QStringList{
            QStringLiteral("tcpip_result"),     QStringLiteral("tcpip_configuration_method"),
            QStringLiteral("tcpip_ip_address"), QStringLiteral("tcpip_netmask"),
            QStringLiteral("tcpip_gateway"),    QStringLiteral("tcpip_host_name"),
            QStringLiteral("link_result"),      QStringLiteral("link_speed"),
            QStringLiteral("link_duplex"),      QStringLiteral("link_mac_address"),
            QStringLiteral("modules_result"),
        };
    return names;
}

const QStringList &Inventory::slotColumns()
{
    static const QStringList names = {
        QStringLiteral("port_number"), QStringLiteral("slot"),  QStringLiteral("port_type"),
        QStringLiteral("port_name"),   QStringLiteral("route"), QStringLiteral("slot_result"),
        QStringLiteral("slot_error"),
    };
    return names;
}

const QStringList &Inventory::moduleColumns()
{
    return ExportKeys::identity();
}

QJsonObject Inventory::deviceObject(const InventoryDevice &device)
{
    QJsonObject object;
    QJsonObject tcpip;
    QJsonObject link;
    bool hasTcpIp = false;
    bool hasLink = false;
    for (const QString &column : deviceColumns()) {
        if (!device.holds(column))
            continue;
        QString place;
        QString key;
        jsonPlace(column, &place, &key);
        const QJsonValue value =
            device.fields.value(column).isUndefined() ? QJsonValue(QJsonValue::Null) : device.fields.value(column);
        if (place == TcpIpKey) {
            tcpip.insert(key, value);
            hasTcpIp = true;
        } else if (place == LinkKey) {
            link.insert(key, value);
            hasLink = true;
        } else {
            object.insert(key, value);
        }
    }
    if (hasTcpIp)
        object.insert(TcpIpKey, tcpip);
    if (hasLink)
        object.insert(LinkKey, link);
    if (device.holds(ModulesKey)) {
        QJsonArray slotList;
        for (const QJsonObject &slot : device.modules)
            slotList.append(slot);
        object.insert(ModulesKey, slotList);
    }
    return object;
}

QString Inventory::csvCell(const QJsonValue &value)
{
    return CsvText::field(InventoryDevice::valueText(value));
}

QByteArray Inventory::json() const
{
    QJsonArray list;
    for (const InventoryDevice &device : devices)
        list.append(deviceObject(device));
    QJsonObject document;
    document.insert(QStringLiteral("program"), program);
    document.insert(QStringLiteral("version"), version);
    document.insert(QStringLiteral("time"),
                    time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null));
    document.insert(QStringLiteral("devices"), list);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QByteArray Inventory::csv() const
{
    // The columns some device holds; all of them for an empty inventory.
    QStringList columns;
    for (const QString &column : deviceColumns()) {
        // The address always: the reader needs it to take the file.
        bool held = devices.isEmpty() || column == QLatin1String("address");
        for (int i = 0; i < devices.size() && !held; ++i)
            held = devices.at(i).holds(column);
        if (held)
            columns.append(column);
    }
    bool slotList = devices.isEmpty();
    for (int i = 0; i < devices.size() && !slotList; ++i)
        slotList = devices.at(i).holds(ModulesKey);
    if (slotList)
        columns += slotColumns();

    const auto cell = csvCell;
    static const QSet<QString> slotRowDeviceColumns = {QStringLiteral("number"), QStringLiteral("address"),
                                                       QStringLiteral("port"), QStringLiteral("protocol")};
    const QSet<QString> moduleColumnSet(moduleColumns().cbegin(), moduleColumns().cend());
    const QSet<QString> slotColumnSet(slotColumns().cbegin(), slotColumns().cend());

    const QString lineEnd = QStringLiteral("\r\n");
    QString text = columns.join(QLatin1Char(',')) + lineEnd;
    for (const InventoryDevice &device : devices) {
        QStringList row;
        for (const QString &column : columns)
            row.append(device.holds(column) && !slotColumnSet.contains(column) ? cell(device.fields.value(column))
                                                                               : QString());
        text += csvLine(row) + lineEnd;
        if (!slotList || !device.holds(ModulesKey))
            continue;
        for (const QJsonObject &slot : device.modules) {
            row.clear();
            for (const QString &column : columns) {
                if (slotColumnSet.contains(column) || moduleColumnSet.contains(column))
                    row.append(cell(slot.value(column)));
                else if (slotRowDeviceColumns.contains(column))
                    row.append(cell(device.fields.value(column)));
                else
                    row.append(QString());
            }
            text += csvLine(row) + lineEnd;
        }
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QString Inventory::text() const
{
    QString text;
    for (const InventoryDevice &device : devices) {
        QStringList parts;
        parts << QStringLiteral("%1.  %2").arg(device.text(QStringLiteral("number")), device.label());
        const InventoryResult tcpip = device.result(InventoryObject::TcpIp);
        if (tcpip.isRead()) {
            parts << tr("TCP/IP: %1 %2/%3, gateway %4, host name \"%5\"")
                         .arg(device.text(QStringLiteral("tcpip_configuration_method")),
                              device.text(QStringLiteral("tcpip_ip_address")),
                              device.text(QStringLiteral("tcpip_netmask")),
                              device.text(QStringLiteral("tcpip_gateway")),
                              DeviceExport::oneLine(device.text(QStringLiteral("tcpip_host_name"))));
        } else if (!tcpip.text.isEmpty()) {
            parts << tr("TCP/IP: %1").arg(tcpip.text);
        }
        const InventoryResult link = device.result(InventoryObject::EthernetLink);
        if (link.isRead()) {
            parts << tr("link: %1 Mbit/s %2 duplex, MAC %3")
                         .arg(device.text(QStringLiteral("link_speed")), device.text(QStringLiteral("link_duplex")),
                              device.text(QStringLiteral("link_mac_address")));
        } else if (!link.text.isEmpty()) {
            parts << tr("link: %1").arg(link.text);
        }
        const InventoryResult modules = device.result(InventoryObject::Modules);
        if (!modules.text.isEmpty())
            parts << tr("modules: %1").arg(modules.text);
        text += DeviceExport::oneLine(parts.join(QLatin1String(" | "))) + QLatin1Char('\n');
        for (const QJsonObject &slot : device.modules) {
            const QString result = InventoryDevice::valueText(slot.value(QStringLiteral("slot_result")));
            QString line = QStringLiteral("    %1  %2")
                               .arg(InventoryDevice::valueText(slot.value(QStringLiteral("route"))), result);
            if (result == QLatin1String("module") || result == QLatin1String("bridge")) {
                line += tr("  \"%1\" (%2) S/N: %3, product code %4, vendor ID %5")
                            .arg(InventoryDevice::valueText(slot.value(QStringLiteral("name"))),
                                 InventoryDevice::valueText(slot.value(QStringLiteral("revision"))),
                                 InventoryDevice::valueText(slot.value(QStringLiteral("serial_number"))),
                                 InventoryDevice::valueText(slot.value(QStringLiteral("product_code"))),
                                 InventoryDevice::valueText(slot.value(QStringLiteral("vendor_id"))));
            } else {
                const QString error = InventoryDevice::valueText(slot.value(QStringLiteral("slot_error")));
                if (!error.isEmpty())
                    line += QStringLiteral("  ") + error;
            }
            text += DeviceExport::oneLine(line) + QLatin1Char('\n');
        }
    }
    return text;
}

QByteArray Inventory::document(InventoryFormat format) const
{
    switch (format) {
    case InventoryFormat::Json:
        return json();
    case InventoryFormat::Csv:
        return csv();
    case InventoryFormat::Text:
        break;
    }
    return text().toUtf8();
}

namespace {

// Reads a JSON document's devices. Every value must be a number, a text,
// true, false or null, where the files hold such.
class JsonReader
{
    Q_DECLARE_TR_FUNCTIONS(Inventory)

public:
    bool read(const QJsonObject &document, Inventory *inventory, QString *error)
    {
        const QString program = document.value(QStringLiteral("program")).toString();
        if (program != QLatin1String(DeviceExport::ProgramName)) {
            *error = program.isEmpty()
                ? tr("The file is not a device list or inventory of this program: it names no program.")
                : tr("The file is not a device list or inventory of this program: it was written by \"%1\".")
                      .arg(DeviceExport::oneLine(program.left(100)));
            return false;
        }
        inventory->program = program;
        inventory->version = document.value(QStringLiteral("version")).toString().left(100);
        QJsonValue time = document.value(QStringLiteral("time"));
        if (time.isUndefined())
            time = document.value(QStringLiteral("searched_at")); // a list saved with Save list…
        inventory->time = QDateTime::fromString(time.toString(), Qt::ISODate);
        const QJsonValue devices = document.value(QStringLiteral("devices"));
        if (!devices.isArray()) {
            *error = tr("The file holds no list of devices.");
            return false;
        }
        const QJsonArray list = devices.toArray();
        if (list.size() > Inventory::MaxDevices) {
            *error = tr("The file holds more than %n device(s).", "", Inventory::MaxDevices);
            return false;
        }
        for (int i = 0; i < list.size(); ++i) {
            number = i + 1;
            if (!list.at(i).isObject())
                return refuse(tr("it is not an object."), error);
            InventoryDevice device;
            if (!readDevice(list.at(i).toObject(), &device, error))
                return false;
            inventory->devices.append(device);
        }
        return true;
    }

private:
    bool refuse(const QString &why, QString *error) const
    {
        *error = tr("Device %1 in the file: %2").arg(number).arg(why);
        return false;
    }

    bool scalar(const QJsonValue &value, const QString &key, QString *error) const
    {
        if (value.isArray() || value.isObject())
            return refuse(tr("%1 is neither a number nor a text.").arg(key), error);
        if (value.isString() && value.toString().size() > Inventory::MaxCellLength)
            return refuse(tr("%1 is longer than %n character(s).", "", Inventory::MaxCellLength).arg(key), error);
        return true;
    }

    bool readDevice(const QJsonObject &object, InventoryDevice *device, QString *error) const
    {
        if (!object.contains(QStringLiteral("address")))
            return refuse(tr("it has no address."), error);
        device->holdsAll = false;
        for (const QString &column : Inventory::deviceColumns()) {
            QString place;
            QString key;
            jsonPlace(column, &place, &key);
            QJsonValue value;
            if (place.isEmpty()) {
                value = object.value(key);
            } else {
                const QJsonValue nested = object.value(place);
                if (nested.isUndefined())
                    continue;
                if (nested.isNull()) {
                    value = QJsonValue(QJsonValue::Null); // the object as a whole is not there
                } else if (!nested.isObject()) {
                    return refuse(tr("%1 is not an object.").arg(place), error);
                } else {
                    value = nested.toObject().value(key);
                }
            }
            if (value.isUndefined())
                continue;
            if (!scalar(value, column, error))
                return false;
            device->fields.insert(column, value);
            device->held.insert(column);
        }
        const QJsonValue modules = object.value(ModulesKey);
        if (modules.isUndefined() || modules.isNull())
            return true;
        if (!modules.isArray())
            return refuse(tr("modules is not a list."), error);
        const QJsonArray slotList = modules.toArray();
        if (slotList.size() > Inventory::MaxSlots)
            return refuse(tr("more than %n slot(s).", "", Inventory::MaxSlots), error);
        device->held.insert(ModulesKey);
        for (const QJsonValue &slot : slotList) {
            if (!slot.isObject())
                return refuse(tr("a slot is not an object."), error);
            const QJsonObject given = slot.toObject();
            QJsonObject kept;
            for (const QStringList *columns : {&Inventory::slotColumns(), &Inventory::moduleColumns()}) {
                for (const QString &column : *columns) {
                    const QJsonValue value = given.value(column);
                    if (value.isUndefined())
                        continue;
                    if (!scalar(value, column, error))
                        return false;
                    kept.insert(column, value);
                }
            }
            device->modules.append(kept);
        }
        return true;
    }

    int number = 0;
};

bool readCsv(const QByteArray &data, Inventory *inventory, QString *error)
{
    QVector<CsvText::Row> rows;
    CsvText::Limits limits;
    limits.rows = Inventory::MaxRows;
    limits.cells = Inventory::MaxColumns;
    limits.cellLength = Inventory::MaxCellLength + 1; // with the formula guard
    if (!CsvText::parse(data, limits, &rows, error))
        return false;
    if (rows.isEmpty()) {
        *error = Inventory::tr("The file is empty.");
        return false;
    }

    // The header: known columns are kept, others are passed over.
    const QStringList &header = rows.first().cells;
    const QSet<QString> deviceSet(Inventory::deviceColumns().cbegin(), Inventory::deviceColumns().cend());
    const QSet<QString> slotSet(Inventory::slotColumns().cbegin(), Inventory::slotColumns().cend());
    const QSet<QString> moduleSet(Inventory::moduleColumns().cbegin(), Inventory::moduleColumns().cend());
    QSet<QString> seen;
    for (const QString &column : header) {
        if (column.isEmpty())
            continue;
        if (seen.contains(column)) {
            *error = Inventory::tr("Line %1: the column %2 occurs twice.")
                         .arg(rows.first().line)
                         .arg(DeviceExport::oneLine(column.left(100)));
            return false;
        }
        seen.insert(column);
    }
    if (!seen.contains(QStringLiteral("address"))) {
        *error = Inventory::tr("Line %1: the header names no address column; the file is not a device list or "
                               "inventory of this program.")
                     .arg(rows.first().line);
        return false;
    }
    // A slot's row has a cell in a slot column; a device's row has none.
    QVector<int> slotCells;
    for (const QString &column : Inventory::slotColumns()) {
        if (header.contains(column))
            slotCells.append(header.indexOf(column));
    }
    const bool hasSlots = header.contains(QStringLiteral("port_number")) && header.contains(QStringLiteral("slot"));

    inventory->program = QString::fromLatin1(DeviceExport::ProgramName);
    for (int r = 1; r < rows.size(); ++r) {
        const CsvText::Row &row = rows.at(r);
        if (row.cells.size() != header.size()) {
            *error = Inventory::tr("Line %1: %2 cell(s) where the header has %3.")
                         .arg(row.line)
                         .arg(row.cells.size())
                         .arg(header.size());
            return false;
        }
        bool slotRow = false;
        for (int c = 0; c < slotCells.size() && hasSlots && !slotRow; ++c)
            slotRow = !row.cells.at(slotCells.at(c)).isEmpty();
        if (slotRow) {
            if (inventory->devices.isEmpty()) {
                *error = Inventory::tr("Line %1: a slot's row before any device's row.").arg(row.line);
                return false;
            }
            InventoryDevice &device = inventory->devices.last();
            if (device.modules.size() >= Inventory::MaxSlots) {
                *error = Inventory::tr("Line %1: more than %n slot(s) for one device.", "", Inventory::MaxSlots)
                             .arg(row.line);
                return false;
            }
            QJsonObject slot;
            for (int c = 0; c < header.size(); ++c) {
                const QString &column = header.at(c);
                if (slotSet.contains(column) || moduleSet.contains(column))
                    slot.insert(column, cellValue(column, row.cells.at(c)));
            }
            device.modules.append(slot);
            continue;
        }
        if (inventory->devices.size() >= Inventory::MaxDevices) {
            *error = Inventory::tr("Line %1: more than %n device(s).", "", Inventory::MaxDevices).arg(row.line);
            return false;
        }
        InventoryDevice device;
        device.holdsAll = false;
        for (int c = 0; c < header.size(); ++c) {
            const QString &column = header.at(c);
            if (!deviceSet.contains(column))
                continue;
            device.fields.insert(column, cellValue(column, row.cells.at(c)));
            device.held.insert(column);
        }
        if (hasSlots)
            device.held.insert(ModulesKey);
        inventory->devices.append(device);
    }
    return true;
}

} // namespace

bool Inventory::read(const QByteArray &data, Inventory *inventory, QString *error)
{
    *inventory = Inventory();
    if (data.size() > MaxFileSize) {
        *error = tr("The file is larger than %1 MiB.").arg(MaxFileSize / (1024 * 1024));
        return false;
    }
    const int bom = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    int first = bom;
    while (first < data.size()
           && (data.at(first) == ' ' || data.at(first) == '\t' || data.at(first) == '\r' || data.at(first) == '\n'))
        ++first;
    if (first >= data.size()) {
        *error = tr("The file is empty.");
        return false;
    }
    bool ok = false;
    if (data.at(first) == '{') {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(data.mid(bom), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            *error = tr("The file is not valid JSON at byte %1: %2.")
                         .arg(parseError.offset + bom)
                         .arg(parseError.errorString());
        } else if (!document.isObject()) {
            *error = tr("The file's JSON is not an object.");
        } else {
            JsonReader reader;
            ok = reader.read(document.object(), inventory, error);
        }
    } else {
        ok = readCsv(data, inventory, error);
    }
    if (!ok)
        *inventory = Inventory();
    return ok;
}

QString Inventory::saveFile(const QString &fileName, const QByteArray &data)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return tr("Could not write %1: %2").arg(fileName, file.errorString());
    if (file.write(data) != data.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return tr("Could not write %1: %2").arg(fileName, why);
    }
    if (!file.commit())
        return tr("Could not write %1: %2").arg(fileName, file.errorString());
    return QString();
}

QString Inventory::save(const QString &fileName, InventoryFormat format) const
{
    return saveFile(fileName, document(format));
}

bool Inventory::formatOf(const QString &fileName, InventoryFormat *format)
{
    if (fileName.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
        *format = InventoryFormat::Json;
        return true;
    }
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        *format = InventoryFormat::Csv;
        return true;
    }
    return false;
}
