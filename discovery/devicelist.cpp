#include "devicefinder.h"

#include "cipnames.h"
#include "datagram.h"
#include "datagrambatch.h"
#include "deviceprotocol.h"
#include "devicerecord.h"
#include "netaddress.h"

#include <QDebug>
#include <QHostAddress>
#include <QUdpSocket>

void DeviceFinder::readyRead()
{
    // The socket's readyRead, or its batch going on with what is left.
    DatagramBatch *batch = DatagramBatch::of(sender());
    if (!batch)
        return;

    OwnAddressTest *ownAddresses = priv_ownAddresses();
    QByteArray datagram;
    QHostAddress senderAddress;
    quint16 senderPort = 0;
    int interfaceIndex = 0;
    while (batch->next(&datagram, &senderAddress, &senderPort, &interfaceIndex)) {
        if (isForeignIpv4Sender(senderAddress, ownAddresses, "MainWindow::readyRead"))
            priv_takeText(datagram, senderAddress, senderPort, interfaceIndex);
    }

    priv_listAdded();
    // Every batch of the text probe's socket shows the count, even one of
    // the program's own broadcasts only.
    emit countsChanged();
}

void DeviceFinder::priv_takeText(const QByteArray &datagram, const QHostAddress &senderAddress, quint16 senderPort,
                                 int interfaceIndex)
{
    // The reply is text up to its first zero byte.
    const int replyLength = int(qstrnlen(datagram.constData(), uint(datagram.size())));
    const DeviceRecord record = DeviceRecord::textDevice(deviceCount + 1, senderAddress.toIPv4Address(), senderPort,
                                                         datagram.left(replyLength), interfaceIndex);
    const QString line = record.line();
    if (!line.toLower().contains(QLatin1String("marovenda")))
        return;
    if (priv_addDevice(record))
        qDebug() << "MainWindow::readyRead"
                 << ":"
                 << "Device added to the list (DragonFrame)";
}

void DeviceFinder::takeReply(quint16 probePort, const QByteArray &datagram, const QHostAddress &sender,
                             quint16 senderPort, int interfaceIndex)
{
    bool counts = true;
    if (probePort == TextProbePort)
        priv_takeText(datagram, sender, senderPort, interfaceIndex);
    else
        counts = priv_takeListIdentity(datagram, sender, senderPort, interfaceIndex);
    priv_listAdded();
    if (counts)
        emit countsChanged();
}

bool DeviceFinder::listRecord(const DeviceRecord &record)
{
    if (listed.contains(record.address))
        return false;
    priv_addDevice(record);
    priv_listAdded();
    emit countsChanged();
    return true;
}

bool DeviceFinder::priv_addDevice(const DeviceRecord &record)
{
    const int known = listed.value(record.address, -1);
    if (known >= 0) {
        priv_seen(known);
        return false;
    }

    records.append(record);
    DeviceRecord &added = records.last();
    added.lastSeen = now();
    Watch watch;
    watch.seen = true;
    watch.identities = record.identities.mid(0, 1);
    watches.append(watch);
    listed.insert(record.address, records.size() - 1);
    ++deviceCount;
    if (firstUnannounced < 0)
        firstUnannounced = records.size() - 1;
    return true;
}

// Tells what the readers added in one step, then each one's event: a
// window adds one batch's entries together.
void DeviceFinder::priv_listAdded()
{
    if (firstUnannounced < 0)
        return;
    const int first = firstUnannounced;
    firstUnannounced = -1;
    const int last = records.size() - 1;
    emit devicesListed(first, last);
    emit networksChanged();
    for (int index = first; index <= last; ++index)
        emit deviceEvent(Found, index);
}

bool DeviceFinder::priv_noteIdentity(quint32 ip, const ENIP::ListIdentityItem &identity)
{
    const int index = listed.value(ip, -1);
    if (index < 0)
        return false;
    DeviceRecord &record = records[index];
    const bool hadConflict = record.hasConflict();
    if (watching) {
        // A round decides between a new identity and a conflict: only two
        // identities answering in the same round are a conflict.
        Watch &watch = watches[index];
        bool known = false;
        for (const ENIP::ListIdentityItem &item : qAsConst(watch.identities))
            known = known || sameDevice(item.identity, identity.identity);
        if (known)
            return false;
        if (watch.identities.size() < DeviceRecord::MaxIdentities)
            watch.identities.append(identity);
        if (watch.identities.size() < 2)
            return false;
        // Both identities of this round join the entry's, its own first.
        for (const ENIP::ListIdentityItem &item : qAsConst(watch.identities))
            record.addIdentity(item);
    } else if (!record.addIdentity(identity)) {
        return false;
    }
    // A text-protocol entry's first identity is no conflict.
    if (!record.hasConflict())
        return false;

    const CIP::CipIdentityObject &listedIdentity = record.identities.first().identity;
    const CIP::CipIdentityObject &other = identity.identity;
    qDebug() << "MainWindow::readyRead_opener"
             << ":"
             << "IP address conflict at" << record.addressText() << ":" << listedIdentity.productName.toString()
             << "S/N:" << qPrintable(CIP::serialNumberText(listedIdentity.serialNumber))
             << ", product code =" << listedIdentity.productCode << ", vendor ID =" << listedIdentity.vendorId << "and"
             << other.productName.toString() << "S/N:" << qPrintable(CIP::serialNumberText(other.serialNumber))
             << ", product code =" << other.productCode << ", vendor ID =" << other.vendorId;
    emit deviceChanged(index);
    if (hadConflict)
        return false;
    ++conflictCount;
    emit deviceEvent(Conflict, index);
    return true;
}
