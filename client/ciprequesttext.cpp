#include "ciprequesttext.h"

#include "cipnames.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("CipRequestText", text, nullptr, n);
}

QString hex(uint value, int digits)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QString placeText(const QHostAddress &address, const CIP::CipRoute &route)
{
    return route.isEmpty() ? tr("%1, the device itself").arg(address.toString())
                           : tr("%1, route %2").arg(address.toString(), route.toText());
}

// A string reading in quotes; control characters (C0, DEL and C1) as
// \xNN, backslash and quote escaped.
QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\\' || u == '"')
            out += QLatin1Char('\\') + c;
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QJsonValue optionalValue(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

template<typename T> QJsonValue optionalNumber(const std::optional<T> &value)
{
    return value ? QJsonValue(double(*value)) : QJsonValue();
}

} // namespace

namespace CipRequestText {

QString requestText(const QHostAddress &address, const CIP::CipRoute &route, const CIP::GenericRequest &request)
{
    QString text = tr("Request: %1 %2").arg(CIP::serviceText(request.service), request.pathText()) + QLatin1Char('\n');
    text += tr("To: %1").arg(placeText(address, route)) + QLatin1Char('\n');
    if (!request.data.isEmpty())
        text += tr("Data: %1").arg(CIP::hexText(request.data)) + QLatin1Char('\n');
    text += tr("Bytes: %1").arg(CIP::hexText(request.bytes())) + QLatin1Char('\n');
    return text;
}

QString confirmationText(const QHostAddress &address, const CIP::CipRoute &route, const CIP::GenericRequest &request)
{
    const QString target = route.isEmpty()
        ? tr("the device at %1").arg(address.toString())
        : tr("the module at route %1 behind the device at %2").arg(route.toText(), address.toString());
    QString text = tr("Send %1 to %2 of %3?").arg(CIP::serviceText(request.service), request.pathText(), target);
    text += QLatin1Char(' ')
        + (request.data.isEmpty() ? tr("No data goes with it.") : tr("The data: %1.").arg(CIP::hexText(request.data)));
    // Only a Get is known to read and nothing else.
    if (!CIP::isGetService(request.service))
        text += QLatin1Char(' ')
            + tr("This service does not only read: it may change the device's settings or restart it.");
    return text;
}

QString statusText(quint8 generalStatus)
{
    return CIP::generalStatusText(generalStatus);
}

QString additionalStatusText(const QVector<quint16> &additionalStatus)
{
    if (additionalStatus.isEmpty())
        return tr("none");
    QStringList words;
    for (const quint16 word : additionalStatus)
        words << hex(word, 4);
    return words.join(QLatin1Char(' '));
}

QList<QPair<QString, QString>> readingRows(const CIP::Readings &readings)
{
    QList<QPair<QString, QString>> rows;
    // CIP's type names, untranslated.
    if (readings.usintValue)
        rows.append({QStringLiteral("USINT"),
                     QStringLiteral("%1 (%2)").arg(*readings.usintValue).arg(hex(*readings.usintValue, 2))});
    if (readings.uintValue)
        rows.append({QStringLiteral("UINT"),
                     QStringLiteral("%1 (%2)").arg(*readings.uintValue).arg(hex(*readings.uintValue, 4))});
    if (readings.udintValue)
        rows.append({QStringLiteral("UDINT"),
                     QStringLiteral("%1 (%2)").arg(*readings.udintValue).arg(hex(*readings.udintValue, 8))});
    if (readings.intValue)
        rows.append({QStringLiteral("INT"), QString::number(*readings.intValue)});
    if (readings.dintValue)
        rows.append({QStringLiteral("DINT"), QString::number(*readings.dintValue)});
    if (readings.realValue)
        rows.append({QStringLiteral("REAL"), readings.realText});
    if (readings.shortString)
        rows.append({QStringLiteral("SHORT_STRING"), quoted(*readings.shortString)});
    if (readings.string)
        rows.append({QStringLiteral("STRING"), quoted(*readings.string)});
    return rows;
}

QString resultText(const CipRequestResult &result)
{
    if (!result.answered())
        return tr("No answer: %1").arg(result.errorString) + QLatin1Char('\n');
    QString text;
    if (result.routingFailed)
        text += tr("Not delivered by the bridge: %1").arg(result.errorString) + QLatin1Char('\n');
    text += tr("Status: %1").arg(statusText(result.generalStatus)) + QLatin1Char('\n');
    text += tr("Additional status: %1").arg(additionalStatusText(result.additionalStatus)) + QLatin1Char('\n');
    if (result.data.isEmpty()) {
        text += tr("Data: none") + QLatin1Char('\n');
        return text;
    }
    text += tr("Data: %n byte(s)", result.data.size()) + QLatin1Char('\n');
    text += CIP::hexDump(result.data);
    const QList<QPair<QString, QString>> rows = readingRows(CIP::readings(result.data));
    for (const auto &row : rows)
        text += row.first + QStringLiteral(": ") + row.second + QLatin1Char('\n');
    return text;
}

QByteArray resultJson(const CipRequestResult &result)
{
    const CIP::GenericRequest &request = result.request;
    QJsonObject object;
    object.insert(QStringLiteral("address"), result.address.toString());
    object.insert(QStringLiteral("route"), result.route.isEmpty() ? QJsonValue() : QJsonValue(result.route.toText()));
    object.insert(QStringLiteral("service"), request.service);
    object.insert(QStringLiteral("class"), request.classId);
    object.insert(QStringLiteral("instance"), double(request.instance));
    object.insert(QStringLiteral("attribute"), request.hasAttribute ? QJsonValue(request.attribute) : QJsonValue());
    object.insert(QStringLiteral("request_hex"), CIP::hexText(request.bytes()));
    object.insert(QStringLiteral("routing_failed"), result.routingFailed);
    object.insert(QStringLiteral("error"), result.succeeded() ? QJsonValue() : QJsonValue(result.errorString));
    if (!result.answered()) {
        for (const char *key : {"general_status", "general_status_name", "data_hex", "readings", "real_text"})
            object.insert(QLatin1String(key), QJsonValue());
        object.insert(QStringLiteral("additional_status"), QJsonArray());
        return QJsonDocument(object).toJson(QJsonDocument::Indented);
    }
    object.insert(QStringLiteral("general_status"), result.generalStatus);
    object.insert(QStringLiteral("general_status_name"), CIP::generalStatusName(result.generalStatus));
    QJsonArray additional;
    for (const quint16 word : result.additionalStatus)
        additional.append(word);
    object.insert(QStringLiteral("additional_status"), additional);
    object.insert(QStringLiteral("data_hex"), CIP::hexText(result.data));

    const CIP::Readings r = CIP::readings(result.data);
    QJsonObject readings;
    readings.insert(QStringLiteral("usint"), optionalNumber(r.usintValue));
    readings.insert(QStringLiteral("uint"), optionalNumber(r.uintValue));
    readings.insert(QStringLiteral("udint"), optionalNumber(r.udintValue));
    readings.insert(QStringLiteral("int"), optionalNumber(r.intValue));
    readings.insert(QStringLiteral("dint"), optionalNumber(r.dintValue));
    // The shortest decimal that reads back to the same REAL, rather than
    // the float widened to double (0.1, not 0.10000000149011612).
    readings.insert(QStringLiteral("real"),
                    r.realValue && r.realFinite ? QJsonValue(r.realText.toDouble()) : QJsonValue());
    readings.insert(QStringLiteral("short_string"), optionalValue(r.shortString));
    readings.insert(QStringLiteral("string"), optionalValue(r.string));
    object.insert(QStringLiteral("readings"), readings);
    object.insert(QStringLiteral("real_text"), r.realValue ? QJsonValue(r.realText) : QJsonValue());
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

} // namespace CipRequestText
