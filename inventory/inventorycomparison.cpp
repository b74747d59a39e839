#include "inventorycomparison.h"

#include "csvtext.h"
#include "deviceexport.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace {

const QString ModulesKey = QStringLiteral("modules");

// The identity fields whose change, on a device matched by its address
// alone, makes it another device.
const QStringList &replacementFields()
{
    static const QStringList fields = {QStringLiteral("vendor_id"), QStringLiteral("product_code"),
                                       QStringLiteral("serial_number")};
    return fields;
}

// Compared on every device: the identity and the address it answered from.
const QStringList &identityFields()
{
    static const QStringList fields = {
        QStringLiteral("vendor_id"), QStringLiteral("device_type"), QStringLiteral("product_code"),
        QStringLiteral("revision"),  QStringLiteral("name"),        QStringLiteral("serial_number"),
        QStringLiteral("address"),
    };
    return fields;
}

// A slot's module, compared when both times a module (or the bridge) sat
// there.
const QStringList &moduleFields()
{
    static const QStringList fields = {
        QStringLiteral("vendor_id"), QStringLiteral("device_type"), QStringLiteral("product_code"),
        QStringLiteral("revision"),  QStringLiteral("name"),        QStringLiteral("serial_number"),
    };
    return fields;
}

struct ObjectFields
{
    InventoryObject object;
    QStringList fields;
};

const QVector<ObjectFields> &objectFields()
{
    static const QVector<ObjectFields> objects = {
        {InventoryObject::TcpIp,
         {QStringLiteral("tcpip_ip_address"), QStringLiteral("tcpip_netmask"), QStringLiteral("tcpip_gateway"),
          QStringLiteral("tcpip_configuration_method"), QStringLiteral("tcpip_host_name")}},
        {InventoryObject::EthernetLink,
         {QStringLiteral("link_speed"), QStringLiteral("link_duplex"), QStringLiteral("link_mac_address")}},
        {InventoryObject::Modules, {}},
    };
    return objects;
}

// Upper-case hexadecimal without separators; empty for what is no usable
// MAC address (none, malformed, all zeros).
QString macKey(const QString &text)
{
    QString key;
    for (const QChar c : text) {
        if (c == QLatin1Char(':') || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char(' '))
            continue;
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return QString();
        key += c.toUpper();
    }
    if (key.size() != 12 || key == QLatin1String("000000000000"))
        return QString();
    return key;
}

QString deviceMac(const InventoryDevice &device)
{
    const QString link = macKey(device.text(QStringLiteral("link_mac_address")));
    return link.isEmpty() ? macKey(device.text(QStringLiteral("mac_address"))) : link;
}

QString vendorSerialKey(const InventoryDevice &device)
{
    const QString vendor = device.text(QStringLiteral("vendor_id"));
    const QString serial = device.text(QStringLiteral("serial_number")).toUpper();
    if (vendor.isEmpty() || serial.isEmpty())
        return QString();
    return vendor + QLatin1Char('/') + serial;
}

QString addressKey(const InventoryDevice &device)
{
    return device.text(QStringLiteral("address"));
}

QString slotText(const QJsonObject &slot, const QString &column)
{
    return InventoryDevice::valueText(slot.value(column));
}

bool holdsModule(const QJsonObject &slot)
{
    const QString result = slotText(slot, QStringLiteral("slot_result"));
    return result == QLatin1String("module") || result == QLatin1String("bridge");
}

// What sits in a slot, in one line: the module's identity, else what the
// slot answered.
QString slotSummary(const QJsonObject &slot)
{
    if (!holdsModule(slot))
        return slotText(slot, QStringLiteral("slot_result"));
    return InventoryComparison::tr("\"%1\" (%2) S/N: %3")
        .arg(slotText(slot, QStringLiteral("name")), slotText(slot, QStringLiteral("revision")),
             slotText(slot, QStringLiteral("serial_number")));
}

QString slotKey(const QJsonObject &slot)
{
    return slotText(slot, QStringLiteral("port_number")) + QLatin1Char(',') + slotText(slot, QStringLiteral("slot"));
}

