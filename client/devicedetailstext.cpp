#include "devicedetailstext.h"

#include "cipnames.h"
#include "ipsettingscheck.h"
#include "netaddress.h"

#include <QJsonArray>

#include <algorithm>
#include <functional>

namespace {

QString hexText(uint value, int digits)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString decimalAndHex(quint16 value)
{
    return QStringLiteral("%1 (%2)").arg(QString::number(value), hexText(value, 4));
}

QString macText(const quint8 *mac)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(mac), 6).toHex(':'));
}

QString yesNo(bool value)
{
    return value ? DeviceDetailsText::tr("yes") : DeviceDetailsText::tr("no");
}

QString addressOrNone(quint32 address)
{
    return address == 0 ? DeviceDetailsText::tr("none") : ipv4ToString(address);
}

// Why an attribute was not read, from the reader's errors; empty when none
// is recorded for it.
QString errorFor(const DeviceDetails &details, const QString &object, quint16 instance, quint16 attribute)
{
    for (const AttributeError &error : details.errors) {
        if (error.object == object && error.instance == instance && error.attribute == attribute) {
            // A status from the device: the device does not support it.
            if (error.status.startsWith(QLatin1String("0x")))
                return DeviceDetailsText::tr("not supported (%1)").arg(error.status);
            return DeviceDetailsText::tr("not read (%1)").arg(error.status);
        }
    }
    return QString();
}

class RowBuilder
{
public:
    RowBuilder(const DeviceDetails &details, QList<DetailsRow> *rows)
        : details(details)
        , rows(rows)
    { }

    void heading(const QString &name) { rows->append({name, QString(), true}); }
    void add(const QString &name, const QStringList &lines)
    {
        for (int i = 0; i < lines.size(); ++i)
            rows->append({i == 0 ? name : QString(), lines.at(i), false});
    }
    // The value when the attribute was read, else why not (nothing when
    // the reading stopped before it).
    void attribute(const QString &object, quint16 instance, const CIP::CipAttributeValues &values, quint16 attribute,
                   const QString &name, const std::function<QStringList()> &lines)
    {
        if (values.has(attribute)) {
            add(name, lines());
            return;
        }
        const QString error = errorFor(details, object, instance, attribute);
        if (!error.isEmpty())
            add(name, {error});
    }

private:
    const DeviceDetails &details;
    QList<DetailsRow> *rows;
};

QStringList capabilityTexts(quint32 capability)
{
    using T = CIP::CipTcpIpInterface;
    QStringList texts;
    if (capability & T::BootpClient)
        texts << DeviceDetailsText::tr("BOOTP");
    if (capability & T::DhcpClient)
        texts << DeviceDetailsText::tr("DHCP");
    if (capability & T::DnsClient)
        texts << DeviceDetailsText::tr("DNS");
    if (capability & T::ConfigurationSettable)
        texts << DeviceDetailsText::tr("settable");
    if (capability & T::HardwareConfigurable)
        texts << DeviceDetailsText::tr("set by switches");
    if (capability & T::ChangeNeedsReset)
        texts << DeviceDetailsText::tr("needs a reset to apply");
    if (capability & T::AcdCapable)
        texts << DeviceDetailsText::tr("ACD");
    if (texts.isEmpty())
        texts << DeviceDetailsText::tr("none");
    return texts;
}

QJsonValue nullUnless(bool present, const QJsonValue &value)
{
    return present ? value : QJsonValue(QJsonValue::Null);
}

} // namespace

QString DeviceDetailsText::methodName(quint32 method)
{
    switch (method) {
    case CIP::CipTcpIpInterface::StaticAddress:
        return tr("static");
    case CIP::CipTcpIpInterface::Bootp:
        return tr("BOOTP");
    case CIP::CipTcpIpInterface::Dhcp:
        return tr("DHCP");
    default:
        return tr("unknown (%1)").arg(method);
    }
}

const QList<quint16> &DeviceDetailsText::identityOrder()
{
    using A = CIP::CipIdentityAttributes;
    static const QList<quint16> order = {A::VendorId,     A::DeviceType, A::ProductCode, A::Revision,
                                         A::SerialNumber, A::Status,     A::State};
    return order;
}

