#ifndef DEVICECLIENT_H
#define DEVICECLIENT_H

#include "ciproute.h"
#include "messagerouter.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVector>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

class DeviceClient;

// What became of one request of a DeviceClient. send() hands it to the
// caller, who owns it (it has no parent) and deletes it when done, at the
// earliest once finished() is out. finished() comes once, always from the
// event loop, never from inside send(). A reply deleted before its answer
// is simply forgotten: its answer is dropped and the client goes on.
class DeviceReply : public QObject
{
    Q_OBJECT

public:
    enum Error {
        NoError, // the device answered; see generalStatus
        ConnectFailed, // no connection (refused, unreachable, the timeout passed)
        Timeout, // no whole answer within the timeout of the request
        InvalidAnswer, // an answer that does not match the request
        SessionRefused, // the device refused the session or the request
        ConnectionLost, // the device closed the connection
        Cancelled // the client was destroyed first
    };
    Q_ENUM(Error)

    ~DeviceReply() override;

    // The number the client's log lines give the request.
    int id() const { return requestId; }
    CIP::MessageRouterRequest request() const { return sent; }
    // The route the request went through; empty: the device itself.
    CIP::CipRoute route() const { return sentRoute; }
    // For a routed request the bridge did not deliver: its routing error
    // (generalStatus and additionalStatus hold it too, and errorString says
    // it in words). False for the module's own answer.
    bool routingFailed() const { return notDelivered; }
    bool isFinished() const { return done; }
    // The request went out on the connection (its answer may have been
    // lost all the same); false for one that failed while still queued.
    bool wasWritten() const { return written; }

    Error error() const { return fault; }
    // What went wrong, in words for the person at the device: the transport
    // fault, or for an answer with generalStatus other than 0 the refusal.
    QString errorString() const { return faultText; }
    quint8 generalStatus() const { return status; }
    QVector<quint16> additionalStatus() const { return additional; }
    QByteArray data() const { return payload; }

    // The device answered and did what was asked.
    bool succeeded() const { return done && fault == NoError && status == 0; }
    // The device answered (possibly with a refusal in generalStatus).
    bool answered() const { return done && fault == NoError; }

signals:
    void finished();

private:
    friend class DeviceClient;
    DeviceReply(int id, const CIP::MessageRouterRequest &request, const CIP::CipRoute &route);
    // Takes the outcome and emits finished().
    void priv_finish(Error error, const QString &text, quint8 generalStatus = 0,
                     const QVector<quint16> &additionalStatus = {}, const QByteArray &data = QByteArray());

    int requestId;
    CIP::MessageRouterRequest sent;
    CIP::CipRoute sentRoute;
    bool notDelivered = false;
    bool written = false;
    bool done = false;
    Error fault = NoError;
    QString faultText;
    quint8 status = 0;
    QVector<quint16> additional;
    QByteArray payload;
};

