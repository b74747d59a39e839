#include "ipsettingswriter.h"

#include "cipnames.h"
#include "deviceclient.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("IpSettingsWriter", text);
}

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

QString configurationText(const CIP::CipInterfaceConfiguration &c)
{
    return QStringLiteral("%1/%2 gateway %3 name servers %4, %5 domain \"%6\"")
        .arg(dotted(c.ipAddress), dotted(c.netmask), dotted(c.gateway), dotted(c.nameServer), dotted(c.nameServer2),
             c.domainName.toString());
}

QString methodText(quint32 method)
{
    switch (method) {
    case IpSettings::Static:
        return tr("static");
    case IpSettings::Bootp:
        return tr("BOOTP");
    case IpSettings::Dhcp:
        return tr("DHCP");
    default:
        return tr("method %1").arg(method);
    }
}

} // namespace

QVector<quint16> IpSettings::attributes() const
{
    QVector<quint16> list;
    if (setHostName)
        list.append(CIP::CipTcpIpInterface::HostName);
    if (method != KeepMethod)
        list.append(CIP::CipTcpIpInterface::ConfigurationControl);
    if (method == Static)
        list.append(CIP::CipTcpIpInterface::InterfaceConfiguration);
    return list;
}

IpSettings ipSettingsToWrite(const DeviceDetails &current, const IpSettings &wanted)
{
    using T = CIP::CipTcpIpInterface;
    const T &t = current.tcpip;
    IpSettings settings = wanted;
    if (settings.method != IpSettings::KeepMethod) {
        const bool sameMethod = t.has(T::ConfigurationControl) && t.configurationMethod() == quint32(settings.method);
        // Only a static method writes an interface configuration.
        const bool sameConfiguration = settings.method != IpSettings::Static
            || (t.has(T::InterfaceConfiguration) && t.configuration == settings.configuration);
        if (sameMethod && sameConfiguration)
            settings.method = IpSettings::KeepMethod;
    }
    if (settings.setHostName && t.has(T::HostName) && t.hostName.text == settings.hostName)
        settings.setHostName = false;
    return settings;
}

bool IpSettingsResult::resetNeeded() const
{
    const CIP::CipTcpIpInterface &tcpip = readBack.tcpip;
    return (tcpip.has(CIP::CipTcpIpInterface::Status) && (tcpip.status & CIP::CipTcpIpInterface::ConfigurationPending))
        || (tcpip.has(CIP::CipTcpIpInterface::ConfigurationCapability)
            && (tcpip.capability & CIP::CipTcpIpInterface::ChangeNeedsReset));
}

IpSettingsWriter::IpSettingsWriter(const QHostAddress &address, quint16 port, QObject *parent)
    : QObject(parent)
    , address(address)
    , port(port)
    , client(new DeviceClient(address, port, this))
{
    qRegisterMetaType<IpSettingsResult>();
}

IpSettingsWriter::~IpSettingsWriter() = default;

void IpSettingsWriter::start(const IpSettings &wanted)
{
    settings = wanted;
    result = IpSettingsResult();
    triedNewAddress = false;
    delete pending;
    pending = nullptr;
    const QVector<quint16> attributes = settings.attributes();
    toWrite = QList<quint16>(attributes.cbegin(), attributes.cend());
    for (const quint16 attribute : qAsConst(toWrite))
        result.steps.append(
            {attribute, DeviceDetails::attributeName(CIP::TcpIpInterfaceClass, attribute), false, tr("Not written")});

    control = 0;
    if (settings.method != IpSettings::KeepMethod) {
        // The other bits of configuration control (DNS enable) stay as the
        // device has them.
        readingControl = true;
        priv_ask(client->getAttributeSingle(CIP::TcpIpInterfaceClass, 1, CIP::CipTcpIpInterface::ConfigurationControl));
        return;
    }
    priv_writeNext();
}

void IpSettingsWriter::priv_writeNext()
{
    if (toWrite.isEmpty() || result.refused) {
        client->close();
        priv_readBack(address);
        return;
    }
    CIP::CipTcpIpInterface values;
    values.hostName.text = settings.hostName;
    values.control = (control & ~quint32(CIP::CipTcpIpInterface::ConfigurationMethodMask)) | quint32(settings.method);
    values.configuration = settings.configuration;
    const quint16 attribute = toWrite.first();
    priv_ask(client->setAttributeSingle(CIP::TcpIpInterfaceClass, 1, attribute, values.attributeData(attribute)));
}

