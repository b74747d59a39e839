#include "netaddress.h"

#include <QHostAddress>
#include <QNetworkInterface>

bool isOwnAddress(const QHostAddress &address)
{
    const quint32 wanted = address.toIPv4Address();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &itfc : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = itfc.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (itfc.hardwareAddress() == QLatin1String("00:00:00:00:00:00"))
            continue;
        const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().toString().contains(QLatin1Char('.')) && entry.ip().toIPv4Address() == wanted)
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
