#include "datagrambatch.h"

#include "datagram.h"

#include "netaddress.h"

#include <QDebug>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

// The queue holds at most this many bytes; beyond it the kernel's buffer
// holds the rest until the queue has room again.
constexpr qint64 MaxQueuedBytes = 2 << 20;
// The senders of a batch keep at most this many bytes of their last
// datagram, and a batch knows at most this many senders; beyond either it
// starts afresh.
constexpr qint64 MaxRememberedBytes = 2 << 20;
constexpr int MaxSenders = 4096;

QString addressText(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? ipv4ToString(ipv4) : address.toString();
}

} // namespace

DatagramBatch::DatagramBatch(QUdpSocket *socket, const char *reader)
    : QObject(socket)
    , socket(socket)
    , reader(reader)
{
    sinceStart.start();
    clock = [this] { return sinceStart.nsecsElapsed() / 1000; };
    continuation.setSingleShot(true);
    continuation.setInterval(0);
    connect(&continuation, &QTimer::timeout, this, &DatagramBatch::resume);
}

DatagramBatch *DatagramBatch::of(QObject *sender)
{
    if (auto *batch = qobject_cast<DatagramBatch *>(sender))
        return batch;
    auto *socket = qobject_cast<QUdpSocket *>(sender);
    return socket ? socket->findChild<DatagramBatch *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool DatagramBatch::next(QByteArray *datagram, QHostAddress *sender, quint16 *senderPort, int *interfaceIndex)
{
    if (!inTurn) {
        inTurn = true;
        readable = true;
        turnStart = clock();
    } else if (clock() - turnStart >= TurnMicroseconds) {
        return endTurn(true);
    }
    readAhead();
    if (queue.isEmpty())
        return endTurn(false);

    Datagram first = queue.dequeue();
    queuedBytes -= first.data.size();
    const auto found = senderIndex.constFind(first.sender);
    // Senders forgotten meanwhile start again from an empty share.
    if (found != senderIndex.constEnd())
        senders[found.value()].queued = qMax(0, senders.at(found.value()).queued - 1);
    *datagram = first.data;
    *sender = first.sender;
    *senderPort = first.senderPort;
    *interfaceIndex = first.interfaceIndex;
    return true;
}

void DatagramBatch::readAhead()
{
    while (readable && queuedBytes < MaxQueuedBytes && socket->hasPendingDatagrams()
           && clock() - turnStart < TurnMicroseconds) {
        Datagram read;
        readable = readPendingDatagram(socket, &read.data, &read.sender, &read.senderPort, &read.interfaceIndex);
        if (!readable)
            break;
        if (batchStart < 0)
            batchStart = clock();

        auto found = senderIndex.constFind(read.sender);
        if (found == senderIndex.constEnd()) {
            if (senders.size() >= MaxSenders)
                forgetSenders();
            found = senderIndex.insert(read.sender, senders.size());
            senders.append(Sender{read.sender, QByteArray(), 0, 0, 0});
        } else {
            // Every sender known here has a datagram queued or handled.
            Sender &known = senders[found.value()];
            if (known.last == read.data) {
                ++known.repeats;
                skippedInBatch = true;
                continue;
            }
            if (known.queued >= SenderShare) {
                ++known.dropped;
                skippedInBatch = true;
                continue;
            }
        }
        Sender &from = senders[found.value()];
        rememberedBytes += read.data.size() - from.last.size();
        from.last = read.data;
        ++from.queued;
        queuedBytes += read.data.size();
        queue.enqueue(read);
        if (rememberedBytes > MaxRememberedBytes)
            forgetSenders();
    }
}

bool DatagramBatch::endTurn(bool timeUp)
{
    inTurn = false;
    if (!queue.isEmpty() || (timeUp && readable && socket->hasPendingDatagrams())) {
        continuation.start(0);
        return false;
    }
    // A batch in which a sender repeated itself, a flood most likely, lasts
    // a second, so that the flood is counted for that second and logged
    // once; its end is a last turn that finds nothing.
    const qint64 age = batchStart < 0 ? 0 : clock() - batchStart;
    if (skippedInBatch && age < BatchMicroseconds)
        continuation.start(int((BatchMicroseconds - age) / 1000) + 1);
    else
        endBatch();
    return false;
}

void DatagramBatch::startNewRun()
{
    endBatch();
}

void DatagramBatch::endBatch()
{
    forgetSenders();
    batchStart = -1;
    skippedInBatch = false;
}

void DatagramBatch::forgetSenders()
{
    for (const Sender &sender : qAsConst(senders)) {
        if (sender.repeats > 0)
            qDebug() << reader << ":"
                     << "Identical repeats skipped =" << sender.repeats << ", addr =" << addressText(sender.address);
        if (sender.dropped > 0)
            qDebug() << reader << ":"
                     << "Datagrams dropped, too many queued =" << sender.dropped
                     << ", addr =" << addressText(sender.address);
    }
    senders.clear();
    senderIndex.clear();
    rememberedBytes = 0;
}
