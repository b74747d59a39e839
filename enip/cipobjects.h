#ifndef CIPOBJECTS_H
#define CIPOBJECTS_H

#include "cipidentity.h"

#include <QHash>
#include <QList>

namespace CIP {

// CIP STRING, padded to an even number of bytes:
//
//   0        2                 2+n
//   +--------+-----------------+-----+
//   | n      | n characters    | pad | (pad byte 00 only when n is odd)
//   +--------+-----------------+-----+
//
// A read takes the pad byte when the data holds it; a string that ends the
// data may come without it.
class CipString : public ICipSerialize
{
public:
    CipString() = default;
    explicit CipString(const QByteArray &text)
        : text(text)
    { }

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False, with the text unchanged, when the data ends before n
    // characters.
    bool deserialize(QDataStream &stream) override;
    // False for more than 65535 characters.
    bool serialize(QDataStream &stream) override;

    QString toString() const { return QString::fromLatin1(text); }

    QByteArray text;
};

// TCP/IP Interface attribute 5, the interface configuration. Addresses are
// UDINTs, little-endian, of the address as a number (192.168.1.10 is
// 0xC0A8010A, on the wire 0A 01 A8 C0):
//
//   0          4          8          12          16          20
//   +----------+----------+----------+-----------+-----------+-------------+
//   | address  | netmask  | gateway  | name      | name      | domain name |
//   |          |          |          | server    | server 2  | (CipString) |
//   +----------+----------+----------+-----------+-----------+-------------+
class CipInterfaceConfiguration : public ICipSerialize
{
public:
    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False, with the value unchanged, for data that ends early.
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    bool operator==(const CipInterfaceConfiguration &other) const;
    bool operator!=(const CipInterfaceConfiguration &other) const { return !(*this == other); }

    quint32 ipAddress = 0;
    quint32 netmask = 0;
    quint32 gateway = 0;
    quint32 nameServer = 0;
    quint32 nameServer2 = 0;
    CipString domainName;
};

// TCP/IP Interface attribute 11, the last address conflict detected:
//
//   0          1             7                      35
//   +----------+-------------+----------------------+
//   | activity | remote MAC  | ARP PDU (28 bytes)   |
//   +----------+-------------+----------------------+
class CipLastConflict : public ICipSerialize
{
public:
    static constexpr int Size = 35;

    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // False, with the value unchanged, for fewer than 35 bytes.
    bool deserialize(QDataStream &stream) override;
    bool serialize(QDataStream &stream) override;

    // A conflict was recorded: some byte of it is not 0.
    bool any() const;

    quint8 activity = 0;
    quint8 remoteMac[6] = {};
    quint8 arpPdu[28] = {};
};

// The attributes of one object as this program reads them: all at once
// from a Get_Attributes_All reply (the stream overloads), or one by one
// from Get_Attribute_Single replies (setAttribute). present says which
// attributes hold a value read from the device; the others hold defaults.
class CipAttributeValues : public ICipSerialize
{
public:
    using ICipSerialize::deserialize;
    using ICipSerialize::serialize;

    // The attributes this program wants, in the order of the object's
    // Get_Attributes_All reply.
    virtual QList<quint16> attributes() const = 0;

    // Reads a Get_Attributes_All reply attribute by attribute, in order,
    // and stops after the last wanted one (later attributes are left
    // alone). Replaces present. A reply that ends early yields the
    // attributes that were complete, and false; missing() says which were
    // not.
    bool deserialize(QDataStream &stream) override;
    // Writes the Get_Attributes_All form, up to the last wanted attribute.
    bool serialize(QDataStream &stream) override;

    // Takes one attribute as Get_Attribute_Single answers it. False for an
    // attribute this program does not read and for data of the wrong
    // length; the attribute then counts as not read.
    bool setAttribute(quint16 attribute, const QByteArray &data);
    // One attribute as Set_Attribute_Single carries it; empty for an
    // attribute this program does not read.
    QByteArray attributeData(quint16 attribute) const;

    bool has(quint16 attribute) const { return present.contains(attribute); }
    QList<quint16> missing() const;

    QList<quint16> present;

protected:
    // Every attribute of the Get_Attributes_All reply up to the last wanted
    // one, in order; those not wanted are read to be skipped.
    virtual QList<quint16> replyAttributes() const { return attributes(); }
    // Reads one attribute; false, with its value unchanged, when the stream
    // ends inside it (or its value is refused).
    virtual bool readAttribute(quint16 attribute, QDataStream &stream) = 0;
    virtual void writeAttribute(quint16 attribute, QDataStream &stream) const = 0;
};

// The Identity object (class 0x01), attributes 1 to 7 and, when the reply
// holds it, 8:
//
//   0       2        4        6   7   8       10            14  15      15+n
//   +-------+--------+--------+---+---+-------+-------------+---+-------+-----+
//   |vendor |devtype |product |maj|min|status | serial no.  | n | name  |state|
//   +-------+--------+--------+---+---+-------+-------------+---+-------+-----+
//     1       2        3        4       5       6             7           8
class CipIdentityAttributes : public CipAttributeValues
{
public:
    enum Attribute : quint16 {
        VendorId = 1,
        DeviceType = 2,
        ProductCode = 3,
        Revision = 4,
        Status = 5,
        SerialNumber = 6,
        ProductName = 7,
        State = 8
    };

