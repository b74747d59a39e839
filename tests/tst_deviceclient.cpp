// The explicit-messaging client against a device played by an in-process
// QTcpServer on loopback (in a network namespace of its own): framing,
// timeouts, faults of the answer, reply objects, several requests in
// flight, and the client's states.

#include "ciprequester.h"
#include "deviceclient.h"
#include "fakedevice.h"
#include "rigsupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

// The path bytes of a Get_Attribute_Single to the TCP/IP object.
QByteArray tcpipPath(quint8 attribute)
{
    return QByteArray::fromHex("20f52401") + QByteArray(1, char(0x30)) + QByteArray(1, char(attribute));
}

QString stateName(int state)
{
    return QString::fromLatin1(QMetaEnum::fromType<DeviceClient::State>().valueToKey(state));
}

} // namespace

class tst_DeviceClient : public QObject
{
    Q_OBJECT

private slots:
    void faults_data();
    void faults();
    void framing_data();
    void framing();
    void lateAnswer();
    void replyDeleted_data();
    void replyDeleted();
    void inFlight_data();
    void inFlight();
    void states();
    void timeout_data();
    void timeout();
    void clientDestroyed();
    void requester_data();
    void requester();
};

void tst_DeviceClient::faults_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    // How long the first request may take to fail, in ms.
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    // %1: the device's port.
    QTest::newRow("silent") << "silent" << int(DeviceReply::Timeout)
                            << "No answer from 127.0.0.1 on TCP port %1 within 3 s" << 2900 << 3600;
    // 28 bytes of answer at one a second: the 3 s still count from the
    // request.
    QTest::newRow("drip") << "drip" << int(DeviceReply::Timeout) << "No answer from 127.0.0.1 on TCP port %1 within 3 s"
                          << 2900 << 3600;
    QTest::newRow("close mid-reply") << "close_mid_reply" << int(DeviceReply::ConnectionLost)
                                     << "127.0.0.1 closed the connection in the middle of its answer" << 0 << 1500;
    QTest::newRow("huge length") << "huge_length" << int(DeviceReply::InvalidAnswer)
                                 << "127.0.0.1 announced an answer of 65535 bytes, far more than any answer to this "
                                    "request"
                                 << 0 << 1500;
    QTest::newRow("garbage") << "garbage" << int(DeviceReply::InvalidAnswer)
                             << "127.0.0.1 announced an answer of 20564 bytes, far more than any answer to this "
                                "request"
                             << 0 << 1500;
    QTest::newRow("another session") << "wrong_session" << int(DeviceReply::InvalidAnswer)
                                     << "127.0.0.1 answered for another session than this one" << 0 << 1500;
    QTest::newRow("another service") << "wrong_service" << int(DeviceReply::InvalidAnswer)
                                     << "127.0.0.1 answered another request than the one sent" << 0 << 1500;
    QTest::newRow("sender context not echoed")
        << "wrong_context" << int(DeviceReply::InvalidAnswer)
        << "127.0.0.1 sent an answer that belongs to none of the requests sent" << 0 << 1500;
    QTest::newRow("no server") << "" << int(DeviceReply::ConnectFailed)
                               << "127.0.0.1 refused the connection on TCP port %1: no EtherNet/IP server there" << 0
                               << 1500;
}

