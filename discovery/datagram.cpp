#include "datagram.h"

#include <QHostAddress>
#include <QUdpSocket>

bool readPendingDatagram(QUdpSocket *socket, QByteArray *datagram, QHostAddress *sender, quint16 *senderPort)
{
    *datagram = QByteArray(int(qMax<qint64>(socket->pendingDatagramSize(), 0)), '\0');
    return socket->readDatagram(datagram->data(), datagram->size(), sender, senderPort) >= 0;
}
