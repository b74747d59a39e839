#include "devicedetails.h"

#include "cipnames.h"
#include "deviceclient.h"
#include "ipv4subnet.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceDetails", text);
}

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

bool objectMissing(quint8 status)
{
    // "Object does not exist" and "Path destination unknown": devices
    // answer an instance they do not have with either.
    return status == 0x16 || status == 0x05;
}

} // namespace

QString DeviceDetails::objectName(quint16 classId)
{
    switch (classId) {
    case CIP::IdentityClass:
        return QStringLiteral("identity");
    case CIP::TcpIpInterfaceClass:
        return QStringLiteral("tcpip");
    case CIP::EthernetLinkClass:
        return QStringLiteral("ethernet_link");
    default:
        return QStringLiteral("class_%1").arg(classId, 0, 16);
    }
}

QString DeviceDetails::attributeName(quint16 classId, quint16 attribute)
{
    static const char *const identity[] = {nullptr,  "vendor_id",     "device_type",  "product_code", "revision",
                                           "status", "serial_number", "product_name", "state"};
    static const char *const tcpip[] = {nullptr,
                                        "status",
                                        "configuration_capability",
                                        "configuration_control",
                                        "physical_link",
                                        "interface_configuration",
                                        "host_name",
                                        "safety_network_number",
                                        "ttl",
                                        "multicast",
                                        "acd_enabled",
                                        "last_conflict"};
    static const char *const link[] = {nullptr, "speed", "flags", "mac_address"};
    const char *name = nullptr;
    if (classId == CIP::IdentityClass && attribute < std::size(identity))
        name = identity[attribute];
    else if (classId == CIP::TcpIpInterfaceClass && attribute < std::size(tcpip))
        name = tcpip[attribute];
    else if (classId == CIP::EthernetLinkClass && attribute < std::size(link))
        name = link[attribute];
    return name ? QString::fromLatin1(name) : QStringLiteral("attribute_%1").arg(attribute);
}

QStringList deviceWarnings(const DeviceDetails &details, quint32 cardNetmask, quint32 answeredFrom)
{
    QStringList warnings;
    const CIP::CipTcpIpInterface &tcpip = details.tcpip;
    if (tcpip.has(CIP::CipTcpIpInterface::InterfaceConfiguration)) {
        const CIP::CipInterfaceConfiguration &c = tcpip.configuration;
        if (cardNetmask != 0 && c.netmask != 0 && c.netmask != cardNetmask)
            warnings.append(tr("The device's netmask %1 differs from %2, that of the network card it was found through")
                                .arg(dotted(c.netmask), dotted(cardNetmask)));
        if (c.gateway != 0 && c.netmask != 0 && (c.gateway & c.netmask) != (c.ipAddress & c.netmask))
            warnings.append(tr("The gateway %1 is outside the device's own subnet %2/%3")
                                .arg(dotted(c.gateway), dotted(c.ipAddress & c.netmask))
                                .arg(netmaskPrefix(c.netmask)));
        if (answeredFrom != 0 && c.ipAddress != 0 && c.ipAddress != answeredFrom)
            warnings.append(tr("The device is configured with the address %1 but answered from %2")
                                .arg(dotted(c.ipAddress), dotted(answeredFrom)));
    }
    const bool hasStatus = tcpip.has(CIP::CipTcpIpInterface::Status);
    if (hasStatus && (tcpip.status & CIP::CipTcpIpInterface::ConfigurationPending))
        warnings.append(tr("A change of the device's network settings waits until the device is reset"));
    const bool hasConflict = tcpip.has(CIP::CipTcpIpInterface::LastConflictDetected) && tcpip.lastConflict.any();
    if ((hasStatus && (tcpip.status & CIP::CipTcpIpInterface::AcdConflict)) || hasConflict) {
        const QByteArray mac(reinterpret_cast<const char *>(tcpip.lastConflict.remoteMac), 6);
        if (hasConflict && mac != QByteArray(6, '\0'))
            warnings.append(tr("The device detected an address conflict with the device %1")
                                .arg(QString::fromLatin1(mac.toHex(':').toUpper())));
        else
            warnings.append(tr("The device detected an address conflict"));
    }
    return warnings;
}