void tst_DeviceClient::faults()
{
    QFETCH(QString, behaviour);
    QFETCH(int, error);
    QFETCH(QString, text);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    FakeDevice device;
    if (behaviour == "drip") {
        device.chunk = 1;
        device.intervalMs = 1000;
    } else {
        device.behaviour = behaviour;
    }
    QVERIFY(device.listen());
    quint16 port = device.port();
    if (behaviour.isEmpty()) {
        // A port nobody listens on any more.
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        port = gone.serverPort();
    }
    text = text.arg(port);
    Rig::LogCapture log;

    DeviceClient client(QHostAddress::LocalHost, port);
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<DeviceReply> first(client.getAttributeSingle(0xF5, 1, 6));
    std::unique_ptr<DeviceReply> second(client.getAttributesAll(0xF6, 1));
    QSignalSpy firstDone(first.get(), &DeviceReply::finished);
    QSignalSpy secondDone(second.get(), &DeviceReply::finished);
    QVERIFY(firstDone.wait(6000));
    const qint64 elapsed = timer.elapsed();
    QTRY_COMPARE(secondDone.size(), 1);
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));

    // Both the request in flight and the queued one end with the fault.
    for (DeviceReply *reply : {first.get(), second.get()}) {
        QVERIFY(reply->isFinished());
        QCOMPARE(int(reply->error()), error);
        QCOMPARE(reply->errorString(), text);
        QVERIFY(!reply->answered());
        QVERIFY(!reply->succeeded());
    }
    QCOMPARE(first->request().path, CIP::CipPath(0xF5, 1, 6));
    QCOMPARE(second->request().path, CIP::CipPath(0xF6, 1));
    QCOMPARE(second->id(), first->id() + 1);
    QCOMPARE(Rig::LogCapture::count(QStringLiteral("DeviceClient::priv_fail : Error: \"%1\"").arg(text)), 1);
    QCOMPARE(Rig::LogCapture::count(
                 QStringLiteral("DeviceClient::priv_fail : Error: Request %1 not answered").arg(first->id())),
             1);
    QCOMPARE(client.state(), DeviceClient::UnconnectedState);

    // Nothing more arrives later, and closing ends at once.
    QSignalSpy closed(&client, &DeviceClient::closed);
    client.close();
    QVERIFY(closed.wait(1000));
    QTest::qWait(300);
    QCOMPARE(firstDone.size() + secondDone.size(), 2);
}

void tst_DeviceClient::framing_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("inFlight");

    QTest::newRow("one byte at a time") << 1 << 5 << 1;
    // The 24-byte header in one read, its data in others.
    QTest::newRow("header apart from its data") << 24 << 30 << 1;
    QTest::newRow("in pieces that straddle messages") << 7 << 5 << 3;
    // Several answers, and the end of one with the start of the next, in
    // one read.
    QTest::newRow("several answers in one read") << 0 << 0 << 3;
}

void tst_DeviceClient::framing()
{
    QFETCH(int, chunk);
    QFETCH(int, intervalMs);
    QFETCH(int, inFlight);

    FakeDevice device;
    device.chunk = chunk;
    device.intervalMs = intervalMs;
    // With several in flight, the answers come together.
    device.hold = inFlight > 1;
    QVERIFY(device.listen());
    DeviceClient client(QHostAddress::LocalHost, device.port());
    client.setMaxInFlight(inFlight);
    std::vector<std::unique_ptr<DeviceReply>> replies;
    for (const quint8 attribute : {1, 5, 6})
        replies.emplace_back(client.getAttributeSingle(0xF5, 1, attribute));
    if (inFlight > 1) {
        QTRY_COMPARE(device.heldCount(), 3);
        device.release(false, true);
    }
    QTRY_VERIFY_WITH_TIMEOUT(replies.back()->isFinished(), 5000);
    const quint8 attributes[] = {1, 5, 6};
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(replies.at(i)->succeeded(), qPrintable(replies.at(i)->errorString()));
        QCOMPARE(replies.at(i)->data(), tcpipPath(attributes[i]));
    }
    // One session for it all.
    QCOMPARE(device.connections, 1);
    QCOMPARE(device.requests.first(), QStringLiteral("65"));
    QCOMPARE(device.requests.size(), 4);
}

