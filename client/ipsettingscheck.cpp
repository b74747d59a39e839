#include "ipsettingscheck.h"

#include "devicedetailstext.h"
#include "netaddress.h"

namespace {

// A device needs a subnet with room for it beside the network and
// broadcast addresses.
constexpr int MaxDevicePrefix = 30;
// Limits of the TCP/IP Interface object: 48 characters of domain name,
// 64 of host name.
constexpr int MaxDomainLength = 48;
constexpr int MaxHostNameLength = 64;

QString subnetText(quint32 address, quint32 netmask)
{
    return QStringLiteral("%1/%2").arg(ipv4ToString(address & netmask)).arg(netmaskPrefix(netmask));
}

// Letters, digits, hyphens and dots; no label begins or ends with a hyphen
// and none is empty.
bool isDnsName(const QString &name)
{
    const QStringList labels = name.split(QLatin1Char('.'));
    for (const QString &label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-'))
            || label.endsWith(QLatin1Char('-')))
            return false;
        for (const QChar c : label) {
            const ushort u = c.unicode();
            if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'))
                return false;
        }
    }
    return true;
}

// An optional address field: empty is none; otherwise an address.
QString checkOptionalAddress(const QString &text, quint32 *address)
{
    *address = 0;
    if (text.trimmed().isEmpty())
        return QString();
    if (!parseIpv4(text.trimmed(), address))
        return IpSettingsCheck::tr("\"%1\" is not an IPv4 address").arg(text.trimmed());
    return QString();
}

} // namespace

bool parseNetmask(const QString &text, quint32 *netmask)
{
    QString prefixText = text;
    if (prefixText.startsWith(QLatin1Char('/')))
        prefixText.remove(0, 1);
    else if (text.contains(QLatin1Char('.'))) {
        quint32 mask = 0;
        if (!parseIpv4(text, &mask))
            return false;
        // Only one bits from the left, then only zero bits.
        if (mask == 0 || !isContiguousNetmask(mask))
            return false;
        *netmask = mask;
        return true;
    }
    if (prefixText.isEmpty() || prefixText.size() > 2)
        return false;
    for (const QChar c : prefixText) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    }
    const int prefix = prefixText.toInt();
    if (prefix < 1 || prefix > 32)
        return false;
    *netmask = prefixNetmask(prefix);
    return true;
}

bool IpSettingsCheck::acceptable() const
{
    return firstProblem().isEmpty();
}

