#include "ciprequester.h"

CipRequester::CipRequester(const QHostAddress &address, const CIP::CipRoute &route, quint16 port, QObject *parent)
    : QObject(parent)
    , deviceAddress(address)
    , deviceRoute(route)
    , devicePort(port)
{
    qRegisterMetaType<CipRequestResult>();
}

CipRequester::~CipRequester()
{
    // The reply's owner is this object: it goes with it, and the client
    // (a child too) aborts its connection.
    delete pending;
}

bool CipRequester::send(const CIP::GenericRequest &request)
{
    if (pending)
        return false;
    result = CipRequestResult();
    result.address = deviceAddress;
    result.route = deviceRoute;
    result.request = request;
    result.sentAt = QDateTime::currentDateTime();
    // A session of its own: the one before may still be closing.
    client = new DeviceClient(deviceAddress, devicePort, this);
    client->setTimeout(timeoutMs);
    pending = client->send(request.toRequest(), deviceRoute);
    pending->setParent(this);
    DeviceReply *reply = pending;
    connect(reply, &DeviceReply::finished, this, [this, reply]() { priv_onReply(reply); });
    return true;
}

void CipRequester::setTimeout(int ms)
{
    timeoutMs = qMax(1, ms);
}

void CipRequester::priv_onReply(DeviceReply *reply)
{
    reply->deleteLater();
    if (reply != pending)
        return;
    pending = nullptr;
    if (client) {
        DeviceClient *done = client;
        client = nullptr;
        connect(done, &DeviceClient::closed, done, &QObject::deleteLater);
        done->close();
    }
    result.error = reply->error();
    result.errorString = reply->errorString();
    result.routingFailed = reply->routingFailed();
    result.generalStatus = reply->generalStatus();
    result.additionalStatus = reply->additionalStatus();
    result.data = reply->data();
    emit finished(result);
}
