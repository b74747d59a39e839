#include "cipidentity.h"
#include "cpf.h"
#include "enipencapheader.h"
#include "listidentitydecode.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray contextOf(const ENIP::ENIPEncapHeader& header)
{
    return QByteArray(reinterpret_cast<const char*>(header.senderContext),
                      sizeof header.senderContext);
}

QByteArray zeroOf(const CIP::CipSockaddr& sockaddr)
{
    return QByteArray(reinterpret_cast<const char*>(sockaddr.sinZero), sizeof sockaddr.sinZero);
}

QByteArray bufferOf(const CIP::CipShortString& string)
{
    return string.data ? QByteArray(string.data, string.length) : QByteArray();
}

// A header whose every member differs from 0, to show what a read changed.
ENIP::ENIPEncapHeader sentinelHeader()
{
    ENIP::ENIPEncapHeader header(0x1111);
    header.length = 0x2222;
    header.sessionHandle = 0x33333333;
    header.status = 0x44444444;
    std::memset(header.senderContext, 0x55, sizeof header.senderContext);
    header.options = 0x66666666;
    return header;
}

// Identity object bytes up to and including the serial number.
const char identityFixedPart[] = "0100" "0C00" "4100" "03" "07" "3000" "78563412";

} // namespace

class tst_Enip : public QObject
{
    Q_OBJECT

private slots:
    void header_serialize_data();
    void header_serialize();
    void header_deserializeBytes_data();
    void header_deserializeBytes();
    void header_deserializeStream_data();
    void header_deserializeStream();

    void cpf_deserialize_data();
    void cpf_deserialize();
    void cpf_serialize_data();
    void cpf_serialize();
    void cpfItem_byteOrder_data();
    void cpfItem_byteOrder();

    void sockaddr_deserialize_data();
    void sockaddr_deserialize();
    void sockaddr_serialize_data();
    void sockaddr_serialize();

    void shortString_deserialize_data();
    void shortString_deserialize();
    void shortString_neverRead();
    void shortString_serialize();
    void shortString_copy_data();
    void shortString_copy();

    void identity_deserialize_data();
    void identity_deserialize();
    void identity_serialize();

    void reply_decode_data();
    void reply_decode();
};

void tst_Enip::header_serialize_data()
{
    QTest::addColumn<quint16>("command");
    QTest::addColumn<quint16>("length");
    QTest::addColumn<quint32>("sessionHandle");
    QTest::addColumn<quint32>("status");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray request = hex("6300") + QByteArray(22, '\0');
    const QByteArray noContext(8, '\0');
    QTest::newRow("ListIdentity request")
        << quint16(0x0063) << quint16(0) << 0u << 0u << noContext << 0u << QByteArray() << request;
    QTest::newRow("every field in place")
        << quint16(0x0065) << quint16(0x1234) << 0x12345678u << 0x9ABCDEF0u
        << hex("0102030405060708") << 0xA1B2C3D4u << QByteArray()
        << hex("6500" "3412" "78563412" "F0DEBC9A" "0102030405060708" "D4C3B2A1");
    QTest::newRow("into 30 bytes: first 24 replaced, last 6 kept")
        << quint16(0x0063) << quint16(0) << 0u << 0u << noContext << 0u
        << QByteArray(30, '\xEE') << request + QByteArray(6, '\xEE');
    QTest::newRow("into 10 bytes: extended to 24")
        << quint16(0x0063) << quint16(0) << 0u << 0u << noContext << 0u
        << QByteArray(10, '\xEE') << request;
}

void tst_Enip::header_serialize()
{
    QFETCH(quint16, command);
    QFETCH(quint16, length);
    QFETCH(quint32, sessionHandle);
    QFETCH(quint32, status);
    QFETCH(QByteArray, context);
    QFETCH(quint32, options);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, expected);

    ENIP::ENIPEncapHeader header(command);
    header.length = length;
    header.sessionHandle = sessionHandle;
    header.status = status;
    std::memcpy(header.senderContext, context.constData(), sizeof header.senderContext);
    header.options = options;

    QByteArray bytes = before;
    QVERIFY(header.serialize(&bytes));
    QCOMPARE(bytes.toHex(), expected.toHex());
}

