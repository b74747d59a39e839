#ifndef CIPNAMES_H
#define CIPNAMES_H

#include "cipidentity.h"

#include <QString>
#include <QStringList>

// Names of the numbers an Identity object holds, from CIP's public tables,
// translated in the context "CIP".
namespace CIP {

// The serial number as entries show it: upper-case hexadecimal, no leading
// zeros.
QString serialNumberText(quint32 serialNumber);

// The device profile's name: "Communications Adapter" for 0x0C; "Unknown"
// for a code without a public profile.
QString deviceTypeName(quint16 deviceType);
// "Operational" for 3; "Reserved" for a value without a meaning.
QString stateName(quint8 state);
// The status word bit by bit: owned or not, configured or not, the
// extended device status (bits 4 to 7) as a number, then every fault bit
// that is set.
QStringList statusTexts(quint16 status);
// The major faults the object reports, by its state (4 or 5) and its status
// bits 10 and 11; empty for a device without one.
QStringList majorFaults(const CipIdentityObject &identity);

// The name of a CIP general status code from the public table, "Attribute
// not supported" for 0x14; "Unknown status" for a code outside it.
QString generalStatusName(quint8 status);
// The code and its name, as messages and error lists show it: "0x14
// Attribute not supported".
QString generalStatusText(quint8 status);
// What a refusal means for the person at the device, with the code: "The
// device does not support this service (0x08)".
QString generalStatusMessage(quint8 status);
// The name of an encapsulation status code: "Invalid session handle" for
// 0x0064; "Unknown status" for a code outside the table.
QString encapsulationStatusName(quint32 status);

} // namespace CIP

#endif // CIPNAMES_H
