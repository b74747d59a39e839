// The explicit-messaging client against a device played by an in-process
// QTcpServer on loopback (in a network namespace of its own): framing,
// timeouts, faults of the answer, reply objects, several requests in
// flight, and the client's states.

#include "cipnames.h"
#include "ciprequester.h"
#include "ciprequesttext.h"
#include "deviceclient.h"
#include "fakedevice.h"
#include "rigsupport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
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
    void requestTexts_data();
    void requestTexts();
    void readingRows_data();
    void readingRows();
    void resultText_data();
    void resultText();
    void resultJson_data();
    void resultJson();
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
    // The request as typed: service, class, instance, attribute, data; and
    // the route ("" for the device itself).
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("route");
    // How the device answers: "normal", "hold" (the session comes up, the
    // answer never) or "silent"; the general status, the additional
    // status words, and the size of its data (-1: the request's path), or
    // a whole Message Router response as it is.
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<int>("status");
    QTest::addColumn<QVector<quint16>>("additional");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<QByteArray>("response");
    // What came of it, and what the device took ("6f SERVICE PATH" and the
    // data after the path; "" for the request's own data).
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("errorString");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("taken");
    QTest::addColumn<QByteArray>("takenData");
    // The client's log line for the request.
    QTest::addColumn<QString>("logLine");

    const QVector<quint16> none;
    const QByteArray asIs;
    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("Get answered") << QStringList{"Get_Attribute_Single", "0xF5", "1", "6", ""} << ""
                                  << "normal" << 0 << none << -1 << asIs << int(DeviceReply::NoError) << ""
                                  << QByteArray::fromHex("20f524013006") << "6f 0e 20f524013006" << asIs
                                  << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0xF5 instance 1 "
                                     "attribute 6";
    // A 32-bit instance and data: the request goes out as typed.
    QTest::newRow("Set with data, 32-bit instance")
        << QStringList{"0x10", "0x64", "0x12345", "3", "01 02 0a"} << ""
        << "normal" << 0 << none << 0 << asIs << int(DeviceReply::NoError) << "" << QByteArray()
        << "6f 10 2064260045230100" + QString("3003") << asIs
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x10 class 0x64 instance 74565 attribute 3 data 01 02 0a";
    QTest::newRow("refused, with additional status")
        << QStringList{"0x4B", "0x64", "1", "", ""} << ""
        << "normal" << 0x1F << QVector<quint16>{0x1234, 0x0001} << 0 << asIs << int(DeviceReply::NoError)
        << "The device refused the request: Vendor specific error (0x1F)" << QByteArray() << "6f 4b 20642401" << asIs
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x4B class 0x64 instance 1";
    QTest::newRow("refused, empty data, 16-bit class")
        << QStringList{"Get_Attributes_All", "0x300", "2", "", ""} << ""
        << "normal" << 0x05 << none << 0 << asIs << int(DeviceReply::NoError)
        << "The device does not have this object (0x05)" << QByteArray() << "6f 01 210000032402" << asIs
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x01 class 0x300 instance 2";
    // 4096 bytes of encapsulated data: 16 of items, 4 of reply header.
    QTest::newRow("answer at the framing limit")
        << QStringList{"Get_Attributes_All", "1", "1", "", ""} << ""
        << "normal" << 0 << none << 4076 << asIs << int(DeviceReply::NoError) << "" << QByteArray() << "6f 01 20012401"
        << asIs << "Request 1 sent to \"127.0.0.1\" : \"service 0x01 class 0x01 instance 1";
    QTest::newRow("answer a byte over the framing limit")
        << QStringList{"Get_Attributes_All", "1", "1", "", ""} << ""
        << "normal" << 0 << none << 4077 << asIs << int(DeviceReply::InvalidAnswer)
        << "127.0.0.1 announced an answer of 4097 bytes, far more than any answer to this request" << QByteArray()
        << "6f 01 20012401" << asIs << "Request 1 sent to \"127.0.0.1\" : \"service 0x01 class 0x01 instance 1";
    QTest::newRow("no answer to the request")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << ""
        << "hold" << 0 << none << -1 << asIs << int(DeviceReply::Timeout)
        << "No answer from 127.0.0.1 on TCP port %1 within 0.5 s" << QByteArray() << "6f 0e 2001240130" + QString("07")
        << asIs << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7";
    QTest::newRow("silence, no session") << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << ""
                                         << "silent" << 0 << none << -1 << asIs << int(DeviceReply::Timeout)
                                         << "No answer from 127.0.0.1 on TCP port %1 within 0.5 s" << QByteArray() << ""
                                         << asIs << "";
    // Through a route: the device takes an Unconnected Send to the
    // Connection Manager (tick time 07, 7 ticks, the request's 8 bytes,
    // the route of one word) and relays the module's reply.
    const QByteArray carried = hex("0707 0800 0e03200124013007 0100 0103");
    QTest::newRow("routed, the module's answer")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "1,3"
        << "normal" << 0 << none << -1 << hex("8e000000 2a00") << int(DeviceReply::NoError) << "" << hex("2a00")
        << "6f 52 20062401" << carried
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7 through route 1,3";
    // A Set with odd data gets the pad byte after it.
    QTest::newRow("routed Set, odd data")
        << QStringList{"Set_Attribute_Single", "0x64", "0x10000", "1", "ab"} << "1,2"
        << "normal" << 0 << none << -1 << hex("90000000") << int(DeviceReply::NoError) << "" << QByteArray()
        << "6f 52 20062401" << hex("0707 0d00 10052064260000000100 3001ab 00 0100 0102")
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x10 class 0x64 instance 65536 attribute 1 data ab through "
           "route 1,2";
    QTest::newRow("routed, no answer")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "1,3"
        << "hold" << 0 << none << -1 << hex("8e000000 2a00") << int(DeviceReply::Timeout)
        << "No answer from 127.0.0.1 on TCP port %1 within 0.5 s" << QByteArray() << "6f 52 20062401" << carried
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7 through route 1,3";
    QTest::newRow("routing failure: the module did not answer")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "1,3"
        << "normal" << 0 << none << -1 << hex("d2000101 0402") << int(DeviceReply::NoError)
        << "the module did not answer in time (0x0204)" << QByteArray() << "6f 52 20062401" << carried
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7 through route 1,3";
    QTest::newRow("routing failure: no module, remaining path size")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "1,3"
        << "normal" << 0 << none << -1 << hex("d2000101 1203 01") << int(DeviceReply::NoError)
        << "no module at that link address (0x0312)" << QByteArray() << "6f 52 20062401" << carried
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7 through route 1,3";
    QTest::newRow("routing failure: the device does not route")
        << QStringList{"Get_Attribute_Single", "1", "1", "7", ""} << "1,3"
        << "normal" << 0 << none << -1 << hex("d2000800") << int(DeviceReply::NoError)
        << "the device does not route requests (0x08)" << QByteArray() << "6f 52 20062401" << carried
        << "Request 1 sent to \"127.0.0.1\" : \"service 0x0E class 0x01 instance 1 attribute 7 through route 1,3";
}