void tst_Enip::header_deserializeBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<quint16>("command");

    const QByteArray rest(22, '\0');
    QTest::newRow("empty") << QByteArray() << false << quint16(0);
    QTest::newRow("23 bytes") << (hex("6300") + QByteArray(21, '\0')) << false << quint16(0);
    QTest::newRow("24 bytes") << (hex("6300") + rest) << true << quint16(0x0063);
    QTest::newRow("63 00 is 0x6300") << (hex("0063") + rest) << false << quint16(0);
    QTest::newRow("0x0001") << (hex("0100") + rest) << false << quint16(0);
    QTest::newRow("0x0062") << (hex("6200") + rest) << false << quint16(0);
    QTest::newRow("0x0067") << (hex("6700") + rest) << false << quint16(0);
    QTest::newRow("0x0071") << (hex("7100") + rest) << false << quint16(0);
    QTest::newRow("0xFFFF") << (hex("FFFF") + rest) << false << quint16(0);

    const quint16 known[] = {0x0000, 0x0004, 0x0063, 0x0064, 0x0065,
                             0x0066, 0x006F, 0x0070, 0x0072, 0x0073};
    for (const quint16 command : known) {
        QByteArray bytes = rest;
        bytes.prepend(char(command >> 8));
        bytes.prepend(char(command & 0xFF));
        QTest::addRow("accepted 0x%04x", command) << bytes << true << command;
    }
}

void tst_Enip::header_deserializeBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(quint16, command);

    ENIP::ENIPEncapHeader header = sentinelHeader();
    QCOMPARE(header.deserialize(bytes), ok);
    if (!ok) {
        const ENIP::ENIPEncapHeader unchanged = sentinelHeader();
        QCOMPARE(header.command, unchanged.command);
        QCOMPARE(header.length, unchanged.length);
        QCOMPARE(header.sessionHandle, unchanged.sessionHandle);
        QCOMPARE(header.status, unchanged.status);
        QCOMPARE(contextOf(header), contextOf(unchanged));
        QCOMPARE(header.options, unchanged.options);
        return;
    }
    QCOMPARE(header.command, command);
    QCOMPARE(header.length, quint16(0));
    QCOMPARE(header.sessionHandle, 0u);
    QCOMPARE(header.status, 0u);
    QCOMPARE(contextOf(header), QByteArray(8, '\0'));
    QCOMPARE(header.options, 0u);
}

void tst_Enip::header_deserializeStream_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("endPosition");
    QTest::addColumn<quint16>("command");
    QTest::addColumn<quint16>("length");
    QTest::addColumn<quint32>("sessionHandle");
    QTest::addColumn<quint32>("status");
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<quint32>("options");

    // Each stream starts with two bytes that the test reads first, so that
    // the header starts at position 2.
    const QByteArray full = hex("6300" "3400" "78563412" "F0DEBC9A" "0102030405060708" "D4C3B2A1");
    const QByteArray zeros(8, '\0');
    QTest::newRow("complete")
        << full << true << 26 << quint16(0x0063) << quint16(0x34) << 0x12345678u << 0x9ABCDEF0u
        << hex("0102030405060708") << 0xA1B2C3D4u;
    QTest::newRow("more data follows")
        << full + hex("0100") << true << 26 << quint16(0x0063) << quint16(0x34) << 0x12345678u
        << 0x9ABCDEF0u << hex("0102030405060708") << 0xA1B2C3D4u;
    QTest::newRow("RegisterSession read")
        << hex("6500") + full.mid(2) << true << 26 << quint16(0x0065) << quint16(0x34)
        << 0x12345678u << 0x9ABCDEF0u << hex("0102030405060708") << 0xA1B2C3D4u;
    QTest::newRow("unknown command rolled back")
        << hex("0100") + full.mid(2) << false << 2 << quint16(0x1111) << quint16(0x2222)
        << 0x33333333u << 0x44444444u << QByteArray(8, '\x55') << 0x66666666u;
    QTest::newRow("00 63 rolled back")
        << hex("0063") + full.mid(2) << false << 2 << quint16(0x1111) << quint16(0x2222)
        << 0x33333333u << 0x44444444u << QByteArray(8, '\x55') << 0x66666666u;
    QTest::newRow("ended stream reads zeros")
        << QByteArray() << true << 2 << quint16(0) << quint16(0) << 0u << 0u << zeros << 0u;
    QTest::newRow("half a command reads 0")
        << hex("63") << true << 3 << quint16(0) << quint16(0) << 0u << 0u << zeros << 0u;
    QTest::newRow("ends inside length")
        << hex("630005") << true << 5 << quint16(0x0063) << quint16(0) << 0u << 0u << zeros << 0u;
    QTest::newRow("ends inside sender context")
        << full.left(16) << true << 18 << quint16(0x0063) << quint16(0x34) << 0x12345678u
        << 0x9ABCDEF0u << hex("01020304") + QByteArray(4, '\0') << 0u;
    QTest::newRow("ends inside options")
        << full.left(22) << true << 24 << quint16(0x0063) << quint16(0x34) << 0x12345678u
        << 0x9ABCDEF0u << hex("0102030405060708") << 0u;
}

