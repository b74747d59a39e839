#ifndef DEVICEPROTOCOL_H
#define DEVICEPROTOCOL_H

#include "listidentityreply.h"

#include <QMetaType>
#include <QtGlobal>
#include <qnamespace.h>

// The UDP ports of the two discovery probes. Each probe socket is bound to
// its probe's port, and devices answer from and to it.
constexpr quint16 TextProbePort = 55555;
constexpr quint16 ListIdentityPort = 44818;

// Item data of a device-list entry: the device's dotted IPv4 address (the
// duplicate key and the address of its web page), whether it offers a
// configuration page, and what its reply held for the entry's tooltip: the
// reply text's bytes (QByteArray) for a text-protocol device, a
// ENIP::ListIdentityItem for an EtherNet/IP device.
enum DeviceItemRole : int {
    AddressRole = Qt::UserRole + 1,
    ConfigRole = Qt::UserRole + 2,
    DetailsRole = Qt::UserRole + 3
};

// The tooltip of an EtherNet/IP entry shows its identity item as decoded.
// The socket address there is the one the device reports for itself, which
// need not be the address its reply came from.
Q_DECLARE_METATYPE(ENIP::ListIdentityItem)

#endif // DEVICEPROTOCOL_H
