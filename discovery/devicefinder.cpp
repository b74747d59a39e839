#include "devicefinder.h"

#include "cipnames.h"
#include "connsocket.h"
#include "deviceexport.h"
#include "deviceplace.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <utility>

namespace {

QString localTime(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("HH:mm:ss"));
}

// What differs between two identities of one address, in a technician's
// words: "serial number 1A2B to 1A2C, revision 2.1 to 2.2".
QString identityChanges(const CIP::CipIdentityObject &before, const CIP::CipIdentityObject &after)
{
    QStringList changes;
    const auto change = [&changes](const QString &what, const QString &from, const QString &to) {
        if (from != to)
            changes.append(DeviceFinder::tr("%1 %2 to %3").arg(what, from, to));
    };
    change(DeviceFinder::tr("vendor ID"), QString::number(before.vendorId), QString::number(after.vendorId));
    change(DeviceFinder::tr("product code"), QString::number(before.productCode), QString::number(after.productCode));
    change(DeviceFinder::tr("serial number"), CIP::serialNumberText(before.serialNumber),
           CIP::serialNumberText(after.serialNumber));
    change(DeviceFinder::tr("revision"), QStringLiteral("%1.%2").arg(before.revisionMajor).arg(before.revisionMinor),
           QStringLiteral("%1.%2").arg(after.revisionMajor).arg(after.revisionMinor));
    change(DeviceFinder::tr("product name"), QLatin1Char('"') + before.productName.toString() + QLatin1Char('"'),
           QLatin1Char('"') + after.productName.toString() + QLatin1Char('"'));
    return changes.join(QLatin1String(", "));
}

} // namespace

DeviceFinder::DeviceFinder(QObject *parent)
    : QObject(parent)
    , roundTimer(new QTimer(this))
    , searchingTimer(new QTimer(this))
    , sweepTimer(new QTimer(this))
    , now(&QDateTime::currentMSecsSinceEpoch)
{
    searchingTimer->setSingleShot(true);
    searchingTimer->setInterval(AnswerWaitMs);
    connect(searchingTimer, &QTimer::timeout, this, [this]() {
        searching = false;
        for (QUdpSocket *socket : sweepSockets) {
            if (socket)
                socket->close();
        }
        priv_endRound();
        emit networksChanged();
        // The interval ran out while the round was still sweeping.
        if (watching && roundDue)
            find();
    });
    // 100 times a second, a handful of the sweep's datagrams each time.
    sweepTimer->setInterval(10);
    sweepTimer->setTimerType(Qt::PreciseTimer);
    connect(sweepTimer, &QTimer::timeout, this, &DeviceFinder::priv_sweepNext);
    roundTimer->setSingleShot(true);
    roundTimer->setInterval(DefaultWatchIntervalMs);
    connect(roundTimer, &QTimer::timeout, this, [this]() {
        // A round that still sweeps delays the next one until it is over.
        if (isSweeping())
            roundDue = true;
        else
            find();
    });
}

DeviceFinder::~DeviceFinder()
{
    const QList<ConnSocket *> sockets = connSockets;
    for (ConnSocket *connSocket : sockets) {
        connSocket->socket->close();
        delete connSocket;
    }
    connSockets.clear();
}

void DeviceFinder::find()
{
    // A round still waiting for answers ends before the next begins.
    if (roundOpen)
        priv_endRound();
    roundDue = false;
    if (watching)
        roundTimer->start();
    else
        priv_clearList();
    priv_startRun();
}

void DeviceFinder::setWatching(bool on)
{
    if (on == watching)
        return;
    watching = on;
    if (!on) {
        roundTimer->stop();
        roundDue = false;
        return;
    }
    priv_clearList();
    find();
}

void DeviceFinder::setWatchInterval(int milliseconds)
{
    roundTimer->setInterval(milliseconds);
}

int DeviceFinder::watchInterval() const
{
    return roundTimer->interval();
}

void DeviceFinder::cancelSweep()
{
    if (sweepTimer->isActive())
        priv_finishSweep(true);
}

bool DeviceFinder::isSweeping() const
{
    return sweepTimer->isActive();
}

bool DeviceFinder::addRemoteNetwork(const Ipv4Subnet &network, const QString &reason)
{
    if (remote.contains(network))
        return false;
    remote.append(network);
    runReport.addRemote(network, reason);
    emit networksChanged();
    return true;
}

QVector<ExportedDevice> DeviceFinder::listedDevices() const
{
    // One read of the interfaces and the neighbour table for all entries.
    const SystemNeighbourTable neighbours;
    const DeviceLocator locator(neighbours);
    QVector<ExportedDevice> devices;
    devices.reserve(records.size());
    for (const DeviceRecord &record : records)
        devices.append({record, locator.place(record)});
    return devices;
}

RunReport DeviceFinder::report() const
{
    QList<quint32> addresses;
    QList<int> cards;
    addresses.reserve(records.size());
    cards.reserve(records.size());
    for (const DeviceRecord &record : records) {
        addresses.append(record.address);
        cards.append(record.interfaceIndex);
    }
    RunReport counted = runReport;
    counted.countDevices(addresses, cards);
    return counted;
}

