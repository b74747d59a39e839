// The queue between a probe socket and its reader, over loopback with a
// clock of the test's own: turns of bounded time, arrival order, repeats
// counted, one sender's share, a new search in between, and the idle timer
// that waits for queued work.

#include "connsocket.h"
#include "datagram.h"
#include "datagrambatch.h"
#include "testsupport.h"

#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>

namespace {

// "2:abc" is the datagram abc from 127.0.0.2; "1:x*3" stands for 1:x1 1:x2 1:x3.
QStringList expand(const QString &datagrams)
{
    QStringList tokens;
    for (const QString &token : datagrams.split(' ', Qt::SkipEmptyParts)) {
        const int star = token.indexOf('*');
        if (star < 0) {
            tokens.append(token);
            continue;
        }
        for (int i = 1; i <= token.mid(star + 1).toInt(); ++i)
            tokens.append(token.left(star) + QString::number(i));
    }
    return tokens;
}

const QString Reader = QStringLiteral("Test::reader");

QString repeatsLine(qint64 count, int host)
{
    return QStringLiteral("%1 : Identical repeats skipped = %2 , addr = \"127.0.0.%3\"")
        .arg(Reader)
        .arg(count)
        .arg(host);
}

} // namespace

class TestDatagramBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void turns_data();
    void turns();
    void idleCloseWaitsForQueuedWork();

private:
    // Sends each datagram from its host's socket to the port, in order.
    void send(const QString &datagrams, quint16 port);

    std::map<int, std::unique_ptr<QUdpSocket>> senders;
    // Whether a datagram sent from a socket bound to 127.0.0.2 arrives from
    // that address. Wine binds such a socket to the any-address, so all of
    // them arrive from 127.0.0.1 there and the test's senders are one.
    bool loopbackSendersDistinct = false;
};

void TestDatagramBatch::initTestCase()
{
    TestSupport::recordMessages();
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress(QHostAddress::LocalHost), 0));
    send(QStringLiteral("2:probe"), receiver.localPort());
    QTRY_VERIFY(receiver.hasPendingDatagrams());
    QHostAddress from;
    char byte = 0;
    receiver.readDatagram(&byte, 1, &from);
    loopbackSendersDistinct = from.toIPv4Address() == 0x7F000002;
#ifndef Q_OS_WIN
    QVERIFY(loopbackSendersDistinct);
#endif
}

void TestDatagramBatch::send(const QString &datagrams, quint16 port)
{
    for (const QString &token : expand(datagrams)) {
        const int host = token.section(':', 0, 0).toInt();
        std::unique_ptr<QUdpSocket> &socket = senders[host];
        if (!socket) {
            socket = std::make_unique<QUdpSocket>();
            QVERIFY(socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(host)), 0));
        }
        QCOMPARE(socket->writeDatagram(token.section(':', 1).toLatin1(), QHostAddress::LocalHost, port),
                 qint64(token.section(':', 1).size()));
    }
}

void TestDatagramBatch::turns_data()
{
    // sent: what arrives before each turn; the reader's handling of one
    // datagram takes handleUs on the batch's clock; after newRunAfter
    // datagrams (0: never) a new search starts. turns: what each turn hands
    // out; log: the batch's own lines.
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<int>("handleUs");
    QTest::addColumn<int>("newRunAfter");
    QTest::addColumn<QStringList>("turns");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("one turn, arrival order")
        << QStringList{"1:a 2:b 3:c 1:d"} << 100 << 0 << QStringList{"1:a 2:b 3:c 1:d"} << QStringList();
    // A turn ends once 5 ms are used up and goes on by itself.
    QTest::newRow("bounded turns, nothing lost") << QStringList{"1:a 2:b 3:c 1:d 2:e 3:f 1:g"} << 2000 << 0
                                                 << QStringList{"1:a 2:b 3:c", "1:d 2:e 3:f", "1:g"} << QStringList();
    QTest::newRow("repeats counted, once per sender")
        << QStringList{"1:a 1:a 2:b 1:a 2:b 3:c 1:a"} << 100 << 0 << QStringList{"1:a 2:b 3:c"}
        << QStringList{repeatsLine(3, 1), repeatsLine(1, 2)};
    QTest::newRow("only the same bytes are a repeat")
        << QStringList{"1:a 1:b 1:a 1:a 1:ab 2:a"} << 100 << 0 << QStringList{"1:a 1:b 1:a 1:ab 2:a"}
        << QStringList{repeatsLine(1, 1)};
    QTest::newRow("empty datagrams") << QStringList{"1: 1: 1:a"} << 100 << 0 << QStringList{"1: 1:a"}
                                     << QStringList{repeatsLine(1, 1)};
    // A repeat of a datagram still queued, or handled in an earlier turn of
    // the same batch.
    QTest::newRow("repeats across turns")
        << QStringList{"1:a 2:b", "1:a 2:b 1:c"} << 6000 << 0 << QStringList{"1:a", "2:b", "1:c"}
        << QStringList{repeatsLine(1, 1), repeatsLine(1, 2)};
    // Once a sender has repeated itself, the batch lasts a second: later
    // turns within it count its repeats too.
    QTest::newRow("a batch with repeats lasts")
        << QStringList{"1:a 1:a", "2:b 1:a"} << 100 << 0 << QStringList{"1:a", "2:b"} << QStringList{repeatsLine(2, 1)};
    QTest::newRow("a new batch handles it again")
        << QStringList{"1:a", "1:a"} << 100 << 0 << QStringList{"1:a", "1:a"} << QStringList();
    // The search logs what it counted and forgets it; what was queued before
    // it is still handed out, and so is a repeat after it.
    QTest::newRow("new search in between") << QStringList{"1:a 1:a 2:b", "1:a"} << 6000 << 1
                                           << QStringList{"1:a", "2:b", "1:a"} << QStringList{repeatsLine(1, 1)};
    // One sender cannot fill the queue: a quiet device behind it gets in.
    QTest::newRow("one sender's share")
        << QStringList{"1:x*40 2:q"} << 0 << 0 << QStringList{expand("1:x*32 2:q").join(' ')}
        << QStringList{Reader + " : Datagrams dropped, too many queued = 8 , addr = \"127.0.0.1\""};
}