void tst_DeviceClient::lateAnswer()
{
    FakeDevice device;
    device.answerDelayMs = 600;
    QVERIFY(device.listen());
    DeviceClient client(QHostAddress::LocalHost, device.port());
    client.setTimeout(300);
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<DeviceReply> late(client.getAttributeSingle(0xF5, 1, 6));
    QSignalSpy lateDone(late.get(), &DeviceReply::finished);
    QVERIFY(lateDone.wait(3000));
    QVERIFY2(timer.elapsed() >= 290 && timer.elapsed() < 550, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(late->error(), DeviceReply::Timeout);
    QCOMPARE(late->errorString(),
             QStringLiteral("No answer from 127.0.0.1 on TCP port %1 within 0.3 s").arg(device.port()));

    // The next request opens a new session and gets its own answer, not the
    // late one of the first.
    device.answerDelayMs = 0;
    std::unique_ptr<DeviceReply> next(client.getAttributeSingle(0xF5, 1, 5));
    QSignalSpy nextDone(next.get(), &DeviceReply::finished);
    QVERIFY(nextDone.wait(3000));
    QVERIFY2(next->succeeded(), qPrintable(next->errorString()));
    QCOMPARE(next->data(), tcpipPath(5));
    QCOMPARE(device.connections, 2);
    // The first answer's time comes and goes: nothing more happens.
    QTest::qWait(500);
    QCOMPARE(lateDone.size(), 1);
    QCOMPARE(nextDone.size(), 1);
    QCOMPARE(late->error(), DeviceReply::Timeout);
}

void tst_DeviceClient::replyDeleted_data()
{
    // Which of three requests' replies is deleted, and when: "in flight"
    // (written, the answer held back), or "queued" (not yet written).
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QStringList>("requests");

    QTest::newRow("in flight") << 0 << "in flight"
                               << QStringList{"65", "6f 0e 20f5240130" + QString("01"),
                                              "6f 0e 20f5240130" + QString("05"), "6f 0e 20f5240130" + QString("06")};
    // A request nobody waits for any more is not sent.
    QTest::newRow("queued") << 1 << "queued"
                            << QStringList{"65", "6f 0e 20f5240130" + QString("01"),
                                           "6f 0e 20f5240130" + QString("06")};
    QTest::newRow("before anything went out")
        << 0 << "at once" << QStringList{"65", "6f 0e 20f5240130" + QString("05"), "6f 0e 20f5240130" + QString("06")};
}

void tst_DeviceClient::replyDeleted()
{
    QFETCH(int, deleted);
    QFETCH(QString, when);
    QFETCH(QStringList, requests);

    FakeDevice device;
    device.hold = true;
    QVERIFY(device.listen());
    Rig::LogCapture log;
    DeviceClient client(QHostAddress::LocalHost, device.port());
    QList<QPointer<DeviceReply>> replies;
    for (const quint8 attribute : {1, 5, 6})
        replies << client.getAttributeSingle(0xF5, 1, attribute);
    const int deletedId = replies.at(deleted)->id();
    if (when == "at once")
        delete replies.at(deleted);
    // The first request is written; its answer waits.
    QTRY_COMPARE(device.heldCount(), 1);
    if (when != "at once")
        delete replies.at(deleted);
    device.hold = false;
    device.release(false, false);
    QTRY_VERIFY_WITH_TIMEOUT(replies.at(2) && replies.at(2)->isFinished(), 3000);
    for (int i = 0; i < 3; ++i) {
        if (i == deleted) {
            QVERIFY(!replies.at(i));
            continue;
        }
        QVERIFY2(replies.at(i)->succeeded(), qPrintable(replies.at(i)->errorString()));
        QCOMPARE(replies.at(i)->data(), tcpipPath(i == 0 ? 1 : i == 1 ? 5 : 6));
    }
    QCOMPARE(device.requests, requests);
    QCOMPARE(device.connections, 1);
    QCOMPARE(
        Rig::LogCapture::count(
            when == "in flight"
                ? QStringLiteral("DeviceClient::priv_answer : Answer %1 dropped: its reply was deleted").arg(deletedId)
                : QStringLiteral("DeviceClient::priv_process : Request %1 dropped: its reply was deleted before "
                                 "it was sent")
                      .arg(deletedId)),
        1);
    for (const QPointer<DeviceReply> &reply : qAsConst(replies))
        delete reply;
}

void tst_DeviceClient::inFlight_data()
{
    QTest::addColumn<int>("maxInFlight");
    // How many requests the device holds before any answer goes out.
    QTest::addColumn<int>("written");
    QTest::addColumn<bool>("reversed");

    // One at a time: the second goes out only after the first answer.
    QTest::newRow("one at a time") << 1 << 1 << false;
    QTest::newRow("two of four") << 2 << 2 << true;
    // Answered last to first: each answer finds its request by its sender
    // context.
    QTest::newRow("four, answered out of order") << 4 << 4 << true;
    QTest::newRow("four, answered in order") << 8 << 4 << false;
}

void tst_DeviceClient::inFlight()
{
    QFETCH(int, maxInFlight);
    QFETCH(int, written);
    QFETCH(bool, reversed);

    FakeDevice device;
    device.hold = true;
    QVERIFY(device.listen());
    DeviceClient client(QHostAddress::LocalHost, device.port());
    client.setMaxInFlight(maxInFlight);
    QCOMPARE(client.maxInFlight(), maxInFlight);
    const quint8 attributes[] = {1, 2, 5, 6};
    std::vector<std::unique_ptr<DeviceReply>> replies;
    QList<int> order;
    for (const quint8 attribute : attributes) {
        replies.emplace_back(client.getAttributeSingle(0xF5, 1, attribute));
        const int index = int(replies.size()) - 1;
        connect(replies.back().get(), &DeviceReply::finished, this, [&order, index]() { order << index; });
    }
    QVERIFY(client.busy());
    while (order.size() < 4) {
        QTRY_VERIFY(device.heldCount() > 0);
        // Nothing more is written while the session holds its fill.
        QTest::qWait(100);
        QCOMPARE(device.heldCount(), qMin(written, 4 - order.size()));
        const int before = order.size();
        device.release(reversed, false);
        QTRY_COMPARE(order.size(), before + qMin(written, 4 - before));
    }
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(replies.at(i)->succeeded(), qPrintable(replies.at(i)->errorString()));
        QCOMPARE(replies.at(i)->data(), tcpipPath(attributes[i]));
    }
    // Answered in the order the device sent them.
    QList<int> expected;
    for (int start = 0; start < 4; start += written) {
        QList<int> batch;
        for (int i = start; i < qMin(4, start + written); ++i)
            batch << i;
        if (reversed)
            std::reverse(batch.begin(), batch.end());
        expected += batch;
    }
    QCOMPARE(order, expected);
    // Every request had a sender context of its own.
    QCOMPARE(device.contexts.size(), 4);
    QCOMPARE(QSet<QByteArray>(device.contexts.cbegin(), device.contexts.cend()).size(), 4);
    QCOMPARE(device.connections, 1);
    QVERIFY(!client.busy());
}

