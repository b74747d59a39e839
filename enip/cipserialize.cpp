#include "cipserialize.h"

#include <QIODevice>

namespace CIP {

ICipSerialize::~ICipSerialize() = default;

bool ICipSerialize::deserialize(const QByteArray &bytes)
{
    QDataStream stream(bytes);
    return deserialize(stream);
}

bool ICipSerialize::serialize(QByteArray *bytes)
{
    QDataStream stream(bytes, QIODevice::ReadWrite);
    return serialize(stream);
}

} // namespace CIP