void tst_Enip::header_deserializeStream()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, endPosition);
    QFETCH(quint16, command);
    QFETCH(quint16, length);
    QFETCH(quint32, sessionHandle);
    QFETCH(quint32, status);
    QFETCH(QByteArray, context);
    QFETCH(quint32, options);

    const QByteArray data = hex("ABCD") + bytes;
    QDataStream stream(data);
    quint16 lead = 0;
    stream >> lead;
    QCOMPARE(stream.byteOrder(), QDataStream::BigEndian);

    ENIP::ENIPEncapHeader header = sentinelHeader();
    QCOMPARE(header.deserialize(stream), ok);
    QCOMPARE(stream.device()->pos(), qint64(endPosition));
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QCOMPARE(header.command, command);
    QCOMPARE(header.length, length);
    QCOMPARE(header.sessionHandle, sessionHandle);
    QCOMPARE(header.status, status);
    QCOMPARE(contextOf(header).toHex(), context.toHex());
    QCOMPARE(header.options, options);
}

void tst_Enip::cpf_deserialize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QByteArrayList>("data");
    QTest::addColumn<int>("identityItems");

    QTest::newRow("empty input") << QByteArray() << QList<int>() << QByteArrayList() << 0;
    QTest::newRow("count 0") << hex("0000") << QList<int>() << QByteArrayList() << 0;
    QTest::newRow("half a count") << hex("01") << QList<int>() << QByteArrayList() << 0;
    QTest::newRow("one empty identity item")
        << hex("01000C000000") << QList<int>{0x000C} << QByteArrayList{QByteArray()} << 1;
    QTest::newRow("two items")
        << hex("02000C000300AABBCC" "86000000") << QList<int>{0x000C, 0x0086}
        << QByteArrayList{hex("AABBCC"), QByteArray()} << 1;
    QTest::newRow("count 2, one item given")
        << hex("02000C000200AABB") << QList<int>{0x000C, 0}
        << QByteArrayList{hex("AABB"), QByteArray()} << 1;
    QTest::newRow("count 3 and nothing else")
        << hex("0300") << QList<int>{0, 0, 0}
        << QByteArrayList{QByteArray(), QByteArray(), QByteArray()} << 0;
    QTest::newRow("over-long item: zero tail")
        << hex("01000C000600AABBCC") << QList<int>{0x000C} << QByteArrayList{hex("AABBCC000000")}
        << 1;
    QTest::newRow("over-long item then nothing")
        << hex("02008600FFFF01") << QList<int>{0x0086, 0}
        << QByteArrayList{hex("01") + QByteArray(65534, '\0'), QByteArray()} << 0;
    QTest::newRow("half a length")
        << hex("01000C0005") << QList<int>{0x000C} << QByteArrayList{QByteArray()} << 1;
    QTest::newRow("type bytes 00 0C")
        << hex("0100000C0000") << QList<int>{0x0C00} << QByteArrayList{QByteArray()} << 0;
    QTest::newRow("bytes after the items ignored")
        << hex("01008600000001020304") << QList<int>{0x0086} << QByteArrayList{QByteArray()} << 0;
}

