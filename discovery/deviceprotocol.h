#ifndef DEVICEPROTOCOL_H
#define DEVICEPROTOCOL_H

#include <QtGlobal>
#include <qnamespace.h>

// The UDP ports of the two discovery probes. Each probe socket is bound to
// its probe's port, and devices answer from and to it.
constexpr quint16 TextProbePort = 55555;
constexpr quint16 ListIdentityPort = 44818;
// The receive buffer each probe socket asks for.
constexpr int ProbeReceiveBufferSize = 1 << 20;

// Item data of a device-list entry: the device's dotted IPv4 address (the
// address of its web page, and the key of its record in the finder, from
// which the entry's tooltip, copy texts and details are made) and whether
// it offers a configuration page.
enum DeviceItemRole : int { AddressRole = Qt::UserRole + 1, ConfigRole = Qt::UserRole + 2 };

#endif // DEVICEPROTOCOL_H
