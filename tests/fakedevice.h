#ifndef FAKEDEVICE_H
#define FAKEDEVICE_H

// An EtherNet/IP device for explicit messaging, played by an in-process
// QTcpServer on loopback, for the tests of the client and of the dialogs
// that talk to a device. Its bytes are built here, apart from the
// program's codec.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVector>
#include <QtEndian>

#include <algorithm>

namespace FakeDeviceBytes {

inline QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray header(quint16 command, int length, quint32 session, quint32 status, const QByteArray &context)
{
    return le16(command) + le16(quint16(length)) + le32(session) + le32(status) + context + le32(0);
}

} // namespace FakeDeviceBytes

// An EtherNet/IP device as far as explicit messaging goes, built byte by
// byte apart from the program's codec. Every answer's data is the path of
// its request, so that a test sees which request an answer belongs to.
class FakeDevice : public QObject
{
public:
    // "normal", "silent" (never a word), "close_mid_reply", "huge_length",
    // "garbage" (an HTTP error), "wrong_session", "wrong_service",
    // "wrong_context" (the sender context not echoed).
    QString behaviour = QStringLiteral("normal");
    // Every answer goes out in writes of chunk bytes, intervalMs apart (0:
    // in one write).
    int chunk = 0;
    int intervalMs = 0;
    int answerDelayMs = 0;
    // Answers to SendRRData are held until release().
    bool hold = false;
    quint32 session = 0x11223344;
    // The general status and additional status words of every answer to
    // SendRRData; with dataSize 0 or more, its data is that many bytes
    // (counting 00, 01, ...) instead of the request's path.
    quint8 generalStatus = 0;
    QVector<quint16> additionalStatus;
    int dataSize = -1;
    // When not empty, the data of every answer to SendRRData (before
    // dataSize).
    QByteArray answerData;
    // Not empty: the Message Router response of every answer to SendRRData,
    // as it is (a bridge's routing error, a module's reply relayed).
    QByteArray fixedResponse;

    // What the device took: "6f 0e 20f524013006" (command, then for
    // SendRRData service and path), with the sender context of each.
    QStringList requests;
    QList<QByteArray> contexts;
    // The data after each SendRRData request's path.
    QList<QByteArray> requestData;
    int connections = 0;

