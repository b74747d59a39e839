#include "devicerecord.h"

#include "cipnames.h"
#include "deviceprotocol.h"
#include "netaddress.h"

DeviceRecord DeviceRecord::textDevice(quint32 number, quint32 address, quint16 senderPort, const QByteArray &reply,
                                      int interfaceIndex)
{
    DeviceRecord record;
    record.protocol = DeviceProtocol::Text;
    record.number = number;
    record.address = address;
    record.senderPort = senderPort;
    record.reply = reply;
    record.interfaceIndex = interfaceIndex;
    return record;
}

DeviceRecord DeviceRecord::listIdentityDevice(quint32 number, quint32 address, quint16 senderPort,
                                              const ENIP::ListIdentityItem &identity, int interfaceIndex)
{
    DeviceRecord record;
    record.protocol = DeviceProtocol::ListIdentity;
    record.number = number;
    record.address = address;
    record.senderPort = senderPort;
    record.identities.append(identity);
    record.interfaceIndex = interfaceIndex;
    return record;
}

quint16 DeviceRecord::port() const
{
    return protocol == DeviceProtocol::Text ? senderPort : TextProbePort;
}

QString DeviceRecord::addressText() const
{
    return ipv4ToString(address);
}

QString DeviceRecord::endpoint() const
{
    return QStringLiteral("%1:%2").arg(addressText(), QString::number(port()));
}

QString DeviceRecord::line() const
{
    if (protocol == DeviceProtocol::Text)
        return QStringLiteral("%1.  %2 | %3").arg(QString::number(number), endpoint(), QString::fromUtf8(reply));
    const CIP::CipIdentityObject &id = identity().identity;
    return QStringLiteral("%1.  %2 | \"%3\" (%4.%5) S/N: %6")
        .arg(QString::number(number), endpoint(), id.productName.toString(), QString::number(id.revisionMajor),
             QString::number(id.revisionMinor), CIP::serialNumberText(id.serialNumber));
}

bool DeviceRecord::configAvailable() const
{
    if (protocol == DeviceProtocol::Text)
        return true;
    const quint16 productCode = identity().identity.productCode;
    return productCode == 2 || productCode == 3;
}

bool DeviceRecord::hasFault() const
{
    if (protocol != DeviceProtocol::ListIdentity)
        return false;
    return !CIP::majorFaults(identity().identity).isEmpty();
}

bool DeviceRecord::reportsOtherAddress() const
{
    return protocol == DeviceProtocol::ListIdentity && identity().sockaddr.sinAddr != address;
}

bool DeviceRecord::addIdentity(const ENIP::ListIdentityItem &item)
{
    for (const ENIP::ListIdentityItem &known : qAsConst(identities)) {
        if (sameDevice(known.identity, item.identity))
            return false;
    }
    if (identities.size() < MaxIdentities)
        identities.append(item);
    else
        ++unkeptIdentities;
    return true;
}

bool sameDevice(const CIP::CipIdentityObject &a, const CIP::CipIdentityObject &b)
{
    return a.vendorId == b.vendorId && a.productCode == b.productCode && a.serialNumber == b.serialNumber;
}