void tst_DeviceClient::states()
{
    FakeDevice device;
    QVERIFY(device.listen());
    DeviceClient client(QHostAddress::LocalHost, device.port());
    QSignalSpy changed(&client, &DeviceClient::stateChanged);
    QCOMPARE(client.state(), DeviceClient::UnconnectedState);
    std::unique_ptr<DeviceReply> reply(client.getAttributeSingle(0xF5, 1, 6));
    QSignalSpy done(reply.get(), &DeviceReply::finished);
    // Nothing from inside send().
    QCOMPARE(changed.size(), 0);
    QCOMPARE(client.state(), DeviceClient::UnconnectedState);
    QVERIFY(!reply->isFinished());
    QVERIFY(done.wait(3000));
    QCOMPARE(client.state(), DeviceClient::ConnectedState);
    QSignalSpy closed(&client, &DeviceClient::closed);
    client.close();
    QVERIFY(closed.wait(3000));
    QCOMPARE(client.state(), DeviceClient::UnconnectedState);
    QStringList states;
    for (const QList<QVariant> &arguments : qAsConst(changed))
        states << stateName(arguments.at(0).toInt());
    QCOMPARE(
        states,
        (QStringList{"ConnectingState", "RegisteringState", "ConnectedState", "ClosingState", "UnconnectedState"}));
    QTRY_COMPARE(device.requests, (QStringList{"65", "6f 0e 20f524013006", "66"}));

    // After a close, the next request opens another session.
    changed.clear();
    std::unique_ptr<DeviceReply> again(client.getAttributeSingle(0xF5, 1, 5));
    QSignalSpy againDone(again.get(), &DeviceReply::finished);
    QVERIFY(againDone.wait(3000));
    QVERIFY(again->succeeded());
    QCOMPARE(device.connections, 2);
    QCOMPARE(changed.size(), 3);
}

void tst_DeviceClient::timeout_data()
{
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("seconds");

    QTest::newRow("default") << 0 << "3";
    QTest::newRow("0.4 s") << 400 << "0.4";
    QTest::newRow("1.5 s") << 1500 << "1.5";
}

void tst_DeviceClient::timeout()
{
    QFETCH(int, timeoutMs);
    QFETCH(QString, seconds);

    FakeDevice device;
    device.hold = true;
    QVERIFY(device.listen());
    DeviceClient client(QHostAddress::LocalHost, device.port());
    QCOMPARE(client.timeout(), DeviceClient::DefaultTimeoutMs);
    if (timeoutMs > 0)
        client.setTimeout(timeoutMs);
    const int expected = timeoutMs > 0 ? timeoutMs : 3000;
    QCOMPARE(client.timeout(), expected);
    // The session comes up; the request's answer never does.
    std::unique_ptr<DeviceReply> reply(client.getAttributeSingle(0xF5, 1, 6));
    QSignalSpy done(reply.get(), &DeviceReply::finished);
    QTRY_COMPARE(device.heldCount(), 1);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(done.wait(expected + 2000));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= expected - 100 && elapsed <= expected + 400, qPrintable(QString::number(elapsed)));
    QCOMPARE(reply->error(), DeviceReply::Timeout);
    QCOMPARE(reply->errorString(),
             QStringLiteral("No answer from 127.0.0.1 on TCP port %1 within %2 s").arg(device.port()).arg(seconds));
}

