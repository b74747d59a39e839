#ifndef CIPNAMES_H
#define CIPNAMES_H

#include "cipidentity.h"

#include <QString>
#include <QStringList>

// Names of the numbers an Identity object holds, from CIP's public tables,
// translated in the context "CIP".
namespace CIP {

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

} // namespace CIP

#endif // CIPNAMES_H
