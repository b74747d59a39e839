#ifndef CIPPORT_H
#define CIPPORT_H

#include "cipobjects.h"
#include "ciproute.h"

namespace CIP {

constexpr quint16 PortClass = 0xF4;

// Port types (instance attribute 1).
enum PortType : quint16 {
    PortEndsInDevice = 0, // the connection ends in this device
    PortBackplane = 1,
    PortControlNet = 2,
    PortControlNetRedundant = 3,
    PortEtherNetIp = 4,
    PortDeviceNet = 5,
    PortNotConfigured = 0xFFFF
};
// "Backplane" for 1; "Port type 7" for a type without a name.
QString portTypeName(quint16 type);

// One instance of the Port object (class 0xF4): one of the device's
// ports. Its Get_Attributes_All reply holds attributes 1, 2, 3, 4 and 7:
//
//   0       2        4         6             6+2w  7+2w       7+2w+n
//   +-------+--------+---------+-------------+-----+----------+---------+------+
//   | type  | number | link: w | link path   | n   | name     | node: v | node |
//   | UINT  | UINT   | (UINT)  | 2w bytes    |     | n bytes  | (UINT)  | path |
//   +-------+--------+---------+-------------+-----+----------+---------+------+
//     1       2        3                       4                7
//
// The link object is a padded path to the object of the port's link (on an
// Ethernet port 20 F6 24 01, the Ethernet Link instance 1); the node
// address is a padded path of one port segment, the device's own address
// on the port (on a backplane, its own slot). Attribute 8, the node range
// (the lowest and highest node address, two UINTs; on a backplane the
// slots), is not in that reply and is read on its own.
class CipPortInstance : public CipAttributeValues
{
public:
    enum Attribute : quint16 { Type = 1, Number = 2, LinkObject = 3, Name = 4, NodeAddress = 7, NodeRange = 8 };

    QList<quint16> attributes() const override;
    // Older revisions of the object end the reply after the name: the
    // read then succeeds without the node address. A reply that ends
    // inside an attribute gives false; what follows attribute 7 is left
    // alone.
    bool deserialize(QDataStream &stream) override;
    using CipAttributeValues::deserialize;

    QString typeName() const { return portTypeName(type); }
    QString nameText() const { return QString::fromLatin1(name); }
    // The node address as a route hop through this port's number when it
    // is one port segment; false for an address not read or of another
    // form.
    bool nodeAddressHop(CipRouteHop *hop) const;

    quint16 type = PortNotConfigured;
    quint16 number = 0;
    // The paths as sent, without their size words; whole words.
    QByteArray linkPath;
    QByteArray name;
    QByteArray nodePath;
    quint16 nodeRangeMin = 0;
    quint16 nodeRangeMax = 0;

protected:
    QList<quint16> replyAttributes() const override;
    bool readAttribute(quint16 attribute, QDataStream &stream) override;
    void writeAttribute(quint16 attribute, QDataStream &stream) const override;
};

// The Port object's class attributes (instance 0) that say which ports to
// read: 2, the highest instance number, and 8, the instance of the port
// the request came in through. Read one by one with Get_Attribute_Single,
// as the class's Get_Attributes_All reply differs between revisions.
class CipPortClassAttributes
{
public:
    enum Attribute : quint16 { MaxInstance = 2, EntryPort = 8 };

    // Takes one attribute as Get_Attribute_Single answers it: a UINT.
    // False for another attribute or data not two bytes long; the
    // attribute then counts as not read.
    bool setAttribute(quint16 attribute, const QByteArray &data);
    bool has(quint16 attribute) const { return present.contains(attribute); }

    quint16 maxInstance = 0;
    quint16 entryPort = 0;
    QList<quint16> present;
};

} // namespace CIP

#endif // CIPPORT_H
