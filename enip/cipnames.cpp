#include "cipnames.h"

#include <QCoreApplication>

namespace CIP {

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("CIP", text);
}

struct Name
{
    quint16 code;
    const char *name;
};

const Name DeviceTypes[] = {
    {0x00, QT_TRANSLATE_NOOP("CIP", "Generic Device")},
    {0x02, QT_TRANSLATE_NOOP("CIP", "AC Drive")},
    {0x03, QT_TRANSLATE_NOOP("CIP", "Motor Overload")},
    {0x04, QT_TRANSLATE_NOOP("CIP", "Limit Switch")},
    {0x05, QT_TRANSLATE_NOOP("CIP", "Inductive Proximity Switch")},
    {0x06, QT_TRANSLATE_NOOP("CIP", "Photoelectric Sensor")},
    {0x07, QT_TRANSLATE_NOOP("CIP", "General Purpose Discrete I/O")},
    {0x09, QT_TRANSLATE_NOOP("CIP", "Resolver")},
    {0x0C, QT_TRANSLATE_NOOP("CIP", "Communications Adapter")},
    {0x0E, QT_TRANSLATE_NOOP("CIP", "Programmable Logic Controller")},
    {0x10, QT_TRANSLATE_NOOP("CIP", "Position Controller")},
    {0x13, QT_TRANSLATE_NOOP("CIP", "DC Drive")},
    {0x15, QT_TRANSLATE_NOOP("CIP", "Contactor")},
    {0x16, QT_TRANSLATE_NOOP("CIP", "Motor Starter")},
    {0x17, QT_TRANSLATE_NOOP("CIP", "Soft Start")},
    {0x18, QT_TRANSLATE_NOOP("CIP", "Human-Machine Interface")},
    {0x1A, QT_TRANSLATE_NOOP("CIP", "Mass Flow Controller")},
    {0x1B, QT_TRANSLATE_NOOP("CIP", "Pneumatic Valve")},
    {0x1C, QT_TRANSLATE_NOOP("CIP", "Vacuum Pressure Gauge")},
    {0x22, QT_TRANSLATE_NOOP("CIP", "Encoder")},
    {0x23, QT_TRANSLATE_NOOP("CIP", "Safety Discrete I/O Device")},
    {0x25, QT_TRANSLATE_NOOP("CIP", "CIP Motion Drive")},
    {0x2B, QT_TRANSLATE_NOOP("CIP", "Generic Device (keyable)")},
    {0x2C, QT_TRANSLATE_NOOP("CIP", "Managed Ethernet Switch")},
    {0xC8, QT_TRANSLATE_NOOP("CIP", "Embedded Component")},
};

const Name States[] = {
    {0, QT_TRANSLATE_NOOP("CIP", "Nonexistent")},
    {1, QT_TRANSLATE_NOOP("CIP", "Self-testing")},
    {2, QT_TRANSLATE_NOOP("CIP", "Standby")},
    {3, QT_TRANSLATE_NOOP("CIP", "Operational")},
    {4, QT_TRANSLATE_NOOP("CIP", "Major recoverable fault")},
    {5, QT_TRANSLATE_NOOP("CIP", "Major unrecoverable fault")},
    {255, QT_TRANSLATE_NOOP("CIP", "Default")},
};

// The status word's fault bits, lowest first.
const Name FaultBits[] = {
    {8, QT_TRANSLATE_NOOP("CIP", "Minor recoverable fault")},
    {9, QT_TRANSLATE_NOOP("CIP", "Minor unrecoverable fault")},
    {10, QT_TRANSLATE_NOOP("CIP", "Major recoverable fault")},
    {11, QT_TRANSLATE_NOOP("CIP", "Major unrecoverable fault")},
};

