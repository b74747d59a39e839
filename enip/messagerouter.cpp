#include "messagerouter.h"

#include "wirecheck.h"

namespace CIP {

namespace {

enum SegmentType : quint8 {
    Class8 = 0x20,
    Class16 = 0x21,
    Instance8 = 0x24,
    Instance16 = 0x25,
    Attribute8 = 0x30,
    Attribute16 = 0x31
};

void writeSegment(QDataStream &stream, quint8 type8, quint16 value)
{
    if (value <= 0xFF) {
        stream << type8 << quint8(value);
    } else {
        // The 16-bit form is the 8-bit type + 1, with a pad byte that keeps
        // the value on a word boundary.
        stream << quint8(type8 + 1) << quint8(0) << value;
    }
}

// Reads one segment of type type8 or type8 + 1 from bytes at *offset.
bool readSegment(const QByteArray &bytes, int *offset, quint8 type8, quint16 *value)
{
    const int at = *offset;
    if (at + 2 > bytes.size())
        return false;
    const quint8 type = quint8(bytes.at(at));
    if (type == type8) {
        *value = quint8(bytes.at(at + 1));
        *offset = at + 2;
        return true;
    }
    if (type == type8 + 1 && at + 4 <= bytes.size() && bytes.at(at + 1) == 0) {
        *value = quint16(quint8(bytes.at(at + 2)) | quint8(bytes.at(at + 3)) << 8);
        *offset = at + 4;
        return true;
    }
    return false;
}

} // namespace

CipPath::CipPath(quint16 classId, quint16 instance)
    : classId(classId)
    , instance(instance)
{ }

CipPath::CipPath(quint16 classId, quint16 instance, quint16 attribute)
    : classId(classId)
    , instance(instance)
    , hasAttribute(true)
    , attribute(attribute)
{ }

bool CipPath::operator==(const CipPath &other) const
{
    return classId == other.classId && instance == other.instance && hasAttribute == other.hasAttribute
        && (!hasAttribute || attribute == other.attribute);
}

bool CipPath::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (bytesLeft(stream) < 1)
        return false;
    quint8 words = 0;
    stream >> words;
    QByteArray segments;
    if (!readExactly(stream, 2 * qint64(words), &segments))
        return false;

    CipPath read;
    int offset = 0;
    if (!readSegment(segments, &offset, Class8, &read.classId)
        || !readSegment(segments, &offset, Instance8, &read.instance))
        return false;
    if (offset < segments.size()) {
        if (!readSegment(segments, &offset, Attribute8, &read.attribute))
            return false;
        read.hasAttribute = true;
    }
    if (offset != segments.size())
        return false;
    *this = read;
    return true;
}

bool CipPath::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    const auto segmentSize = [](quint16 value) { return value <= 0xFF ? 2 : 4; };
    const int size = segmentSize(classId) + segmentSize(instance) + (hasAttribute ? segmentSize(attribute) : 0);
    stream << quint8(size / 2);
    writeSegment(stream, Class8, classId);
    writeSegment(stream, Instance8, instance);
    if (hasAttribute)
        writeSegment(stream, Attribute8, attribute);
    return true;
}

MessageRouterRequest::MessageRouterRequest(quint8 service, const CipPath &path, const QByteArray &data)
    : service(service)
    , path(path)
    , data(data)
{ }

bool MessageRouterRequest::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (bytesLeft(stream) < 1)
        return false;
    MessageRouterRequest read;
    stream >> read.service;
    if (!read.path.deserialize(stream) || !readExactly(stream, bytesLeft(stream), &read.data))
        return false;
    *this = read;
    return true;
}

bool MessageRouterRequest::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << service;
    path.serialize(stream);
    stream.writeRawData(data.constData(), data.size());
    return true;
}

bool MessageRouterResponse::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (bytesLeft(stream) < 4)
        return false;
    MessageRouterResponse read;
    quint8 words = 0;
    stream >> read.service >> read.reserved >> read.generalStatus >> words;
    if (bytesLeft(stream) < 2 * qint64(words))
        return false;
    read.additionalStatus.resize(words);
    for (quint16 &word : read.additionalStatus)
        stream >> word;
    if (!readExactly(stream, bytesLeft(stream), &read.data))
        return false;
    *this = read;
    return true;
}

bool MessageRouterResponse::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (additionalStatus.size() > 0xFF)
        return false;
    stream << service << reserved << generalStatus << quint8(additionalStatus.size());
    for (const quint16 word : additionalStatus)
        stream << word;
    stream.writeRawData(data.constData(), data.size());
    return true;
}

} // namespace CIP
