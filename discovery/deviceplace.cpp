// GetIpNetTable2 is declared for Windows Vista and later only, and only
// where ws2ipdef.h came before iphlpapi.h; winsock2.h goes before anything
// that may bring windows.h.
#ifdef _WIN32
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <winsock2.h>

#include <ws2ipdef.h>

#include <iphlpapi.h>
#endif

#include "deviceplace.h"

#include "devicerecord.h"
#include "netaddress.h"

#include <QHostAddress>

#include <cstring>

#if defined(Q_OS_LINUX)
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace {

bool inSubnet(quint32 address, quint32 subnetAddress, int prefixLength)
{
    if (prefixLength < 0 || prefixLength > 32)
        return false;
    return Ipv4Subnet{subnetAddress, prefixLength}.contains(address);
}

bool isIpv4Entry(const QNetworkAddressEntry &entry)
{
    return entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
}

#if defined(Q_OS_LINUX)

// Reads one netlink message of the dump at data[offset]; false at its end
// (NLMSG_DONE, an error, or bytes that do not hold a whole message).
// Fields are copied out, so that no byte of the buffer needs an alignment.
bool readNeighbourMessage(const char *data, int size, int *offset, QVector<Neighbour> *into, bool *done)
{
    nlmsghdr header{};
    if (size - *offset < int(sizeof header))
        return false;
    std::memcpy(&header, data + *offset, sizeof header);
    if (header.nlmsg_len < sizeof header || header.nlmsg_len > quint32(size - *offset))
        return false;
    const char *message = data + *offset + NLMSG_HDRLEN;
    const int messageSize = int(header.nlmsg_len) - NLMSG_HDRLEN;
    *offset += int(NLMSG_ALIGN(header.nlmsg_len));
    if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
        *done = true;
        return false;
    }
    ndmsg neighbour{};
    if (header.nlmsg_type != RTM_NEWNEIGH || messageSize < int(sizeof neighbour))
        return true;
    std::memcpy(&neighbour, message, sizeof neighbour);
    constexpr int InUse = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
    if (neighbour.ndm_family != AF_INET || !(neighbour.ndm_state & InUse))
        return true;

    Neighbour entry;
    entry.interfaceIndex = neighbour.ndm_ifindex;
    bool hasAddress = false;
    for (int at = int(NLMSG_ALIGN(sizeof neighbour)); messageSize - at >= int(sizeof(rtattr));) {
        rtattr attribute{};
        std::memcpy(&attribute, message + at, sizeof attribute);
        if (attribute.rta_len < sizeof attribute || attribute.rta_len > messageSize - at)
            break;
        const char *payload = message + at + RTA_LENGTH(0);
        const int payloadSize = int(attribute.rta_len) - int(RTA_LENGTH(0));
        if (attribute.rta_type == NDA_DST && payloadSize == 4) {
            quint32 networkOrder = 0;
            std::memcpy(&networkOrder, payload, 4);
            entry.address = ntohl(networkOrder);
            hasAddress = true;
        } else if (attribute.rta_type == NDA_LLADDR && payloadSize > 0) {
            entry.hardwareAddress = QByteArray(payload, payloadSize);
        }
        at += int(RTA_ALIGN(attribute.rta_len));
    }
    if (hasAddress && !entry.hardwareAddress.isEmpty())
        into->append(entry);
    return true;
}

#endif

} // namespace

bool SystemNeighbourTable::isAvailable() const
{
#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
    return true;
#else
    return false;
#endif
}

