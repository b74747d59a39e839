#ifndef DATAGRAM_H
#define DATAGRAM_H

#include <QByteArray>
#include <QHostAddress>
#include <QQueue>

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

// The datagrams a reader handles for one readyRead signal, in arrival order.
// Before handing out the next one it reads what the socket holds by then,
// until 2 MiB wait here: a burst of replies waits in this queue while
// earlier ones are decoded and listed, instead of overflowing the kernel's
// receive buffer, and a flood faster than they can be handled still meets
// that buffer's limit, not the memory's.
class DatagramBatch
{
public:
    explicit DatagramBatch(QUdpSocket *socket)
        : socket(socket)
    { }

    // False when none is left. After a failed read the socket is not read
    // again in this batch (see readPendingDatagram); what was read is still
    // handed out.
    bool next(QByteArray *datagram, QHostAddress *sender, quint16 *senderPort, int *interfaceIndex);

private:
    struct Datagram
    {
        QByteArray data;
        QHostAddress sender;
        quint16 senderPort = 0;
        int interfaceIndex = 0;
    };

    QUdpSocket *socket;
    QQueue<Datagram> queue;
    qint64 queuedBytes = 0;
    bool readable = true;
};

#endif // DATAGRAM_H