QPair<QString, QStringList> DeviceDetailsText::identityRow(quint16 attribute, const CIP::CipIdentityObject &identity)
{
    using A = CIP::CipIdentityAttributes;
    switch (attribute) {
    case A::VendorId:
        return {tr("Vendor ID"), {decimalAndHex(identity.vendorId)}};
    case A::DeviceType:
        return {tr("Device type"),
                {QStringLiteral("%1 %2").arg(decimalAndHex(identity.deviceType),
                                             CIP::deviceTypeName(identity.deviceType))}};
    case A::ProductCode:
        return {tr("Product code"), {decimalAndHex(identity.productCode)}};
    case A::Revision:
        return {tr("Revision"), {QStringLiteral("%1.%2").arg(identity.revisionMajor).arg(identity.revisionMinor)}};
    case A::SerialNumber:
        return {tr("Serial number"), {CIP::serialNumberText(identity.serialNumber)}};
    case A::Status: {
        // The status word, then its owned, configured and extended status
        // bits on one line, then each fault bit that is set.
        const QStringList texts = CIP::statusTexts(identity.status);
        return {tr("Status"),
                QStringList{hexText(identity.status, 4), texts.mid(0, 3).join(QLatin1String(", "))} + texts.mid(3)};
    }
    case A::State:
        return {tr("State"),
                {QStringLiteral("%1 %2").arg(QString::number(identity.state), CIP::stateName(identity.state))}};
    case A::ProductName:
        return {tr("Product name"), {identity.productName.toString()}};
    default:
        return {};
    }
}

QList<DetailsRow> DeviceDetailsText::rows(const DeviceDetails &details, const QStringList &warnings)
{
    QList<DetailsRow> rows;
    RowBuilder b(details, &rows);
    const QString identityObject = QStringLiteral("identity");
    const QString tcpipObject = QStringLiteral("tcpip");
    const QString linkObject = QStringLiteral("ethernet_link");

    b.heading(tr("Identity"));
    const CIP::CipIdentityAttributes &id = details.identity;
    for (const quint16 attribute : QList<quint16>{CIP::CipIdentityAttributes::ProductName} + identityOrder()) {
        const QPair<QString, QStringList> row = identityRow(attribute, id.identity);
        b.attribute(identityObject, 1, id, attribute, row.first, [&row]() { return row.second; });
    }

    using T = CIP::CipTcpIpInterface;
    const T &t = details.tcpip;
    const CIP::CipInterfaceConfiguration &c = t.configuration;
    b.heading(tr("TCP/IP interface"));
    b.attribute(tcpipObject, 1, t, T::ConfigurationControl, tr("Address from"),
                [&t]() { return QStringList{methodName(t.configurationMethod())}; });
    b.attribute(tcpipObject, 1, t, T::InterfaceConfiguration, tr("IP address"),
                [&c]() { return QStringList{addressOrNone(c.ipAddress)}; });
    if (t.has(T::InterfaceConfiguration)) {
        b.add(tr("Netmask"), {QStringLiteral("%1 (/%2)").arg(ipv4ToString(c.netmask)).arg(netmaskPrefix(c.netmask))});
        b.add(tr("Gateway"), {addressOrNone(c.gateway)});
        QStringList servers;
        for (const quint32 server : {c.nameServer, c.nameServer2}) {
            if (server != 0)
                servers << ipv4ToString(server);
        }
        b.add(tr("Name servers"), {servers.isEmpty() ? tr("none") : servers.join(QLatin1String(", "))});
        b.add(tr("Domain"), {c.domainName.text.isEmpty() ? tr("none") : c.domainName.toString()});
    }
    b.attribute(tcpipObject, 1, t, T::HostName, tr("Host name"),
                [&t]() { return QStringList{t.hostName.text.isEmpty() ? tr("none") : t.hostName.toString()}; });
    b.attribute(tcpipObject, 1, t, T::ConfigurationCapability, tr("Can do"),
                [&t]() { return QStringList{capabilityTexts(t.capability).join(QLatin1String(", "))}; });
    b.attribute(tcpipObject, 1, t, T::Status, tr("Change pending"),
                [&t]() { return QStringList{yesNo(t.status & T::ConfigurationPending)}; });
    b.attribute(tcpipObject, 1, t, T::SelectAcd, tr("ACD enabled"),
                [&t]() { return QStringList{yesNo(t.selectAcd != 0)}; });
    b.attribute(tcpipObject, 1, t, T::LastConflictDetected, tr("Last conflict"), [&t]() {
        if (!t.lastConflict.any())
            return QStringList{tr("none")};
        return QStringList{
            tr("with the device %1 (activity %2)").arg(macText(t.lastConflict.remoteMac)).arg(t.lastConflict.activity)};
    });

    using L = CIP::CipEthernetLink;
    const int ports = std::max(1, int(details.links.size()));
    for (int i = 0; i < ports; ++i) {
        const L link = i < details.links.size() ? details.links.at(i) : L();
        const quint16 instance = quint16(i + 1);
        b.heading(ports == 1 ? tr("Ethernet link") : tr("Ethernet link, port %1").arg(instance));
        b.attribute(linkObject, instance, link, L::InterfaceSpeed, tr("Speed"),
                    [&link]() { return QStringList{tr("%1 Mbit/s").arg(link.speed)}; });
        if (link.has(L::InterfaceFlags)) {
            b.add(tr("Duplex"), {(link.flags & L::FullDuplex) ? tr("full") : tr("half")});
            b.add(tr("Link up"), {yesNo(link.flags & L::LinkUp)});
        } else {
            b.attribute(linkObject, instance, link, L::InterfaceFlags, tr("Duplex and link"),
                        []() { return QStringList(); });
        }
        b.attribute(linkObject, instance, link, L::PhysicalAddress, tr("MAC address"),
                    [&link]() { return QStringList{macText(link.macAddress)}; });
    }

    if (!warnings.isEmpty()) {
        b.heading(tr("Warnings"));
        for (const QString &warning : warnings)
            rows.append({tr("Warning"), warning, false});
    }
    return rows;
}

