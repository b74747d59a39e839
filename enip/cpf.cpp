#include "cpf.h"

namespace ENIP {

bool CPFItem::deserialize(QDataStream &stream)
{
    quint16 itemLength = 0;
    stream >> typeId >> itemLength;
    // readRawData does not touch what it cannot fill, so the data starts
    // out as zeros.
    data.fill('\0', itemLength);
    stream.readRawData(data.data(), itemLength);
    return true;
}

bool CPFItem::serialize(QDataStream &stream)
{
    stream << typeId << static_cast<quint16>(data.size());
    stream.writeRawData(data.constData(), data.size());
    return true;
}

bool CPFData::deserialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    items.clear();

    quint16 count = 0;
    stream >> count;
    // An item is only read where at least its first byte was sent, so a
    // count that the data cannot hold costs nothing. Nor is room reserved
    // for the count: the data may hold far fewer items.
    for (int i = 0; i < count && !stream.atEnd(); ++i) {
        CPFItem item;
        item.deserialize(stream);
        items.append(item);
    }
    return true;
}

bool CPFData::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    const quint16 count = static_cast<quint16>(items.size());
    stream << count;
    for (int i = 0; i < count; ++i)
        items[i].serialize(stream);
    return true;
}

} // namespace ENIP
