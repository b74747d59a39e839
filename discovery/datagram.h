#ifndef DATAGRAM_H
#define DATAGRAM_H

#include <QByteArray>

QT_BEGIN_NAMESPACE
class QHostAddress;
class QUdpSocket;
QT_END_NAMESPACE

// Reads the socket's next pending datagram into a buffer of the announced
// size, zero-filled first so that a short read never leaves bytes behind
// that were not received. Returns false when the read fails; the datagram
// may then still be pending, so the caller must not try again at once.
bool readPendingDatagram(QUdpSocket *socket, QByteArray *datagram, QHostAddress *sender, quint16 *senderPort);

#endif // DATAGRAM_H
