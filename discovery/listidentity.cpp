#include "devicefinder.h"

#include "datagram.h"
#include "datagrambatch.h"
#include "devicerecord.h"
#include "listidentityreply.h"
#include "logtext.h"
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

        // The lines read as `qDebug() << ...` wrote them (items joined by
        // spaces, strings in quotes), put together directly: every reply
        // writes five.
        const QString prefix = QStringLiteral("MainWindow::readyRead_opener : ");
        for (const ENIP::ListIdentityItem &item : qAsConst(reply.items)) {
            qDebug().noquote() << prefix + QStringLiteral("Item: Type = ") + QString::number(item.typeId);
            if (!item.isType(ENIP::IdentityItemType))
                continue;

            qDebug().noquote() << prefix + QStringLiteral("Identity item: Encap. protocol ver. =  ")
                    + QString::number(item.encapVersion);
            const CIP::CipSockaddr &sockaddr = item.sockaddr;
            const QByteArray zero =
                QByteArray(reinterpret_cast<const char *>(sockaddr.sinZero), sizeof sockaddr.sinZero).toHex(' ');
            // The address is dotted digits and the zero field hex digits:
            // nothing in them that QDebug would escape.
            qDebug().noquote() << prefix + QStringLiteral("Identity item: Sockaddr: family = ")
                    + QString::number(sockaddr.sinFamily) + QStringLiteral(" , port = ")
                    + QString::number(sockaddr.sinPort) + QStringLiteral(" , addr = \"")
                    + ipv4ToString(sockaddr.sinAddr) + QStringLiteral("\" , zero = \"") + QLatin1String(zero)
                    + QLatin1Char('"');

            if (!item.identityDecoded) {
                qDebug() << "MainWindow::readyRead_opener"
                         << ":"
                         << "Decode: Identity object: Decoding error!";
                continue;
            }

            const CIP::CipIdentityObject &identity = item.identity;
            qDebug().noquote() << prefix + QStringLiteral("Identity item: Identity object: Product name = ")
                    + LogText::quoted(identity.productName.toString());

            const quint32 ip = senderAddress.toIPv4Address();
            const DeviceRecord record =
                DeviceRecord::listIdentityDevice(deviceCount + 1, ip, senderPort, item, interfaceIndex);
            if (priv_addDevice(record)) {
                counts = true;
                qDebug().noquote() << prefix + QStringLiteral("Device added to the list (Opener)");
            } else if (priv_noteIdentity(ip, item)) {
                counts = true;
            }
        }
    }
    return counts;
}