void tst_DeviceClient::requester()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, route);
    QFETCH(QString, behaviour);
    QFETCH(int, status);
    QFETCH(QVector<quint16>, additional);
    QFETCH(int, dataSize);
    QFETCH(QByteArray, response);
    QFETCH(int, error);
    QFETCH(QString, errorString);
    QFETCH(QByteArray, data);
    QFETCH(QString, taken);
    QFETCH(QByteArray, takenData);
    QFETCH(QString, logLine);

    CIP::GenericRequest request;
    QString why;
    QCOMPARE(CIP::GenericRequest::parse(fields.at(0), fields.at(1), fields.at(2), fields.at(3), fields.at(4), &request,
                                        &why),
             CIP::GenericRequest::NoField);
    CIP::CipRoute cipRoute;
    QVERIFY(route.isEmpty() || CIP::CipRoute::fromText(route, &cipRoute));
    FakeDevice device;
    device.hold = behaviour == "hold";
    if (behaviour == "silent")
        device.behaviour = behaviour;
    device.generalStatus = quint8(status);
    device.additionalStatus = additional;
    device.dataSize = dataSize;
    device.fixedResponse = response;
    QVERIFY(device.listen());
    Rig::LogCapture log;

    CipRequester requester(QHostAddress::LocalHost, cipRoute, device.port());
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
    QCOMPARE(result.route.toText(), route);
    QVERIFY(result.sentAt >= before.addMSecs(-1) && result.sentAt <= QDateTime::currentDateTime());
    // Only a bridge's own answer to the Unconnected Send is a routing
    // failure; the module's refusal is the module's.
    const bool routingFailed = response.startsWith('\xD2');
    QCOMPARE(result.routingFailed, routingFailed);
    QCOMPARE(result.answered(), error == DeviceReply::NoError);
    QCOMPARE(result.succeeded(), error == DeviceReply::NoError && status == 0 && !routingFailed);
    if (result.answered()) {
        if (response.isEmpty()) {
            QCOMPARE(int(result.generalStatus), status);
            QCOMPARE(result.additionalStatus, additional);
        } else {
            QCOMPARE(int(result.generalStatus), int(quint8(response.at(2))));
            QCOMPARE(result.additionalStatus.size(), int(quint8(response.at(3))));
        }
        if (dataSize >= 0) {
            QCOMPARE(result.data.size(), dataSize);
            if (dataSize > 0)
                QCOMPARE(quint8(result.data.at(dataSize - 1)), quint8(dataSize - 1));
        } else {
            QCOMPARE(result.data.toHex(), data.toHex());
        }
    }
    if (!taken.isEmpty()) {
        QCOMPARE(device.requests.value(1), taken);
        QCOMPARE(device.requestData.value(0).toHex(), (takenData.isEmpty() ? request.data : takenData).toHex());
        QCOMPARE(Rig::LogCapture::count("DeviceClient::priv_writeNext : " + logLine + "\""), 1);
        // The answer's line names its status, its size and the route.
        if (result.answered())
            QCOMPARE(Rig::LogCapture::count(QStringLiteral("DeviceClient::priv_answer : Answer 1 from \"127.0.0.1\" : "
                                                           "status \"%1\" , %2 \"bytes of data%3\"")
                                                .arg(CIP::generalStatusText(result.generalStatus))
                                                .arg(result.data.size())
                                                .arg(route.isEmpty() ? QString() : " through route " + route)),
                     1);
        // A request that ended unanswered says so, with its route.
        if (!result.answered())
            QCOMPARE(Rig::LogCapture::count(QStringLiteral("DeviceClient::priv_fail : Error: Request 1%1 not answered")
                                                .arg(route.isEmpty() ? QString() : " through route " + route)),
                     1);
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

namespace {
CipRequestResult requestResult(const QString &route, const QStringList &fields, int error, quint8 status,
                               const QVector<quint16> &additional, const QByteArray &data, bool routingFailed,
                               const QString &errorString);
}

void tst_DeviceClient::requestTexts_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<QStringList>("fields");
    // What --request prints before it sends (or instead of sending), and
    // the confirmation's question.
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("question");

    QTest::newRow("Get, the device itself")
        << "" << QStringList{"Get_Attribute_Single", "1", "1", "7", ""}
        << "Request: 0x0E Get_Attribute_Single class 0x01 instance 0x01 attribute 0x07\n"
           "To: 10.0.0.5, the device itself\nBytes: 0e 03 20 01 24 01 30 07\n"
        << "Send 0x0E Get_Attribute_Single to class 0x01 instance 0x01 attribute 0x07 of the device at 10.0.0.5? "
           "No data goes with it.";
    // The bytes are those the module gets, not the Unconnected Send.
    QTest::newRow("Set through a route, data")
        << "1,3,2,10.0.0.9" << QStringList{"Set_Attribute_Single", "0x300", "0x12345678", "0x100", "01 0a"}
        << "Request: 0x10 Set_Attribute_Single class 0x300 instance 0x12345678 attribute 0x100\n"
           "To: 10.0.0.5, route 1,3,2,10.0.0.9\nData: 01 0a\n"
           "Bytes: 10 07 21 00 00 03 26 00 78 56 34 12 31 00 00 01 01 0a\n"
        << "Send 0x10 Set_Attribute_Single to class 0x300 instance 0x12345678 attribute 0x100 of the module at "
           "route 1,3,2,10.0.0.9 behind the device at 10.0.0.5? The data: 01 0a. This service does not only read: "
           "it may change the device's settings or restart it.";
    QTest::newRow("vendor service, no attribute")
        << "" << QStringList{"0x4B", "0x64", "1", "", ""}
        << "Request: 0x4B class 0x64 instance 0x01\nTo: 10.0.0.5, the device itself\nBytes: 4b 02 20 64 24 01\n"
        << "Send 0x4B to class 0x64 instance 0x01 of the device at 10.0.0.5? No data goes with it. This service "
           "does not only read: it may change the device's settings or restart it.";
}