// CIP general status codes.
const Name GeneralStatuses[] = {
    {0x00, QT_TRANSLATE_NOOP("CIP", "Success")},
    {0x01, QT_TRANSLATE_NOOP("CIP", "Connection failure")},
    {0x02, QT_TRANSLATE_NOOP("CIP", "Resource unavailable")},
    {0x03, QT_TRANSLATE_NOOP("CIP", "Invalid parameter value")},
    {0x04, QT_TRANSLATE_NOOP("CIP", "Path segment error")},
    {0x05, QT_TRANSLATE_NOOP("CIP", "Path destination unknown")},
    {0x06, QT_TRANSLATE_NOOP("CIP", "Partial transfer")},
    {0x07, QT_TRANSLATE_NOOP("CIP", "Connection lost")},
    {0x08, QT_TRANSLATE_NOOP("CIP", "Service not supported")},
    {0x09, QT_TRANSLATE_NOOP("CIP", "Invalid attribute value")},
    {0x0A, QT_TRANSLATE_NOOP("CIP", "Attribute list error")},
    {0x0B, QT_TRANSLATE_NOOP("CIP", "Already in requested mode/state")},
    {0x0C, QT_TRANSLATE_NOOP("CIP", "Object state conflict")},
    {0x0D, QT_TRANSLATE_NOOP("CIP", "Object already exists")},
    {0x0E, QT_TRANSLATE_NOOP("CIP", "Attribute not settable")},
    {0x0F, QT_TRANSLATE_NOOP("CIP", "Privilege violation")},
    {0x10, QT_TRANSLATE_NOOP("CIP", "Device state conflict")},
    {0x11, QT_TRANSLATE_NOOP("CIP", "Reply data too large")},
    {0x12, QT_TRANSLATE_NOOP("CIP", "Fragmentation of a primitive value")},
    {0x13, QT_TRANSLATE_NOOP("CIP", "Not enough data")},
    {0x14, QT_TRANSLATE_NOOP("CIP", "Attribute not supported")},
    {0x15, QT_TRANSLATE_NOOP("CIP", "Too much data")},
    {0x16, QT_TRANSLATE_NOOP("CIP", "Object does not exist")},
    {0x17, QT_TRANSLATE_NOOP("CIP", "Service fragmentation sequence not in progress")},
    {0x18, QT_TRANSLATE_NOOP("CIP", "No stored attribute data")},
    {0x19, QT_TRANSLATE_NOOP("CIP", "Store operation failure")},
    {0x1A, QT_TRANSLATE_NOOP("CIP", "Routing failure, request packet too large")},
    {0x1B, QT_TRANSLATE_NOOP("CIP", "Routing failure, response packet too large")},
    {0x1C, QT_TRANSLATE_NOOP("CIP", "Missing attribute list entry data")},
    {0x1D, QT_TRANSLATE_NOOP("CIP", "Invalid attribute value list")},
    {0x1E, QT_TRANSLATE_NOOP("CIP", "Embedded service error")},
    {0x1F, QT_TRANSLATE_NOOP("CIP", "Vendor specific error")},
    {0x20, QT_TRANSLATE_NOOP("CIP", "Invalid parameter")},
    {0x21, QT_TRANSLATE_NOOP("CIP", "Write-once value or medium already written")},
    {0x22, QT_TRANSLATE_NOOP("CIP", "Invalid reply received")},
    {0x23, QT_TRANSLATE_NOOP("CIP", "Buffer overflow")},
    {0x24, QT_TRANSLATE_NOOP("CIP", "Message format error")},
    {0x25, QT_TRANSLATE_NOOP("CIP", "Key failure in path")},
    {0x26, QT_TRANSLATE_NOOP("CIP", "Path size invalid")},
    {0x27, QT_TRANSLATE_NOOP("CIP", "Unexpected attribute in list")},
    {0x28, QT_TRANSLATE_NOOP("CIP", "Invalid member ID")},
    {0x29, QT_TRANSLATE_NOOP("CIP", "Member not settable")},
    {0x2A, QT_TRANSLATE_NOOP("CIP", "Group 2 only server general failure")},
    {0x2B, QT_TRANSLATE_NOOP("CIP", "Unknown Modbus error")},
    {0x2C, QT_TRANSLATE_NOOP("CIP", "Attribute not gettable")},
};

// What the common refusals mean at the device; "%1" is the code.
const Name GeneralStatusMessages[] = {
    {0x02, QT_TRANSLATE_NOOP("CIP", "The device is busy and cannot take the request now (%1)")},
    {0x03, QT_TRANSLATE_NOOP("CIP", "The device refused a value of the request (%1)")},
    {0x04, QT_TRANSLATE_NOOP("CIP", "The device does not understand the request's path (%1)")},
    {0x05, QT_TRANSLATE_NOOP("CIP", "The device does not have this object (%1)")},
    {0x08, QT_TRANSLATE_NOOP("CIP", "The device does not support this service (%1)")},
    {0x09, QT_TRANSLATE_NOOP("CIP", "The device refused the value (%1)")},
    {0x0C, QT_TRANSLATE_NOOP("CIP", "The device cannot do this in its present configuration (%1)")},
    {0x0E, QT_TRANSLATE_NOOP("CIP", "The device does not allow this value to be changed (%1)")},
    {0x0F, QT_TRANSLATE_NOOP("CIP", "The device does not permit this change (%1)")},
    {0x10, QT_TRANSLATE_NOOP("CIP", "The device cannot do this in its present state (%1)")},
    {0x13, QT_TRANSLATE_NOOP("CIP", "The device expected more data (%1)")},
    {0x14, QT_TRANSLATE_NOOP("CIP", "The device does not support this attribute (%1)")},
    {0x15, QT_TRANSLATE_NOOP("CIP", "The device expected less data (%1)")},
    {0x16, QT_TRANSLATE_NOOP("CIP", "The device does not have this object (%1)")},
    {0x20, QT_TRANSLATE_NOOP("CIP", "The device refused a value of the request (%1)")},
};

