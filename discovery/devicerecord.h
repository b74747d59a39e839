#ifndef DEVICERECORD_H
#define DEVICERECORD_H

#include "listidentityreply.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVector>

// How a listed device answered.
enum class DeviceProtocol { Text, ListIdentity };

// Everything the program knows about one listed device: what its reply
// held, where the reply came from, and what else answered from the same
// address in this run. An entry's line, its tooltip and every copy text are
// made from its record, each in one place, so nothing ever has to read
// fields back out of a display text.
struct DeviceRecord
{
    // Identities kept per address. A sender that makes up a new identity
    // for every reply has the rest counted, not kept.
    static constexpr int MaxIdentities = 16;

    static DeviceRecord textDevice(quint32 number, quint32 address, quint16 senderPort, const QByteArray &reply,
                                   int interfaceIndex);
    static DeviceRecord listIdentityDevice(quint32 number, quint32 address, quint16 senderPort,
                                           const ENIP::ListIdentityItem &identity, int interfaceIndex);

    // The entry's own identity; for EtherNet/IP records only.
    const ENIP::ListIdentityItem &identity() const { return identities.first(); }
    // The port the entry shows and Copy IP address copies: the sender's for
    // a text-protocol device, the text probe's port for every EtherNet/IP
    // device.
    quint16 port() const;
    // The dotted address, as the address data of the entry holds it.
    QString addressText() const;
    // "address:port", what Copy IP address puts on the clipboard.
    QString endpoint() const;
    // The entry's text: "<n>.  <address>:<port> | <reply>", or for
    // EtherNet/IP "<n>.  <address>:<port> | "<name>" (<major>.<minor>)
    // S/N: <serial in upper-case hex>". Made in one pass, so a reply or name
    // holding "%1" and the like is shown as it is.
    QString line() const;
    // Whether the device serves a configuration page: every text-protocol
    // device, and EtherNet/IP devices of product codes 2 and 3.
    bool configAvailable() const;

    // More than one identity answered from this address.
    bool hasConflict() const { return identities.size() + unkeptIdentities > 1; }
    // The entry's own identity reports a major fault, by its state (4 or 5)
    // or its status word (bit 10 or 11).
    bool hasFault() const;
    // The entry is worth a warning icon.
    bool needsWarning() const { return hasConflict() || hasFault(); }
    // The socket address the entry's identity reports for the device is not
    // the address its reply came from.
    bool reportsOtherAddress() const;

    // Takes an identity that answered later from this record's address.
    // True when it differs in vendor ID, product code or serial number from
    // every identity seen so far; the same identity answering again changes
    // nothing.
    bool addIdentity(const ENIP::ListIdentityItem &identity);

    DeviceProtocol protocol = DeviceProtocol::Text;
    // The entry's running number within its run, from 1.
    quint32 number = 0;
    // The reply's sender, IPv4 in host byte order, and its UDP port.
    quint32 address = 0;
    quint16 senderPort = 0;
    // Text protocol: the reply's text, up to its first zero byte.
    QByteArray reply;
    // Every distinct identity that answered from this address, in arrival
    // order, at most MaxIdentities; an EtherNet/IP entry's own is the first.
    // A text-protocol entry keeps those of EtherNet/IP replies from its
    // address here.
    QVector<ENIP::ListIdentityItem> identities;
    // Replies, once MaxIdentities are kept, whose identity is none of them
    // (one such device answering twice counts twice).
    int unkeptIdentities = 0;
    // The interface the reply arrived on (a QNetworkInterface index), 0
    // where the system did not tell.
    int interfaceIndex = 0;

    // What watching the network tells of the device, times in milliseconds
    // since the epoch (0: never). Offline: it missed three rounds in a row.
    bool offline = false;
    qint64 lastSeen = 0;
    qint64 offlineSince = 0;
    qint64 backSince = 0;
    // When it last answered with another identity, firmware or name, and
    // what changed, as the tooltip says it.
    qint64 changedAt = 0;
    QString changes;
};

Q_DECLARE_METATYPE(DeviceRecord)

// True when two identities are those of one device: same vendor ID,
// product code and serial number.
bool sameDevice(const CIP::CipIdentityObject &a, const CIP::CipIdentityObject &b);

#endif // DEVICERECORD_H