void tst_Enip::cpf_deserialize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, types);
    QFETCH(QByteArrayList, data);
    QFETCH(int, identityItems);

    // A read replaces whatever the list held.
    ENIP::CPFData cpf;
    for (int i = 0; i < 4; ++i) {
        ENIP::CPFItem old;
        old.typeId = 0x0099;
        old.data = "old";
        cpf.items.append(old);
    }

    QVERIFY(cpf.deserialize(bytes));
    QCOMPARE(cpf.items.size(), types.size());
    int identities = 0;
    for (int i = 0; i < cpf.items.size(); ++i) {
        QCOMPARE(int(cpf.items.at(i).typeId), types.at(i));
        QCOMPARE(cpf.items.at(i).data.size(), data.at(i).size());
        QCOMPARE(cpf.items.at(i).data, data.at(i));
        if (cpf.items.at(i).isType(0x000C))
            ++identities;
    }
    QCOMPARE(identities, identityItems);
}

void tst_Enip::cpf_serialize_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QByteArrayList>("data");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("no items") << QList<int>() << QByteArrayList() << hex("0000");
    QTest::newRow("identity and 0x0086")
        << QList<int>{0x000C, 0x0086} << QByteArrayList{hex("AABBCC"), QByteArray()}
        << hex("0200" "0C00" "0300" "AABBCC" "8600" "0000");
    QTest::newRow("length is little-endian")
        << QList<int>{0x1234} << QByteArrayList{QByteArray(0x0102, 'x')}
        << hex("0100" "3412" "0201") + QByteArray(0x0102, 'x');
}

void tst_Enip::cpf_serialize()
{
    QFETCH(QList<int>, types);
    QFETCH(QByteArrayList, data);
    QFETCH(QByteArray, expected);

    ENIP::CPFData cpf;
    for (int i = 0; i < types.size(); ++i) {
        ENIP::CPFItem item;
        item.typeId = quint16(types.at(i));
        item.data = data.at(i);
        cpf.items.append(item);
    }
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    QVERIFY(cpf.serialize(stream));
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QCOMPARE(bytes.toHex(), expected.toHex());

    ENIP::CPFData back;
    QVERIFY(back.deserialize(bytes));
    QCOMPARE(back.items.size(), cpf.items.size());
}

void tst_Enip::cpfItem_byteOrder_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("little-endian stream")
        << int(QDataStream::LittleEndian) << hex("0C000200AABB") << 0x000C << hex("AABB");
    QTest::newRow("big-endian stream")
        << int(QDataStream::BigEndian) << hex("000C0002AABB") << 0x000C << hex("AABB");
    QTest::newRow("big-endian stream, little-endian bytes")
        << int(QDataStream::BigEndian) << hex("0C000003AABB") << 0x0C00
        << hex("AABB00");
}

void tst_Enip::cpfItem_byteOrder()
{
    QFETCH(int, order);
    QFETCH(QByteArray, bytes);
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    const auto byteOrder = QDataStream::ByteOrder(order);

    ENIP::CPFItem item;
    QDataStream in(bytes);
    in.setByteOrder(byteOrder);
    QVERIFY(item.deserialize(in));
    QCOMPARE(in.byteOrder(), byteOrder);
    QCOMPARE(int(item.typeId), type);
    QCOMPARE(item.data.toHex(), data.toHex());

    QByteArray written;
    QDataStream out(&written, QIODevice::WriteOnly);
    out.setByteOrder(byteOrder);
    QVERIFY(item.serialize(out));
    QCOMPARE(out.byteOrder(), byteOrder);
    ENIP::CPFItem again;
    QDataStream reread(written);
    reread.setByteOrder(byteOrder);
    again.deserialize(reread);
    QCOMPARE(int(again.typeId), type);
    QCOMPARE(again.data, item.data);

    // On its own, through the byte-array overloads, an item is big-endian.
    if (byteOrder == QDataStream::BigEndian) {
        ENIP::CPFItem alone;
        QVERIFY(alone.deserialize(bytes));
        QCOMPARE(int(alone.typeId), type);
        QByteArray aloneBytes;
        QVERIFY(alone.serialize(&aloneBytes));
        QCOMPARE(aloneBytes.toHex(), written.toHex());
    }
}

