#ifndef LISTIDENTITYDECODE_H
#define LISTIDENTITYDECODE_H

// Decodes a ListIdentity reply with the codec calls the reply reader makes:
// header from a stream, the Common Packet Format right after it, and for
// every CIP Identity item the protocol version, the socket address and the
// Identity object. Unlike the reader it walks every item the count yields,
// also those that start past the end of the datagram (the reader stops at
// the first of them), so arbitrary input reaches every decoder. Shared by
// the codec tests, the fuzz target and the benchmark.

#include "cipidentity.h"
#include "cpf.h"
#include "enipencapheader.h"

#include <QByteArray>
#include <QDataStream>
#include <QList>
#include <QString>

struct DecodedIdentity
{
    quint16 version = 0;
    CIP::CipSockaddr sockaddr;
    CIP::CipIdentityObject identity;
    QString productName;
};

struct DecodedReply
{
    bool accepted = false;
    QList<quint16> itemTypes;
    QList<DecodedIdentity> identities;
};

inline DecodedReply decodeListIdentityReply(const QByteArray &datagram)
{
    DecodedReply reply;
    QDataStream stream(datagram);
    ENIP::ENIPEncapHeader header(0);
    if (!header.deserialize(stream) || header.command != ENIP::ListIdentity)
        return reply;
    reply.accepted = true;

    ENIP::CPFData cpf;
    cpf.deserialize(stream);
    for (const ENIP::CPFItem &item : qAsConst(cpf.items)) {
        reply.itemTypes.append(item.typeId);
        if (!item.isType(ENIP::IdentityItemType))
            continue;
        QDataStream itemStream(item.data);
        itemStream.setByteOrder(QDataStream::LittleEndian);
        DecodedIdentity decoded;
        itemStream >> decoded.version;
        decoded.sockaddr.deserialize(itemStream);
        if (!decoded.identity.deserialize(itemStream))
            continue;
        decoded.productName = decoded.identity.productName.toString();
        reply.identities.append(decoded);
    }
    return reply;
}

#endif // LISTIDENTITYDECODE_H