QString DeviceDetailsText::plainText(const QList<DetailsRow> &rows)
{
    QString text;
    for (const DetailsRow &row : rows) {
        if (row.heading)
            text += row.name + QLatin1Char('\n');
        else
            text += row.name + QLatin1Char('\t') + row.value + QLatin1Char('\n');
    }
    return text;
}

QJsonObject DeviceDetailsText::json(const DeviceDetails &details, const QStringList &warnings)
{
    using A = CIP::CipIdentityAttributes;
    const CIP::CipIdentityAttributes &ia = details.identity;
    const CIP::CipIdentityObject &id = ia.identity;
    QJsonObject identity;
    identity.insert(QStringLiteral("name"), nullUnless(ia.has(A::ProductName), id.productName.toString()));
    identity.insert(QStringLiteral("vendor_id"), nullUnless(ia.has(A::VendorId), id.vendorId));
    identity.insert(QStringLiteral("device_type"), nullUnless(ia.has(A::DeviceType), id.deviceType));
    identity.insert(QStringLiteral("device_type_name"),
                    nullUnless(ia.has(A::DeviceType), CIP::deviceTypeName(id.deviceType)));
    identity.insert(QStringLiteral("product_code"), nullUnless(ia.has(A::ProductCode), id.productCode));
    identity.insert(
        QStringLiteral("revision"),
        nullUnless(ia.has(A::Revision), QStringLiteral("%1.%2").arg(id.revisionMajor).arg(id.revisionMinor)));
    identity.insert(QStringLiteral("serial_number"),
                    nullUnless(ia.has(A::SerialNumber), CIP::serialNumberText(id.serialNumber).rightJustified(8, '0')));
    identity.insert(QStringLiteral("status"), nullUnless(ia.has(A::Status), hexText(id.status, 4)));
    identity.insert(QStringLiteral("state"), nullUnless(ia.has(A::State), id.state));
    identity.insert(QStringLiteral("state_name"), nullUnless(ia.has(A::State), CIP::stateName(id.state)));

    using T = CIP::CipTcpIpInterface;
    const T &t = details.tcpip;
    const CIP::CipInterfaceConfiguration &c = t.configuration;
    const bool hasConfiguration = t.has(T::InterfaceConfiguration);
    QJsonObject tcpip;
    static const char *const methods[] = {"static", "bootp", "dhcp"};
    const quint32 method = t.configurationMethod();
    tcpip.insert(QStringLiteral("configuration_method"),
                 nullUnless(t.has(T::ConfigurationControl) && method < 3,
                            QString::fromLatin1(methods[std::min<quint32>(method, 2)])));
    tcpip.insert(QStringLiteral("ip_address"), nullUnless(hasConfiguration, ipv4ToString(c.ipAddress)));
    tcpip.insert(QStringLiteral("netmask"), nullUnless(hasConfiguration, ipv4ToString(c.netmask)));
    tcpip.insert(QStringLiteral("gateway"), nullUnless(hasConfiguration, ipv4ToString(c.gateway)));
    QJsonArray dns;
    for (const quint32 server : {c.nameServer, c.nameServer2}) {
        if (server != 0)
            dns.append(ipv4ToString(server));
    }
    tcpip.insert(QStringLiteral("dns"), nullUnless(hasConfiguration, dns));
    tcpip.insert(QStringLiteral("domain"), nullUnless(hasConfiguration, c.domainName.toString()));
    tcpip.insert(QStringLiteral("host_name"), nullUnless(t.has(T::HostName), t.hostName.toString()));
    const bool hasCapability = t.has(T::ConfigurationCapability);
    tcpip.insert(QStringLiteral("settable"), nullUnless(hasCapability, bool(t.capability & T::ConfigurationSettable)));
    tcpip.insert(QStringLiteral("needs_reset"), nullUnless(hasCapability, bool(t.capability & T::ChangeNeedsReset)));
    tcpip.insert(QStringLiteral("pending"), nullUnless(t.has(T::Status), bool(t.status & T::ConfigurationPending)));
    tcpip.insert(QStringLiteral("acd_enabled"), nullUnless(t.has(T::SelectAcd), t.selectAcd != 0));
    // Null also when the device recorded no conflict.
    tcpip.insert(QStringLiteral("last_conflict_mac"),
                 nullUnless(t.has(T::LastConflictDetected) && t.lastConflict.any(), macText(t.lastConflict.remoteMac)));

    using L = CIP::CipEthernetLink;
    QJsonValue link(QJsonValue::Null);
    if (!details.links.isEmpty()) {
        const L &first = details.links.first();
        QJsonObject port;
        port.insert(QStringLiteral("speed_mbps"), nullUnless(first.has(L::InterfaceSpeed), double(first.speed)));
        port.insert(QStringLiteral("full_duplex"),
                    nullUnless(first.has(L::InterfaceFlags), bool(first.flags & L::FullDuplex)));
        port.insert(QStringLiteral("link_up"), nullUnless(first.has(L::InterfaceFlags), bool(first.flags & L::LinkUp)));
        port.insert(QStringLiteral("mac_address"),
                    nullUnless(first.has(L::PhysicalAddress), macText(first.macAddress)));
        link = port;
    }

    QJsonArray errors;
    for (const AttributeError &error : details.errors)
        errors.append(QJsonObject{{QStringLiteral("object"), error.object},
                                  {QStringLiteral("attribute"), error.attributeName},
                                  {QStringLiteral("status"), error.status}});

    QJsonObject document;
    document.insert(QStringLiteral("address"), details.address.toString());
    // The module behind the bridge at address that was read; null for the
    // device itself.
    document.insert(QStringLiteral("route"), nullUnless(!details.route.isEmpty(), details.route.toText()));
    document.insert(QStringLiteral("identity"), identity);
    document.insert(QStringLiteral("tcpip"), tcpip);
    document.insert(QStringLiteral("ethernet_link"), link);
    document.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(warnings));
    document.insert(QStringLiteral("errors"), errors);
    return document;
}
