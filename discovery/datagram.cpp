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

bool DatagramBatch::next(QByteArray *datagram, QHostAddress *sender, quint16 *senderPort, int *interfaceIndex)
{
    constexpr qint64 MaxQueuedBytes = 2 << 20;
    while (readable && queuedBytes < MaxQueuedBytes && socket->hasPendingDatagrams()) {
        Datagram read;
        readable = readPendingDatagram(socket, &read.data, &read.sender, &read.senderPort, &read.interfaceIndex);
        if (readable) {
            queuedBytes += read.data.size();
            queue.enqueue(read);
        }
    }
    if (queue.isEmpty())
        return false;
    Datagram first = queue.dequeue();
    queuedBytes -= first.data.size();
    *datagram = first.data;
    *sender = first.sender;
    *senderPort = first.senderPort;
    *interfaceIndex = first.interfaceIndex;
    return true;
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
