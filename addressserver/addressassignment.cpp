#include "addressassignment.h"

#include "netaddress.h"

#include <QRegularExpression>
#include <QStringList>

const char AddressAssignments::CsvHeader[] = "mac_address,ip_address,prefix,gateway,dns,host_name";

namespace {

AssignmentCheck problem(AssignmentProblem kind, const QString &text)
{
    return AssignmentCheck{kind, text};
}

// What an assignment must be by itself, whatever card it is asked through.
AssignmentCheck checkOwn(const AddressAssignment &a)
{
    if (a.mac.size() != 6)
        return problem(AssignmentProblem::BadMac, AddressAssignments::tr("The hardware address must have six bytes."));
    if (a.prefixLength < 1 || a.prefixLength > 30)
        return problem(AssignmentProblem::BadPrefix,
                       AddressAssignments::tr("The prefix length must be 1 to 30, not %1.").arg(a.prefixLength));
    const Ipv4Subnet own{a.address, a.prefixLength};
    if (a.gateway != 0
        && (!own.contains(a.gateway) || a.gateway == a.address || a.gateway == own.network()
            || a.gateway == own.broadcast()))
        return problem(AssignmentProblem::BadGateway,
                       AddressAssignments::tr("The gateway %1 is not another host of the subnet %2/%3.")
                           .arg(ipv4ToString(a.gateway), ipv4ToString(own.network()))
                           .arg(a.prefixLength));
    if (a.nameServers.size() > 2)
        return problem(AssignmentProblem::TooManyNameServers, AddressAssignments::tr("At most two name servers."));
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.-]{0,62}$"));
    if (!a.hostName.isEmpty() && !hostName.match(a.hostName).hasMatch())
        return problem(AssignmentProblem::BadHostName,
                       AddressAssignments::tr("The host name may hold only letters, digits, '-' and '.' "
                                              "(at most 63 characters)."));
    return AssignmentCheck();
}

} // namespace

QString AddressAssignments::macText(const QByteArray &mac)
{
    return QString::fromLatin1(mac.toHex(':').toUpper());
}

QByteArray AddressAssignments::parseMac(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{2}([:-])[0-9A-Fa-f]{2}(\\1[0-9A-Fa-f]{2}){4}$"));
    if (!form.match(text).hasMatch())
        return QByteArray();
    QString hex = text;
    hex.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    return QByteArray::fromHex(hex.toLatin1());
}

AssignmentCheck AddressAssignments::check(const AddressAssignment &assignment, const QVector<Ipv4Subnet> &card,
                                          const QVector<AddressAssignment> &others, const QSet<quint32> &listed)
{
    AssignmentCheck own = checkOwn(assignment);
    if (!own.ok())
        return own;
    const quint32 ip = assignment.address;
    const QString ipText = ipv4ToString(ip);
    const Ipv4Subnet *subnet = nullptr;
    for (const Ipv4Subnet &entry : card) {
        // Prefixes without host addresses of their own cannot hold a device.
        if (entry.prefixLength >= 1 && entry.prefixLength <= 30 && entry.contains(ip)) {
            subnet = &entry;
            break;
        }
    }
    if (!subnet)
        return problem(AssignmentProblem::NotInCardSubnet,
                       tr("%1 is in no subnet of the card the device asks through.").arg(ipText));
    for (const Ipv4Subnet &entry : card) {
        if (entry.address == ip)
            return problem(AssignmentProblem::CardAddress, tr("%1 is the card's own address.").arg(ipText));
    }
    if (ip == subnet->network())
        return problem(AssignmentProblem::NetworkAddress, tr("%1 is the subnet's network address.").arg(ipText));
    if (ip == subnet->broadcast())
        return problem(AssignmentProblem::BroadcastAddress, tr("%1 is the subnet's broadcast address.").arg(ipText));
    for (const AddressAssignment &other : others) {
        if (other.mac != assignment.mac && other.address == ip)
            return problem(AssignmentProblem::AssignedElsewhere,
                           tr("%1 is assigned to %2 already.").arg(ipText, macText(other.mac)));
    }
    if (listed.contains(ip))
        return problem(AssignmentProblem::ListedDevice, tr("A device in the list has the address %1.").arg(ipText));
    return AssignmentCheck();
}