void tst_Enip::sockaddr_deserialize_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("port");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QByteArray>("zero");

    const QByteArray zeros(8, '\0');
    for (const auto order : {QDataStream::LittleEndian, QDataStream::BigEndian}) {
        const char* name = order == QDataStream::LittleEndian ? "LE" : "BE";
        QTest::addRow("%s: 192.168.1.10", name)
            << int(order) << hex("0002AF12C0A8010A") + zeros << 2 << 44818 << 0xC0A8010Au
            << zeros;
        QTest::addRow("%s: filler taken as given", name)
            << int(order) << hex("0002AF12C0A8010A0102030405060708") << 2 << 44818
            << 0xC0A8010Au << hex("0102030405060708");
        QTest::addRow("%s: negative family", name)
            << int(order) << hex("FFFE000000000001") + zeros << -2 << 0 << 1u << zeros;
        QTest::addRow("%s: ends inside address", name)
            << int(order) << hex("0002AF12C0A8") << 2 << 44818 << 0u << zeros;
        QTest::addRow("%s: ends inside filler", name)
            << int(order) << hex("0002AF12C0A8010A0102") << 2 << 44818 << 0xC0A8010Au
            << hex("0102") + QByteArray(6, '\0');
        QTest::addRow("%s: empty", name) << int(order) << QByteArray() << 0 << 0 << 0u << zeros;
    }
}

void tst_Enip::sockaddr_deserialize()
{
    QFETCH(int, order);
    QFETCH(QByteArray, bytes);
    QFETCH(int, family);
    QFETCH(int, port);
    QFETCH(quint32, address);
    QFETCH(QByteArray, zero);
    const auto byteOrder = QDataStream::ByteOrder(order);

    CIP::CipSockaddr sockaddr;
    QCOMPARE(sockaddr.sinAddr, 0xFFFFFFFFu);
    sockaddr.sinFamily = 0x1111;
    sockaddr.sinPort = 0x2222;
    std::memset(sockaddr.sinZero, 0xEE, sizeof sockaddr.sinZero);

    QDataStream stream(bytes);
    stream.setByteOrder(byteOrder);
    QVERIFY(sockaddr.deserialize(stream));
    QCOMPARE(stream.byteOrder(), byteOrder);
    QCOMPARE(int(sockaddr.sinFamily), family);
    QCOMPARE(int(sockaddr.sinPort), port);
    QCOMPARE(sockaddr.sinAddr, address);
    QCOMPARE(zeroOf(sockaddr).toHex(), zero.toHex());
}

void tst_Enip::sockaddr_serialize_data()
{
    QTest::addColumn<int>("order");
    QTest::newRow("little-endian stream") << int(QDataStream::LittleEndian);
    QTest::newRow("big-endian stream") << int(QDataStream::BigEndian);
}

void tst_Enip::sockaddr_serialize()
{
    QFETCH(int, order);
    const auto byteOrder = QDataStream::ByteOrder(order);

    CIP::CipSockaddr sockaddr;
    sockaddr.sinFamily = 2;
    sockaddr.sinPort = 44818;
    sockaddr.sinAddr = 0xC0A8010A;
    for (int i = 0; i < 8; ++i)
        sockaddr.sinZero[i] = quint8(i + 1);

    // The block sits between little-endian fields, as in an identity item.
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(byteOrder);
    stream << quint16(0x0102);
    QVERIFY(sockaddr.serialize(stream));
    QCOMPARE(stream.byteOrder(), byteOrder);
    stream << quint16(0x0102);

    const QByteArray marker = byteOrder == QDataStream::LittleEndian ? hex("0201") : hex("0102");
    QCOMPARE(bytes.toHex(),
             (marker + hex("0002AF12C0A8010A0102030405060708") + marker).toHex());
}