void IpSettingsWriter::priv_ask(DeviceReply *reply)
{
    pending = reply;
    reply->setParent(this);
    connect(reply, &DeviceReply::finished, this, [this, reply]() { priv_onReply(reply); });
}

void IpSettingsWriter::priv_onReply(DeviceReply *reply)
{
    reply->deleteLater();
    if (reply != pending)
        return;
    pending = nullptr;
    if (readingControl) {
        readingControl = false;
        if (!reply->answered()) {
            result.failure = reply->errorString();
            for (IpSettingsResult::Step &step : result.steps)
                step.status = tr("Not written: %1").arg(reply->errorString());
            emit finished(result);
            return;
        }
        CIP::CipTcpIpInterface values;
        if (reply->generalStatus() == 0
            && values.setAttribute(CIP::CipTcpIpInterface::ConfigurationControl, reply->data()))
            control = values.control;
        priv_writeNext();
        return;
    }

    const quint16 attribute = toWrite.takeFirst();
    IpSettingsResult::Step &step = result.steps[result.steps.size() - toWrite.size() - 1];
    if (reply->succeeded()) {
        step.written = true;
        step.status.clear();
        priv_writeNext();
        return;
    }
    if (reply->answered()) {
        step.status = CIP::generalStatusText(reply->generalStatus());
        result.refused = true;
        priv_writeNext();
        return;
    }
    // No answer: the device may have taken the value and dropped the
    // session at once, as some do with a new address.
    step.status = tr("Unknown: %1").arg(reply->errorString());
    result.failure = reply->errorString();
    toWrite.clear();
    const bool newAddress = attribute == CIP::CipTcpIpInterface::InterfaceConfiguration
        && settings.configuration.ipAddress != address.toIPv4Address();
    if (newAddress) {
        triedNewAddress = true;
        priv_readBack(QHostAddress(settings.configuration.ipAddress));
    } else {
        priv_readBack(address);
    }
}

void IpSettingsWriter::priv_readBack(const QHostAddress &from)
{
    if (reader)
        reader->deleteLater();
    reader = new DeviceDetailsReader(from, port, this);
    connect(reader, &DeviceDetailsReader::finished, this, &IpSettingsWriter::priv_onReadBack);
    reader->start();
}

void IpSettingsWriter::priv_onReadBack(const DeviceDetails &details)
{
    result.readBack = details;
    const quint32 newIp = settings.configuration.ipAddress;
    if (!details.failure.isEmpty() && !triedNewAddress && settings.method == IpSettings::Static && newIp != 0
        && newIp != address.toIPv4Address()) {
        // The device took its new address at once: ask it there.
        triedNewAddress = true;
        reader->deleteLater();
        reader = nullptr;
        priv_readBack(QHostAddress(newIp));
        return;
    }
    priv_compare();
    emit finished(result);
}

void IpSettingsWriter::priv_compare()
{
    const CIP::CipTcpIpInterface &read = result.readBack.tcpip;
    for (const IpSettingsResult::Step &step : qAsConst(result.steps)) {
        if (!step.written)
            continue;
        if (!read.has(step.attribute)) {
            result.mismatches.append(tr("%1 could not be read back").arg(step.name));
            continue;
        }
        switch (step.attribute) {
        case CIP::CipTcpIpInterface::HostName:
            if (read.hostName.text != settings.hostName)
                result.mismatches.append(tr("Host name: written \"%1\", read back \"%2\"")
                                             .arg(QString::fromLatin1(settings.hostName), read.hostName.toString()));
            break;
        case CIP::CipTcpIpInterface::ConfigurationControl:
            if (read.configurationMethod() != quint32(settings.method))
                result.mismatches.append(tr("Address from: written %1, read back %2")
                                             .arg(methodText(settings.method), methodText(read.configurationMethod())));
            break;
        case CIP::CipTcpIpInterface::InterfaceConfiguration:
            if (read.configuration != settings.configuration)
                result.mismatches.append(
                    tr("Interface configuration: written %1, read back %2")
                        .arg(configurationText(settings.configuration), configurationText(read.configuration)));
            break;
        default:
            break;
        }
    }
}
