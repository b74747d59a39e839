#include "identityprobe.h"

#include "datagram.h"
#include "enipencapheader.h"

#include <QDebug>
#include <QUdpSocket>

namespace {
// Datagrams read in one turn before the event loop gets its turn.
constexpr int DatagramsPerTurn = 64;
} // namespace

IdentityProbe::IdentityProbe(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<ENIP::ListIdentityItem>();
    repeat.setInterval(RepeatMs);
    connect(&repeat, &QTimer::timeout, this, &IdentityProbe::priv_send);
    deadline.setSingleShot(true);
    // A coarse timer may end the wait 5 % early: 30 s are 30 s.
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, this, &IdentityProbe::priv_timeOut);
    continuation.setSingleShot(true);
    continuation.setInterval(0);
    connect(&continuation, &QTimer::timeout, this, &IdentityProbe::priv_read);
}

IdentityProbe::~IdentityProbe()
{
    stop();
}

void IdentityProbe::start(const QHostAddress &address, int timeoutMs, quint16 port)
{
    stop();
    target = address;
    targetPort = port;
    sentCount = 0;
    socket = new QUdpSocket(this);
    // An ephemeral port of its own: the answer comes back to the sender.
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        qDebug() << "IdentityProbe::start"
                 << ": Error:"
                 << "Bind failed:" << socket->error();
    }
    connect(socket, &QUdpSocket::readyRead, this, &IdentityProbe::priv_read);
    deadline.start(timeoutMs);
    repeat.start();
    priv_send();
}

void IdentityProbe::stop()
{
    repeat.stop();
    deadline.stop();
    continuation.stop();
    if (!socket)
        return;
    // stop() also runs from the socket's own readyRead: the socket goes
    // once that signal is done with it.
    socket->disconnect(this);
    socket->close();
    socket->deleteLater();
    socket = nullptr;
}

void IdentityProbe::priv_send()
{
    if (!socket)
        return;
    QByteArray request;
    ENIP::ENIPEncapHeader(ENIP::ListIdentity).serialize(&request);
    // A failed send (no route yet, the card still coming up) is tried
    // again at the next repeat.
    if (socket->writeDatagram(request, target, targetPort) == request.size())
        ++sentCount;
    else
        qDebug() << "IdentityProbe::priv_send"
                 << ": Error:"
                 << "Send to" << target.toString() << "failed:" << socket->error();
}

void IdentityProbe::priv_read()
{
    for (int turn = 0; socket && turn < DatagramsPerTurn && socket->hasPendingDatagrams(); ++turn) {
        QByteArray datagram;
        QHostAddress sender;
        quint16 senderPort = 0;
        int interfaceIndex = 0;
        if (!readPendingDatagram(socket, &datagram, &sender, &senderPort, &interfaceIndex))
            return;
        // Anyone may send to this port; only the probed address answers.
        bool isIpv4 = false;
        const quint32 from = sender.toIPv4Address(&isIpv4);
        if (!isIpv4 || from != target.toIPv4Address())
            continue;
        ENIP::ListIdentityReply reply;
        if (!reply.deserialize(datagram))
            continue;
        for (const ENIP::ListIdentityItem &item : qAsConst(reply.items)) {
            if (item.isType(ENIP::IdentityItemType) && item.identityDecoded) {
                stop();
                emit answered(item);
                return;
            }
        }
    }
    if (socket && socket->hasPendingDatagrams())
        continuation.start();
}

void IdentityProbe::priv_timeOut()
{
    stop();
    emit timedOut();
}