QString IpSettingsCheck::firstProblem() const
{
    for (const QString &problem : problems) {
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

IpSettingsCheck checkIpSettings(const IpSettingsInput &input, const QVector<quint32> &otherDevices)
{
    IpSettingsCheck check;
    IpSettings &settings = check.settings;
    settings.method = input.method;

    if (input.setHostName) {
        const QString name = input.hostName.trimmed();
        if (name.size() > MaxHostNameLength)
            check.problems[IpSettingsCheck::HostName] =
                IpSettingsCheck::tr("A host name has at most %1 characters").arg(MaxHostNameLength);
        else if (!name.isEmpty() && !isDnsName(name))
            check.problems[IpSettingsCheck::HostName] =
                IpSettingsCheck::tr("A host name holds only letters, digits, hyphens and dots, and no part of it "
                                    "begins or ends with a hyphen");
        settings.setHostName = true;
        settings.hostName = name.toLatin1();
    }
    if (input.method != IpSettings::Static)
        return check;

    CIP::CipInterfaceConfiguration &c = settings.configuration;
    const QString address = input.address.trimmed();
    const QString netmask = input.netmask.trimmed();
    if (address.isEmpty())
        check.problems[IpSettingsCheck::Address] = IpSettingsCheck::tr("Type the device's address");
    else if (!parseIpv4(address, &c.ipAddress))
        check.problems[IpSettingsCheck::Address] = IpSettingsCheck::tr("\"%1\" is not an IPv4 address").arg(address);
    else if (c.ipAddress >> 24 == 0 || c.ipAddress >> 24 == 127 || c.ipAddress >> 28 >= 0xE)
        check.problems[IpSettingsCheck::Address] =
            IpSettingsCheck::tr("%1 cannot be a device's address (this network, loopback, multicast or reserved)")
                .arg(address);

    if (netmask.isEmpty())
        check.problems[IpSettingsCheck::Netmask] = IpSettingsCheck::tr("Type the netmask or the prefix length");
    else if (!parseNetmask(netmask, &c.netmask))
        check.problems[IpSettingsCheck::Netmask] =
            IpSettingsCheck::tr("\"%1\" is not a netmask: give 255.255.255.0 or a prefix length such as 24")
                .arg(netmask);
    else if (netmaskPrefix(c.netmask) > MaxDevicePrefix)
        check.problems[IpSettingsCheck::Netmask] =
            IpSettingsCheck::tr("A /%1 subnet has no room for a device: give /%2 or shorter")
                .arg(netmaskPrefix(c.netmask))
                .arg(MaxDevicePrefix);

    const bool subnetKnown =
        check.problems[IpSettingsCheck::Address].isEmpty() && check.problems[IpSettingsCheck::Netmask].isEmpty();
    if (subnetKnown) {
        if ((c.ipAddress & ~c.netmask) == 0)
            check.problems[IpSettingsCheck::Address] =
                IpSettingsCheck::tr("%1 is the network address of %2").arg(address, subnetText(c.ipAddress, c.netmask));
        else if ((c.ipAddress | c.netmask) == 0xFFFFFFFFu)
            check.problems[IpSettingsCheck::Address] = IpSettingsCheck::tr("%1 is the broadcast address of %2")
                                                           .arg(address, subnetText(c.ipAddress, c.netmask));
        else if (otherDevices.contains(c.ipAddress))
            check.warning =
                IpSettingsCheck::tr("Another listed device has the address %1: the two would conflict").arg(address);
    }

    check.problems[IpSettingsCheck::Gateway] = checkOptionalAddress(input.gateway, &c.gateway);
    if (check.problems[IpSettingsCheck::Gateway].isEmpty() && c.gateway != 0 && subnetKnown) {
        const QString gateway = ipv4ToString(c.gateway);
        if ((c.gateway & c.netmask) != (c.ipAddress & c.netmask))
            check.problems[IpSettingsCheck::Gateway] = IpSettingsCheck::tr("The gateway %1 is outside the subnet %2")
                                                           .arg(gateway, subnetText(c.ipAddress, c.netmask));
        else if (c.gateway == c.ipAddress)
            check.problems[IpSettingsCheck::Gateway] =
                IpSettingsCheck::tr("The gateway %1 is the device's own address").arg(gateway);
        else if ((c.gateway & ~c.netmask) == 0 || (c.gateway | c.netmask) == 0xFFFFFFFFu)
            check.problems[IpSettingsCheck::Gateway] =
                IpSettingsCheck::tr("The gateway %1 is the network or broadcast address of %2")
                    .arg(gateway, subnetText(c.ipAddress, c.netmask));
    }
    check.problems[IpSettingsCheck::NameServer] = checkOptionalAddress(input.nameServer, &c.nameServer);
    check.problems[IpSettingsCheck::NameServer2] = checkOptionalAddress(input.nameServer2, &c.nameServer2);

    const QString domain = input.domain.trimmed();
    if (domain.size() > MaxDomainLength)
        check.problems[IpSettingsCheck::Domain] =
            IpSettingsCheck::tr("A domain name has at most %1 characters").arg(MaxDomainLength);
    else if (!domain.isEmpty() && !isDnsName(domain))
        check.problems[IpSettingsCheck::Domain] =
            IpSettingsCheck::tr("\"%1\" is not a domain name: letters, digits and hyphens, parts joined by dots")
                .arg(domain);
    c.domainName.text = domain.toLatin1();
    return check;
}

QStringList ipSettingsChanges(const DeviceDetails &current, const IpSettings &settings)
{
    using T = CIP::CipTcpIpInterface;
    const T &t = current.tcpip;
    const QString unknown = IpSettingsCheck::tr("not known");
    const QString none = IpSettingsCheck::tr("none");
    QStringList lines;
    const auto change = [&lines](const QString &name, const QString &from, const QString &to) {
        if (from != to)
            lines.append(IpSettingsCheck::tr("%1: %2 -> %3").arg(name, from, to));
    };
    const auto address = [&none](quint32 value) { return value == 0 ? none : ipv4ToString(value); };
    if (settings.setHostName)
        change(IpSettingsCheck::tr("Host name"), t.has(T::HostName) ? QString::fromLatin1(t.hostName.text) : unknown,
               QString::fromLatin1(settings.hostName));
    if (settings.method != IpSettings::KeepMethod)
        change(IpSettingsCheck::tr("Address from"),
               t.has(T::ConfigurationControl) ? DeviceDetailsText::methodName(t.configurationMethod()) : unknown,
               DeviceDetailsText::methodName(quint32(settings.method)));
    if (settings.method == IpSettings::Static) {
        const bool known = t.has(T::InterfaceConfiguration);
        const CIP::CipInterfaceConfiguration &old = t.configuration;
        const CIP::CipInterfaceConfiguration &c = settings.configuration;
        const auto oldValue = [&](const QString &value) { return known ? value : unknown; };
        change(IpSettingsCheck::tr("IP address"), oldValue(address(old.ipAddress)), address(c.ipAddress));
        change(IpSettingsCheck::tr("Netmask"),
               oldValue(QStringLiteral("%1 (/%2)").arg(ipv4ToString(old.netmask)).arg(netmaskPrefix(old.netmask))),
               QStringLiteral("%1 (/%2)").arg(ipv4ToString(c.netmask)).arg(netmaskPrefix(c.netmask)));
        change(IpSettingsCheck::tr("Gateway"), oldValue(address(old.gateway)), address(c.gateway));
        change(IpSettingsCheck::tr("Name server"), oldValue(address(old.nameServer)), address(c.nameServer));
        change(IpSettingsCheck::tr("Second name server"), oldValue(address(old.nameServer2)), address(c.nameServer2));
        change(IpSettingsCheck::tr("Domain"),
               oldValue(old.domainName.text.isEmpty() ? none : old.domainName.toString()),
               c.domainName.text.isEmpty() ? none : c.domainName.toString());
    }
    return lines;
}
