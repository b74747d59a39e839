#include "cipport.h"

#include "wirecheck.h"

#include <QCoreApplication>

namespace CIP {

namespace {

struct TypeName
{
    quint16 type;
    const char *name;
};

const TypeName PortTypes[] = {
    {PortEndsInDevice, QT_TRANSLATE_NOOP("CIP", "Ends in this device")},
    {PortBackplane, QT_TRANSLATE_NOOP("CIP", "Backplane")},
    {PortControlNet, QT_TRANSLATE_NOOP("CIP", "ControlNet")},
    {PortControlNetRedundant, QT_TRANSLATE_NOOP("CIP", "ControlNet (redundant)")},
    {PortEtherNetIp, QT_TRANSLATE_NOOP("CIP", "EtherNet/IP")},
    {PortDeviceNet, QT_TRANSLATE_NOOP("CIP", "DeviceNet")},
    {PortNotConfigured, QT_TRANSLATE_NOOP("CIP", "Not configured")},
};

bool readUint(QDataStream &stream, quint16 *value)
{
    if (bytesLeft(stream) < 2)
        return false;
    stream >> *value;
    return true;
}

// A path preceded by its size in 16-bit words (UINT). Nothing is read when
// the stream ends inside it.
bool readSizedPath(QDataStream &stream, QByteArray *path)
{
    if (bytesLeft(stream) < 2)
        return false;
    stream.startTransaction();
    quint16 words = 0;
    stream >> words;
    if (!readExactly(stream, 2 * qint64(words), path)) {
        stream.rollbackTransaction();
        return false;
    }
    stream.commitTransaction();
    return true;
}

void writeSizedPath(QDataStream &stream, const QByteArray &path)
{
    const int words = qMin(path.size() / 2, 0xFFFF);
    stream << quint16(words);
    stream.writeRawData(path.constData(), 2 * words);
}

} // namespace

QString portTypeName(quint16 type)
{
    for (const TypeName &entry : PortTypes) {
        if (entry.type == type)
            return QCoreApplication::translate("CIP", entry.name);
    }
    return QCoreApplication::translate("CIP", "Port type %1").arg(type);
}

QList<quint16> CipPortInstance::attributes() const
{
    return {Type, Number, LinkObject, Name, NodeAddress, NodeRange};
}

QList<quint16> CipPortInstance::replyAttributes() const
{
    return {Type, Number, LinkObject, Name, NodeAddress};
}

bool CipPortInstance::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    present.clear();
    for (const quint16 attribute : {Type, Number, LinkObject, Name}) {
        if (!readAttribute(attribute, stream))
            return false;
        present.append(attribute);
    }
    if (bytesLeft(stream) == 0)
        return true;
    if (!readAttribute(NodeAddress, stream))
        return false;
    present.append(NodeAddress);
    return true;
}

bool CipPortInstance::nodeAddressHop(CipRouteHop *hop) const
{
    CipRoute route;
    if (!has(NodeAddress) || !route.deserialize(nodePath) || route.hops.size() != 1)
        return false;
    *hop = route.hops.first();
    return true;
}

bool CipPortInstance::readAttribute(quint16 attribute, QDataStream &stream)
{
    switch (attribute) {
    case Type:
        return readUint(stream, &type);
    case Number:
        return readUint(stream, &number);
    case LinkObject:
        return readSizedPath(stream, &linkPath);
    case Name: {
        if (bytesLeft(stream) < 1)
            return false;
        stream.startTransaction();
        quint8 length = 0;
        stream >> length;
        if (!readExactly(stream, length, &name)) {
            stream.rollbackTransaction();
            return false;
        }
        stream.commitTransaction();
        return true;
    }
    case NodeAddress:
        return readSizedPath(stream, &nodePath);
    case NodeRange:
        if (bytesLeft(stream) < 4)
            return false;
        stream >> nodeRangeMin >> nodeRangeMax;
        return true;
    default:
        return false;
    }
}

void CipPortInstance::writeAttribute(quint16 attribute, QDataStream &stream) const
{
    switch (attribute) {
    case Type:
        stream << type;
        break;
    case Number:
        stream << number;
        break;
    case LinkObject:
        writeSizedPath(stream, linkPath);
        break;
    case Name: {
        const int length = qMin(name.size(), 0xFF);
        stream << quint8(length);
        stream.writeRawData(name.constData(), length);
        break;
    }
    case NodeAddress:
        writeSizedPath(stream, nodePath);
        break;
    case NodeRange:
        stream << nodeRangeMin << nodeRangeMax;
        break;
    default:
        break;
    }
}

bool CipPortClassAttributes::setAttribute(quint16 attribute, const QByteArray &data)
{
    present.removeAll(attribute);
    if ((attribute != MaxInstance && attribute != EntryPort) || data.size() != 2)
        return false;
    const quint16 value = quint16(quint8(data.at(0)) | quint8(data.at(1)) << 8);
    (attribute == MaxInstance ? maxInstance : entryPort) = value;
    present.append(attribute);
    return true;
}

} // namespace CIP