class DeviceComparer
{
public:
    DeviceComparer(const InventoryDevice &saved, const InventoryDevice &current)
        : saved(saved)
        , current(current)
    { }

    QVector<InventoryChange> changes()
    {
        for (const QString &field : identityFields())
            compareField(field);
        // The list's MAC address is known only on the computer's own
        // subnets: unknown on either side is no change.
        const QString mac = QStringLiteral("mac_address");
        if (saved.holds(mac) && !saved.text(mac).isEmpty() && !current.text(mac).isEmpty())
            compareField(mac);
        for (const ObjectFields &object : objectFields())
            compareObject(object);
        return found;
    }

private:
    void add(const QString &field, const QString &slot, const QString &oldValue, const QString &newValue)
    {
        found.append({field, slot, oldValue, newValue});
    }

    void compareField(const QString &field)
    {
        if (!saved.holds(field))
            return;
        const QString before = saved.text(field);
        const QString now = current.text(field);
        if (before != now)
            add(field, QString(), before, now);
    }

    void compareObject(const ObjectFields &object)
    {
        const QString resultColumn = InventoryDevice::resultColumn(object.object);
        if (saved.holds(resultColumn)) {
            const InventoryResult before = saved.result(object.object);
            const InventoryResult now = current.result(object.object);
            // Busy either time: nothing is known of the object.
            if (before.busy() || now.busy())
                return;
            if (before.isRead() != now.isRead()) {
                add(resultColumn, QString(), before.text, now.text);
                return;
            }
            // Not read either time: nothing more to compare.
            if (!before.isRead())
                return;
        }
        for (const QString &field : object.fields)
            compareField(field);
        if (object.object == InventoryObject::Modules && saved.holds(ModulesKey))
            compareSlots();
    }

    void compareSlots()
    {
        QHash<QString, int> before;
        for (int i = 0; i < saved.modules.size(); ++i) {
            const QString key = slotKey(saved.modules.at(i));
            if (!before.contains(key))
                before.insert(key, i);
        }
        QSet<QString> seen;
        for (const QJsonObject &now : current.modules) {
            const QString key = slotKey(now);
            if (seen.contains(key))
                continue;
            seen.insert(key);
            const QString route =
                slotText(now, QStringLiteral("route")).isEmpty() ? key : slotText(now, QStringLiteral("route"));
            if (!before.contains(key)) {
                add(QStringLiteral("module"), route, QString(), slotSummary(now));
                continue;
            }
            const QJsonObject &old = saved.modules.at(before.value(key));
            if (holdsModule(old) != holdsModule(now)
                || (old.contains(QStringLiteral("slot_result"))
                    && slotText(old, QStringLiteral("slot_result")) != slotText(now, QStringLiteral("slot_result")))) {
                add(QStringLiteral("module"), route, slotSummary(old), slotSummary(now));
                continue;
            }
            if (!holdsModule(now))
                continue;
            for (const QString &field : moduleFields()) {
                if (old.contains(field) && slotText(old, field) != slotText(now, field))
                    add(field, route, slotText(old, field), slotText(now, field));
            }
        }
        for (const QJsonObject &old : saved.modules) {
            const QString key = slotKey(old);
            if (seen.contains(key))
                continue;
            seen.insert(key);
            const QString route =
                slotText(old, QStringLiteral("route")).isEmpty() ? key : slotText(old, QStringLiteral("route"));
            add(QStringLiteral("module"), route, slotSummary(old), QString());
        }
    }

    const InventoryDevice &saved;
    const InventoryDevice &current;
    QVector<InventoryChange> found;
};

