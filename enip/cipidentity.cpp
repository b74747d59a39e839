#include "cipidentity.h"

#include <cstring>

namespace CIP {

namespace {

char *copyOf(const char *chars, quint8 count)
{
    if (!chars)
        return nullptr;
    char *copy = new char[count];
    std::memcpy(copy, chars, count);
    return copy;
}

} // namespace

CipShortString::CipShortString(const CipShortString &other)
    : ICipData(other)
    , ICipSerialize(other)
    , length(other.length)
    , data(copyOf(other.data, other.length))
{ }

CipShortString &CipShortString::operator=(const CipShortString &other)
{
    if (this != &other) {
        char *copy = copyOf(other.data, other.length);
        delete[] data;
        data = copy;
        length = other.length;
    }
    return *this;
}

CipShortString::~CipShortString()
{
    delete[] data;
}

QString CipShortString::toString() const
{
    if (!data)
        return QStringLiteral("NULL");
    return QString::fromLatin1(data, length);
}

void CipShortString::readCharacters(QDataStream &stream, quint8 count)
{
    // new char[n]() gives zeros, which readRawData leaves in place for
    // characters the data no longer holds.
    char *chars = new char[count]();
    stream.readRawData(chars, count);
    delete[] data;
    data = chars;
    length = count;
}

bool CipShortString::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    quint8 count = 0;
    stream >> count;
    readCharacters(stream, count);
    return true;
}

bool CipShortString::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << length;
    if (data)
        stream.writeRawData(data, length);
    return true;
}

bool CipSockaddr::deserialize(QDataStream &stream)
{
    const QDataStream::ByteOrder previousOrder = stream.byteOrder();
    stream.setByteOrder(QDataStream::BigEndian);
    stream >> sinFamily >> sinPort >> sinAddr;
    for (quint8 &byte : sinZero)
        stream >> byte;
    stream.setByteOrder(previousOrder);
    return true;
}

bool CipSockaddr::serialize(QDataStream &stream)
{
    const QDataStream::ByteOrder previousOrder = stream.byteOrder();
    stream.setByteOrder(QDataStream::BigEndian);
    stream << sinFamily << sinPort << sinAddr;
    for (const quint8 byte : sinZero)
        stream << byte;
    stream.setByteOrder(previousOrder);
    return true;
}

bool CipIdentityObject::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    stream >> vendorId >> deviceType >> productCode >> revisionMajor >> revisionMinor >> status >> serialNumber;

    quint8 nameLength = 0;
    stream >> nameLength;
    if (nameLength > MaxProductNameLength)
        return false;
    productName.readCharacters(stream, nameLength);
    stream >> state;
    return true;
}

bool CipIdentityObject::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    return false;
}

} // namespace CIP
