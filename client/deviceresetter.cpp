#include "deviceresetter.h"

#include "deviceclient.h"
#include "devicedetails.h"
#include "identityprobe.h"

#include <QDebug>

DeviceResetter::DeviceResetter(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
    , deviceAddress(address)
    , client(new DeviceClient(address, port, this))
    , probe(new IdentityProbe(this))
{
    qRegisterMetaType<ResetResult>();
    connect(probe, &IdentityProbe::answered, this, &DeviceResetter::priv_onFound);
    connect(probe, &IdentityProbe::timedOut, this, &DeviceResetter::priv_onNotFound);
}

DeviceResetter::~DeviceResetter() = default;

QHostAddress DeviceResetter::expectedAddress(const DeviceDetails &details)
{
    using T = CIP::CipTcpIpInterface;
    const T &t = details.tcpip;
    if (t.has(T::ConfigurationControl) && t.configurationMethod() == T::StaticAddress
        && t.has(T::InterfaceConfiguration) && t.configuration.ipAddress != 0)
        return QHostAddress(t.configuration.ipAddress);
    return details.address;
}

void DeviceResetter::start(const QHostAddress &expectedAt, quint8 type)
{
    delete pending;
    probe->stop();
    result = ResetResult();
    expected = expectedAt.isNull() ? deviceAddress : expectedAt;
    pending = client->reset(type);
    pending->setParent(this);
    DeviceReply *reply = pending;
    connect(reply, &DeviceReply::finished, this, [this, reply]() { priv_onReply(reply); });
}

void DeviceResetter::priv_onReply(DeviceReply *reply)
{
    reply->deleteLater();
    if (reply != pending)
        return;
    pending = nullptr;
    client->close();
    if (reply->succeeded()) {
        result.outcome = ResetResult::Accepted;
    } else if (reply->answered() || reply->error() == DeviceReply::SessionRefused) {
        result.outcome = ResetResult::Refused;
        result.message = reply->errorString();
    } else if (reply->error() == DeviceReply::ConnectionLost && reply->wasWritten()) {
        // A device may restart before its answer is out. A connection
        // lost before the reset went out (at RegisterSession) is no sign
        // of one.
        result.outcome = ResetResult::UnderWay;
        result.message = reply->errorString();
    } else {
        result.outcome = ResetResult::NotConfirmed;
        result.message = reply->errorString();
    }
    if (result.outcome == ResetResult::Refused) {
        qDebug() << "DeviceResetter::priv_onReply"
                 << ": Error:"
                 << "Reset of" << deviceAddress.toString() << "refused:" << result.message;
        emit finished(result);
        return;
    }
    result.lookedFor = expected;
    qDebug() << "DeviceResetter::priv_onReply"
             << ":"
             << "Reset of" << deviceAddress.toString()
             << (result.outcome == ResetResult::NotConfirmed ? "not confirmed," : "under way,") << "looking for it at"
             << expected.toString();
    probe->start(expected, findMs);
    emit searching(result);
}

void DeviceResetter::priv_onFound()
{
    result.found = true;
    emit finished(result);
}

void DeviceResetter::priv_onNotFound()
{
    result.found = false;
    emit finished(result);
}