    QList<quint16> attributes() const override;
    // Reads state as well when a byte follows the name.
    bool deserialize(QDataStream &stream) override;
    using CipAttributeValues::deserialize;

    CipIdentityObject identity;

protected:
    bool readAttribute(quint16 attribute, QDataStream &stream) override;
    void writeAttribute(quint16 attribute, QDataStream &stream) const override;
};

// The TCP/IP Interface object (class 0xF5). Its Get_Attributes_All reply:
//
//   1 status       DWORD        7 safety network number  6 bytes
//   2 capability   DWORD        8 TTL value              USINT
//   3 control      DWORD        9 multicast config.      8 bytes
//   4 physical link UINT words + path       10 select ACD  BOOL
//   5 interface configuration             11 last conflict detected
//   6 host name    CipString
//
// Attributes 4, 7, 8 and 9 are read to be skipped, kept as sent.
class CipTcpIpInterface : public CipAttributeValues
{
public:
    enum Attribute : quint16 {
        Status = 1,
        ConfigurationCapability = 2,
        ConfigurationControl = 3,
        PhysicalLinkObject = 4,
        InterfaceConfiguration = 5,
        HostName = 6,
        SafetyNetworkNumber = 7,
        TtlValue = 8,
        McastConfig = 9,
        SelectAcd = 10,
        LastConflictDetected = 11
    };
    // Status bits.
    enum : quint32 {
        ConfigurationStatusMask = 0x0F,
        McastPending = 0x10,
        ConfigurationPending = 0x20,
        AcdConflict = 0x40,
        AcdFault = 0x80
    };
    // Configuration capability bits.
    enum : quint32 {
        BootpClient = 0x01,
        DnsClient = 0x02,
        DhcpClient = 0x04,
        DhcpDnsUpdate = 0x08,
        ConfigurationSettable = 0x10,
        HardwareConfigurable = 0x20,
        ChangeNeedsReset = 0x40,
        AcdCapable = 0x80
    };
    // Configuration control: how the device gets its address (bits 0-3),
    // and bit 4, DNS enable.
    enum ConfigurationMethod : quint32 {
        StaticAddress = 0,
        Bootp = 1,
        Dhcp = 2,
        ConfigurationMethodMask = 0x0F,
        DnsEnable = 0x10
    };

    QList<quint16> attributes() const override;

    quint32 configurationMethod() const { return control & ConfigurationMethodMask; }

    quint32 status = 0;
    quint32 capability = 0;
    quint32 control = 0;
    CipInterfaceConfiguration configuration;
    CipString hostName;
    quint8 selectAcd = 0;
    CipLastConflict lastConflict;
    // Attributes read only to be skipped, as the device sent them.
    QHash<quint16, QByteArray> skipped;

protected:
    QList<quint16> replyAttributes() const override;
    bool readAttribute(quint16 attribute, QDataStream &stream) override;
    void writeAttribute(quint16 attribute, QDataStream &stream) const override;
};

// The Ethernet Link object (class 0xF6), attributes 1 to 3, which open its
// Get_Attributes_All reply (counters and the rest follow and are left
// alone):
//
//   0           4             8                  14
//   +-----------+-------------+------------------+
//   | speed     | flags DWORD | physical address |
//   | Mbit/s    |             | 6 bytes          |
//   +-----------+-------------+------------------+
class CipEthernetLink : public CipAttributeValues
{
public:
    enum Attribute : quint16 { InterfaceSpeed = 1, InterfaceFlags = 2, PhysicalAddress = 3 };
    // Interface flags.
    enum : quint32 {
        LinkUp = 0x01,
        FullDuplex = 0x02,
        NegotiationStatusMask = 0x1C,
        ManualSettingNeedsReset = 0x20,
        LocalHardwareFault = 0x40
    };
    // Negotiation status, flags bits 2 to 4.
    enum NegotiationStatus {
        NegotiationInProgress = 0,
        NegotiationFailed = 1,
        DuplexNegotiationFailed = 2,
        Negotiated = 3,
        NotNegotiated = 4
    };

    QList<quint16> attributes() const override;

    int negotiationStatus() const { return int((flags & NegotiationStatusMask) >> 2); }

    quint32 speed = 0;
    quint32 flags = 0;
    quint8 macAddress[6] = {};

protected:
    bool readAttribute(quint16 attribute, QDataStream &stream) override;
    void writeAttribute(quint16 attribute, QDataStream &stream) const override;
};

} // namespace CIP

#endif // CIPOBJECTS_H