QString DeviceFinder::countText() const
{
    QString text;
    if (watching) {
        text = tr("Watching: %n device(s) online", "", records.size() - offlineCount);
        if (offlineCount > 0)
            text += tr(", %n offline", "", offlineCount);
    } else {
        text = tr("Found %n device(s)", "", records.size());
    }
    if (conflictCount > 0)
        text += tr(", %n with an IP address conflict", "", conflictCount);
    return text;
}

void DeviceFinder::priv_clearList()
{
    deviceCount = 0;
    conflictCount = 0;
    offlineCount = 0;
    records.clear();
    watches.clear();
    listed.clear();
    firstUnannounced = -1;
    emit listCleared();
}

OwnAddressTest *DeviceFinder::priv_ownAddresses()
{
    if (!ownAddressesAge.isValid() || ownAddressesAge.hasExpired(1000)) {
        ownAddresses = OwnAddressTest();
        ownAddressesAge.start();
    }
    return &ownAddresses;
}

void DeviceFinder::priv_lastProbeSent()
{
    // Answers to the last probe may take up to 2 s; the sweep's sockets
    // stay bound until then.
    searchingTimer->start();
}

void DeviceFinder::priv_seen(int index)
{
    DeviceRecord &record = records[index];
    record.lastSeen = now();
    watches[index].seen = true;
    if (!record.offline)
        return;
    record.offline = false;
    record.backSince = record.lastSeen;
    --offlineCount;
    qDebug() << "DeviceFinder::priv_seen"
             << ":"
             << "Device back: addr =" << record.addressText() << ", offline since"
             << qPrintable(localTime(record.offlineSince));
    emit deviceChanged(index);
    emit countsChanged();
    emit deviceEvent(Back, index);
}

// The end of a round: in watch mode each device that missed it comes
// closer to offline, and a device that answered with one identity only may
// have changed or may lose its conflict.
void DeviceFinder::priv_endRound()
{
    if (!roundOpen)
        return;
    roundOpen = false;
    emit runFinished();
    if (!watching)
        return;
    bool countsMoved = false;
    for (int index = 0; index < records.size(); ++index) {
        Watch &watch = watches[index];
        DeviceRecord &record = records[index];
        const bool seen = std::exchange(watch.seen, false);
        const QVector<ENIP::ListIdentityItem> identities = std::exchange(watch.identities, {});
        if (!seen) {
            if (++watch.missedRounds == MissedRoundsOffline && !record.offline) {
                record.offline = true;
                record.offlineSince = now();
                ++offlineCount;
                countsMoved = true;
                qDebug() << "DeviceFinder::priv_endRound"
                         << ":"
                         << "Device offline: addr =" << record.addressText() << ", last seen"
                         << qPrintable(localTime(record.lastSeen));
                emit deviceChanged(index);
                emit deviceEvent(Offline, index);
            }
            continue;
        }
        watch.missedRounds = 0;
        if (identities.isEmpty())
            continue;
        if (identities.size() > 1) {
            watch.quietRounds = 0;
            continue;
        }
        const ENIP::ListIdentityItem &only = identities.first();
        const bool listIdentity = record.protocol == DeviceProtocol::ListIdentity;
        if (record.hasConflict()) {
            if (++watch.quietRounds < QuietRoundsClearConflict)
                continue;
            // One identity answered there three rounds in a row: the
            // conflict is over. An EtherNet/IP entry keeps its own identity
            // for now (the one that answered may be a change, below); a
            // text-protocol entry keeps the one that answered.
            watch.quietRounds = 0;
            const ENIP::ListIdentityItem kept = listIdentity ? record.identity() : only;
            record.identities = {kept};
            record.unkeptIdentities = 0;
            --conflictCount;
            countsMoved = true;
            qDebug() << "DeviceFinder::priv_endRound"
                     << ":"
                     << "Conflict over: addr =" << record.addressText();
            emit deviceChanged(index);
        }
        if (listIdentity)
            priv_changeIdentity(index, only);
    }
    if (countsMoved)
        emit countsChanged();
}

// The identity that alone answered at a listed address in a round: when it
// is another device (a replaced module), or the same with another revision
// or name (new firmware), the entry takes it and is marked changed.
void DeviceFinder::priv_changeIdentity(int index, const ENIP::ListIdentityItem &identity)
{
    DeviceRecord &record = records[index];
    const CIP::CipIdentityObject &before = record.identity().identity;
    const CIP::CipIdentityObject &after = identity.identity;
    if (sameDevice(before, after) && before.revisionMajor == after.revisionMajor
        && before.revisionMinor == after.revisionMinor && before.productName.toString() == after.productName.toString())
        return;
    record.changes = identityChanges(before, after);
    record.changedAt = now();
    qDebug() << "DeviceFinder::priv_endRound"
             << ":"
             << "Device changed: addr =" << record.addressText() << "," << record.changes;
    record.identities = {identity};
    emit deviceChanged(index);
    emit deviceEvent(Changed, index);
}