// Matches still unmatched devices by one key; a key found twice in either
// inventory is passed over.
void matchBy(const std::function<QString(const InventoryDevice &)> &key, const Inventory &saved,
             const Inventory &current, QVector<int> *savedMatch, QVector<int> *currentMatch, QVector<bool> *byAddress,
             bool addressPass)
{
    QHash<QString, int> savedCount;
    QHash<QString, int> savedIndex;
    for (int i = 0; i < saved.devices.size(); ++i) {
        const QString k = key(saved.devices.at(i));
        if (k.isEmpty())
            continue;
        ++savedCount[k];
        savedIndex.insert(k, i);
    }
    QHash<QString, int> currentCount;
    for (const InventoryDevice &device : current.devices) {
        const QString k = key(device);
        if (!k.isEmpty())
            ++currentCount[k];
    }
    for (int i = 0; i < current.devices.size(); ++i) {
        if (currentMatch->at(i) >= 0)
            continue;
        const QString k = key(current.devices.at(i));
        if (k.isEmpty() || currentCount.value(k) != 1 || savedCount.value(k) != 1)
            continue;
        const int s = savedIndex.value(k);
        if (savedMatch->at(s) >= 0)
            continue;
        (*savedMatch)[s] = i;
        (*currentMatch)[i] = s;
        (*byAddress)[i] = addressPass;
    }
}

QJsonArray changesJson(const QVector<InventoryChange> &changes)
{
    QJsonArray list;
    for (const InventoryChange &change : changes) {
        QJsonObject object;
        object.insert(QStringLiteral("field"), change.field);
        object.insert(QStringLiteral("slot"),
                      change.slot.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(change.slot));
        object.insert(QStringLiteral("old"), change.oldValue);
        object.insert(QStringLiteral("new"), change.newValue);
        list.append(object);
    }
    return list;
}

QString changesText(const QVector<InventoryChange> &changes)
{
    QStringList texts;
    for (const InventoryChange &change : changes)
        texts.append(InventoryComparison::changeText(change));
    return texts.join(QLatin1String("; "));
}

} // namespace

InventoryComparison InventoryComparison::compare(const Inventory &saved, const Inventory &current)
{
    InventoryComparison comparison;
    comparison.savedTime = saved.time;
    comparison.current = current;
    comparison.current.devices.clear();

    QVector<int> savedMatch(saved.devices.size(), -1);
    QVector<int> currentMatch(current.devices.size(), -1);
    QVector<bool> byAddress(current.devices.size(), false);
    matchBy(deviceMac, saved, current, &savedMatch, &currentMatch, &byAddress, false);
    matchBy(vendorSerialKey, saved, current, &savedMatch, &currentMatch, &byAddress, false);
    matchBy(addressKey, saved, current, &savedMatch, &currentMatch, &byAddress, true);

    for (int i = 0; i < current.devices.size(); ++i) {
        InventoryDeviceComparison entry;
        entry.device = current.devices.at(i);
        entry.currentIndex = i;
        entry.savedIndex = currentMatch.at(i);
        if (entry.savedIndex < 0) {
            entry.state = InventoryState::New;
        } else {
            const InventoryDevice &old = saved.devices.at(entry.savedIndex);
            entry.changes = DeviceComparer(old, entry.device).changes();
            bool replaced = false;
            if (byAddress.at(i)) {
                for (const InventoryChange &change : qAsConst(entry.changes))
                    replaced = replaced || (change.slot.isEmpty() && replacementFields().contains(change.field));
            }
            entry.state = replaced        ? InventoryState::Replaced
                : entry.changes.isEmpty() ? InventoryState::Same
                                          : InventoryState::Changed;
        }
        comparison.devices.append(entry);
    }
    for (int i = 0; i < saved.devices.size(); ++i) {
        if (savedMatch.at(i) >= 0)
            continue;
        InventoryDeviceComparison entry;
        entry.state = InventoryState::Missing;
        entry.device = saved.devices.at(i);
        entry.savedIndex = i;
        comparison.devices.append(entry);
    }
    return comparison;
}

int InventoryComparison::count(InventoryState state) const
{
    int n = 0;
    for (const InventoryDeviceComparison &device : devices)
        n += device.state == state ? 1 : 0;
    return n;
}

bool InventoryComparison::differs() const
{
    return count(InventoryState::Same) != devices.size();
}