void tst_DeviceClient::requestTexts()
{
    QFETCH(QString, route);
    QFETCH(QStringList, fields);
    QFETCH(QString, request);
    QFETCH(QString, question);
    const CipRequestResult result = requestResult(route, fields, DeviceReply::NoError, 0, {}, {}, false, {});
    QCOMPARE(result.route.toText(), route);
    QCOMPARE(CipRequestText::requestText(result.address, result.route, result.request), request);
    QCOMPARE(CipRequestText::confirmationText(result.address, result.route, result.request), question);
}

void tst_DeviceClient::readingRows_data()
{
    QTest::addColumn<QByteArray>("data");
    // "LABEL=value" joined by " | ".
    QTest::addColumn<QString>("rows");

    QTest::newRow("no data") << QByteArray() << "";
    QTest::newRow("one byte") << QByteArray::fromHex("07") << "USINT=7 (0x07)";
    QTest::newRow("three bytes, SHORT_STRING")
        << QByteArray::fromHex("024142") << "USINT=2 (0x02) | UINT=16642 (0x4102) | INT=16642 | SHORT_STRING=\"AB\"";
    QTest::newRow("REAL 0.1") << QByteArray::fromHex("cdcccc3d")
                              << "USINT=205 (0xCD) | UINT=52429 (0xCCCD) | UDINT=1036831949 (0x3DCCCCCD) | "
                                 "INT=-13107 | DINT=1036831949 | REAL=0.1";
    QTest::newRow("REAL NaN, strings") << QByteArray::fromHex("0000c07f")
                                       << "USINT=0 (0x00) | UINT=0 (0x0000) | UDINT=2143289344 (0x7FC00000) | "
                                          "INT=0 | DINT=2143289344 | REAL=NaN | SHORT_STRING=\"\" | STRING=\"\"";
    // Control characters, quote and backslash escaped: the device's bytes
    // do not reach a terminal as they are.
    QTest::newRow("strings escaped") << QByteArray::fromHex("0500") + QByteArray("\"\\\x1b[\x9b")
                                     << R"(USINT=5 (0x05) | UINT=5 (0x0005) | UDINT=1545732101 (0x5C220005) | )"
                                        R"(INT=5 | DINT=1545732101 | REAL=1.8239587e+17 | )"
                                        R"(SHORT_STRING="\x00\"\\\x1b[" | STRING="\"\\\x1b[\x9b")";
}

