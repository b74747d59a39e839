#include "datagram.h"

#include "netaddress.h"

#include <QDebug>
#include <QUdpSocket>

bool readPendingDatagram(QUdpSocket *socket, QByteArray *datagram, QHostAddress *sender, quint16 *senderPort)
{
    *datagram = QByteArray(int(qMax<qint64>(socket->pendingDatagramSize(), 0)), '\0');
    return socket->readDatagram(datagram->data(), datagram->size(), sender, senderPort) >= 0;
}

bool DatagramBatch::next(QByteArray *datagram, QHostAddress *sender, quint16 *senderPort)
{
    constexpr qint64 MaxQueuedBytes = 2 << 20;
    while (readable && queuedBytes < MaxQueuedBytes && socket->hasPendingDatagrams()) {
        Datagram read;
        readable = readPendingDatagram(socket, &read.data, &read.sender, &read.senderPort);
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
