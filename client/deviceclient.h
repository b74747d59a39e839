#ifndef DEVICECLIENT_H
#define DEVICECLIENT_H

#include "messagerouter.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

// What became of one request of a DeviceClient.
struct DeviceReply
{
    enum Error {
        NoError, // the device answered; see generalStatus
        ConnectFailed, // no connection (refused, unreachable, 3 s passed)
        Timeout, // no whole answer within 3 s of the request
        InvalidAnswer, // an answer that does not match the request
        SessionRefused, // the device refused the session or the request
        ConnectionLost, // the device closed the connection
        Cancelled // the client was closed or destroyed first
    };

    // The device answered and did what was asked.
    bool succeeded() const { return error == NoError && generalStatus == 0; }
    // The device answered (possibly with a refusal in generalStatus).
    bool answered() const { return error == NoError; }

    CIP::MessageRouterRequest request;
    Error error = NoError;
    // What went wrong, in words for the person at the device: the transport
    // fault, or for an answer with generalStatus other than 0 the refusal.
    QString errorText;
    quint8 generalStatus = 0;
    QVector<quint16> additionalStatus;
    QByteArray data;
};

// One EtherNet/IP explicit-messaging session with one device over TCP:
// connect, RegisterSession, the queued requests one at a time (each one
// SendRRData with an unconnected Message Router request), UnRegisterSession
// and close. Nothing blocks: every request ends in replied(), with the
// device's answer or with an error, within 3 s of its being written; a
// connection that is not up 3 s after connectToHost is abandoned.
//
// A fault of the connection (timeout, an answer that does not match its
// request, a closed connection) ends the session: the request in flight and
// every queued one end with that error, and the next request queued opens
// a new session. A refusal by the device (a general status other than 0)
// ends only its own request.
//
// Do not delete the client from a slot connected to its signals; use
// deleteLater().
class DeviceClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimeoutMs = 3000;

    explicit DeviceClient(const QHostAddress &address, quint16 port = 44818, QObject *parent = nullptr);
    // Aborts the connection; requests still queued end without a signal.
    ~DeviceClient() override;

    QHostAddress address() const { return deviceAddress; }
    quint16 port() const { return devicePort; }

    // Queues a request and returns its id, which replied() carries back.
    int send(const CIP::MessageRouterRequest &request);
    int getAttributesAll(quint16 classId, quint16 instance);
    int getAttributeSingle(quint16 classId, quint16 instance, quint16 attribute);
    int setAttributeSingle(quint16 classId, quint16 instance, quint16 attribute, const QByteArray &data);
    // The Identity object's Reset: type 0 restarts the device as a power
    // cycle would, 1 also returns it to its factory defaults.
    int reset(quint8 type = 0);

    // Once the queued requests are done: UnRegisterSession, then close;
    // closed() follows. At once when nothing is connected.
    void close();

    // True while requests are queued or in flight.
    bool busy() const { return current >= 0 || !queue.isEmpty(); }

signals:
    void replied(int id, const DeviceReply &reply);
    void closed();

private:
    enum class State { Unconnected, Connecting, Registering, Ready, Waiting, Closing };
    struct Pending
    {
        int id;
        CIP::MessageRouterRequest request;
    };

    void priv_connect();
    void priv_writeNext();
    void priv_onConnected();
    void priv_onReadyRead();
    void priv_onTimeout();
    void priv_onSocketError();
    void priv_onDisconnected();
    void priv_handleMessage(const QByteArray &bytes);
    void priv_answer(const DeviceReply &reply);
    // Ends the session with an error for the request in flight and every
    // queued one.
    void priv_fail(DeviceReply::Error error, const QString &text);
    void priv_finishClose();
    QString priv_deviceText() const;

    QHostAddress deviceAddress;
    quint16 devicePort;
    QTcpSocket *socket;
    QTimer timer;
    State state = State::Unconnected;
    quint32 session = 0;
    QByteArray received;
    QList<Pending> queue;
    int current = -1;
    CIP::MessageRouterRequest currentRequest;
    int nextId = 1;
    bool closeWanted = false;
};

Q_DECLARE_METATYPE(DeviceReply)

#endif // DEVICECLIENT_H