void tst_DeviceClient::readingRows()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, rows);
    QStringList read;
    const QList<QPair<QString, QString>> readingRows = CipRequestText::readingRows(CIP::readings(data));
    for (const auto &row : readingRows)
        read << row.first + '=' + row.second;
    QCOMPARE(read.join(" | "), rows);
}

namespace {

// A result as CipRequester gives it: to 10.0.0.5 (through the route),
// Get_Attribute_Single of class 1 instance 1 attribute 7 unless the
// fields say otherwise.
CipRequestResult requestResult(const QString &route, const QStringList &fields, int error, quint8 status,
                               const QVector<quint16> &additional, const QByteArray &data, bool routingFailed,
                               const QString &errorString)
{
    CipRequestResult result;
    result.address = QHostAddress("10.0.0.5");
    if (!route.isEmpty())
        CIP::CipRoute::fromText(route, &result.route);
    const QStringList f = fields.isEmpty() ? QStringList{"0x0E", "1", "1", "7", ""} : fields;
    CIP::GenericRequest::parse(f.at(0), f.at(1), f.at(2), f.at(3), f.at(4), &result.request);
    result.error = DeviceReply::Error(error);
    result.errorString = errorString;
    result.generalStatus = status;
    result.additionalStatus = additional;
    result.data = data;
    result.routingFailed = routingFailed;
    return result;
}

void addResultColumns()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QVector<quint16>>("additional");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("routingFailed");
    QTest::addColumn<QString>("errorString");
    QTest::addColumn<QString>("expected");
}