void tst_Enip::shortString_deserialize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty from 00") << hex("00") << QByteArray() << QString();
    QTest::newRow("empty input") << QByteArray() << QByteArray() << QString();
    QTest::newRow("ABC") << hex("03414243") << QByteArray("ABC") << QStringLiteral("ABC");
    QTest::newRow("bytes after the string ignored")
        << hex("01414243") << QByteArray("A") << QStringLiteral("A");
    QTest::newRow("Latin-1 above 0x7F")
        << hex("03E9FCFF") << hex("E9FCFF") << QString::fromUtf8("\xC3\xA9\xC3\xBC\xC3\xBF");
    QTest::newRow("length promises more: zero tail")
        << hex("054142") << hex("4142000000") << QString::fromLatin1("AB\0\0\0", 5);
    QTest::newRow("length 255, nothing given")
        << hex("FF") << QByteArray(255, '\0') << QString(255, QChar(0));
}

void tst_Enip::shortString_deserialize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, buffer);
    QFETCH(QString, text);

    CIP::CipShortString string;
    QVERIFY(string.deserialize(hex("034F4C44")));
    QCOMPARE(string.toString(), QStringLiteral("OLD"));

    QDataStream stream(bytes);
    QVERIFY(string.deserialize(stream));
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QVERIFY(string.data != nullptr);
    QCOMPARE(int(string.length), buffer.size());
    QCOMPARE(bufferOf(string).toHex(), buffer.toHex());
    QCOMPARE(string.toString(), text);
    QVERIFY(string.toString() != QLatin1String("NULL"));
}

void tst_Enip::shortString_neverRead()
{
    const CIP::CipShortString string;
    QCOMPARE(string.toString(), QStringLiteral("NULL"));
    QVERIFY(string.data == nullptr);
    QCOMPARE(int(string.length), 0);

    const CIP::CipShortString copy(string);
    QCOMPARE(copy.toString(), QStringLiteral("NULL"));
}

void tst_Enip::shortString_serialize()
{
    CIP::CipShortString string;
    QVERIFY(string.deserialize(hex("03E94142")));
    QByteArray bytes;
    QVERIFY(string.serialize(&bytes));
    QCOMPARE(bytes.toHex(), QByteArray("03e94142"));

    const CIP::CipShortString never;
    QByteArray empty;
    QVERIFY(CIP::CipShortString(never).serialize(&empty));
    QCOMPARE(empty.toHex(), QByteArray("00"));
}

void tst_Enip::shortString_copy_data()
{
    QTest::addColumn<bool>("read");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("never read") << false << QByteArray();
    QTest::newRow("empty") << true << hex("00");
    QTest::newRow("ABC") << true << hex("03414243");
    QTest::newRow("32 characters") << true << QByteArray(1, '\x20') + QByteArray(32, 'n');
}

void tst_Enip::shortString_copy()
{
    QFETCH(bool, read);
    QFETCH(QByteArray, bytes);

    CIP::CipShortString original;
    if (read)
        QVERIFY(original.deserialize(bytes));
    const QString text = original.toString();

    CIP::CipShortString copy(original);
    CIP::CipShortString assigned;
    QVERIFY(assigned.deserialize(hex("025859")));
    assigned = original;
    CIP::CipShortString& same = assigned;
    assigned = same;

    for (const CIP::CipShortString* string : {&copy, &assigned}) {
        QCOMPARE(string->toString(), text);
        QCOMPARE(int(string->length), int(original.length));
        QCOMPARE(string->data == nullptr, original.data == nullptr);
        if (original.data)
            QVERIFY(string->data != original.data);
    }

    // Changing or dropping the original leaves the copies alone.
    if (original.length > 0)
        original.data[0] = '#';
    original = CIP::CipShortString();
    QCOMPARE(copy.toString(), text);
    QCOMPARE(assigned.toString(), text);

    // Values held in containers and inside an identity object copy deeply
    // as well; every copy frees its own buffer.
    QList<CIP::CipShortString> list;
    list << copy << copy;
    list.append(list.first());
    CIP::CipIdentityObject identity;
    identity.productName = copy;
    CIP::CipIdentityObject identityCopy = identity;
    identity = CIP::CipIdentityObject();
    QCOMPARE(identityCopy.productName.toString(), text);
    for (const CIP::CipShortString& string : qAsConst(list))
        QCOMPARE(string.toString(), text);
}

