#include "netaddress.h"

#include "ipv4subnet.h"

#include <QHostAddress>
#include <QNetworkInterface>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

bool isUsableAddressEntry(const QNetworkInterface &itfc, const QNetworkAddressEntry &entry)
{
    const QNetworkInterface::InterfaceFlags flags = itfc.flags();
    return flags.testFlag(QNetworkInterface::IsUp) && !flags.testFlag(QNetworkInterface::IsLoopBack)
        && itfc.hardwareAddress() != QLatin1String("00:00:00:00:00:00")
        && entry.ip().toString().contains(QLatin1Char('.'));
}

quint32 probeAddress(quint32 ip, int prefixLength, bool canBroadcast)
{
    if (canBroadcast && prefixLength >= 1 && prefixLength <= 30)
        return Ipv4Subnet{ip, prefixLength}.broadcast();
    return ip | 0xFFu;
}

#ifdef Q_OS_WIN
namespace {

// Winsock works only between WSAStartup and WSACleanup. Qt starts it for
// its own sockets, but the own-address test may run before any exists, so
// it starts it once itself and keeps it for the life of the process.
bool winsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

} // namespace
#endif

bool mayBeLocalAddress(quint32 address)
{
#ifdef Q_OS_WIN
    if (!winsockStarted())
        return true;
    const SOCKET fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (fd == INVALID_SOCKET)
        return true;
#else
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return true;
#endif
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    local.sin_addr.s_addr = htonl(address);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0;
#ifdef Q_OS_WIN
    const bool notLocal = !bound && WSAGetLastError() == WSAEADDRNOTAVAIL;
    ::closesocket(fd);
#else
    const bool notLocal = !bound && errno == EADDRNOTAVAIL;
    ::close(fd);
#endif
    return !notLocal;
}

bool isOwnAddress(const QHostAddress &address)
{
    const quint32 wanted = address.toIPv4Address();
    // The replies of other devices end here.
    if (!mayBeLocalAddress(wanted))
        return false;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &itfc : interfaces) {
        const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (isUsableAddressEntry(itfc, entry) && entry.ip().toIPv4Address() == wanted)
                return true;
        }
    }
    return false;
}

bool OwnAddressTest::isOwn(const QHostAddress &address)
{
    // Where reading the interface list once costs less than asking about
    // each further datagram on its own.
    constexpr int AskedOneByOne = 8;
    if (++asked <= AskedOneByOne)
        return isOwnAddress(address);
    if (!listRead) {
        const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface &itfc : interfaces) {
            const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
            for (const QNetworkAddressEntry &entry : entries) {
                if (isUsableAddressEntry(itfc, entry))
                    usable.insert(entry.ip().toIPv4Address());
            }
        }
        listRead = true;
    }
    return usable.contains(address.toIPv4Address());
}

QString ipv4ToString(quint32 address)
{
    // Every reply's log line and record write one: the digits are put
    // down directly rather than through four QString::arg passes.
    char text[16];
    int length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const uint octet = (address >> shift) & 0xFF;
        if (octet >= 100)
            text[length++] = char('0' + octet / 100);
        if (octet >= 10)
            text[length++] = char('0' + octet / 10 % 10);
        text[length++] = char('0' + octet % 10);
        if (shift > 0)
            text[length++] = '.';
    }
    return QString::fromLatin1(text, length);
}
