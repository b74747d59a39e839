#include "listidentityreply.h"

namespace ENIP {

bool ListIdentityReply::deserialize(QDataStream &stream)
{
    items.clear();
    if (!header.deserialize(stream) || header.command != ListIdentity)
        return false;

    CPFData cpf;
    cpf.deserialize(stream);
    // Filled in place: an identity object owns its product name's buffer,
    // and copying it in would copy that as well.
    items.resize(cpf.items.size());
    for (int i = 0; i < items.size(); ++i) {
        const CPFItem &cpfItem = cpf.items.at(i);
        ListIdentityItem &item = items[i];
        item.typeId = cpfItem.typeId;
        if (!cpfItem.isType(IdentityItemType))
            continue;
        QDataStream itemStream(cpfItem.data);
        itemStream.setByteOrder(QDataStream::LittleEndian);
        itemStream >> item.encapVersion;
        item.sockaddr.deserialize(itemStream);
        item.identityDecoded = item.identity.deserialize(itemStream);
    }
    return true;
}

bool ListIdentityReply::serialize(QDataStream &stream)
{
    stream.setByteOrder(QDataStream::LittleEndian);
    return false;
}

} // namespace ENIP
