#include "mainwindow.h"

#include "cipidentity.h"
#include "cpf.h"
#include "datagram.h"
#include "deviceprotocol.h"
#include "enipencapheader.h"
#include "netaddress.h"

#include <QDataStream>
#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

namespace {

// Where the first item of a reply starts: the 24-byte encapsulation header,
// then the 16-bit item count.
constexpr qint64 FirstItemOffset = 24 + 2;
// Each item is a 16-bit type id and a 16-bit length before its data.
constexpr qint64 ItemHeaderSize = 4;
// The display port of every EtherNet/IP device is the text probe's port.
constexpr quint16 DisplayPort = TextProbePort;

} // namespace

// A ListIdentity reply:
//
//   0                24        26
//   +----------------+---------+--------+--------+---
//   | encap. header  | count N | item 1 | item 2 | ... N items
//   +----------------+---------+--------+--------+---
//
// and the data of an identity item (type 0x000C):
//
//   0            2                  18
//   +------------+------------------+---------------------------------+
//   | encap. ver | sockaddr (BE)    | identity object attributes      |
//   +------------+------------------+---------------------------------+
void MainWindow::readyRead_opener()
{
    auto *socket = qobject_cast<QUdpSocket *>(sender());
    if (!socket)
        return;

    QHostAddress senderAddress;
    quint16 senderPort = 0;
    while (socket->hasPendingDatagrams()) {
        QByteArray datagram;
        // A failed read may leave the datagram pending: trying again here
        // would never end, so wait for the next signal instead.
        if (!readPendingDatagram(socket, &datagram, &senderAddress, &senderPort))
            break;

        // The sockets are dual-stack: IPv4 senders arrive IPv4-mapped, and a
        // sender without an IPv4 form cannot be listed or opened.
        bool senderIsIpv4 = false;
        senderAddress.toIPv4Address(&senderIsIpv4);
        if (!senderIsIpv4) {
            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Datagram without an IPv4 sender. Ignore!";
            continue;
        }
        if (isOwnAddress(senderAddress)) {
            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Datagram from itself. Ignore!";
            continue;
        }

        QDataStream stream(datagram);
        ENIP::ENIPEncapHeader header(0);
        if (!header.deserialize(stream) || header.command != ENIP::ListIdentity)
            continue;

        // The item count is taken as it stands, and past the end of the data
        // every further item reads as empty. Only the items that start inside
        // the datagram were really sent, so the walk ends at the first one
        // that does not: a count of 65535 in an 8-byte datagram costs nothing.
        ENIP::CPFData cpf;
        cpf.deserialize(stream);
        qint64 itemOffset = FirstItemOffset;
        for (const ENIP::CPFItem &item : qAsConst(cpf.items)) {
            if (itemOffset >= datagram.size())
                break;
            itemOffset += ItemHeaderSize + item.data.size();

            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Item: Type =" << item.typeId;
            if (!item.isType(ENIP::IdentityItemType))
                continue;

            QDataStream itemStream(item.data);
            itemStream.setByteOrder(QDataStream::LittleEndian);
            quint16 encapVersion = 0;
            itemStream >> encapVersion;
            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Identity item: Encap. protocol ver. = " << encapVersion;

            CIP::CipSockaddr sockaddr;
            sockaddr.deserialize(itemStream);
            qDebug()
                << "MainWindow::readyRead_opener"
                << ":"
                << "Identity item: Sockaddr: family =" << sockaddr.sinFamily << ", port =" << sockaddr.sinPort
                << ", addr =" << ipv4ToString(sockaddr.sinAddr) << ", zero ="
                << QByteArray(reinterpret_cast<const char *>(sockaddr.sinZero), sizeof sockaddr.sinZero).toHex(' ');

            CIP::CipIdentityObject identity;
            if (!identity.deserialize(itemStream)) {
                qDebug() << "MainWindow::readyRead_opener"
                         << ":"
                         << "Decode: Identity object: Decoding error!";
                continue;
            }

            const QString productName = identity.productName.toString();
            qDebug() << "MainWindow::readyRead_opener"
                     << ":"
                     << "Identity item: Identity object: Product name =" << productName;

            // One pass, so a product name holding "%5" and the like is shown
            // as it is and the revision and serial number stay right.
            const QString line =
                QStringLiteral("%1.  %2:%3 | \"%4\" (%5.%6) S/N: %7")
                    .arg(QString::number(deviceCount + 1), ipv4ToString(senderAddress.toIPv4Address()),
                         QString::number(DisplayPort), productName, QString::number(identity.revisionMajor),
                         QString::number(identity.revisionMinor), QString::number(identity.serialNumber, 16).toUpper());
            // Only product codes 2 and 3 serve a configuration page.
            const bool configAvailable = identity.productCode == 2 || identity.productCode == 3;
            const DeviceIdentity details{encapVersion,           sockaddr.sinAddr,       sockaddr.sinPort,
                                         identity.vendorId,      identity.deviceType,    identity.productCode,
                                         identity.revisionMajor, identity.revisionMinor, identity.status,
                                         identity.serialNumber,  identity.state};
            if (priv_addDevice(line, senderAddress.toIPv4Address(), configAvailable, QVariant::fromValue(details)))
                qDebug() << "MainWindow::readyRead_opener"
                         << ":"
                         << "Device added to the list (Opener)";
        }
    }
}
