#ifndef CIPREQUESTER_H
#define CIPREQUESTER_H

#include "ciprequest.h"
#include "ciproute.h"
#include "deviceclient.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

// The outcome of one request sent by CipRequester.
struct CipRequestResult
{
    QHostAddress address;
    // Empty: the device itself.
    CIP::CipRoute route;
    CIP::GenericRequest request;
    // Local time the request went out.
    QDateTime sentAt;
    // The transport's outcome.
    DeviceReply::Error error = DeviceReply::NoError;
    // In words, for every failure and refusal; empty for a success.
    QString errorString;
    // An answer came, maybe a refusal.
    bool answered() const { return error == DeviceReply::NoError; }
    // An answer came and says the device did what was asked.
    bool succeeded() const { return answered() && generalStatus == 0; }
    // The bridge did not deliver the request: generalStatus and
    // additionalStatus hold its routing error, not the module's answer.
    bool routingFailed = false;
    quint8 generalStatus = 0;
    QVector<quint16> additionalStatus;
    QByteArray data;
};
Q_DECLARE_METATYPE(CipRequestResult)

// Sends one Message Router request, as a person typed it, to a device or
// through a route to a module behind it: one session per request (a device
// may drop an idle session), closed after the answer. Sends exactly what it
// is given: whether to ask first is the caller's (CIP::isGetService).
class CipRequester : public QObject
{
    Q_OBJECT

public:
    explicit CipRequester(const QHostAddress &address, const CIP::CipRoute &route = CIP::CipRoute(),
                          quint16 port = 44818, QObject *parent = nullptr);
    ~CipRequester() override;

    QHostAddress address() const { return deviceAddress; }
    CIP::CipRoute route() const { return deviceRoute; }

    // Sends the request; finished() follows from the event loop. False,
    // sending nothing, while a request is under way.
    bool send(const CIP::GenericRequest &request);
    bool isBusy() const { return pending != nullptr; }
    // How long the connection, the session and the answer may each take
    // (DeviceClient's; a routed request waits at least as long as the
    // bridge). For the next request on.
    void setTimeout(int ms);
    int timeout() const { return timeoutMs; }

signals:
    void finished(const CipRequestResult &result);

private:
    void priv_onReply(DeviceReply *reply);

    QHostAddress deviceAddress;
    CIP::CipRoute deviceRoute;
    quint16 devicePort;
    int timeoutMs = DeviceClient::DefaultTimeoutMs;
    // The session of the request under way; closed, then deleted, after
    // the answer.
    QPointer<DeviceClient> client;
    DeviceReply *pending = nullptr;
    CipRequestResult result;
};

#endif // CIPREQUESTER_H
