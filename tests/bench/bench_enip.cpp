// Decodes a typical ListIdentity reply (header, Common Packet Format, one
// CIP Identity item with its product name) the way the reply reader does.
// The time per iteration is the time per reply.

#include "../listidentitydecode.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray typicalReply()
{
    const QByteArray name = "1756-ENBT/A";
    QByteArray identityItem;
    {
        QDataStream stream(&identityItem, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream << quint16(1); // encapsulation protocol version
        CIP::CipSockaddr sockaddr;
        sockaddr.sinFamily = 2;
        sockaddr.sinPort = 44818;
        sockaddr.sinAddr = 0xC0A8010A;
        sockaddr.serialize(stream);
        stream << quint16(0x0001) << quint16(0x000C) << quint16(0x0003) << quint8(3) << quint8(7) << quint16(0x0030)
               << quint32(0x00A1B2C3) << quint8(name.size());
        stream.writeRawData(name.constData(), name.size());
        stream << quint8(3); // state
    }

    ENIP::CPFData cpf;
    ENIP::CPFItem item;
    item.typeId = 0x000C;
    item.data = identityItem;
    cpf.items.append(item);
    QByteArray body;
    cpf.serialize(&body);

    ENIP::ENIPEncapHeader header(ENIP::ListIdentity);
    header.length = quint16(body.size());
    QByteArray reply;
    header.serialize(&reply);
    return reply + body;
}

void BM_DecodeListIdentityReply(benchmark::State &state)
{
    const QByteArray reply = typicalReply();
    if (decodeListIdentityReply(reply).identities.size() != 1) {
        state.SkipWithError("the sample reply does not decode to one device");
        return;
    }
    for (auto _ : state) {
        DecodedReply decoded = decodeListIdentityReply(reply);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * reply.size());
}

} // namespace

BENCHMARK(BM_DecodeListIdentityReply);

BENCHMARK_MAIN();
