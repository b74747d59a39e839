#include "devicefinder.h"

#include "connsocket.h"
#include "datagram.h"
#include "datagrambatch.h"
#include "deviceprotocol.h"
#include "enipencapheader.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

namespace {

using ReaderSlot = void (DeviceFinder::*)();

// Finds the socket a probe of the given port uses for a probe address: the
// one made for this address that is still bound to this port, else the
// first closed socket that was made for this port, else a new one. A closed
// socket keeps its reader connection, so it is only ever taken over by a
// probe of its own kind.
QUdpSocket *probeSocket(DeviceFinder *finder, QList<ConnSocket *> &connSockets, quint32 address, quint16 port,
                        ReaderSlot reader, const char *readerName, const char *logPrefix)
{
    QUdpSocket *chosen = nullptr;
    QUdpSocket *spare = nullptr;
    for (ConnSocket *connSocket : qAsConst(connSockets)) {
        if (!connSocket || !connSocket->socket) {
            qDebug() << logPrefix << ": Error:"
                     << "Null socket in socket list";
            continue;
        }
        QUdpSocket *socket = connSocket->socket;
        if (connSocket->address == address && socket->localPort() == port) {
            chosen = socket;
            break;
        }
        if (!spare && connSocket->port == port && socket->state() == QAbstractSocket::UnconnectedState)
            spare = socket;
    }
    if (!chosen)
        chosen = spare;

    if (!chosen) {
        chosen = new QUdpSocket(finder);
        QObject::connect(chosen, &QIODevice::readyRead, finder, reader);
        // The reader goes on with a long batch in turns (DatagramBatch).
        QObject::connect(new DatagramBatch(chosen, readerName), &DatagramBatch::resume, finder, reader);
        auto *connSocket = new ConnSocket(chosen, address, port);
        connSockets.append(connSocket);
        QObject::connect(chosen, &QIODevice::readyRead, connSocket, &ConnSocket::onReadyRead);
    }

    // Every probe socket of a port shares it with the others (one per
    // interface address); a failed bind is not fatal, the send reports it.
    if (chosen->state() != QAbstractSocket::BoundState) {
        chosen->bind(QHostAddress::Any, port, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
        // Hundreds of devices may answer at the same moment. The system caps
        // the request at its own limit (Linux: net.core.rmem_max), where
        // the default (Windows: 64 KiB) would hold only a few hundred.
        chosen->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ProbeReceiveBufferSize);
    }
    return chosen;
}

SendResult sendProbe(QUdpSocket *socket, const QByteArray &payload, quint32 address, quint16 port,
                     const char *logPrefix)
{
    SendResult result;
    result.error = SendResult::Sent;
    if (socket->writeDatagram(payload, QHostAddress(address), port) < 0) {
        qDebug() << logPrefix << ":"
                 << "Datagram error =" << socket->error();
        result.error = socket->error();
    }
    return result;
}

} // namespace

// One run: both probes from every usable address entry, in the order the
// system lists its cards and their entries, then the remote networks.
void DeviceFinder::priv_startRun()
{
    // Replies still queued count for this run; a repeat of one handled
    // before it does too.
    for (ConnSocket *connSocket : qAsConst(connSockets)) {
        if (DatagramBatch *batch = connSocket ? DatagramBatch::of(connSocket->socket) : nullptr)
            batch->startNewRun();
    }
    searchStarted = QDateTime::currentDateTimeUtc();
    sentProbes = 0;
    for (QUdpSocket *socket : sweepSockets) {
        if (DatagramBatch *batch = socket ? DatagramBatch::of(socket) : nullptr)
            batch->startNewRun();
    }
    // A sweep still under way starts again from its first host below.
    if (sweepTimer->isActive())
        priv_finishSweep(true);
    searchingTimer->stop();
    searching = true;
    roundOpen = true;
    runReport.clear();
    emit runStarted();

    int entryNumber = 0;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &itfc : interfaces) {
        // One report row per address entry, in the order of the entries.
        int row = runReport.addInterface(itfc);
        const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            NetworkRow &reportRow = runReport.rows[row++];
            if (!isUsableAddressEntry(itfc, entry))
                continue;
            ++entryNumber;
            // The probe goes to the entry's own subnet, whatever its size, so
            // that every device of that subnet hears it.
            const quint32 probe = probeAddress(entry.ip().toIPv4Address(), entry.prefixLength(),
                                               itfc.flags().testFlag(QNetworkInterface::CanBroadcast));
            priv_sendDatagram(probe);
            reportRow.text = lastSend;
            priv_sendDatagram_opener(probe);
            reportRow.listIdentity = lastSend;
            reportRow.probes = ipv4ToString(probe);

            // One pass, so that nothing an interface reports about itself can
            // turn into a placeholder for a later value.
            const QString line =
                QStringLiteral("%1. %2 to %3 [Itfc name: %4 | Etr.IP: %5 | Itfc HW addr.: %6]")
                    .arg(QString::number(entryNumber), QHostAddress(probe).toString(), itfc.humanReadableName(),
                         itfc.name(), entry.ip().toString(), itfc.hardwareAddress());
            qDebug() << "MainWindow::on_pushButton_find_clicked"
                     << ":" << line;
        }
    }

    if (entryNumber == 0) {
        // Without an address of its own nothing can be sent, to a remote
        // network neither.
        for (const Ipv4Subnet &network : qAsConst(remote))
            runReport.addRemote(network, tr("not searched: no usable network connection"));
        searching = false;
        emit nothingSent();
        emit networksChanged();
        // Nothing can answer: the round is over at once.
        priv_endRound();
        return;
    }
    priv_searchRemoteNetworks();
    if (!sweepTimer->isActive())
        priv_lastProbeSent();
    emit networksChanged();
}

void DeviceFinder::priv_sendDatagram(quint32 address)
{
    static const char logPrefix[] = "MainWindow::priv_sendDatagram";
    QUdpSocket *socket = probeSocket(this, connSockets, address, TextProbePort, &DeviceFinder::readyRead,
                                     "MainWindow::readyRead", logPrefix);
    lastSend = sendProbe(socket, QByteArrayLiteral("Hi"), address, TextProbePort, logPrefix);
    if (lastSend.error == SendResult::Sent)
        ++sentProbes;
}

void DeviceFinder::priv_sendDatagram_opener(quint32 address)
{
    static const char logPrefix[] = "MainWindow::priv_sendDatagram_opener";
    QUdpSocket *socket = probeSocket(this, connSockets, address, ListIdentityPort, &DeviceFinder::readyRead_opener,
                                     "MainWindow::readyRead_opener", logPrefix);
    // The whole ListIdentity request is the 24-byte header: 63 00 and zeros.
    QByteArray payload;
    ENIP::ENIPEncapHeader(ENIP::ListIdentity).serialize(&payload);
    lastSend = sendProbe(socket, payload, address, ListIdentityPort, logPrefix);
    if (lastSend.error == SendResult::Sent)
        ++sentProbes;
}