namespace {

QStringList nameServerTexts(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

} // namespace

AddressAssignment AddressAssignments::fromFields(const QByteArray &mac, const AssignmentFields &fields)
{
    AddressAssignment result;
    result.mac = mac;
    parseIpv4(fields.address.trimmed(), &result.address);
    result.prefixLength = fields.prefixLength;
    parseIpv4(fields.gateway.trimmed(), &result.gateway);
    const QStringList servers = nameServerTexts(fields.nameServers);
    for (const QString &text : servers) {
        quint32 server = 0;
        if (parseIpv4(text, &server))
            result.nameServers.append(server);
    }
    result.hostName = fields.hostName.trimmed();
    return result;
}

AssignmentCheck AddressAssignments::checkFields(const QByteArray &mac, const AssignmentFields &fields,
                                                const QVector<Ipv4Subnet> &card,
                                                const QVector<AddressAssignment> &others, const QSet<quint32> &listed)
{
    quint32 parsed = 0;
    if (!parseIpv4(fields.address.trimmed(), &parsed))
        return problem(AssignmentProblem::NotInCardSubnet,
                       tr("Give the address as four numbers, for example 192.168.1.20."));
    const QString gateway = fields.gateway.trimmed();
    if (!gateway.isEmpty() && !parseIpv4(gateway, &parsed))
        return problem(AssignmentProblem::BadGateway, tr("The gateway \"%1\" is no IPv4 address.").arg(gateway));
    const QStringList servers = nameServerTexts(fields.nameServers);
    for (const QString &server : servers) {
        if (!parseIpv4(server, &parsed))
            return problem(AssignmentProblem::BadGateway, tr("The name server \"%1\" is no IPv4 address.").arg(server));
    }
    return check(fromFields(mac, fields), card, others, listed);
}

quint32 AddressAssignments::firstFreeAddress(const QByteArray &mac, const QVector<Ipv4Subnet> &card,
                                             const QVector<AddressAssignment> &others, const QSet<quint32> &listed)
{
    // A /8 holds sixteen million; the first few thousand are enough to
    // find a free one, and the search stays quick.
    constexpr quint32 MaxTried = 4096;
    for (const Ipv4Subnet &entry : card) {
        if (entry.prefixLength < 1 || entry.prefixLength > 30)
            continue;
        AddressAssignment candidate;
        candidate.mac = mac;
        candidate.prefixLength = entry.prefixLength;
        const quint32 last = qMin(entry.broadcast() - 1, entry.network() + MaxTried);
        for (quint32 address = entry.network() + 1; address <= last; ++address) {
            candidate.address = address;
            if (check(candidate, card, others, listed).ok())
                return address;
        }
        return 0;
    }
    return 0;
}

bool AddressAssignments::fromCsv(const QByteArray &data, QVector<AddressAssignment> *assignments, QString *error)
{
    assignments->clear();
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    QVector<AddressAssignment> read;
    bool headerSeen = false;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const int number = i + 1;
        const auto refuse = [&](const QString &why) {
            *error = tr("Line %1: %2").arg(number).arg(why);
            return false;
        };
        const QStringList fields = line.split(QLatin1Char(','));
        if (!headerSeen) {
            if (line.trimmed() != QLatin1String(CsvHeader))
                return refuse(tr("the header must be %1.").arg(QLatin1String(CsvHeader)));
            headerSeen = true;
            continue;
        }
        if (fields.size() < 3 || fields.size() > 6)
            return refuse(tr("%1 fields instead of 3 to 6.").arg(fields.size()));
        const auto field = [&fields](int index) { return fields.value(index).trimmed(); };

        AddressAssignment a;
        a.mac = parseMac(field(0));
        if (a.mac.isEmpty())
            return refuse(tr("\"%1\" is no hardware address.").arg(field(0)));
        if (!parseIpv4(field(1), &a.address))
            return refuse(tr("\"%1\" is no IPv4 address.").arg(field(1)));
        bool prefixOk = false;
        a.prefixLength = field(2).toInt(&prefixOk);
        if (!prefixOk)
            return refuse(tr("\"%1\" is no prefix length.").arg(field(2)));
        if (!field(3).isEmpty() && !parseIpv4(field(3), &a.gateway))
            return refuse(tr("\"%1\" is no gateway address.").arg(field(3)));
        const QStringList servers = field(4).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &server : servers) {
            quint32 address = 0;
            if (!parseIpv4(server, &address))
                return refuse(tr("\"%1\" is no name server address.").arg(server));
            a.nameServers.append(address);
        }
        a.hostName = field(5);
        const AssignmentCheck own = checkOwn(a);
        if (!own.ok())
            return refuse(own.text);
        for (const AddressAssignment &earlier : qAsConst(read)) {
            if (earlier.mac == a.mac)
                return refuse(tr("%1 is listed twice.").arg(macText(a.mac)));
            if (earlier.address == a.address)
                return refuse(tr("%1 is assigned twice.").arg(ipv4ToString(a.address)));
        }
        read.append(a);
    }
    if (!headerSeen) {
        *error = tr("Line 1: the header must be %1.").arg(QLatin1String(CsvHeader));
        return false;
    }
    *assignments = read;
    return true;
}

QByteArray AddressAssignments::toCsv(const QVector<AddressAssignment> &assignments)
{
    QByteArray out("\xEF\xBB\xBF");
    out += CsvHeader;
    out += "\r\n";
    for (const AddressAssignment &a : assignments) {
        QStringList servers;
        for (const quint32 server : a.nameServers)
            servers.append(ipv4ToString(server));
        const QStringList fields{macText(a.mac),
                                 ipv4ToString(a.address),
                                 QString::number(a.prefixLength),
                                 a.gateway ? ipv4ToString(a.gateway) : QString(),
                                 servers.join(QLatin1Char(' ')),
                                 a.hostName};
        out += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    return out;
}
