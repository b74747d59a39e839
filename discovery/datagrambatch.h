#ifndef DATAGRAMBATCH_H
#define DATAGRAMBATCH_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QQueue>
#include <QTimer>
#include <QVector>

#include <functional>

QT_BEGIN_NAMESPACE
class QUdpSocket;
QT_END_NAMESPACE

// The datagrams of one probe socket on their way to its reader, in arrival
// order. One lives as a child of each probe socket.
//
// A reader takes datagrams with next() for one turn of at most 5 ms, then
// returns to the event loop, so that no flood can stop the window. Before
// handing out a datagram, next() reads what the socket holds by then: the
// kernel's receive buffer is emptied far faster than a flood fills it, so
// the replies of quiet devices get in and wait here. A turn that ends with
// work left sets off a continuation, resume(), connected to the reader,
// since the socket signals readyRead only for datagrams that are new.
//
// A batch is what the reader handles from the first datagram until a turn
// finds nothing left; one in which datagrams were skipped lasts at least a
// second. A datagram byte-identical to the one its sender sent before in the
// batch is counted, not handed out again, and no sender may fill more than
// its share of the queue; at the end of the batch the reader's log says,
// once per sender, how many were skipped. A new search ends the batch but
// not the queue: a datagram read before it and handled after it counts as a
// reply to it.
class DatagramBatch : public QObject
{
    Q_OBJECT

public:
    // reader: the name that starts the batch's own log lines.
    DatagramBatch(QUdpSocket *socket, const char *reader);

    // The batch of a socket, or the batch itself: whichever of the two
    // signals called the reader. Null for any other sender.
    static DatagramBatch *of(QObject *sender);

    // False when this turn is over: the time is up, or nothing is left.
    // After a failed read the socket is not read again in this turn (see
    // readPendingDatagram); what was read is still handed out.
    bool next(QByteArray *datagram, QHostAddress *sender, quint16 *senderPort, int *interfaceIndex);
    bool hasQueued() const { return !queue.isEmpty(); }
    // A new search: the repeats counted so far are logged and forgotten.
    void startNewRun();

    // The clock of the turns, in microseconds; tests give one of their own.
    void setClock(std::function<qint64()> microseconds) { clock = std::move(microseconds); }
    static constexpr qint64 TurnMicroseconds = 5000;
    static constexpr qint64 BatchMicroseconds = 1000000;
    // What one sender may hold of the queue.
    static constexpr int SenderShare = 32;

signals:
    void resume();

private:
    struct Datagram
    {
        QByteArray data;
        QHostAddress sender;
        quint16 senderPort = 0;
        int interfaceIndex = 0;
    };
    struct Sender
    {
        QHostAddress address;
        QByteArray last;
        int queued = 0;
        qint64 repeats = 0;
        qint64 dropped = 0;
    };

    void readAhead();
    bool endTurn(bool timeUp);
    void endBatch();
    void forgetSenders();

    QUdpSocket *socket;
    const char *reader;
    QQueue<Datagram> queue;
    qint64 queuedBytes = 0;
    bool readable = true;
    bool inTurn = false;
    qint64 turnStart = 0;
    qint64 batchStart = -1;
    bool skippedInBatch = false;
    QElapsedTimer sinceStart;
    std::function<qint64()> clock;
    QTimer continuation;
    // The senders of this batch, in the order they were first seen.
    QVector<Sender> senders;
    QHash<QHostAddress, int> senderIndex;
    qint64 rememberedBytes = 0;
};

#endif // DATAGRAMBATCH_H
