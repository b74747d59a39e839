#include "cipobjects.h"

#include "wirecheck.h"

#include <algorithm>
#include <cstring>

namespace CIP {

namespace {

// Reads one integer of type T when the stream holds it.
template<typename T> bool readValue(QDataStream &stream, T *value)
{
    if (bytesLeft(stream) < qint64(sizeof(T)))
        return false;
    stream >> *value;
    return true;
}

void writeBytes(QDataStream &stream, const quint8 *bytes, int size)
{
    stream.writeRawData(reinterpret_cast<const char *>(bytes), size);
}

} // namespace

bool CipString::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    quint16 length = 0;
    if (bytesLeft(stream) < 2)
        return false;
    stream >> length;
    QByteArray read;
    if (!readExactly(stream, length, &read))
        return false;
    if (length % 2 && bytesLeft(stream) > 0) {
        quint8 pad = 0;
        stream >> pad;
    }
    text = read;
    return true;
}

bool CipString::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (text.size() > 0xFFFF)
        return false;
    stream << quint16(text.size());
    stream.writeRawData(text.constData(), text.size());
    if (text.size() % 2)
        stream << quint8(0);
    return true;
}

bool CipInterfaceConfiguration::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (bytesLeft(stream) < 20)
        return false;
    CipInterfaceConfiguration read;
    stream >> read.ipAddress >> read.netmask >> read.gateway >> read.nameServer >> read.nameServer2;
    if (!read.domainName.deserialize(stream))
        return false;
    *this = read;
    return true;
}

bool CipInterfaceConfiguration::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << ipAddress << netmask << gateway << nameServer << nameServer2;
    return domainName.serialize(stream);
}

bool CipInterfaceConfiguration::operator==(const CipInterfaceConfiguration &other) const
{
    return ipAddress == other.ipAddress && netmask == other.netmask && gateway == other.gateway
        && nameServer == other.nameServer && nameServer2 == other.nameServer2
        && domainName.text == other.domainName.text;
}

bool CipLastConflict::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (bytesLeft(stream) < Size)
        return false;
    stream >> activity;
    readExactly(stream, remoteMac, sizeof remoteMac);
    readExactly(stream, arpPdu, sizeof arpPdu);
    return true;
}

bool CipLastConflict::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << activity;
    writeBytes(stream, remoteMac, sizeof remoteMac);
    writeBytes(stream, arpPdu, sizeof arpPdu);
    return true;
}

bool CipLastConflict::any() const
{
    const auto nonZero = [](quint8 byte) { return byte != 0; };
    return activity != 0 || std::any_of(std::begin(remoteMac), std::end(remoteMac), nonZero)
        || std::any_of(std::begin(arpPdu), std::end(arpPdu), nonZero);
}

bool CipAttributeValues::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    present.clear();
    const QList<quint16> wanted = attributes();
    const QList<quint16> inReply = replyAttributes();
    for (const quint16 attribute : inReply) {
        if (!readAttribute(attribute, stream))
            return false;
        if (wanted.contains(attribute))
            present.append(attribute);
    }
    return true;
}

bool CipAttributeValues::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    const QList<quint16> inReply = replyAttributes();
    for (const quint16 attribute : inReply)
        writeAttribute(attribute, stream);
    return true;
}

bool CipAttributeValues::setAttribute(quint16 attribute, const QByteArray &data)
{
    present.removeAll(attribute);
    if (!attributes().contains(attribute))
        return false;
    QDataStream stream(data);
    stream.setByteOrder(QDataStream::LittleEndian);
    if (!readAttribute(attribute, stream) || !stream.atEnd())
        return false;
    present.append(attribute);
    return true;
}

QByteArray CipAttributeValues::attributeData(quint16 attribute) const
{
    QByteArray bytes;
    if (!attributes().contains(attribute))
        return bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    writeAttribute(attribute, stream);
    return bytes;
}

QList<quint16> CipAttributeValues::missing() const
{
    QList<quint16> result;
    const QList<quint16> wanted = attributes();
    for (const quint16 attribute : wanted) {
        if (!has(attribute))
            result.append(attribute);
    }
    return result;
}

QList<quint16> CipIdentityAttributes::attributes() const
{
    return {VendorId, DeviceType, ProductCode, Revision, Status, SerialNumber, ProductName};
}

bool CipIdentityAttributes::deserialize(QDataStream &stream)
{
    if (!CipAttributeValues::deserialize(stream))
        return false;
    if (readValue(stream, &identity.state))
        present.append(State);
    return true;
}

bool CipIdentityAttributes::readAttribute(quint16 attribute, QDataStream &stream)
{
    switch (attribute) {
    case VendorId:
        return readValue(stream, &identity.vendorId);
    case DeviceType:
        return readValue(stream, &identity.deviceType);
    case ProductCode:
        return readValue(stream, &identity.productCode);
    case Revision:
        if (bytesLeft(stream) < 2)
            return false;
        stream >> identity.revisionMajor >> identity.revisionMinor;
        return true;
    case Status:
        return readValue(stream, &identity.status);
    case SerialNumber:
        return readValue(stream, &identity.serialNumber);
    case ProductName: {
        quint8 length = 0;
        if (bytesLeft(stream) < 1)
            return false;
        stream.startTransaction();
        stream >> length;
        if (length > CipIdentityObject::MaxProductNameLength || bytesLeft(stream) < length) {
            stream.rollbackTransaction();
            return false;
        }
        stream.commitTransaction();
        identity.productName.readCharacters(stream, length);
        return true;
    }
    case State:
        return readValue(stream, &identity.state);
    default:
        return false;
    }
}