// One EtherNet/IP explicit-messaging session with one device over TCP:
// connect, RegisterSession, the queued requests (each one SendRRData with
// an unconnected Message Router request), UnRegisterSession and close.
// Nothing blocks: every request's reply finishes with the device's answer
// or with an error within the timeout (3 s unless set) of its being
// written; a connection that is not up that long after connectToHost is
// abandoned.
//
// Up to maxInFlight() requests are written at once on the one session
// (1 unless set: one at a time, each after the answer to the one before).
// Each carries its own sender context, which the device echoes, and its
// answer is matched to it by that context, in whatever order the answers
// come.
//
// A fault of the connection (timeout, an answer that does not match its
// request, a closed connection) ends the session: every request in flight
// and every queued one end with that error, and the next request queued
// opens a new session. A refusal by the device (a general status other
// than 0, or an encapsulation status on SendRRData) ends only its own
// request.
//
// Do not delete the client from a slot connected to its signals or its
// replies' signals; use deleteLater().
class DeviceClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 3000;

    enum State {
        UnconnectedState,
        ConnectingState, // waiting for the TCP connection
        RegisteringState, // RegisterSession sent
        ConnectedState, // the session is up; requests go out
        ClosingState // UnRegisterSession sent, the connection closing
    };
    Q_ENUM(State)

    explicit DeviceClient(const QHostAddress &address, quint16 port = 44818, QObject *parent = nullptr);
    // Aborts the connection; every reply not yet finished finishes with
    // Cancelled, from the event loop.
    ~DeviceClient() override;

    QHostAddress address() const { return deviceAddress; }
    quint16 port() const { return devicePort; }
    State state() const { return current; }

    // How long a connection, a session and each request may take; for the
    // requests already written it applies from the next one on.
    void setTimeout(int ms);
    int timeout() const { return timeoutMs; }
    // How many requests may be written before their answers are in; at
    // least 1.
    void setMaxInFlight(int n);
    int maxInFlight() const { return inFlightLimit; }

    // Queues a request. The caller owns the reply. With a route the request
    // goes to the module at its end, wrapped in an Unconnected Send to the
    // device's Connection Manager; an empty route is the device itself.
    // The answer to a routed request is the module's own reply, or the
    // bridge's routing error (see DeviceReply::routingFailed). An answer to
    // a routed request that is malformed or answers another service ends
    // that request alone (InvalidAnswer): a bridge relays whatever the
    // module sends, and the session itself is sound.
    DeviceReply *send(const CIP::MessageRouterRequest &request, const CIP::CipRoute &route = CIP::CipRoute());
    DeviceReply *getAttributesAll(quint16 classId, quint16 instance, const CIP::CipRoute &route = CIP::CipRoute());
    DeviceReply *getAttributeSingle(quint16 classId, quint16 instance, quint16 attribute,
                                    const CIP::CipRoute &route = CIP::CipRoute());
    DeviceReply *setAttributeSingle(quint16 classId, quint16 instance, quint16 attribute, const QByteArray &data,
                                    const CIP::CipRoute &route = CIP::CipRoute());
    // The Identity object's Reset: type 0 restarts the device as a power
    // cycle would, 1 also returns it to its factory defaults.
    DeviceReply *reset(quint8 type = 0, const CIP::CipRoute &route = CIP::CipRoute());

    // The shortest wait for a routed request's answer: longer than the
    // bridge's own timeout for the module, so that the bridge's "did not
    // answer in time" (0x0204) arrives before the client gives up.
    static int routedTimeoutMs();

    // Once the queued requests are done: UnRegisterSession, then close;
    // closed() follows. At once (from the event loop) when nothing is
    // connected.
    void close();

    // True while requests are queued or in flight.
    bool busy() const { return !inFlight.isEmpty() || !queue.isEmpty(); }

signals:
    void stateChanged(DeviceClient::State state);
    void closed();

private:
    struct Pending
    {
        int id = 0;
        // Gone when its caller deleted it: the answer is then dropped.
        QPointer<DeviceReply> reply;
        CIP::MessageRouterRequest request;
        CIP::CipRoute route;
        // The encapsulation sender context it goes out with, 8 bytes.
        QByteArray context;
        QDeadlineTimer deadline;
    };

    // Does whatever is due: connects when requests wait, writes what the
    // session can take, closes when asked and idle. Always from the event
    // loop.
    void priv_process();
    void priv_schedule();
    // Writes what the session can take of the queue; UnRegisterSession
    // once it is empty and a close is wanted.
    void priv_writeNext();
    void priv_setState(State state);
    void priv_connect();
    void priv_onConnected();
    void priv_onReadyRead();
    void priv_onTimeout();
    void priv_onSocketError();
    void priv_onDisconnected();
    void priv_handleMessage(const QByteArray &bytes);
    // The bytes of one request on the session: the one place where a
    // request gets its wire form.
    QByteArray priv_frame(const Pending &request) const;
    // Ends one request in flight with the device's answer or refusal.
    void priv_answer(const Pending &request, DeviceReply::Error error, const QString &text, quint8 generalStatus,
                     const QVector<quint16> &additionalStatus, const QByteArray &data);
    // Ends the session with an error for every request in flight and
    // every queued one.
    void priv_fail(DeviceReply::Error error, const QString &text);
    void priv_finishClose();
    void priv_armTimer();
    QString priv_deviceText() const;
    QString priv_secondsText() const;

    QHostAddress deviceAddress;
    quint16 devicePort;
    QTcpSocket *socket;
    QTimer timer;
    QTimer kick;
    State current = UnconnectedState;
    int timeoutMs = DefaultTimeoutMs;
    int inFlightLimit = 1;
    quint32 session = 0;
    QByteArray received;
    QList<Pending> queue;
    // In the order they were written.
    QList<Pending> inFlight;
    int nextId = 1;
    bool closeWanted = false;
};

#endif // DEVICECLIENT_H
