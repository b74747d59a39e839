#include "bootpdhcpdisabler.h"

#include "cipnames.h"
#include "cipobjects.h"
#include "deviceclient.h"

#include <QDebug>

namespace {

QString methodText(quint32 method)
{
    switch (method) {
    case CIP::CipTcpIpInterface::StaticAddress:
        return BootpDhcpDisabler::tr("static");
    case CIP::CipTcpIpInterface::Bootp:
        return QStringLiteral("BOOTP");
    case CIP::CipTcpIpInterface::Dhcp:
        return QStringLiteral("DHCP");
    default:
        return BootpDhcpDisabler::tr("method %1").arg(method);
    }
}

// The configuration control of a Get_Attribute_Single reply; false when
// the reply holds none.
bool controlOf(const DeviceReply *reply, quint32 *control)
{
    CIP::CipTcpIpInterface values;
    if (!reply->succeeded() || !values.setAttribute(CIP::CipTcpIpInterface::ConfigurationControl, reply->data()))
        return false;
    *control = values.control;
    return true;
}

} // namespace

BootpDhcpDisabler::BootpDhcpDisabler(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
    , deviceAddress(address)
    , client(new DeviceClient(address, port, this))
{ }

void BootpDhcpDisabler::start()
{
    if (step != Step::Idle)
        return;
    step = Step::Reading;
    priv_ask(client->getAttributeSingle(CIP::TcpIpInterfaceClass, 1, CIP::CipTcpIpInterface::ConfigurationControl));
}

void BootpDhcpDisabler::priv_ask(DeviceReply *reply)
{
    pending = reply;
    reply->setParent(this);
    connect(reply, &DeviceReply::finished, this, [this, reply]() { priv_onReply(reply); });
}

void BootpDhcpDisabler::priv_onReply(DeviceReply *reply)
{
    reply->deleteLater();
    if (reply != pending)
        return;
    pending = nullptr;
    const QString device = deviceAddress.toString();
    if (step == Step::Writing && !reply->answered()) {
        // The answer to the write was lost, not refused: a device may apply
        // it at once and drop the connection. What it reads back decides.
        step = Step::ReadingBack;
        priv_ask(client->getAttributeSingle(CIP::TcpIpInterfaceClass, 1, CIP::CipTcpIpInterface::ConfigurationControl));
        return;
    }
    if (!reply->succeeded()) {
        priv_finish(false,
                    step == Step::Writing
                        ? tr("%1 refused the static address method: %2").arg(device, reply->errorString())
                        : tr("Could not read how %1 gets its address: %2").arg(device, reply->errorString()));
        return;
    }
    switch (step) {
    case Step::Reading: {
        if (!controlOf(reply, &control)) {
            priv_finish(false, tr("%1 answered with no configuration control.").arg(device));
            return;
        }
        step = Step::Writing;
        CIP::CipTcpIpInterface values;
        values.control = control & ~quint32(CIP::CipTcpIpInterface::ConfigurationMethodMask);
        priv_ask(client->setAttributeSingle(CIP::TcpIpInterfaceClass, 1, CIP::CipTcpIpInterface::ConfigurationControl,
                                            values.attributeData(CIP::CipTcpIpInterface::ConfigurationControl)));
        return;
    }
    case Step::Writing:
        step = Step::ReadingBack;
        priv_ask(client->getAttributeSingle(CIP::TcpIpInterfaceClass, 1, CIP::CipTcpIpInterface::ConfigurationControl));
        return;
    case Step::ReadingBack: {
        quint32 readBack = 0;
        if (!controlOf(reply, &readBack)) {
            priv_finish(false,
                        tr("%1 took the write, but its configuration control could not be read back.").arg(device));
            return;
        }
        const quint32 method = readBack & CIP::CipTcpIpInterface::ConfigurationMethodMask;
        if (method != CIP::CipTcpIpInterface::StaticAddress) {
            priv_finish(false, tr("%1 still reads back %2 as its address method.").arg(device, methodText(method)));
            return;
        }
        priv_finish(true,
                    tr("BOOTP/DHCP is off on %1: it reads back static (it was %2), and keeps its address "
                       "after a power cycle.")
                        .arg(device, methodText(control & CIP::CipTcpIpInterface::ConfigurationMethodMask)));
        return;
    }
    case Step::Idle:
        break;
    }
}

void BootpDhcpDisabler::priv_finish(bool ok, const QString &message)
{
    step = Step::Idle;
    client->close();
    if (ok)
        qDebug() << "BootpDhcpDisabler::priv_finish"
                 << ":" << message;
    else
        qDebug() << "BootpDhcpDisabler::priv_finish"
                 << ": Error:" << message;
    emit finished(ok, message);
}
