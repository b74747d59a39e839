#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "datagram.h"
#include "devicelistview.h"
#include "deviceprotocol.h"
#include "devicerecord.h"
#include "listedaddresses.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QListWidget>
#include <QStatusBar>
#include <QUdpSocket>

void MainWindow::readyRead()
{
    // The socket's readyRead, or its batch going on with what is left.
    DatagramBatch *batch = DatagramBatch::of(sender());
    if (!batch)
        return;

    const int firstNewRow = ui->listWidget->count();
    OwnAddressTest ownAddresses;
    QByteArray datagram;
    QHostAddress senderAddress;
    quint16 senderPort = 0;
    int interfaceIndex = 0;
    while (batch->next(&datagram, &senderAddress, &senderPort, &interfaceIndex)) {
        if (!isForeignIpv4Sender(senderAddress, &ownAddresses, "MainWindow::readyRead"))
            continue;

        // The reply is text up to its first zero byte.
        const int replyLength = int(qstrnlen(datagram.constData(), uint(datagram.size())));
        const DeviceRecord record = DeviceRecord::textDevice(deviceCount + 1, senderAddress.toIPv4Address(), senderPort,
                                                             datagram.left(replyLength), interfaceIndex);
        const QString line = record.line();
        if (!line.toLower().contains(QLatin1String("marovenda")))
            continue;
        if (priv_addDevice(line, record))
            qDebug() << "MainWindow::readyRead"
                     << ":"
                     << "Device added to the list (DragonFrame)";
    }

    if (ui->listWidget->count() > firstNewRow)
        layOutAppendedRows(ui->listWidget, firstNewRow);
    ui->statusbar->showMessage(priv_deviceCountText());
}

bool MainWindow::priv_addDevice(const QString &text, const DeviceRecord &record)
{
    const QString address = record.addressText();
    if (listedAddresses->contains(address))
        return false;

    auto *item = new QListWidgetItem(text, nullptr, QListWidgetItem::Type);
    item->setData(AddressRole, address);
    item->setData(ConfigRole, record.configAvailable());
    item->setData(DetailsRole, QVariant::fromValue(record));
    if (record.needsWarning())
        item->setData(Qt::DecorationRole, priv_warningIcon());
    ui->listWidget->insertItem(ui->listWidget->count(), item);
    ++deviceCount;

    // The first device of a run becomes current, which brings the list
    // buttons to life; later ones leave the selection alone. The readers
    // show the count once they have handled all their datagrams.
    if (ui->listWidget->count() == 1)
        ui->listWidget->setCurrentRow(0);
    return true;
}

bool MainWindow::priv_noteIdentity(quint32 ip, const ENIP::ListIdentityItem &identity)
{
    const QString address = ipv4ToString(ip);
    QListWidgetItem *entry = ui->listWidget->item(listedAddresses->row(address));
    if (!entry || entry->data(DetailsRole).userType() != qMetaTypeId<DeviceRecord>())
        return false;
    auto record = entry->data(DetailsRole).value<DeviceRecord>();
    const bool hadConflict = record.hasConflict();
    if (!record.addIdentity(identity))
        return false;
    entry->setData(DetailsRole, QVariant::fromValue(record));
    // A text-protocol entry's first identity is no conflict.
    if (!record.hasConflict())
        return false;

    const CIP::CipIdentityObject &listed = record.identities.first().identity;
    const CIP::CipIdentityObject &other = identity.identity;
    qDebug() << "MainWindow::readyRead_opener"
             << ":"
             << "IP address conflict at" << address << ":" << listed.productName.toString()
             << "S/N:" << qPrintable(serialNumberText(listed.serialNumber)) << ", product code =" << listed.productCode
             << ", vendor ID =" << listed.vendorId << "and" << other.productName.toString()
             << "S/N:" << qPrintable(serialNumberText(other.serialNumber)) << ", product code =" << other.productCode
             << ", vendor ID =" << other.vendorId;
    if (hadConflict)
        return false;
    ++conflictCount;
    entry->setData(Qt::DecorationRole, priv_warningIcon());
    return true;
}
