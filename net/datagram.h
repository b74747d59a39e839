#ifndef DATAGRAM_H
#define DATAGRAM_H

#include <QByteArray>
#include <QHostAddress>

QT_BEGIN_NAMESPACE
class QUdpSocket;
QT_END_NAMESPACE

// Reads the socket's next pending datagram into a buffer of the announced
// size, zero-filled past what was received, with the index of the
// interface it arrived on (0 where the system does not tell). Returns false
// when the read fails; the datagram may then still be pending, so the
// caller must not try again at once.
bool readPendingDatagram(QUdpSocket *socket, QByteArray *datagram, QHostAddress *sender, quint16 *senderPort,
                         int *interfaceIndex);

class OwnAddressTest;

// True when a reader should handle a datagram from this sender. A sender
// without an IPv4 form (the sockets are dual-stack, so IPv4 senders arrive
// IPv4-mapped) cannot be listed or opened, and the program's own broadcasts
// come back to it: both are logged under the reader's name and dropped.
bool isForeignIpv4Sender(const QHostAddress &sender, OwnAddressTest *ownAddresses, const char *reader);

#endif // DATAGRAM_H
