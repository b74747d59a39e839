#ifndef CIPREQUEST_H
#define CIPREQUEST_H

#include "messagerouter.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A Message Router request as a person types it: the service, class,
// instance, attribute and data as text, the way the request dialog and the
// command line take them. Both call the same parsers, so that a request
// means the same bytes wherever it is given. Texts are translated in the
// context "CIP".
namespace CIP {

// Why a number did not parse.
enum class NumberError {
    None,
    Empty, // nothing but blanks
    NotANumber, // not decimal digits, nor 0x and hexadecimal digits
    TooLarge // larger than the maximum
};

// Reads a decimal number ("10" is ten) or a hexadecimal one with a 0x or 0X
// prefix ("0x10" is sixteen), with blanks around it, up to maximum. Signs,
// blanks inside, and a lone "0x" are no numbers. *value is set only on
// success.
NumberError parseNumber(const QString &text, quint32 maximum, quint32 *value);

// The services known by name, in the order a list offers them:
// Get_Attributes_All 0x01, Get_Attribute_List 0x03, Reset 0x05,
// Get_Attribute_Single 0x0E, Set_Attribute_Single 0x10.
QList<quint8> namedServices();
// "Get_Attribute_Single" for 0x0E; empty for a service without a name here.
QString serviceName(quint8 service);
// The code and, where it has one, the name: "0x0E Get_Attribute_Single",
// "0x4B".
QString serviceText(quint8 service);
// A service by its name (any case) or by a number 0x00 to 0x7F. *service is
// set only on success.
bool parseService(const QString &text, quint8 *service);
// Whether the service only reads: Get_Attributes_All, Get_Attribute_List
// and Get_Attribute_Single. Every other service asks before it is sent.
bool isGetService(quint8 service);
// Whether the service names an attribute in its path (Get_Attribute_Single
// and Set_Attribute_Single). For the others an attribute is optional and
// goes into the path when given.
bool serviceNeedsAttribute(quint8 service);

// Reads hexadecimal bytes: "01 02 0a", "01020A"; blanks (spaces, tabs, line
// breaks) anywhere between the digits, none at all, or nothing but blanks
// for no data. An odd number of digits or any other character is refused.
// *data is set only on success.
bool parseHexData(const QString &text, QByteArray *data);

// A request for any service, class, instance and attribute.
struct GenericRequest
{
    // The field a parse refused.
    enum Field { NoField, ServiceField, ClassField, InstanceField, AttributeField, DataField };

    // Reads the five fields; an empty attribute means none, empty data no
    // data. Class and attribute are 0 to 0xFFFF (16-bit in CIP), the
    // instance 0 to 0xFFFFFFFF, the service a name or 0x00 to 0x7F, and a
    // service that needs an attribute refuses an empty one. Returns the
    // first field that is wrong, in the order of the parameters, with the
    // reason in *error, and leaves *request unchanged then; NoField when
    // all are right.
    static Field parse(const QString &service, const QString &classId, const QString &instance,
                       const QString &attribute, const QString &data, GenericRequest *request,
                       QString *error = nullptr);

    CipPath path() const;
    MessageRouterRequest toRequest() const;
    // The Message Router request's bytes: service, path, data.
    QByteArray bytes() const;
    // "class 0xF5 instance 0x01 attribute 0x06", as confirmations and
    // history name the path: hexadecimal, at least two digits.
    QString pathText() const;

    bool operator==(const GenericRequest &other) const;
    bool operator!=(const GenericRequest &other) const { return !(*this == other); }

    quint8 service = GetAttributeSingle;
    quint16 classId = 0;
    quint32 instance = 0;
    bool hasAttribute = false;
    quint16 attribute = 0;
    QByteArray data;
};

} // namespace CIP

#endif // CIPREQUEST_H