void tst_Enip::identity_deserialize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("vendorId");
    QTest::addColumn<int>("productCode");
    QTest::addColumn<int>("revisionMajor");
    QTest::addColumn<int>("revisionMinor");
    QTest::addColumn<quint32>("serialNumber");
    QTest::addColumn<QByteArray>("nameBuffer");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("state");

    const QByteArray fixed = hex(identityFixedPart);
    const QByteArray name32(32, 'N');
    const QByteArray name33(33, 'N');

    QTest::newRow("typical")
        << fixed + hex("0B") + "1756-ENBT/A" + hex("03") << true << 1 << 0x41 << 3 << 7
        << 0x12345678u << QByteArray("1756-ENBT/A") << QStringLiteral("1756-ENBT/A") << 3;
    QTest::newRow("serial C3 B2 A1 00")
        << hex("0100" "0C00" "4100" "03" "07" "3000" "C3B2A100" "00" "01") << true << 1 << 0x41
        << 3 << 7 << 0x00A1B2C3u << QByteArray() << QString() << 1;
    QTest::newRow("name of 32") << fixed + hex("20") + name32 + hex("01") << true << 1 << 0x41
                                << 3 << 7 << 0x12345678u << name32 << QString::fromLatin1(name32)
                                << 1;
    // The fields before the name hold what was read; name and state keep
    // their old values.
    QTest::newRow("name of 33 refused")
        << fixed + hex("21") + name33 + hex("01") << false << 1 << 0x41 << 3 << 7 << 0x12345678u
        << QByteArray("OLD") << QStringLiteral("OLD") << 9;
    QTest::newRow("name of 255 refused")
        << fixed + hex("FF") << false << 1 << 0x41 << 3 << 7 << 0x12345678u << QByteArray("OLD")
        << QStringLiteral("OLD") << 9;
    QTest::newRow("Latin-1 name")
        << fixed + hex("02E9FF05") << true << 1 << 0x41 << 3 << 7 << 0x12345678u << hex("E9FF")
        << QString::fromUtf8("\xC3\xA9\xC3\xBF") << 5;
    QTest::newRow("name cut short: zero tail")
        << fixed + hex("054142") << true << 1 << 0x41 << 3 << 7 << 0x12345678u
        << hex("4142000000") << QString::fromLatin1("AB\0\0\0", 5) << 0;
    QTest::newRow("ends before the name")
        << fixed << true << 1 << 0x41 << 3 << 7 << 0x12345678u << QByteArray() << QString() << 0;
    QTest::newRow("ends inside the serial number")
        << fixed.left(12) << true << 1 << 0x41 << 3 << 7 << 0u << QByteArray() << QString() << 0;
    QTest::newRow("empty input")
        << QByteArray() << true << 0 << 0 << 0 << 0 << 0u << QByteArray() << QString() << 0;
}

void tst_Enip::identity_deserialize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, vendorId);
    QFETCH(int, productCode);
    QFETCH(int, revisionMajor);
    QFETCH(int, revisionMinor);
    QFETCH(quint32, serialNumber);
    QFETCH(QByteArray, nameBuffer);
    QFETCH(QString, name);
    QFETCH(int, state);

    CIP::CipIdentityObject identity;
    QVERIFY(identity.deserialize(hex("FFFF" "FFFF" "FFFF" "FF" "FF" "FFFF" "FFFFFFFF" "034F4C44" "09")));
    QCOMPARE(identity.productName.toString(), QStringLiteral("OLD"));

    QDataStream stream(bytes);
    QCOMPARE(identity.deserialize(stream), ok);
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QCOMPARE(int(identity.vendorId), vendorId);
    QCOMPARE(int(identity.deviceType), vendorId ? 0x000C : 0);
    QCOMPARE(int(identity.productCode), productCode);
    QCOMPARE(int(identity.revisionMajor), revisionMajor);
    QCOMPARE(int(identity.revisionMinor), revisionMinor);
    QCOMPARE(identity.status, quint16(vendorId ? 0x0030 : 0));
    QCOMPARE(identity.serialNumber, serialNumber);
    QVERIFY(identity.productName.data != nullptr);
    QCOMPARE(bufferOf(identity.productName).toHex(), nameBuffer.toHex());
    QCOMPARE(identity.productName.toString(), name);
    QCOMPARE(int(identity.state), state);
}