QVector<Neighbour> SystemNeighbourTable::read() const
{
    QVector<Neighbour> neighbours;
#if defined(Q_OS_LINUX)
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return neighbours;
    // The kernel answers at once; the limit only keeps a broken system from
    // holding the window up.
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    struct
    {
        nlmsghdr header;
        ndmsg message;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.message.ndm_family = AF_INET;
    if (::send(fd, &request, sizeof request, 0) == ssize_t(sizeof request)) {
        QByteArray buffer(32768, '\0');
        bool done = false;
        while (!done) {
            const ssize_t received = ::recv(fd, buffer.data(), size_t(buffer.size()), 0);
            if (received <= 0)
                break;
            int offset = 0;
            while (readNeighbourMessage(buffer.constData(), int(received), &offset, &neighbours, &done)) { }
        }
    }
    ::close(fd);
#elif defined(Q_OS_WIN)
    PMIB_IPNET_TABLE2 table = nullptr;
    if (GetIpNetTable2(AF_INET, &table) != NO_ERROR)
        return neighbours;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2 &row = table->Table[i];
        const bool inUse = row.State == NlnsReachable || row.State == NlnsStale || row.State == NlnsDelay
            || row.State == NlnsProbe || row.State == NlnsPermanent;
        const ULONG length = qMin<ULONG>(row.PhysicalAddressLength, IF_MAX_PHYS_ADDRESS_LENGTH);
        if (!inUse || length == 0)
            continue;
        Neighbour entry;
        entry.address = ntohl(row.Address.Ipv4.sin_addr.s_addr);
        entry.interfaceIndex = int(row.InterfaceIndex);
        entry.hardwareAddress = QByteArray(reinterpret_cast<const char *>(row.PhysicalAddress), int(length));
        neighbours.append(entry);
    }
    FreeMibTable(table);
#endif
    return neighbours;
}

QString DevicePlace::cardText() const
{
    if (cardName.isEmpty())
        return QString();
    if (cardPrefixLength < 0)
        return cardName;
    return QStringLiteral("%1, %2/%3").arg(cardName, ipv4ToString(cardAddress), QString::number(cardPrefixLength));
}

QString DevicePlace::hardwareAddressText() const
{
    return QString::fromLatin1(hardwareAddress.toHex(':'));
}

DeviceLocator::DeviceLocator(const NeighbourTable &table)
    : interfaces(QNetworkInterface::allInterfaces())
    , neighbours(table.isAvailable() ? table.read() : QVector<Neighbour>())
    , neighboursRead(table.isAvailable())
{ }

DevicePlace DeviceLocator::place(const DeviceRecord &record) const
{
    return place(record.address, record.interfaceIndex);
}

DevicePlace DeviceLocator::place(quint32 address, int interfaceIndex) const
{
    DevicePlace place;
    place.neighboursRead = neighboursRead;
    // The arrival card; where the system did not tell, the first card whose
    // subnet holds the device.
    const QNetworkInterface *card = nullptr;
    for (const QNetworkInterface &itfc : interfaces) {
        const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (!isIpv4Entry(entry) || !inSubnet(address, entry.ip().toIPv4Address(), entry.prefixLength()))
                continue;
            place.onLocalSubnet = true;
            if (!card && (interfaceIndex == 0 || itfc.index() == interfaceIndex)) {
                card = &itfc;
                place.cardAddress = entry.ip().toIPv4Address();
                place.cardPrefixLength = entry.prefixLength();
            }
        }
        if (!card && interfaceIndex != 0 && itfc.index() == interfaceIndex) {
            card = &itfc;
            for (const QNetworkAddressEntry &entry : entries) {
                if (isIpv4Entry(entry)) {
                    place.cardAddress = entry.ip().toIPv4Address();
                    place.cardPrefixLength = entry.prefixLength();
                    break;
                }
            }
        }
    }
    if (card)
        place.cardName = card->humanReadableName();

    // Behind a router the table holds the router, not the device.
    if (!place.onLocalSubnet)
        return place;
    // The arrival card's entry where the address is known on several.
    for (const Neighbour &neighbour : neighbours) {
        if (neighbour.address != address)
            continue;
        if (neighbour.interfaceIndex == interfaceIndex) {
            place.hardwareAddress = neighbour.hardwareAddress;
            break;
        }
        if (place.hardwareAddress.isEmpty())
            place.hardwareAddress = neighbour.hardwareAddress;
    }
    return place;
}