DeviceDetailsReader::DeviceDetailsReader(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
    , client(new DeviceClient(address, port, this))
{
    qRegisterMetaType<DeviceDetails>();
}

DeviceDetailsReader::DeviceDetailsReader(const QHostAddress &address, const CIP::CipRoute &route, QObject *parent)
    : DeviceDetailsReader(address, route, 44818, parent)
{ }

DeviceDetailsReader::DeviceDetailsReader(const QHostAddress &address, const CIP::CipRoute &route, quint16 port,
                                         QObject *parent)
    : DeviceDetailsReader(address, port, parent)
{
    this->route = route;
}

DeviceDetailsReader::DeviceDetailsReader(DeviceClient *sharedClient, QObject *parent)
    : QObject(parent)
    , client(sharedClient)
    , ownsClient(false)
{
    qRegisterMetaType<DeviceDetails>();
}

DeviceDetailsReader::~DeviceDetailsReader() = default;

void DeviceDetailsReader::start()
{
    // A reading under way is given up: its answers are dropped.
    delete pending;
    pending = nullptr;
    priv_dropAhead();
    details = DeviceDetails();
    details.address = client->address();
    details.route = route;
    if (pipelined)
        priv_askAhead();
    priv_readObject(CIP::IdentityClass, 1);
}

void DeviceDetailsReader::priv_askAhead()
{
    for (const quint16 classId : {CIP::IdentityClass, CIP::TcpIpInterfaceClass, CIP::EthernetLinkClass}) {
        DeviceReply *reply = client->getAttributesAll(classId, 1, route);
        reply->setParent(this);
        ahead.insert(classId, reply);
        // Taken up when the reading comes to its object; answered sooner,
        // it waits for that.
        connect(reply, &DeviceReply::finished, this, [this, reply]() {
            if (reply == pending)
                priv_onReply(reply);
        });
    }
}

void DeviceDetailsReader::priv_dropAhead()
{
    // deleteLater: this may run inside the finished() of another reply of
    // the same client.
    for (DeviceReply *reply : qAsConst(ahead)) {
        reply->disconnect(this);
        reply->deleteLater();
    }
    ahead.clear();
}

CIP::CipAttributeValues *DeviceDetailsReader::priv_values()
{
    switch (step.classId) {
    case CIP::IdentityClass:
        return &details.identity;
    case CIP::TcpIpInterfaceClass:
        return &details.tcpip;
    default:
        return &link;
    }
}

void DeviceDetailsReader::priv_readObject(quint16 classId, quint16 instance)
{
    step = {classId, instance, 0};
    singles.clear();
    objectAbsent = false;
    if (classId == CIP::EthernetLinkClass)
        link = CIP::CipEthernetLink();
    DeviceReply *early = instance == 1 ? ahead.take(classId) : nullptr;
    if (!early) {
        priv_ask(client->getAttributesAll(classId, instance, route));
        return;
    }
    pending = early;
    if (early->isFinished())
        priv_onReply(early);
}

void DeviceDetailsReader::priv_addError(quint16 attribute, const QString &status)
{
    details.errors.append({DeviceDetails::objectName(step.classId), step.instance, attribute,
                           DeviceDetails::attributeName(step.classId, attribute), status});
}

void DeviceDetailsReader::priv_ask(DeviceReply *reply)
{
    pending = reply;
    reply->setParent(this);
    connect(reply, &DeviceReply::finished, this, [this, reply]() { priv_onReply(reply); });
}

void DeviceDetailsReader::priv_onReply(DeviceReply *reply)
{
    reply->deleteLater();
    if (reply != pending)
        return;
    pending = nullptr;
    if (!reply->answered()) {
        details.failure = reply->errorString();
        priv_finish();
        return;
    }
    if (reply->routingFailed()) {
        // The bridge did not reach the module: nothing behind it can be
        // read, whatever is asked next.
        details.routingError.generalStatus = reply->generalStatus();
        details.routingError.additionalStatus = reply->additionalStatus();
        details.failure = tr("The bridge %1 did not deliver the request to route %2: %3")
                              .arg(details.address.toString(), route.toText(), reply->errorString());
        priv_finish();
        return;
    }
    CIP::CipAttributeValues *values = priv_values();
    const quint8 status = reply->generalStatus();
    if (step.attribute == 0) {
        if (status == 0) {
            // A short answer keeps what it held; the rest is asked for one
            // by one.
            values->deserialize(reply->data());
            singles = values->missing();
        } else if (objectMissing(status)) {
            objectAbsent = true;
            // Instances after the first end the search without a word.
            if (step.classId != CIP::EthernetLinkClass || step.instance == 1) {
                const QList<quint16> wanted = values->attributes();
                for (const quint16 attribute : wanted)
                    priv_addError(attribute, CIP::generalStatusText(status));
            }
            priv_objectDone();
            return;
        } else {
            singles = values->attributes();
        }
    } else if (status == 0) {
        if (!values->setAttribute(step.attribute, reply->data()))
            priv_addError(step.attribute, tr("An answer of the wrong length"));
    } else if (objectMissing(status) && step.classId == CIP::EthernetLinkClass && step.instance > 1
               && values->present.isEmpty()) {
        objectAbsent = true;
        priv_objectDone();
        return;
    } else {
        priv_addError(step.attribute, CIP::generalStatusText(status));
    }
    priv_askNext();
}

void DeviceDetailsReader::priv_askNext()
{
    if (singles.isEmpty()) {
        priv_objectDone();
        return;
    }
    step.attribute = singles.takeFirst();
    priv_ask(client->getAttributeSingle(step.classId, step.instance, step.attribute, route));
}

void DeviceDetailsReader::priv_objectDone()
{
    if (step.classId == CIP::IdentityClass) {
        priv_readObject(CIP::TcpIpInterfaceClass, 1);
        return;
    }
    if (step.classId == CIP::TcpIpInterfaceClass) {
        priv_readObject(CIP::EthernetLinkClass, 1);
        return;
    }
    // An instance after the first that gave nothing is taken for one the
    // device does not have, whatever its status said.
    const bool exists = !objectAbsent && (step.instance == 1 || !link.present.isEmpty());
    if (!exists && step.instance > 1) {
        const quint16 instance = step.instance;
        details.errors.erase(std::remove_if(details.errors.begin(), details.errors.end(),
                                            [instance](const AttributeError &error) {
                                                return error.object == QLatin1String("ethernet_link")
                                                    && error.instance == instance;
                                            }),
                             details.errors.end());
    }
    if (exists)
        details.links.append(link);
    if (exists && step.instance < MaxLinkInstances)
        priv_readObject(CIP::EthernetLinkClass, step.instance + 1);
    else
        priv_finish();
}

void DeviceDetailsReader::priv_finish()
{
    pending = nullptr;
    priv_dropAhead();
    if (ownsClient)
        client->close();
    emit finished(details);
}