void tst_Enip::identity_serialize()
{
    CIP::CipIdentityObject identity;
    QVERIFY(identity.deserialize(hex(identityFixedPart) + hex("0141" "03")));

    QByteArray bytes;
    QVERIFY(!identity.serialize(&bytes));
    QVERIFY(bytes.isEmpty());

    QByteArray streamed;
    QDataStream stream(&streamed, QIODevice::WriteOnly);
    QVERIFY(!identity.serialize(stream));
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QVERIFY(streamed.isEmpty());
}

void tst_Enip::reply_decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("serialNumber");

    const auto header = [](quint16 command) {
        QByteArray bytes;
        ENIP::ENIPEncapHeader(command).serialize(&bytes);
        return bytes;
    };
    const auto item = [](quint16 type, const QByteArray& data) {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream << type << quint16(data.size());
        stream.writeRawData(data.constData(), data.size());
        return bytes;
    };
    const QByteArray identity = hex("0100") + hex("0002AF12C0A8010A") + QByteArray(8, '\0')
        + hex(identityFixedPart) + hex("0B") + "1756-ENBT/A" + hex("03");
    const QByteArray identity33 = hex("0100") + hex("0002AF12C0A8010A") + QByteArray(8, '\0')
        + hex(identityFixedPart) + hex("21") + QByteArray(33, 'N') + hex("03");

    QTest::newRow("typical reply")
        << header(0x0063) + hex("0100") + item(0x000C, identity) << true << QList<int>{0x000C}
        << QStringList{"1756-ENBT/A"} << 0xC0A8010Au << 0x12345678u;
    QTest::newRow("0x0086 and identity")
        << header(0x0063) + hex("0200") + item(0x0086, hex("0102")) + item(0x000C, identity)
        << true << QList<int>{0x0086, 0x000C} << QStringList{"1756-ENBT/A"} << 0xC0A8010Au
        << 0x12345678u;
    QTest::newRow("RegisterSession ignored")
        << header(0x0065) + hex("0100") + item(0x000C, identity) << false << QList<int>()
        << QStringList() << 0u << 0u;
    QTest::newRow("header only") << header(0x0063) << true << QList<int>() << QStringList() << 0u
                                 << 0u;
    QTest::newRow("identity item cut short")
        << header(0x0063) + hex("0100") + item(0x000C, identity.left(24)) << true
        << QList<int>{0x000C} << QStringList{QString()} << 0xC0A8010Au << 0u;
    QTest::newRow("item length past the datagram")
        << header(0x0063) + hex("01000C00FF00") + identity << true << QList<int>{0x000C}
        << QStringList{"1756-ENBT/A"} << 0xC0A8010Au << 0x12345678u;
    QTest::newRow("name of 33 skipped")
        << header(0x0063) + hex("0200") + item(0x000C, identity33) + item(0x000C, identity)
        << true << QList<int>{0x000C, 0x000C} << QStringList{"1756-ENBT/A"} << 0xC0A8010Au
        << 0x12345678u;
}

void tst_Enip::reply_decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, types);
    QFETCH(QStringList, names);
    QFETCH(quint32, address);
    QFETCH(quint32, serialNumber);

    const DecodedReply reply = decodeListIdentityReply(datagram);
    QCOMPARE(reply.accepted, accepted);
    QCOMPARE(reply.itemTypes.size(), types.size());
    for (int i = 0; i < types.size(); ++i)
        QCOMPARE(int(reply.itemTypes.at(i)), types.at(i));
    QCOMPARE(reply.identities.size(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        const DecodedIdentity& decoded = reply.identities.at(i);
        QCOMPARE(decoded.version, quint16(1));
        QCOMPARE(decoded.productName, names.at(i));
        QCOMPARE(decoded.sockaddr.sinAddr, address);
        QCOMPARE(decoded.identity.serialNumber, serialNumber);
    }
}

QTEST_APPLESS_MAIN(tst_Enip)

#include "tst_enip.moc"