void tst_DeviceClient::clientDestroyed()
{
    FakeDevice device;
    device.hold = true;
    QVERIFY(device.listen());
    auto *client = new DeviceClient(QHostAddress::LocalHost, device.port());
    std::unique_ptr<DeviceReply> inFlight(client->getAttributeSingle(0xF5, 1, 6));
    std::unique_ptr<DeviceReply> queued(client->getAttributeSingle(0xF5, 1, 5));
    QSignalSpy inFlightDone(inFlight.get(), &DeviceReply::finished);
    QSignalSpy queuedDone(queued.get(), &DeviceReply::finished);
    QTRY_COMPARE(device.heldCount(), 1);
    delete client;
    // Not from inside the destructor, but from the event loop.
    QCOMPARE(inFlightDone.size(), 0);
    QTRY_COMPARE(inFlightDone.size(), 1);
    QTRY_COMPARE(queuedDone.size(), 1);
    for (DeviceReply *reply : {inFlight.get(), queued.get()}) {
        QCOMPARE(reply->error(), DeviceReply::Cancelled);
        QVERIFY(!reply->answered());
    }
    // The late answer has nowhere to go.
    device.release(false, false);
    QTest::qWait(100);
    QCOMPARE(inFlightDone.size(), 1);
}

void tst_DeviceClient::requester_data()
{
    // The request as typed: service, class, instance, attribute, data.
    QTest::addColumn<QStringList>("fields");
    // How the device answers: "normal", "hold" (the session comes up, the
    // answer never) or "silent"; the general status, the additional
    // status words, and the size of its data (-1: the request's path).
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<int>("status");
    QTest::addColumn<QVector<quint16>>("additional");
    QTest::addColumn<int>("dataSize");
    // What came of it, and what the device took ("6f SERVICE PATH").
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("errorString");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("taken");
    // The client's log line for the request.
    QTest::addColumn<QString>("logLine");

    const QVector<quint16> none;
    QTest::newRow("Get answered")
        << QStringList{"Get_Attribute_Single", "0xF5", "1", "6", ""} << "normal" << 0 << none << -1
        << int(DeviceReply::NoError) << "" << QByteArray::fromHex("20f524013006") << "6f 0e 20f524013006"
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0xF5 instance 1 attribute 6";
    // A 32-bit instance and data: the request goes out as typed.
    QTest::newRow("Set with data, 32-bit instance")
        << QStringList{"0x10", "0x64", "0x12345", "3", "01 02 0a"} << "normal" << 0 << none << 0
        << int(DeviceReply::NoError) << "" << QByteArray() << "6f 10 2064260045230100" + QString("3003")
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x10 class 0x64 instance 74565 attribute 3 data 01 02 0a";
    QTest::newRow("refused, with additional status")
        << QStringList{"0x4B", "0x64", "1", "", ""} << "normal" << 0x1F << QVector<quint16>{0x1234, 0x0001} << 0
        << int(DeviceReply::NoError) << "The device refused the request: Vendor specific error (0x1F)" << QByteArray()
        << "6f 4b 20642401"
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x4B class 0x64 instance 1";
    // 4096 bytes of encapsulated data: 16 of items, 4 of reply header.
    QTest::newRow("answer at the framing limit")
        << QStringList{"Get_Attributes_All", "1", "1", "", ""} << "normal" << 0 << none << 4076
        << int(DeviceReply::NoError) << "" << QByteArray() << "6f 01 20012401"
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x01 class 0x01 instance 1";
    QTest::newRow("answer a byte over the framing limit")
        << QStringList{"Get_Attributes_All", "1", "1", "", ""} << "normal" << 0 << none << 4077
        << int(DeviceReply::InvalidAnswer)
        << "127.0.0.1 announced an answer of 4097 bytes, far more than any answer to this request" << QByteArray()
        << "6f 01 20012401"
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x01 class 0x01 instance 1";
    QTest::newRow("no answer to the request")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "hold" << 0 << none << -1
        << int(DeviceReply::Timeout) << "No answer from 127.0.0.1 on TCP port %1 within 0.5 s" << QByteArray()
        << "6f 0e 2001240130" + QString("07")
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7";
    QTest::newRow("silence, no session") << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "silent" << 0
                                         << none << -1 << int(DeviceReply::Timeout)
                                         << "No answer from 127.0.0.1 on TCP port %1 within 0.5 s" << QByteArray() << ""
                                         << "";
}

