#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "datagram.h"
#include "devicelistview.h"
#include "deviceprotocol.h"
#include "listidentityreply.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QListWidget>
#include <QStatusBar>
#include <QUdpSocket>

namespace {

// The display port of every EtherNet/IP device is the text probe's port.
constexpr quint16 DisplayPort = TextProbePort;

} // namespace

// Reads the answers to the ListIdentity request: one entry per decoded
// identity item (ENIP::ListIdentityReply shows the reply's layout).
void MainWindow::readyRead_opener()
{
    auto *socket = qobject_cast<QUdpSocket *>(sender());
    if (!socket)
        return;

    const int firstNewRow = ui->listWidget->count();
    DatagramBatch batch(socket);
    OwnAddressTest ownAddresses;
    QByteArray datagram;
    QHostAddress senderAddress;
    quint16 senderPort = 0;
    bool listed = false;
    while (batch.next(&datagram, &senderAddress, &senderPort)) {
        if (!isForeignIpv4Sender(senderAddress, &ownAddresses, "MainWindow::readyRead_opener"))
            continue;

        // Decodes only the items that start inside the datagram, so a
        // hostile item count costs nothing.
        ENIP::ListIdentityReply reply;
        if (!reply.deserialize(datagram))
            continue;

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

            // One pass, so a product name holding "%5" and the like is shown
            // as it is and the revision and serial number stay right.
            const QString line =
                QStringLiteral("%1.  %2:%3 | \"%4\" (%5.%6) S/N: %7")
                    .arg(QString::number(deviceCount + 1), ipv4ToString(senderAddress.toIPv4Address()),
                         QString::number(DisplayPort), productName, QString::number(identity.revisionMajor),
                         QString::number(identity.revisionMinor), QString::number(identity.serialNumber, 16).toUpper());
            // Only product codes 2 and 3 serve a configuration page.
            const bool configAvailable = identity.productCode == 2 || identity.productCode == 3;
            if (priv_addDevice(line, senderAddress.toIPv4Address(), configAvailable, QVariant::fromValue(item))) {
                listed = true;
                qDebug() << "MainWindow::readyRead_opener"
                         << ":"
                         << "Device added to the list (Opener)";
            }
        }
    }
    if (listed) {
        layOutAppendedRows(ui->listWidget, firstNewRow);
        ui->statusbar->showMessage(tr("Found %n device(s)", "", ui->listWidget->count()));
    }
}