QString InventoryComparison::summary() const
{
    QStringList parts;
    parts << tr("%1 new").arg(count(InventoryState::New)) << tr("%1 missing").arg(count(InventoryState::Missing));
    const int replaced = count(InventoryState::Replaced);
    if (replaced > 0)
        parts << tr("%1 replaced").arg(replaced);
    parts << tr("%1 changed").arg(count(InventoryState::Changed)) << tr("%1 same").arg(count(InventoryState::Same));
    return parts.join(tr(", "));
}

QString InventoryComparison::stateName(InventoryState state)
{
    switch (state) {
    case InventoryState::New:
        return QStringLiteral("new");
    case InventoryState::Missing:
        return QStringLiteral("missing");
    case InventoryState::Replaced:
        return QStringLiteral("replaced");
    case InventoryState::Changed:
        return QStringLiteral("changed");
    case InventoryState::Same:
        break;
    }
    return QStringLiteral("same");
}

QString InventoryComparison::stateText(InventoryState state)
{
    switch (state) {
    case InventoryState::New:
        return tr("new");
    case InventoryState::Missing:
        return tr("missing");
    case InventoryState::Replaced:
        return tr("replaced");
    case InventoryState::Changed:
        return tr("changed");
    case InventoryState::Same:
        break;
    }
    return tr("same");
}

QString InventoryComparison::changeText(const InventoryChange &change)
{
    const QString field = change.slot.isEmpty() ? change.field : tr("slot %1 %2").arg(change.slot, change.field);
    return DeviceExport::oneLine(tr("%1: %2 → %3").arg(field, change.oldValue, change.newValue));
}

QByteArray InventoryComparison::json() const
{
    QJsonArray list;
    for (const InventoryDeviceComparison &entry : devices) {
        QJsonObject object = Inventory::deviceObject(entry.device);
        object.insert(QStringLiteral("comparison"), stateName(entry.state));
        object.insert(QStringLiteral("changes"), changesJson(entry.changes));
        list.append(object);
    }
    QJsonObject counts;
    for (const InventoryState state : {InventoryState::New, InventoryState::Missing, InventoryState::Replaced,
                                       InventoryState::Changed, InventoryState::Same})
        counts.insert(stateName(state), count(state));
    QJsonObject document;
    document.insert(QStringLiteral("program"), current.program);
    document.insert(QStringLiteral("version"), current.version);
    document.insert(QStringLiteral("time"),
                    current.time.isValid() ? QJsonValue(current.time.toUTC().toString(Qt::ISODate))
                                           : QJsonValue(QJsonValue::Null));
    document.insert(QStringLiteral("saved_time"),
                    savedTime.isValid() ? QJsonValue(savedTime.toUTC().toString(Qt::ISODate))
                                        : QJsonValue(QJsonValue::Null));
    document.insert(QStringLiteral("summary"), counts);
    document.insert(QStringLiteral("devices"), list);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QByteArray InventoryComparison::csv() const
{
    const QString lineEnd = QStringLiteral("\r\n");
    QStringList header = {QStringLiteral("comparison"), QStringLiteral("changes")};
    header += Inventory::deviceColumns();
    QString text = header.join(QLatin1Char(',')) + lineEnd;
    for (const InventoryDeviceComparison &entry : devices) {
        QStringList row = {stateName(entry.state), CsvText::field(changesText(entry.changes))};
        for (const QString &column : Inventory::deviceColumns())
            row.append(entry.device.holds(column) ? Inventory::csvCell(entry.device.value(column)) : QString());
        text += row.join(QLatin1Char(',')) + lineEnd;
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QString InventoryComparison::text() const
{
    QString text;
    for (const InventoryDeviceComparison &entry : devices) {
        QString line = stateText(entry.state) + QLatin1String("  ") + entry.device.label();
        if (!entry.changes.isEmpty())
            line += QLatin1String(": ") + changesText(entry.changes);
        text += DeviceExport::oneLine(line) + QLatin1Char('\n');
    }
    return text + summary() + QLatin1Char('\n');
}

QByteArray InventoryComparison::document(InventoryFormat format) const
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
