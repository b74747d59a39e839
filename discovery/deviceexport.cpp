#include "deviceexport.h"

#include "cipnames.h"
#include "csvtext.h"
#include "exportkeys.h"
#include "netaddress.h"
#include "projectinfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

const char DeviceExport::ProgramName[] = "Quorvel Node Spotter";

namespace {

QJsonValue number(qint64 value)
{
    return QJsonValue(double(value));
}

QString hex(uint value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString serialNumber(quint32 value)
{
    return CIP::serialNumberText(value).rightJustified(8, QLatin1Char('0'));
}

// The identities that answered from the entry's address besides its own:
// all of them for a text-protocol entry, whose own answer is its text.
QString conflictText(const DeviceRecord &record)
{
    if (!record.hasConflict())
        return QString();
    QStringList others;
    const int first = record.protocol == DeviceProtocol::ListIdentity ? 1 : 0;
    for (int i = first; i < record.identities.size(); ++i) {
        const CIP::CipIdentityObject &identity = record.identities.at(i).identity;
        others.append(DeviceExport::tr("\"%1\" S/N: %2, product code %3, vendor ID %4")
                          .arg(identity.productName.toString(), serialNumber(identity.serialNumber),
                               QString::number(identity.productCode), QString::number(identity.vendorId)));
    }
    if (record.unkeptIdentities > 0)
        others.append(DeviceExport::tr("%n more reply(s) with another identity", "", record.unkeptIdentities));
    return others.join(QLatin1String("; "));
}

} // namespace

const QStringList &DeviceExport::columns()
{
    static const QStringList names =
        QStringList{
            QStringLiteral("number"),
            QStringLiteral("address"),
            QStringLiteral("port"),
            QStringLiteral("protocol"),
        }
        + ExportKeys::identity()
        + QStringList{
            QStringLiteral("reported_address"), QStringLiteral("encapsulation_version"),
            QStringLiteral("mac_address"),      QStringLiteral("card"),
            QStringLiteral("card_address"),     QStringLiteral("conflict"),
        };
    return names;
}

QVector<QJsonValue> DeviceExport::fields(const DeviceRecord &record, const DevicePlace &place)
{
    const bool listIdentity = record.protocol == DeviceProtocol::ListIdentity;
    QVector<QJsonValue> values;
    values.reserve(columns().size());
    values << number(record.number) << record.addressText() << number(record.port())
           << (listIdentity ? QStringLiteral("EtherNet/IP") : QStringLiteral("text"));
    if (listIdentity) {
        const ENIP::ListIdentityItem &item = record.identity();
        const CIP::CipIdentityObject &id = item.identity;
        values << id.productName.toString() << number(id.vendorId) << number(id.deviceType)
               << CIP::deviceTypeName(id.deviceType) << number(id.productCode)
               << QStringLiteral("%1.%2").arg(id.revisionMajor).arg(id.revisionMinor) << serialNumber(id.serialNumber)
               << QStringLiteral("0x") + hex(id.status, 4) << number(id.state) << CIP::stateName(id.state)
               << QStringLiteral("%1:%2").arg(ipv4ToString(item.sockaddr.sinAddr),
                                              QString::number(item.sockaddr.sinPort))
               << number(item.encapVersion);
    } else {
        values << QString::fromUtf8(record.reply);
        // vendor_id to encapsulation_version.
        for (int i = 0; i < 11; ++i)
            values << QJsonValue(QJsonValue::Null);
    }

    // Unknown is not the same as empty: a field that is not known is null.
    const QString mac = place.onLocalSubnet ? place.hardwareAddressText() : QString();
    values << (mac.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(mac));
    values << (place.cardName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(place.cardName));
    values << (place.cardName.isEmpty() || place.cardPrefixLength < 0
                   ? QJsonValue(QJsonValue::Null)
                   : QJsonValue(QStringLiteral("%1/%2").arg(ipv4ToString(place.cardAddress),
                                                            QString::number(place.cardPrefixLength))));
    values << conflictText(record);
    return values;
}

QString DeviceExport::csvField(const QString &text)
{
    return CsvText::field(text);
}

QByteArray DeviceExport::csv(const QVector<ExportedDevice> &devices)
{
    const QString lineEnd = QStringLiteral("\r\n");
    QString text = columns().join(QLatin1Char(',')) + lineEnd;
    for (const ExportedDevice &device : devices) {
        const QVector<QJsonValue> values = fields(device.record, device.place);
        QStringList row;
        for (const QJsonValue &value : values) {
            if (value.isDouble())
                row.append(QString::number(qint64(value.toDouble())));
            else
                row.append(csvField(value.toString()));
        }
        text += row.join(QLatin1Char(',')) + lineEnd;
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QByteArray DeviceExport::json(const QVector<ExportedDevice> &devices, const QDateTime &searchedAt)
{
    QJsonArray list;
    for (const ExportedDevice &device : devices) {
        const QVector<QJsonValue> values = fields(device.record, device.place);
        QJsonObject object;
        for (int i = 0; i < values.size(); ++i)
            object.insert(columns().at(i), values.at(i));
        list.append(object);
    }
    QJsonObject document;
    document.insert(QStringLiteral("program"), QString::fromLatin1(ProgramName));
    document.insert(QStringLiteral("version"), QStringLiteral(NODESPOTTER_VERSION));
    document.insert(QStringLiteral("searched_at"),
                    searchedAt.isValid() ? QJsonValue(searchedAt.toUTC().toString(Qt::ISODate))
                                         : QJsonValue(QJsonValue::Null));
    document.insert(QStringLiteral("devices"), list);
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QString DeviceExport::oneLine(QString line)
{
    for (QChar &c : line) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return line;
}

QString DeviceExport::text(const QVector<DeviceRecord> &records)
{
    QString text;
    for (const DeviceRecord &record : records)
        text += oneLine(record.line()) + QLatin1Char('\n');
    return text;
}

QByteArray DeviceExport::document(ExportFormat format, const QVector<ExportedDevice> &devices,
                                  const QDateTime &searchedAt)
{
    switch (format) {
    case ExportFormat::Csv:
        return csv(devices);
    case ExportFormat::Json:
        return json(devices, searchedAt);
    case ExportFormat::Text:
        break;
    }
    QVector<DeviceRecord> records;
    for (const ExportedDevice &device : devices)
        records.append(device.record);
    return text(records).toUtf8();
}
