#include "connsocket.h"

#include "datagram.h"
#include "datagrambatch.h"
#include "netaddress.h"

#include <QDebug>
#include <QUdpSocket>

ConnSocket::ConnSocket(QUdpSocket *socket, quint32 address, quint16 port, QObject *parent)
    : QObject(parent)
    , socket(socket)
    , address(address)
    , port(port)
{
    closeTimer.setSingleShot(true);
    closeTimer.setInterval(2000);
    connect(
        &closeTimer, &QTimer::timeout, &closeTimer,
        [this]() {
            // Datagrams read and not yet handled keep the socket open.
            if (this->socket && DatagramBatch::of(this->socket) && DatagramBatch::of(this->socket)->hasQueued()) {
                closeTimer.start();
            } else if (this->socket) {
                qDebug() << Q_FUNC_INFO << ":"
                         << "Closing socket on port =" << this->socket->localPort()
                         << ", addr =" << ipv4ToString(this->address);
                this->socket->close();
            } else {
                qDebug() << Q_FUNC_INFO << ": Error:"
                         << "Socket not found";
            }
        },
        Qt::DirectConnection);
    closeTimer.start();
}

ConnSocket::~ConnSocket()
{
    delete socket;
}

void ConnSocket::onReadyRead()
{
    closeTimer.start();
}
