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

template<size_t N> QString nameOf(const Name (&table)[N], quint16 code, const char *otherwise)
{
    for (const Name &entry : table) {
        if (entry.code == code)
            return translated(entry.name);
    }
    return translated(otherwise);
}

} // namespace

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

} // namespace CIP