void TestDatagramBatch::turns()
{
    QFETCH(QStringList, sent);
    QFETCH(int, handleUs);
    QFETCH(int, newRunAfter);
    QFETCH(QStringList, turns);
    QFETCH(QStringList, log);
    const QStringList tokens = expand(sent.join(' '));
    const bool oneSender = std::all_of(tokens.begin(), tokens.end(),
                                       [](const QString &token) { return token.startsWith(QLatin1String("1:")); });
    if (!loopbackSendersDistinct && !oneSender)
        QSKIP("datagrams from every loopback address arrive from 127.0.0.1 here (wine)");

    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
    auto *batch = new DatagramBatch(&socket, "Test::reader");
    qint64 now = 0;
    batch->setClock([&now] { return now; });
    QSignalSpy resumed(batch, &DatagramBatch::resume);
    TestSupport::messages.clear();

    QStringList handedOut;
    int handled = 0;
    for (int turn = 0; turn < 50; ++turn) {
        if (turn < sent.size())
            send(sent.at(turn), socket.localPort());
        QStringList thisTurn;
        QByteArray datagram;
        QHostAddress sender;
        quint16 port = 0;
        int index = 0;
        while (batch->next(&datagram, &sender, &port, &index)) {
            thisTurn.append(
                QStringLiteral("%1:%2").arg(sender.toIPv4Address() & 0xFF).arg(QString::fromLatin1(datagram)));
            now += handleUs;
            if (++handled == newRunAfter)
                batch->startNewRun();
        }
        handedOut.append(thisTurn.join(' '));
        // The continuation is a zero-time timer.
        resumed.clear();
        QTest::qWait(5);
        if (resumed.isEmpty() && turn + 1 >= sent.size())
            break;
    }
    // A batch that skipped datagrams ends with a turn a second after it began.
    now += DatagramBatch::BatchMicroseconds;
    QByteArray datagram;
    QHostAddress sender;
    quint16 port = 0;
    int index = 0;
    QVERIFY(!batch->next(&datagram, &sender, &port, &index));
    QCOMPARE(handedOut, turns);
    QCOMPARE(TestSupport::messages.filter(QRegularExpression("^" + Reader)), log);
}

void TestDatagramBatch::idleCloseWaitsForQueuedWork()
{
    auto *socket = new QUdpSocket;
    QVERIFY(socket->bind(QHostAddress(QHostAddress::LocalHost), 0));
    auto *batch = new DatagramBatch(socket, "Test::reader");
    ConnSocket connSocket(socket, 0x7F0000FF, socket->localPort());
    qint64 now = 0;
    batch->setClock([&now] { return now; });
    send("1:a 1:b", socket->localPort());

    QByteArray datagram;
    QHostAddress sender;
    quint16 port = 0;
    int index = 0;
    QVERIFY(batch->next(&datagram, &sender, &port, &index));
    now += DatagramBatch::TurnMicroseconds;
    QVERIFY(!batch->next(&datagram, &sender, &port, &index));
    QVERIFY(batch->hasQueued());
    connSocket.closeTimer.start(1);
    QTest::qWait(30);
    QCOMPARE(socket->state(), QAbstractSocket::BoundState);

    QVERIFY(batch->next(&datagram, &sender, &port, &index));
    QCOMPARE(datagram, QByteArray("b"));
    QVERIFY(!batch->next(&datagram, &sender, &port, &index));
    QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
}

QTEST_MAIN(TestDatagramBatch)
#include "tst_datagrambatch.moc"
