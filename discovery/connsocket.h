#ifndef CONNSOCKET_H
#define CONNSOCKET_H

#include <QObject>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QUdpSocket;
QT_END_NAMESPACE

// One probe socket with the probe address it was made for and an idle
// timer that closes the socket 2000 ms after its last datagram.
class ConnSocket : public QObject
{
    Q_OBJECT

public:
    ConnSocket(QUdpSocket *socket, quint32 address, quint16 port, QObject *parent = nullptr);
    ~ConnSocket() override;

    QUdpSocket *socket;
    quint32 address;
    // The port the socket was made for. A closed socket reports local port
    // 0, so this is what tells a closed text socket from a closed
    // EtherNet/IP one when a probe looks for a socket to take over.
    quint16 port;
    QTimer closeTimer;

public slots:
    void onReadyRead();
};

#endif // CONNSOCKET_H
