#include "devicefinder.h"

#include "datagram.h"
#include "datagrambatch.h"
#include "deviceprotocol.h"
#include "enipencapheader.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

namespace {

const char SweepLog[] = "MainWindow::priv_sweepNext";

} // namespace

// Each remote network gets one broadcast of both probes, sent like those
// of the computer's own networks (the routing table picks the card; a
// router may forward it), and then the unicast sweep of its hosts.
void DeviceFinder::priv_searchRemoteNetworks()
{
    if (remote.isEmpty())
        return;
    sweepRows.clear();
    for (const Ipv4Subnet &network : qAsConst(remote)) {
        const int row = runReport.addRemote(network, QString());
        const quint32 broadcast = network.broadcast();
        priv_sendDatagram(broadcast);
        runReport.rows[row].text = lastSend;
        priv_sendDatagram_opener(broadcast);
        runReport.rows[row].listIdentity = lastSend;
        runReport.rows[row].sweep = NetworkRow::Waiting;
        runReport.rows[row].sweepTotal = qint64(network.hostCount()) * 2;
        sweepRows.append(row);
        qDebug() << "MainWindow::priv_searchRemoteNetworks"
                 << ":"
                 << "Broadcast to remote network =" << network.text() << ", addr =" << ipv4ToString(broadcast);
    }

    // One socket per probe port for the whole sweep, bound like the others
    // so that devices may answer to the probe port or to the sender's.
    const quint16 ports[2] = {TextProbePort, ListIdentityPort};
    for (int probe = 0; probe < 2; ++probe) {
        if (!sweepSockets[probe]) {
            sweepSockets[probe] = new QUdpSocket(this);
            const auto reader = probe == 0 ? &DeviceFinder::readyRead : &DeviceFinder::readyRead_opener;
            connect(sweepSockets[probe], &QIODevice::readyRead, this, reader);
            // The reader goes on with a long batch in turns, as on every
            // probe socket.
            connect(new DatagramBatch(sweepSockets[probe],
                                      probe == 0 ? "MainWindow::readyRead" : "MainWindow::readyRead_opener"),
                    &DatagramBatch::resume, this, reader);
        }
        QUdpSocket *socket = sweepSockets[probe];
        if (socket->state() != QAbstractSocket::BoundState) {
            socket->bind(QHostAddress::Any, ports[probe],
                         QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ProbeReceiveBufferSize);
        }
    }

    sweepPlan = SweepPlan(remote);
    qDebug() << "MainWindow::priv_searchRemoteNetworks"
             << ":"
             << "Sweep started: networks =" << remote.size() << ", datagrams =" << sweepPlan.total()
             << ", per second at most =" << SweepPacer::PerSecond + SweepPacer::Burst;
    emit sweepStarted(sweepPlan.total() / 2);
    sweepPacer.start();
    sweepTimer->start();
    priv_sweepNext();
}

void DeviceFinder::priv_sweepNext()
{
    static const QByteArray textProbe = QByteArrayLiteral("Hi");
    static const QByteArray listIdentityProbe = [] {
        QByteArray payload;
        ENIP::ENIPEncapHeader(ENIP::ListIdentity).serialize(&payload);
        return payload;
    }();

    for (int due = sweepPacer.due(); due > 0 && !sweepPlan.atEnd(); --due) {
        const SweepPlan::Datagram datagram = sweepPlan.next();
        NetworkRow &row = runReport.rows[sweepRows.at(datagram.network)];
        if (row.sweep == NetworkRow::Waiting) {
            row.sweep = NetworkRow::Sweeping;
            qDebug() << SweepLog << ":"
                     << "Sweeping network =" << row.address << ", from =" << ipv4ToString(datagram.host)
                     << ", to =" << ipv4ToString(row.network.firstHost() + row.network.hostCount() - 1);
        }
        const int probe = datagram.listIdentity ? 1 : 0;
        QUdpSocket *socket = sweepSockets[probe];
        const quint16 port = probe == 0 ? TextProbePort : ListIdentityPort;
        sweepPacer.take(1);
        ++row.sweepSent;
        if (socket->writeDatagram(probe == 0 ? textProbe : listIdentityProbe, QHostAddress(datagram.host), port) < 0) {
            // The first failure of each probe per network is logged; the
            // rest are counted in the sweep's last line.
            if (row.sweepErrors[probe]++ == 0) {
                row.firstSweepError[probe].error = socket->error();
                qDebug() << SweepLog << ":"
                         << "Datagram error =" << socket->error() << ", addr =" << ipv4ToString(datagram.host)
                         << ", port =" << port;
            }
        }
        if (row.sweepSent == row.sweepTotal) {
            row.sweep = NetworkRow::Swept;
            qDebug() << SweepLog << ":"
                     << "Swept network =" << row.address << ", datagrams sent =" << row.sweepSent
                     << ", failed =" << row.sweepErrors[0] + row.sweepErrors[1];
        }
    }
    emit sweepProgress(sweepPlan.done() / 2);
    if (sweepPlan.atEnd())
        priv_finishSweep(false);
    else
        emit networksChanged();
}

void DeviceFinder::priv_finishSweep(bool cancelled)
{
    sweepTimer->stop();
    if (cancelled) {
        for (int index : qAsConst(sweepRows)) {
            NetworkRow &row = runReport.rows[index];
            if (row.sweep == NetworkRow::Swept)
                continue;
            row.sweep = NetworkRow::Cancelled;
            qDebug() << "MainWindow::priv_finishSweep"
                     << ":"
                     << "Sweep cancelled: network =" << row.address << ", datagrams sent =" << row.sweepSent
                     << ", of =" << row.sweepTotal;
        }
    }
    sweepRows.clear();
    sweepPlan = SweepPlan();
    emit sweepFinished();
    priv_lastProbeSent();
    emit networksChanged();
}
