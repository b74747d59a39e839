// Decodes ListIdentity replies through the codec's whole-reply decode, the
// one the reply reader calls. The time per iteration is the time per reply:
//   typical      one identity item, as a device sends it (75 bytes);
//   count65535   a header and an item count of 65535 with nothing after it
//                (26 bytes);
//   manyItems    350 empty items of another type (1,426 bytes);
//   longItem     an item count of 65535 and one identity item whose length
//                says 65535, cut off at 1,426 bytes.
// And the decode of explicit-messaging answers over TCP, as the device
// client runs it (framing, encapsulation message, SendRRData check, Message
// Router response, then the object's Get_Attributes_All reply):
//   tcpipAll     the TCP/IP Interface object's attributes 1 to 11;
//   identityAll  the Identity object's attributes 1 to 7;
//   linkAll      the Ethernet Link object's attributes 1 to 3;
//   tcpipShort   the TCP/IP Interface object cut after 40 bytes.

#include "cipobjects.h"
#include "encapsulation.h"
#include "listidentityreply.h"

#include <QIODevice>
#include <benchmark/benchmark.h>

namespace {

QByteArray identityItemData()
{
    const QByteArray name = "1756-ENBT/A";
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
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
    return data;
}

// A reply holding the items, with its item count set to count.
QByteArray reply(const QList<ENIP::CPFItem> &items, quint16 count)
{
    ENIP::CPFData cpf;
    cpf.items = items;
    QByteArray body;
    cpf.serialize(&body);
    body[0] = char(count & 0xFF);
    body[1] = char(count >> 8);

    ENIP::ENIPEncapHeader header(ENIP::ListIdentity);
    header.length = quint16(body.size());
    QByteArray bytes;
    header.serialize(&bytes);
    return bytes + body;
}

ENIP::CPFItem item(quint16 type, const QByteArray &data)
{
    ENIP::CPFItem item;
    item.typeId = type;
    item.data = data;
    return item;
}

QByteArray typical()
{
    return reply({item(ENIP::IdentityItemType, identityItemData())}, 1);
}

QByteArray count65535()
{
    return reply({}, 65535);
}

QByteArray manyItems()
{
    QList<ENIP::CPFItem> items;
    for (int i = 0; i < 350; ++i)
        items.append(item(0x0086, QByteArray()));
    return reply(items, 350);
}

QByteArray longItem()
{
    // The item's length field says 65535; the datagram ends 1,426 bytes in.
    QByteArray bytes = reply({item(ENIP::IdentityItemType, identityItemData())}, 65535);
    bytes[28] = '\xFF';
    bytes[29] = '\xFF';
    return bytes.leftJustified(1426, '\0');
}

void decode(benchmark::State &state, const QByteArray &datagram, int items)
{
    ENIP::ListIdentityReply decoded;
    if (!decoded.deserialize(datagram) || decoded.items.size() != items) {
        state.SkipWithError("the sample reply does not decode to the expected items");
        return;
    }
    for (auto _ : state) {
        ENIP::ListIdentityReply reply;
        benchmark::DoNotOptimize(reply.deserialize(datagram));
        benchmark::DoNotOptimize(reply.items.data());
    }
    state.counters["bytes"] = datagram.size();
    state.SetItemsProcessed(state.iterations());
}

// A SendRRData answer to Get_Attributes_All on session 7 carrying data.
QByteArray getAllAnswer(const QByteArray &data)
{
    ENIP::RRDataBody body;
    body.message = QByteArray::fromHex("81000000") + data;
    ENIP::EncapMessage message(ENIP::SendRRData);
    message.header.sessionHandle = 7;
    body.serialize(&message.data);
    return message.bytes();
}

QByteArray tcpipAll()
{
    CIP::CipTcpIpInterface tcpip;
    tcpip.status = 0x31;
    tcpip.capability = 0xD4;
    tcpip.configuration.ipAddress = 0x0ACE010A;
    tcpip.configuration.netmask = 0xFFFFFF00;
    tcpip.configuration.gateway = 0x0ACE0101;
    tcpip.configuration.domainName.text = "plant";
    tcpip.hostName.text = "io-7";
    tcpip.selectAcd = 1;
    QByteArray data;
    tcpip.serialize(&data);
    return data;
}

QByteArray identityAll()
{
    CIP::CipIdentityAttributes identity;
    identity.identity.productName.deserialize(QByteArray("\x0b"
                                                         "1756-ENBT/A"));
    QByteArray data;
    identity.serialize(&data);
    return data;
}

QByteArray linkAll()
{
    return QByteArray::fromHex("64000000"
                               "0F000000"
                               "001D9C010203");
}

template<typename Object> void decodeAnswer(benchmark::State &state, const QByteArray &answer, bool whole)
{
    const auto decodeOnce = [&answer]() {
        int size = 0;
        if (ENIP::frameOf(answer, &size) != ENIP::Frame::Complete)
            return false;
        ENIP::EncapMessage message;
        CIP::MessageRouterResponse response;
        Object object;
        return message.deserialize(answer.left(size))
            && ENIP::readSendRRDataReply(message, 7, CIP::GetAttributesAll, &response) == ENIP::ReplyFault::None
            && object.deserialize(response.data);
    };
    if (decodeOnce() != whole) {
        state.SkipWithError("the sample answer does not decode as expected");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeOnce());
    state.counters["bytes"] = answer.size();
    state.SetItemsProcessed(state.iterations());
}

// One function per object, as BENCHMARK_CAPTURE takes no template.
void decodeTcpip(benchmark::State &state, const QByteArray &answer, bool whole)
{
    decodeAnswer<CIP::CipTcpIpInterface>(state, answer, whole);
}

void decodeIdentity(benchmark::State &state, const QByteArray &answer, bool whole)
{
    decodeAnswer<CIP::CipIdentityAttributes>(state, answer, whole);
}

void decodeLink(benchmark::State &state, const QByteArray &answer, bool whole)
{
    decodeAnswer<CIP::CipEthernetLink>(state, answer, whole);
}

} // namespace

BENCHMARK_CAPTURE(decodeTcpip, tcpipAll, getAllAnswer(tcpipAll()), true);
BENCHMARK_CAPTURE(decodeIdentity, identityAll, getAllAnswer(identityAll()), true);
BENCHMARK_CAPTURE(decodeLink, linkAll, getAllAnswer(linkAll()), true);
BENCHMARK_CAPTURE(decodeTcpip, tcpipShort, getAllAnswer(tcpipAll().left(40)), false);

BENCHMARK_CAPTURE(decode, typical, typical(), 1);
BENCHMARK_CAPTURE(decode, count65535, count65535(), 0);
BENCHMARK_CAPTURE(decode, manyItems, manyItems(), 350);
BENCHMARK_CAPTURE(decode, longItem, longItem(), 1);

BENCHMARK_MAIN();
