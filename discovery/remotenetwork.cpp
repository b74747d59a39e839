#include "remotenetwork.h"

#include "netaddress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QStringList>

#include <algorithm>
#include <memory>

QList<OwnNetwork> ownNetworks(const QList<QNetworkInterface> &interfaces)
{
    QList<OwnNetwork> own;
    for (const QNetworkInterface &itfc : interfaces) {
        const QList<QNetworkAddressEntry> entries = itfc.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            // Without a known prefix only the address itself is known.
            const int prefix = entry.prefixLength() < 0 ? 32 : qMin(entry.prefixLength(), 32);
            own.append({Ipv4Subnet{entry.ip().toIPv4Address(), prefix}.networkOnly(), itfc.humanReadableName()});
        }
    }
    return own;
}

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("RemoteNetwork", text, nullptr, n);
}

// Blocks of addresses that no router forwards to: this network, loopback,
// link-local, and multicast and the reserved block above it.
bool unroutable(const Ipv4Subnet &network, QString *reason)
{
    const quint32 a = network.address;
    if (a >> 24 == 0)
        *reason = tr("0.0.0.0/8 is not a network that can be searched");
    else if (a >> 24 == 127)
        *reason = tr("127.0.0.0/8 is loopback, this computer itself");
    else if (a >> 16 == 0xA9FE)
        *reason = tr("169.254.0.0/16 is link-local and never routed");
    else if (a >> 28 >= 0xE)
        *reason = tr("Multicast and reserved addresses (224.0.0.0 and above) cannot be searched");
    else
        return false;
    return true;
}

// "About 2 s", "about 2 min": how long the sweep of so many hosts takes.
QString sweepTime(quint32 hosts)
{
    const qint64 seconds = std::max<qint64>(1, (qint64(hosts) * 2 + SweepPacer::PerSecond / 2) / SweepPacer::PerSecond);
    if (seconds < 120)
        return tr("about %n s", int(seconds));
    return tr("about %n min", int((seconds + 30) / 60));
}

} // namespace

RemoteNetworkCheck checkRemoteNetwork(const QString &input, const QList<OwnNetwork> &own,
                                      const QList<Ipv4Subnet> &added)
{
    RemoteNetworkCheck result;
    const QString text = input.trimmed();
    const QString example = tr("Type a network as address/prefix, for example 10.40.8.0/22");
    if (text.isEmpty()) {
        result.reason = example;
        return result;
    }
    for (const QChar c : text) {
        if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('/')) {
            result.state = RemoteNetworkCheck::Invalid;
            return result;
        }
    }
    const QStringList parts = text.split(QLatin1Char('/'));
    const QStringList octets = parts.at(0).split(QLatin1Char('.'));
    if (parts.size() > 2 || octets.size() > 4) {
        result.state = RemoteNetworkCheck::Invalid;
        return result;
    }
    quint32 address = 0;
    bool complete = octets.size() == 4;
    for (const QString &octet : octets) {
        if (octet.size() > 3 || octet.toInt() > 255) {
            result.state = RemoteNetworkCheck::Invalid;
            return result;
        }
        complete = complete && !octet.isEmpty();
        address = address << 8 | quint32(octet.toInt());
    }
    const QString prefixText = parts.size() == 2 ? parts.at(1) : QString();
    if (prefixText.size() > 2) {
        result.state = RemoteNetworkCheck::Invalid;
        return result;
    }
    if (!complete || prefixText.isEmpty()) {
        result.reason = example;
        return result;
    }
    const int prefix = prefixText.toInt();
    if (prefix < RemotePrefixMin || prefix > RemotePrefixMax) {
        result.reason = tr("The prefix must be /%1 to /%2").arg(RemotePrefixMin).arg(RemotePrefixMax);
        return result;
    }

    const Ipv4Subnet network = Ipv4Subnet{address, prefix}.networkOnly();
    if (unroutable(network, &result.reason))
        return result;
    for (const OwnNetwork &mine : own) {
        if (network.overlaps(mine.network)) {
            result.reason = tr("%1 is this computer's own network (%2 on %3): it is searched by broadcast already")
                                .arg(network.text(), mine.network.text(), mine.card);
            return result;
        }
    }
    for (const Ipv4Subnet &other : added) {
        if (network.overlaps(other)) {
            result.reason = tr("%1 overlaps %2, which is added already").arg(network.text(), other.text());
            return result;
        }
    }
    result.state = RemoteNetworkCheck::Acceptable;
    result.network = network;
    result.reason = tr("Enter adds %1: %n host(s), swept in %2 at each Find", int(network.hostCount()))
                        .arg(network.text(), sweepTime(network.hostCount()));
    return result;
}

SweepPacer::SweepPacer(Clock clock)
    : clock(std::move(clock))
{
    if (!this->clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        this->clock = [timer]() { return timer->elapsed(); };
    }
}

void SweepPacer::start()
{
    last = clock();
    milliTokens = qint64(Burst) * 1000;
}

int SweepPacer::due()
{
    const qint64 now = clock();
    if (now > last)
        milliTokens = std::min<qint64>(qint64(Burst) * 1000, milliTokens + (now - last) * PerSecond);
    last = std::max(last, now);
    return int(milliTokens / 1000);
}

void SweepPacer::take(int count)
{
    milliTokens -= qint64(count) * 1000;
}

SweepPlan::SweepPlan(const QList<Ipv4Subnet> &networks)
    : networks(networks)
{
    for (const Ipv4Subnet &network : networks)
        totalCount += qint64(network.hostCount()) * 2;
    while (!atEnd() && this->networks.at(networkIndex).hostCount() == 0)
        ++networkIndex;
}

SweepPlan::Datagram SweepPlan::next()
{
    const Ipv4Subnet &network = networks.at(networkIndex);
    const Datagram datagram{networkIndex, network.firstHost() + quint32(position / 2), position % 2 == 1};
    ++doneCount;
    if (++position >= qint64(network.hostCount()) * 2) {
        position = 0;
        do
            ++networkIndex;
        while (!atEnd() && networks.at(networkIndex).hostCount() == 0);
    }
    return datagram;
}