    bool listen()
    {
        QObject::connect(&server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { priv_read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return server.serverPort(); }

    // Sends the held answers: in reverse order, or all in one write.
    void release(bool reversed, bool oneWrite)
    {
        QList<QPair<QPointer<QTcpSocket>, QByteArray>> answers = held;
        held.clear();
        if (reversed)
            std::reverse(answers.begin(), answers.end());
        QByteArray together;
        for (const auto &answer : qAsConst(answers)) {
            if (oneWrite)
                together += answer.second;
            else
                priv_send(answer.first, answer.second, false);
        }
        if (oneWrite && !answers.isEmpty())
            priv_send(answers.first().first, together, false);
    }
    int heldCount() const { return held.size(); }

private:
    void priv_read(QTcpSocket *socket)
    {
        QByteArray &buffer = buffers[socket];
        buffer += socket->readAll();
        while (buffer.size() >= 24) {
            const int length = qFromLittleEndian<quint16>(buffer.constData() + 2);
            if (buffer.size() < 24 + length)
                return;
            const QByteArray message = buffer.left(24 + length);
            buffer.remove(0, 24 + length);
            priv_handle(socket, message);
        }
    }

    void priv_handle(QTcpSocket *socket, const QByteArray &message)
    {
        using namespace FakeDeviceBytes;
        const quint16 command = qFromLittleEndian<quint16>(message.constData());
        const QByteArray context = message.mid(12, 8);
        const QByteArray body = message.mid(24);
        if (behaviour == QLatin1String("silent")) {
            requests << QString::number(command, 16);
            return;
        }
        if (command == 0x65) {
            requests << QStringLiteral("65");
            priv_send(socket, header(0x65, body.size(), session, 0, context) + body, false);
            return;
        }
        if (command == 0x66) {
            requests << QStringLiteral("66");
            socket->disconnectFromHost();
            return;
        }
        // SendRRData: interface handle, timeout, item count, items.
        QByteArray request;
        int offset = 8;
        const int count = body.size() >= 8 ? qFromLittleEndian<quint16>(body.constData() + 6) : 0;
        for (int i = 0; i < count && offset + 4 <= body.size(); ++i) {
            const quint16 type = qFromLittleEndian<quint16>(body.constData() + offset);
            const quint16 size = qFromLittleEndian<quint16>(body.constData() + offset + 2);
            if (type == 0xB2)
                request = body.mid(offset + 4, size);
            offset += 4 + size;
        }
        const quint8 service = quint8(request.size() > 0 ? request.at(0) : 0);
        const QByteArray path = request.mid(2, 2 * (request.size() > 1 ? quint8(request.at(1)) : 0));
        requests
            << QStringLiteral("6f %1 %2").arg(service, 2, 16, QLatin1Char('0')).arg(QString::fromLatin1(path.toHex()));
        contexts << context;
        requestData << request.mid(2 + path.size());

        quint8 replyService = service | 0x80;
        if (behaviour == QLatin1String("wrong_service"))
            replyService = service != 0x01 ? 0x81 : 0x8E;
        QByteArray response = QByteArray(1, char(replyService)) + QByteArray(1, '\0')
            + QByteArray(1, char(generalStatus)) + QByteArray(1, char(additionalStatus.size()));
        for (const quint16 word : qAsConst(additionalStatus))
            response += le16(word);
        if (!answerData.isEmpty()) {
            response += answerData;
        } else if (dataSize < 0) {
            response += path;
        } else {
            for (int i = 0; i < dataSize; ++i)
                response += char(i);
        }
        if (!fixedResponse.isEmpty())
            response = fixedResponse;
        const QByteArray cpf =
            le32(0) + le16(0) + le16(2) + le16(0) + le16(0) + le16(0xB2) + le16(quint16(response.size())) + response;
        QByteArray echoed = context;
        if (behaviour == QLatin1String("wrong_context"))
            echoed[0] = char(echoed.at(0) ^ 0x5A);
        const quint32 replySession = behaviour == QLatin1String("wrong_session") ? session + 1 : session;
        QByteArray reply = header(0x6F, cpf.size(), replySession, 0, echoed) + cpf;
        bool close = false;
        if (behaviour == QLatin1String("close_mid_reply")) {
            reply = reply.left(reply.size() / 2);
            close = true;
        } else if (behaviour == QLatin1String("huge_length")) {
            reply[2] = char(0xFF);
            reply[3] = char(0xFF);
        } else if (behaviour == QLatin1String("garbage")) {
            reply = "HTTP/1.1 400 Bad Request\r\n\r\n";
        }
        if (hold) {
            held.append({socket, reply});
            return;
        }
        QPointer<QTcpSocket> target(socket);
        QTimer::singleShot(answerDelayMs, this, [this, target, reply, close]() { priv_send(target, reply, close); });
    }

    // Writes the bytes, in chunks when asked, and closes afterwards if
    // close is set.
    void priv_send(QPointer<QTcpSocket> socket, const QByteArray &bytes, bool close)
    {
        if (!socket)
            return;
        if (chunk <= 0 || bytes.size() <= chunk) {
            socket->write(bytes);
            socket->flush();
            if (close)
                socket->disconnectFromHost();
            return;
        }
        socket->write(bytes.left(chunk));
        socket->flush();
        const QByteArray rest = bytes.mid(chunk);
        QTimer::singleShot(intervalMs, this, [this, socket, rest, close]() { priv_send(socket, rest, close); });
    }

    QTcpServer server;
    QHash<QTcpSocket *, QByteArray> buffers;
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> held;
};

#endif // FAKEDEVICE_H
