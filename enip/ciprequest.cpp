#include "ciprequest.h"

#include <QCoreApplication>

namespace CIP {

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("CIP", text);
}

QString hexNumber(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

struct NamedService
{
    quint8 code;
    const char *name;
};

// Service names are CIP's own identifiers and stay untranslated.
const NamedService NamedServices[] = {
    {GetAttributesAll, "Get_Attributes_All"},     {GetAttributeList, "Get_Attribute_List"},     {ResetService, "Reset"},
    {GetAttributeSingle, "Get_Attribute_Single"}, {SetAttributeSingle, "Set_Attribute_Single"},
};

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The reason a number field was refused, for the field's name and range.
QString numberError(NumberError error, const char *field, quint32 maximum)
{
    switch (error) {
    case NumberError::Empty:
        return translated("The %1 is missing.").arg(translated(field));
    case NumberError::TooLarge:
        return translated("The %1 must be at most %2 (%3).")
            .arg(translated(field), hexNumber(maximum), QString::number(maximum));
    default:
        return translated("The %1 must be a decimal number or a hexadecimal one with 0x in front.")
            .arg(translated(field));
    }
}

} // namespace

NumberError parseNumber(const QString &text, quint32 maximum, quint32 *value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return NumberError::Empty;
    int base = 10;
    int at = 0;
    if (trimmed.size() > 1 && trimmed.at(0) == QLatin1Char('0')
        && (trimmed.at(1) == QLatin1Char('x') || trimmed.at(1) == QLatin1Char('X'))) {
        base = 16;
        at = 2;
    }
    if (at == trimmed.size())
        return NumberError::NotANumber;
    // Digits first, size after: "0x1g" is no number even if it is long.
    bool tooLarge = false;
    quint64 read = 0;
    for (; at < trimmed.size(); ++at) {
        const int digit = hexDigit(trimmed.at(at));
        if (digit < 0 || digit >= base)
            return NumberError::NotANumber;
        if (!tooLarge) {
            read = read * quint64(base) + quint64(digit);
            tooLarge = read > maximum;
        }
    }
    if (tooLarge)
        return NumberError::TooLarge;
    *value = quint32(read);
    return NumberError::None;
}

QList<quint8> namedServices()
{
    QList<quint8> codes;
    for (const NamedService &service : NamedServices)
        codes.append(service.code);
    return codes;
}

QString serviceName(quint8 service)
{
    for (const NamedService &named : NamedServices) {
        if (named.code == service)
            return QString::fromLatin1(named.name);
    }
    return QString();
}

QString serviceText(quint8 service)
{
    const QString name = serviceName(service);
    return name.isEmpty() ? hexNumber(service) : hexNumber(service) + QLatin1Char(' ') + name;
}

bool parseService(const QString &text, quint8 *service)
{
    const QString trimmed = text.trimmed();
    for (const NamedService &named : NamedServices) {
        if (trimmed.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0) {
            *service = named.code;
            return true;
        }
    }
    quint32 code = 0;
    if (parseNumber(trimmed, MaxRequestService, &code) != NumberError::None)
        return false;
    *service = quint8(code);
    return true;
}

bool isGetService(quint8 service)
{
    return service == GetAttributesAll || service == GetAttributeList || service == GetAttributeSingle;
}

bool serviceNeedsAttribute(quint8 service)
{
    return service == GetAttributeSingle || service == SetAttributeSingle;
}

bool parseHexData(const QString &text, QByteArray *data)
{
    QByteArray read;
    read.reserve(text.size() / 2);
    int high = -1;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const int digit = hexDigit(c);
        if (digit < 0)
            return false;
        if (high < 0) {
            high = digit;
        } else {
            read.append(char(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0)
        return false;
    *data = read;
    return true;
}

GenericRequest::Field GenericRequest::parse(const QString &service, const QString &classId, const QString &instance,
                                            const QString &attribute, const QString &data, GenericRequest *request,
                                            QString *error)
{
    const auto refuse = [error](Field field, const QString &text) {
        if (error)
            *error = text;
        return field;
    };
    GenericRequest read;
    if (!parseService(service, &read.service))
        return refuse(ServiceField,
                      translated("The service must be one of the names offered or a number from 0x00 to 0x7F."));

    quint32 number = 0;
    NumberError fault = parseNumber(classId, 0xFFFF, &number);
    if (fault != NumberError::None)
        return refuse(ClassField, numberError(fault, QT_TRANSLATE_NOOP("CIP", "class"), 0xFFFF));
    read.classId = quint16(number);

    fault = parseNumber(instance, 0xFFFFFFFF, &read.instance);
    if (fault != NumberError::None)
        return refuse(InstanceField, numberError(fault, QT_TRANSLATE_NOOP("CIP", "instance"), 0xFFFFFFFF));

    if (attribute.trimmed().isEmpty()) {
        if (serviceNeedsAttribute(read.service))
            return refuse(AttributeField,
                          translated("The service %1 needs an attribute.").arg(serviceText(read.service)));
    } else {
        fault = parseNumber(attribute, 0xFFFF, &number);
        if (fault != NumberError::None)
            return refuse(AttributeField, numberError(fault, QT_TRANSLATE_NOOP("CIP", "attribute"), 0xFFFF));
        read.hasAttribute = true;
        read.attribute = quint16(number);
    }

    if (!parseHexData(data, &read.data))
        return refuse(DataField, translated("The data must be pairs of hexadecimal digits, such as 01 02 0a."));
    *request = read;
    return NoField;
}

CipPath GenericRequest::path() const
{
    return hasAttribute ? CipPath(classId, instance, attribute) : CipPath(classId, instance);
}

MessageRouterRequest GenericRequest::toRequest() const
{
    return MessageRouterRequest(service, path(), data);
}

QByteArray GenericRequest::bytes() const
{
    QByteArray out;
    MessageRouterRequest request = toRequest();
    if (!request.serialize(&out))
        return QByteArray();
    return out;
}

QString GenericRequest::pathText() const
{
    QString text = translated("class %1 instance %2").arg(hexNumber(classId), hexNumber(instance));
    if (hasAttribute)
        text += QLatin1Char(' ') + translated("attribute %1").arg(hexNumber(attribute));
    return text;
}

bool GenericRequest::operator==(const GenericRequest &other) const
{
    return service == other.service && classId == other.classId && instance == other.instance
        && hasAttribute == other.hasAttribute && (!hasAttribute || attribute == other.attribute) && data == other.data;
}

} // namespace CIP