void tst_DeviceClient::requester()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, behaviour);
    QFETCH(int, status);
    QFETCH(QVector<quint16>, additional);
    QFETCH(int, dataSize);
    QFETCH(int, error);
    QFETCH(QString, errorString);
    QFETCH(QByteArray, data);
    QFETCH(QString, taken);
    QFETCH(QString, logLine);

    CIP::GenericRequest request;
    QString why;
    QCOMPARE(CIP::GenericRequest::parse(fields.at(0), fields.at(1), fields.at(2), fields.at(3), fields.at(4), &request,
                                        &why),
             CIP::GenericRequest::NoField);
    FakeDevice device;
    device.hold = behaviour == "hold";
    if (behaviour == "silent")
        device.behaviour = behaviour;
    device.generalStatus = quint8(status);
    device.additionalStatus = additional;
    device.dataSize = dataSize;
    QVERIFY(device.listen());
    Rig::LogCapture log;

    CipRequester requester(QHostAddress::LocalHost, CIP::CipRoute(), device.port());
    requester.setTimeout(500);
    QSignalSpy finished(&requester, &CipRequester::finished);
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(requester.send(request));
    // One request at a time.
    QVERIFY(requester.isBusy());
    QVERIFY(!requester.send(request));
    QCOMPARE(finished.size(), 0);
    QVERIFY(finished.wait(3000));
    QVERIFY(!requester.isBusy());

    const auto result = finished.at(0).at(0).value<CipRequestResult>();
    QCOMPARE(int(result.error), error);
    QCOMPARE(result.errorString, QString(errorString).replace("%1", QString::number(device.port())));
    QCOMPARE(result.request, request);
    QCOMPARE(result.address, QHostAddress(QHostAddress::LocalHost));
    QVERIFY(result.route.isEmpty());
    QVERIFY(result.sentAt >= before.addMSecs(-1) && result.sentAt <= QDateTime::currentDateTime());
    QVERIFY(!result.routingFailed);
    QCOMPARE(result.answered(), error == DeviceReply::NoError);
    QCOMPARE(result.succeeded(), error == DeviceReply::NoError && status == 0);
    if (result.answered()) {
        QCOMPARE(int(result.generalStatus), status);
        QCOMPARE(result.additionalStatus, additional);
        if (dataSize >= 0) {
            QCOMPARE(result.data.size(), dataSize);
            if (dataSize > 0)
                QCOMPARE(quint8(result.data.at(dataSize - 1)), quint8(dataSize - 1));
        } else {
            QCOMPARE(result.data, data);
        }
    }
    if (!taken.isEmpty()) {
        QCOMPARE(device.requests.value(1), taken);
        QCOMPARE(device.requestData.value(0), request.data);
        QCOMPARE(Rig::LogCapture::count("DeviceClient::priv_writeNext : " + logLine + "\""), 1);
    }
    // The session closes after the answer: UnRegisterSession when the
    // session was sound, and no request more than the one.
    if (result.answered())
        QTRY_COMPARE(device.requests.value(2), QStringLiteral("66"));
    QTest::qWait(100);
    QCOMPARE(device.requests.filter(QStringLiteral("6f ")).size(), taken.isEmpty() ? 0 : 1);
    QCOMPARE(finished.size(), 1);

    // The next request goes out on a session of its own.
    device.behaviour = "normal";
    device.hold = false;
    device.dataSize = -1;
    const int connections = device.connections;
    QVERIFY(requester.send(request));
    QVERIFY(finished.wait(3000));
    QVERIFY(finished.at(1).at(0).value<CipRequestResult>().answered());
    QCOMPARE(device.connections, connections + 1);
}

QTEST_GUILESS_MAIN(tst_DeviceClient)

#include "tst_deviceclient.moc"
