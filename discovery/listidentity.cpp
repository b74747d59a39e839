#include "devicefinder.h"

#include "datagram.h"
#include "datagrambatch.h"
#include "devicerecord.h"
#include "listidentityreply.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

// Reads the answers to the ListIdentity request: one entry per decoded
// identity item (ENIP::ListIdentityReply shows the reply's layout).
void DeviceFinder::readyRead_opener()
{
    // The socket's readyRead, or its batch going on with what is left.
    DatagramBatch *batch = DatagramBatch::of(sender());
    if (!batch)
        return;

    OwnAddressTest *ownAddresses = priv_ownAddresses();
    QByteArray datagram;
    QHostAddress senderAddress;
    quint16 senderPort = 0;
    int interfaceIndex = 0;
    bool counts = false;
    while (batch->next(&datagram, &senderAddress, &senderPort, &interfaceIndex)) {
        if (isForeignIpv4Sender(senderAddress, ownAddresses, "MainWindow::readyRead_opener"))
            counts = priv_takeListIdentity(datagram, senderAddress, senderPort, interfaceIndex) || counts;
    }
    priv_listAdded();
    if (counts)
        emit countsChanged();
}

// One ListIdentity reply: true when it listed a device or gave one a
// conflict.
bool DeviceFinder::priv_takeListIdentity(const QByteArray &datagram, const QHostAddress &senderAddress,
                                         quint16 senderPort, int interfaceIndex)
{
    bool counts = false;
    {
        // Decodes only the items that start inside the datagram, so a
        // hostile item count costs nothing.
        ENIP::ListIdentityReply reply;
        if (!reply.deserialize(datagram))
            return false;

        for (const ENIP::ListIdentityItem &item : qAsConst(reply.items)) {
            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Item: Type =" << item.typeId;
            if (!item.isType(ENIP::IdentityItemType))
                continue;

            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Identity item: Encap. protocol ver. = " << item.encapVersion;
            const CIP::CipSockaddr &sockaddr = item.sockaddr;
            qDebug()
                << "MainWindow::readyRead_opener"
                << ":"
                << "Identity item: Sockaddr: family =" << sockaddr.sinFamily << ", port =" << sockaddr.sinPort
                << ", addr =" << ipv4ToString(sockaddr.sinAddr) << ", zero ="
                << QByteArray(reinterpret_cast<const char *>(sockaddr.sinZero), sizeof sockaddr.sinZero).toHex(' ');

            if (!item.identityDecoded) {
                qDebug() << "MainWindow::readyRead_opener"
                         << ":"
                         << "Decode: Identity object: Decoding error!";
                continue;
            }

            const CIP::CipIdentityObject &identity = item.identity;
            const QString productName = identity.productName.toString();
            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Identity item: Identity object: Product name =" << productName;

            const quint32 ip = senderAddress.toIPv4Address();
            const DeviceRecord record =
                DeviceRecord::listIdentityDevice(deviceCount + 1, ip, senderPort, item, interfaceIndex);
            if (priv_addDevice(record.line(), record)) {
                counts = true;
                qDebug() << "MainWindow::readyRead_opener"
                         << ":"
                         << "Device added to the list (Opener)";
            } else if (priv_noteIdentity(ip, item)) {
                counts = true;
            }
        }
    }
    return counts;
}
