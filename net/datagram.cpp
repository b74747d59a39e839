#include "datagram.h"

#include "netaddress.h"

#include <QDebug>
#include <QNetworkDatagram>
#include <QUdpSocket>

bool readPendingDatagram(QUdpSocket *socket, QByteArray *datagram, QHostAddress *sender, quint16 *senderPort,
                         int *interfaceIndex)
{
    // Every probe socket is bound to the any-address, so only the datagram
    // itself tells which interface it came in on. A read that fails leaves
    // the sender unset.
    const int announced = int(qMax<qint64>(socket->pendingDatagramSize(), 0));
    const QNetworkDatagram received = socket->receiveDatagram(announced);
    *datagram = received.data();
    if (datagram->size() < announced)
        datagram->append(QByteArray(announced - datagram->size(), '\0'));
    *sender = received.senderAddress();
    *senderPort = quint16(qMax(received.senderPort(), 0));
    *interfaceIndex = int(received.interfaceIndex());
    return !sender->isNull();
}

bool isForeignIpv4Sender(const QHostAddress &sender, OwnAddressTest *ownAddresses, const char *reader)
{
    bool isIpv4 = false;
    sender.toIPv4Address(&isIpv4);
    if (!isIpv4) {
        qDebug() << reader << ":"
                 << "Datagram without an IPv4 sender. Ignore!";
        return false;
    }
    if (ownAddresses->isOwn(sender)) {
        qDebug() << reader << ":"
                 << "Datagram from itself. Ignore!";
        return false;
    }
    return true;
}
