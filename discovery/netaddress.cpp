#include "netaddress.h"

#include <QHostAddress>
#include <QNetworkInterface>

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
        return ip | (0xFFFFFFFFu >> prefixLength);
    return ip | 0xFFu;
}

bool isOwnAddress(const QHostAddress &address)
{
    const quint32 wanted = address.toIPv4Address();
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

QString ipv4ToString(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((address >> 24) & 0xFF)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}
