#ifndef DEVICEPROTOCOL_H
#define DEVICEPROTOCOL_H

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
// DeviceIdentity for an EtherNet/IP device.
enum DeviceItemRole : int {
    AddressRole = Qt::UserRole + 1,
    ConfigRole = Qt::UserRole + 2,
    DetailsRole = Qt::UserRole + 3
};

// The decoded fields of an EtherNet/IP identity item that the entry's line
// does not show in full. The socket address is the one the device reports
// for itself, which need not be the address its reply came from.
struct DeviceIdentity
{
    quint16 encapVersion = 0;
    quint32 socketAddress = 0; // host byte order
    quint16 socketPort = 0;
    quint16 vendorId = 0;
    quint16 deviceType = 0;
    quint16 productCode = 0;
    quint8 revisionMajor = 0;
    quint8 revisionMinor = 0;
    quint16 status = 0;
    quint32 serialNumber = 0;
    quint8 state = 0;
};
Q_DECLARE_METATYPE(DeviceIdentity)

#endif // DEVICEPROTOCOL_H