void CipIdentityAttributes::writeAttribute(quint16 attribute, QDataStream &stream) const
{
    switch (attribute) {
    case VendorId:
        stream << identity.vendorId;
        break;
    case DeviceType:
        stream << identity.deviceType;
        break;
    case ProductCode:
        stream << identity.productCode;
        break;
    case Revision:
        stream << identity.revisionMajor << identity.revisionMinor;
        break;
    case Status:
        stream << identity.status;
        break;
    case SerialNumber:
        stream << identity.serialNumber;
        break;
    case ProductName:
        CipShortString(identity.productName).serialize(stream);
        break;
    case State:
        stream << identity.state;
        break;
    default:
        break;
    }
}

QList<quint16> CipTcpIpInterface::attributes() const
{
    return {Status,    ConfigurationCapability, ConfigurationControl, InterfaceConfiguration, HostName,
            SelectAcd, LastConflictDetected};
}

QList<quint16> CipTcpIpInterface::replyAttributes() const
{
    return {Status,
            ConfigurationCapability,
            ConfigurationControl,
            PhysicalLinkObject,
            InterfaceConfiguration,
            HostName,
            SafetyNetworkNumber,
            TtlValue,
            McastConfig,
            SelectAcd,
            LastConflictDetected};
}

bool CipTcpIpInterface::readAttribute(quint16 attribute, QDataStream &stream)
{
    switch (attribute) {
    case Status:
        return readValue(stream, &status);
    case ConfigurationCapability:
        return readValue(stream, &capability);
    case ConfigurationControl:
        return readValue(stream, &control);
    case PhysicalLinkObject: {
        // Path size in 16-bit words, then the path.
        if (bytesLeft(stream) < 2)
            return false;
        stream.startTransaction();
        quint16 words = 0;
        stream >> words;
        QByteArray path;
        if (!readExactly(stream, 2 * qint64(words), &path)) {
            stream.rollbackTransaction();
            return false;
        }
        stream.commitTransaction();
        skipped.insert(attribute, path);
        return true;
    }
    case InterfaceConfiguration:
        return configuration.deserialize(stream);
    case HostName:
        return hostName.deserialize(stream);
    case SafetyNetworkNumber:
    case TtlValue:
    case McastConfig: {
        const int size = attribute == SafetyNetworkNumber ? 6 : attribute == TtlValue ? 1 : 8;
        QByteArray bytes;
        if (!readExactly(stream, size, &bytes))
            return false;
        skipped.insert(attribute, bytes);
        return true;
    }
    case SelectAcd:
        return readValue(stream, &selectAcd);
    case LastConflictDetected:
        return lastConflict.deserialize(stream);
    default:
        return false;
    }
}

void CipTcpIpInterface::writeAttribute(quint16 attribute, QDataStream &stream) const
{
    switch (attribute) {
    case Status:
        stream << status;
        break;
    case ConfigurationCapability:
        stream << capability;
        break;
    case ConfigurationControl:
        stream << control;
        break;
    case PhysicalLinkObject: {
        const QByteArray path = skipped.value(attribute);
        stream << quint16(path.size() / 2);
        stream.writeRawData(path.constData(), path.size() / 2 * 2);
        break;
    }
    case InterfaceConfiguration:
        CipInterfaceConfiguration(configuration).serialize(stream);
        break;
    case HostName:
        CipString(hostName).serialize(stream);
        break;
    case SafetyNetworkNumber:
    case TtlValue:
    case McastConfig: {
        // A time-to-live of 1 where none was read, as devices default to.
        const QByteArray bytes = skipped.value(attribute,
                                               attribute == SafetyNetworkNumber ? QByteArray(6, '\0')
                                                   : attribute == TtlValue      ? QByteArray(1, '\1')
                                                                                : QByteArray(8, '\0'));
        stream.writeRawData(bytes.constData(), bytes.size());
        break;
    }
    case SelectAcd:
        stream << selectAcd;
        break;
    case LastConflictDetected:
        CipLastConflict(lastConflict).serialize(stream);
        break;
    default:
        break;
    }
}

QList<quint16> CipEthernetLink::attributes() const
{
    return {InterfaceSpeed, InterfaceFlags, PhysicalAddress};
}

bool CipEthernetLink::readAttribute(quint16 attribute, QDataStream &stream)
{
    switch (attribute) {
    case InterfaceSpeed:
        return readValue(stream, &speed);
    case InterfaceFlags:
        return readValue(stream, &flags);
    case PhysicalAddress:
        return readExactly(stream, macAddress, sizeof macAddress);
    default:
        return false;
    }
}

void CipEthernetLink::writeAttribute(quint16 attribute, QDataStream &stream) const
{
    switch (attribute) {
    case InterfaceSpeed:
        stream << speed;
        break;
    case InterfaceFlags:
        stream << flags;
        break;
    case PhysicalAddress:
        writeBytes(stream, macAddress, sizeof macAddress);
        break;
    default:
        break;
    }
}

} // namespace CIP