// Encapsulation status codes.
const Name EncapStatuses[] = {
    {0x0000, QT_TRANSLATE_NOOP("CIP", "Success")},
    {0x0001, QT_TRANSLATE_NOOP("CIP", "Invalid or unsupported command")},
    {0x0002, QT_TRANSLATE_NOOP("CIP", "Insufficient memory")},
    {0x0003, QT_TRANSLATE_NOOP("CIP", "Incorrect data")},
    {0x0064, QT_TRANSLATE_NOOP("CIP", "Invalid session handle")},
    {0x0065, QT_TRANSLATE_NOOP("CIP", "Invalid length")},
    {0x0069, QT_TRANSLATE_NOOP("CIP", "Unsupported protocol revision")},
    {0x006A, QT_TRANSLATE_NOOP("CIP", "Encapsulated CIP service not allowed on this port")},
};

QString codeText(quint8 status)
{
    return QStringLiteral("0x") + QString::number(status, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

template<size_t N> QString nameOf(const Name (&table)[N], quint16 code, const char *otherwise)
{
    for (const Name &entry : table) {
        if (entry.code == code)
            return translated(entry.name);
    }
    return translated(otherwise);
}

} // namespace

QString serialNumberText(quint32 serialNumber)
{
    return QString::number(serialNumber, 16).toUpper();
}

QString deviceTypeName(quint16 deviceType)
{
    return nameOf(DeviceTypes, deviceType, QT_TRANSLATE_NOOP("CIP", "Unknown"));
}

QString stateName(quint8 state)
{
    return nameOf(States, state, QT_TRANSLATE_NOOP("CIP", "Reserved"));
}

QStringList statusTexts(quint16 status)
{
    QStringList texts = {
        translated(status & 0x0001 ? QT_TRANSLATE_NOOP("CIP", "Owned") : QT_TRANSLATE_NOOP("CIP", "Not owned")),
        translated(status & 0x0004 ? QT_TRANSLATE_NOOP("CIP", "Configured")
                                   : QT_TRANSLATE_NOOP("CIP", "Not configured")),
        translated(QT_TRANSLATE_NOOP("CIP", "Extended device status %1")).arg((status >> 4) & 0x0F),
    };
    for (const Name &bit : FaultBits) {
        if (status & (1u << bit.code))
            texts.append(translated(bit.name));
    }
    return texts;
}

QStringList majorFaults(const CipIdentityObject &identity)
{
    QStringList faults;
    if (identity.state == 4 || identity.state == 5)
        faults.append(translated(QT_TRANSLATE_NOOP("CIP", "%1 (state %2)"))
                          .arg(stateName(identity.state), QString::number(identity.state)));
    for (const Name &bit : FaultBits) {
        if (bit.code >= 10 && (identity.status & (1u << bit.code)))
            faults.append(translated(QT_TRANSLATE_NOOP("CIP", "%1 (status bit %2)"))
                              .arg(translated(bit.name), QString::number(bit.code)));
    }
    return faults;
}

QString generalStatusName(quint8 status)
{
    return nameOf(GeneralStatuses, status, QT_TRANSLATE_NOOP("CIP", "Unknown status"));
}

QString generalStatusText(quint8 status)
{
    return QStringLiteral("%1 %2").arg(codeText(status), generalStatusName(status));
}

QString generalStatusMessage(quint8 status)
{
    for (const Name &entry : GeneralStatusMessages) {
        if (entry.code == status)
            return translated(entry.name).arg(codeText(status));
    }
    return translated(QT_TRANSLATE_NOOP("CIP", "The device refused the request: %1 (%2)"))
        .arg(generalStatusName(status), codeText(status));
}

QString encapsulationStatusName(quint32 status)
{
    if (status > 0xFFFF)
        return translated(QT_TRANSLATE_NOOP("CIP", "Unknown status"));
    return nameOf(EncapStatuses, quint16(status), QT_TRANSLATE_NOOP("CIP", "Unknown status"));
}

} // namespace CIP
