#include "messagerouter.h"

#include "wirecheck.h"

namespace CIP {

namespace {

enum SegmentType : quint8 {
    Class8 = 0x20,
    Class16 = 0x21,
    Instance8 = 0x24,
    Instance16 = 0x25,
    Instance32 = 0x26,
    Attribute8 = 0x30,
    Attribute16 = 0x31
};

// The bytes of the smallest segment that holds value.
int segmentSize(quint32 value)
{
    return value <= 0xFF ? 2 : value <= 0xFFFF ? 4 : 6;
}

// Writes the smallest segment that holds value: the 16- and 32-bit forms
// are the 8-bit type + 1 and + 2, with a pad byte that keeps the value on a
// word boundary.
void writeSegment(QDataStream &stream, quint8 type8, quint32 value)
{
    if (value <= 0xFF)
        stream << type8 << quint8(value);
    else if (value <= 0xFFFF)
        stream << quint8(type8 + 1) << quint8(0) << quint16(value);
    else
        stream << quint8(type8 + 2) << quint8(0) << value;
}

// Reads one segment of type type8, type8 + 1 or, where allow32, type8 + 2
// from bytes at *offset.
bool readSegment(const QByteArray &bytes, int *offset, quint8 type8, bool allow32, quint32 *value)
{
    const int at = *offset;
    if (at + 2 > bytes.size())
        return false;
    const auto byteAt = [&bytes](int i) { return quint32(quint8(bytes.at(i))); };
    const quint8 type = quint8(bytes.at(at));
    if (type == type8) {
        *value = byteAt(at + 1);
        *offset = at + 2;
        return true;
    }
    if (bytes.at(at + 1) != 0)
        return false;
    if (type == type8 + 1 && at + 4 <= bytes.size()) {
        *value = byteAt(at + 2) | byteAt(at + 3) << 8;
        *offset = at + 4;
        return true;
    }
    if (allow32 && type == type8 + 2 && at + 6 <= bytes.size()) {
        *value = byteAt(at + 2) | byteAt(at + 3) << 8 | byteAt(at + 4) << 16 | byteAt(at + 5) << 24;
        *offset = at + 6;
        return true;
    }
    return false;
}

} // namespace

CipPath::CipPath(quint16 classId, quint32 instance)
    : classId(classId)
    , instance(instance)
{ }

CipPath::CipPath(quint16 classId, quint32 instance, quint16 attribute)
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
    quint32 classId = 0;
    if (!readSegment(segments, &offset, Class8, false, &classId)
        || !readSegment(segments, &offset, Instance8, true, &read.instance))
        return false;
    read.classId = quint16(classId);
    if (offset < segments.size()) {
        quint32 attribute = 0;
        if (!readSegment(segments, &offset, Attribute8, false, &attribute))
            return false;
        read.hasAttribute = true;
        read.attribute = quint16(attribute);
    }
    if (offset != segments.size())
        return false;
    *this = read;
    return true;
}

bool CipPath::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
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
    if (read.service > MaxRequestService || !read.path.deserialize(stream)
        || !readExactly(stream, bytesLeft(stream), &read.data))
        return false;
    *this = read;
    return true;
}

bool MessageRouterRequest::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    if (service > MaxRequestService)
        return false;
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