CipRequestResult fetchResult()
{
    QFETCH(QString, route);
    QFETCH(QStringList, fields);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QVector<quint16>, additional);
    QFETCH(QByteArray, data);
    QFETCH(bool, routingFailed);
    QFETCH(QString, errorString);
    return requestResult(route, fields, error, quint8(status), additional, data, routingFailed, errorString);
}

} // namespace

void tst_DeviceClient::resultText_data()
{
    addResultColumns();
    const QVector<quint16> none;
    const int ok = DeviceReply::NoError;
    QTest::newRow("success with data") << "" << QStringList() << ok << 0 << none << QByteArray::fromHex("2a00") << false
                                       << ""
                                       << "Status: 0x00 Success\nAdditional status: none\nData: 2 byte(s)\n"
                                          "0000  2a 00"
            + QString(42, ' ') + "  *.\nUSINT: 42 (0x2A)\nUINT: 42 (0x002A)\nINT: 42\n";
    QTest::newRow("refused, no data") << "" << QStringList() << ok << 0x14 << none << QByteArray() << false
                                      << "The device does not have this attribute (0x14)"
                                      << "Status: 0x14 Attribute not supported\nAdditional status: none\nData: none\n";
    QTest::newRow("refused, additional status")
        << "" << QStringList{"0x4B", "0x300", "0x12345678", "", "00"} << ok << 0x1F << QVector<quint16>{0x1234, 0x0001}
        << QByteArray() << false << "refused"
        << "Status: 0x1F Vendor specific error\nAdditional status: 0x1234 0x0001\nData: none\n";
    QTest::newRow("routing failure") << "1,3" << QStringList() << ok << 0x01 << QVector<quint16>{0x0204} << QByteArray()
                                     << true << "the module did not answer in time (0x0204)"
                                     << "Not delivered by the bridge: the module did not answer in time (0x0204)\n"
                                        "Status: 0x01 Connection failure\nAdditional status: 0x0204\nData: none\n";
    QTest::newRow("no answer") << "" << QStringList() << int(DeviceReply::Timeout) << 0 << none << QByteArray() << false
                               << "No answer from 10.0.0.5 on TCP port 44818 within 3 s"
                               << "No answer: No answer from 10.0.0.5 on TCP port 44818 within 3 s\n";
}

void tst_DeviceClient::resultText()
{
    QFETCH(QString, expected);
    QCOMPARE(CipRequestText::resultText(fetchResult()), expected);
}

