#include "moduletext.h"

#include "cipnames.h"
#include "cipport.h"
#include "csvtext.h"
#include "exportkeys.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ModuleListText", text);
}

QString hex(uint value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QString serialNumber(quint32 value)
{
    return CIP::serialNumberText(value).rightJustified(8, QLatin1Char('0'));
}

// The keys of a module's object, in the order of the CSV's columns.
const QStringList &moduleKeys()
{
    static const QStringList keys =
        QStringList{QStringLiteral("port_number"), QStringLiteral("port_type"), QStringLiteral("port_name"),
                    QStringLiteral("slot"),        QStringLiteral("route"),     QStringLiteral("slot_result"),
                    QStringLiteral("slot_error")}
        + ExportKeys::identity();
    return keys;
}

QJsonObject portObject(const BridgePort &port)
{
    QJsonObject object;
    object.insert(QStringLiteral("port_number"), port.number);
    object.insert(QStringLiteral("port_type"), CIP::portTypeName(port.type));
    object.insert(QStringLiteral("port_name"), port.name.isEmpty() ? QJsonValue() : QJsonValue(port.name));
    object.insert(QStringLiteral("instance"), port.instance == 0 ? QJsonValue() : QJsonValue(port.instance));
    object.insert(QStringLiteral("entry_port"), port.entryPort);
    object.insert(QStringLiteral("first_slot"), port.hasNodeRange ? QJsonValue(port.firstSlot) : QJsonValue());
    object.insert(QStringLiteral("last_slot"), port.hasNodeRange ? QJsonValue(port.lastSlot) : QJsonValue());
    object.insert(QStringLiteral("own_slot"), port.hasOwnSlot ? QJsonValue(port.ownSlot) : QJsonValue());
    return object;
}

QJsonObject moduleObject(const BridgePort &port, const ModuleSlot &slot)
{
    QJsonObject object;
    object.insert(QStringLiteral("port_number"), port.number);
    object.insert(QStringLiteral("port_type"), CIP::portTypeName(port.type));
    object.insert(QStringLiteral("port_name"), port.name.isEmpty() ? QJsonValue() : QJsonValue(port.name));
    object.insert(QStringLiteral("slot"), slot.slot);
    object.insert(QStringLiteral("route"), slot.route.toText());
    object.insert(QStringLiteral("slot_result"), ModuleSlot::resultKey(slot.result));
    object.insert(QStringLiteral("slot_error"), slot.error.isEmpty() ? QJsonValue() : QJsonValue(slot.error));
    const CIP::CipIdentityObject &id = slot.identity;
    const bool has = slot.hasIdentity;
    const auto value = [has](const QJsonValue &v) { return has ? v : QJsonValue(); };
    object.insert(QStringLiteral("name"), value(id.productName.toString()));
    object.insert(QStringLiteral("vendor_id"), value(id.vendorId));
    object.insert(QStringLiteral("device_type"), value(id.deviceType));
    object.insert(QStringLiteral("device_type_name"), value(CIP::deviceTypeName(id.deviceType)));
    object.insert(QStringLiteral("product_code"), value(id.productCode));
    object.insert(QStringLiteral("revision"),
                  value(QStringLiteral("%1.%2").arg(id.revisionMajor).arg(id.revisionMinor)));
    object.insert(QStringLiteral("serial_number"), value(serialNumber(id.serialNumber)));
    object.insert(QStringLiteral("status"), value(hex(id.status, 4)));
    // Not every identity holds the state: null then, not 0.
    object.insert(QStringLiteral("state"), slot.hasState ? value(id.state) : QJsonValue());
    object.insert(QStringLiteral("state_name"), slot.hasState ? value(CIP::stateName(id.state)) : QJsonValue());
    return object;
}

} // namespace

namespace ModuleListText {

QString resultText(ModuleSlot::Result result)
{
    switch (result) {
    case ModuleSlot::Module:
        return tr("module");
    case ModuleSlot::Bridge:
        return tr("this bridge");
    case ModuleSlot::NoModule:
        return tr("no module");
    case ModuleSlot::NoAnswer:
        return tr("did not answer in time");
    case ModuleSlot::Error:
        break;
    }
    return tr("error");
}

DetailsRow portRow(const BridgePort &port)
{
    DetailsRow row;
    row.heading = true;
    row.name = tr("Port %1: %2").arg(port.number).arg(CIP::portTypeName(port.type));
    if (!port.name.isEmpty())
        row.name += QStringLiteral(" \"%1\"").arg(port.name);
    if (port.hasNodeRange)
        row.name += tr(", slots %1 to %2").arg(port.firstSlot).arg(port.lastSlot);
    if (port.entryPort)
        row.name += tr(" (the port this program is connected through)");
    return row;
}

DetailsRow slotRow(const ModuleSlot &slot)
{
    DetailsRow row;
    row.name = tr("Slot %1 (route %2)").arg(slot.slot).arg(slot.route.toText());
    QStringList parts;
    if (slot.result == ModuleSlot::Bridge)
        parts.append(tr("this bridge"));
    if (slot.hasIdentity) {
        const CIP::CipIdentityObject &id = slot.identity;
        parts.append(QStringLiteral("\"%1\"").arg(id.productName.toString()));
        parts.append(tr("device type %1 (%2)").arg(CIP::deviceTypeName(id.deviceType)).arg(id.deviceType));
        parts.append(tr("product code %1").arg(id.productCode));
        parts.append(tr("revision %1.%2").arg(id.revisionMajor).arg(id.revisionMinor));
        parts.append(tr("S/N %1").arg(serialNumber(id.serialNumber)));
        parts.append(tr("status %1").arg(hex(id.status, 4)));
    } else if (slot.result == ModuleSlot::Module) {
        parts.append(tr("module"));
    } else if (slot.result != ModuleSlot::Bridge) {
        parts.append(resultText(slot.result));
    }
    if (!slot.error.isEmpty())
        parts.append(slot.error);
    row.value = parts.join(QStringLiteral(", "));
    return row;
}

QList<DetailsRow> rows(const ModuleList &list)
{
    QList<DetailsRow> rows;
    for (const BridgePort &port : list.ports) {
        rows.append(portRow(port));
        for (const ModuleSlot &slot : port.moduleSlots)
            rows.append(slotRow(slot));
    }
    return rows;
}

QJsonObject json(const ModuleList &list)
{
    QJsonArray ports;
    QJsonArray modules;
    for (const BridgePort &port : list.ports) {
        ports.append(portObject(port));
        for (const ModuleSlot &slot : port.moduleSlots)
            modules.append(moduleObject(port, slot));
    }
    QJsonObject document;
    document.insert(QStringLiteral("address"), list.address.toString());
    document.insert(QStringLiteral("port_object"), list.portObject);
    document.insert(QStringLiteral("ports"), ports);
    document.insert(QStringLiteral("modules"), modules);
    return document;
}

QByteArray csv(const ModuleList &list)
{
    const QString lineEnd = QStringLiteral("\r\n");
    QString text = moduleKeys().join(QLatin1Char(',')) + lineEnd;
    for (const BridgePort &port : list.ports) {
        for (const ModuleSlot &slot : port.moduleSlots) {
            const QJsonObject object = moduleObject(port, slot);
            QStringList row;
            for (const QString &key : moduleKeys()) {
                const QJsonValue value = object.value(key);
                row.append(value.isDouble() ? QString::number(qint64(value.toDouble()))
                                            : CsvText::field(value.toString()));
            }
            text += row.join(QLatin1Char(',')) + lineEnd;
        }
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace ModuleListText
