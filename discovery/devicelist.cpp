#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "datagram.h"
#include "devicelistview.h"
#include "deviceprotocol.h"
#include "listedaddresses.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QListWidget>
#include <QStatusBar>
#include <QUdpSocket>

void MainWindow::readyRead()
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
    while (batch.next(&datagram, &senderAddress, &senderPort)) {
        if (!isForeignIpv4Sender(senderAddress, &ownAddresses, "MainWindow::readyRead"))
            continue;

        // The reply is text up to its first zero byte. The line is built in
        // one pass, so a reply holding "%1" and the like is shown as it is.
        const int replyLength = int(qstrnlen(datagram.constData(), uint(datagram.size())));
        const QString reply = QString::fromUtf8(datagram.constData(), replyLength);
        const QString line = QStringLiteral("%1.  %2:%3 | %4")
                                 .arg(QString::number(deviceCount + 1), ipv4ToString(senderAddress.toIPv4Address()),
                                      QString::number(senderPort), reply);
        if (!line.toLower().contains(QLatin1String("marovenda")))
            continue;
        if (priv_addDevice(line, senderAddress.toIPv4Address(), true, datagram.left(replyLength)))
            qDebug() << "MainWindow::readyRead"
                     << ":"
                     << "Device added to the list (DragonFrame)";
    }

    if (ui->listWidget->count() > firstNewRow)
        layOutAppendedRows(ui->listWidget, firstNewRow);
    ui->statusbar->showMessage(tr("Found %n device(s)", "", ui->listWidget->count()));
}

bool MainWindow::priv_addDevice(const QString &text, quint32 ip, bool configAvailable, const QVariant &details)
{
    const QString address = ipv4ToString(ip);
    if (listedAddresses->contains(address))
        return false;

    auto *item = new QListWidgetItem(text, nullptr, QListWidgetItem::Type);
    item->setData(AddressRole, address);
    item->setData(ConfigRole, configAvailable);
    item->setData(DetailsRole, details);
    ui->listWidget->insertItem(ui->listWidget->count(), item);
    ++deviceCount;

    // The first device of a run becomes current, which brings the list
    // buttons to life; later ones leave the selection alone. The readers
    // show the count once they have handled all their datagrams.
    if (ui->listWidget->count() == 1)
        ui->listWidget->setCurrentRow(0);
    return true;
}