void tst_DeviceClient::resultJson_data()
{
    addResultColumns();
    const QVector<quint16> none;
    const int ok = DeviceReply::NoError;
    // The object as JSON; compared value by value.
    QTest::newRow("success, the device itself")
        << "" << QStringList() << ok << 0 << none << QByteArray::fromHex("cdcccc3d") << false << ""
        << R"j({"address": "10.0.0.5", "route": null, "service": 14, "class": 1, "instance": 1, "attribute": 7,
              "request_hex": "0e 03 20 01 24 01 30 07", "general_status": 0, "general_status_name": "Success",
              "additional_status": [], "data_hex": "cd cc cc 3d", "routing_failed": false, "error": null,
              "readings": {"usint": 205, "uint": 52429, "udint": 1036831949, "int": -13107, "dint": 1036831949,
                           "real": 0.1, "short_string": null, "string": null}, "real_text": "0.1"})j";
    // NaN has no JSON number: null, and the text beside it. A 32-bit
    // instance, no attribute, a route.
    QTest::newRow("NaN, route, no attribute")
        << "1,3" << QStringList{"0x4C", "0x300", "0x12345678", "", "aa"} << ok << 0 << none
        << QByteArray::fromHex("0000c07f") << false << ""
        << R"j({"address": "10.0.0.5", "route": "1,3", "service": 76, "class": 768, "instance": 305419896,
              "attribute": null, "request_hex": "4c 05 21 00 00 03 26 00 78 56 34 12 aa", "general_status": 0,
              "general_status_name": "Success", "additional_status": [], "data_hex": "00 00 c0 7f",
              "routing_failed": false, "error": null,
              "readings": {"usint": 0, "uint": 0, "udint": 2143289344, "int": 0, "dint": 2143289344,
                           "real": null, "short_string": "", "string": ""}, "real_text": "NaN"})j";
    QTest::newRow("strings with control characters")
        << "" << QStringList() << ok << 0 << none << QByteArray::fromHex("0200 2201") << false << ""
        << R"j({"address": "10.0.0.5", "route": null, "service": 14, "class": 1, "instance": 1, "attribute": 7,
              "request_hex": "0e 03 20 01 24 01 30 07", "general_status": 0, "general_status_name": "Success",
              "additional_status": [], "data_hex": "02 00 22 01", "routing_failed": false, "error": null,
              "readings": {"usint": 2, "uint": 2, "udint": 19005442, "int": 2, "dint": 19005442,
                           "real": 2.9754706e-38, "short_string": "\u0000\"", "string": "\"\u0001"},
              "real_text": "2.9754706e-38"})j";
    QTest::newRow("routing failure") << "1,3" << QStringList() << ok << 0x01 << QVector<quint16>{0x0312} << QByteArray()
                                     << true << "no module at that link address (0x0312)"
                                     << R"j({"address": "10.0.0.5", "route": "1,3", "service": 14, "class": 1,
              "instance": 1, "attribute": 7, "request_hex": "0e 03 20 01 24 01 30 07", "general_status": 1,
              "general_status_name": "Connection failure", "additional_status": [786], "data_hex": "",
              "routing_failed": true, "error": "no module at that link address (0x0312)",
              "readings": {"usint": null, "uint": null, "udint": null, "int": null, "dint": null,
                           "real": null, "short_string": null, "string": null}, "real_text": null})j";
    QTest::newRow("no answer") << "" << QStringList() << int(DeviceReply::Timeout) << 0 << none << QByteArray() << false
                               << "No answer"
                               << R"j({"address": "10.0.0.5", "route": null, "service": 14, "class": 1,
              "instance": 1, "attribute": 7, "request_hex": "0e 03 20 01 24 01 30 07", "general_status": null,
              "general_status_name": null, "additional_status": [], "data_hex": null, "routing_failed": false,
              "error": "No answer", "readings": null, "real_text": null})j";
}

void tst_DeviceClient::resultJson()
{
    QFETCH(QString, expected);
    const QByteArray json = CipRequestText::resultJson(fetchResult());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    QVERIFY2(parseError.error == QJsonParseError::NoError, json.constData());
    QVERIFY(json.endsWith('\n'));
    const QJsonDocument wanted = QJsonDocument::fromJson(expected.toUtf8(), &parseError);
    QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
    QCOMPARE(document.toJson(QJsonDocument::Compact), wanted.toJson(QJsonDocument::Compact));
    // Control characters reach the output escaped, never as they are.
    for (const char c : json)
        QVERIFY(quint8(c) >= 0x20 || c == '\n');
}

QTEST_GUILESS_MAIN(tst_DeviceClient)

#include "tst_deviceclient.moc"
