#include "cipidentity.h"
#include "cpf.h"
#include "enipencapheader.h"
#include "listidentityreply.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray zeroOf(const CIP::CipSockaddr &sockaddr)
{
    return QByteArray(reinterpret_cast<const char *>(sockaddr.sinZero), sizeof sockaddr.sinZero);
}

QByteArray bufferOf(const CIP::CipShortString &string)
{
    return string.data ? QByteArray(string.data, string.length) : QByteArray();
}

ENIP::ENIPEncapHeader makeHeader(quint16 command, quint16 length = 0, quint32 sessionHandle = 0, quint32 status = 0,
                                 const QByteArray &context = QByteArray(8, '\0'), quint32 options = 0)
{
    ENIP::ENIPEncapHeader header(command);
    header.length = length;
    header.sessionHandle = sessionHandle;
    header.status = status;
    std::memcpy(header.senderContext, context.constData(), sizeof header.senderContext);
    header.options = options;
    return header;
}

// Every field of a header in one line, so one comparison shows them all.
QString fieldsOf(const ENIP::ENIPEncapHeader &header)
{
    const QByteArray context(reinterpret_cast<const char *>(header.senderContext), sizeof header.senderContext);
    return QStringLiteral("command %1 length %2 session %3 status %4 context %5 options %6")
        .arg(QString::number(header.command, 16), QString::number(header.length, 16),
             QString::number(header.sessionHandle, 16), QString::number(header.status, 16),
             QString::fromLatin1(context.toHex()), QString::number(header.options, 16));
}

// A header whose every member differs from 0, to show what a read changed.
ENIP::ENIPEncapHeader sentinelHeader()
{
    return makeHeader(0x1111, 0x2222, 0x33333333, 0x44444444, QByteArray(8, '\x55'), 0x66666666);
}

// The fields of an identity object in one line: the numbers (hexadecimal)
// before the name, the name's bytes and text, and the state.
QString identityText(const QString &numbers, const QByteArray &nameBuffer, const QString &name, int state)
{
    return QStringLiteral("%1 name %2 \"%3\" state %4")
        .arg(numbers, QString::fromLatin1(nameBuffer.toHex()), name, QString::number(state));
}

QString fieldsOf(const CIP::CipIdentityObject &identity)
{
    const auto h = [](uint value) { return QString::number(value, 16); };
    const QString numbers =
        QStringLiteral("vendor %1 type %2 product %3 revision %4.%5 status %6 serial %7")
            .arg(h(identity.vendorId), h(identity.deviceType), h(identity.productCode), h(identity.revisionMajor),
                 h(identity.revisionMinor), h(identity.status), h(identity.serialNumber));
    return identityText(numbers, bufferOf(identity.productName), identity.productName.toString(), identity.state);
}

// Identity object bytes up to and including the serial number.
const char identityFixedPart[] = "0100"
                                 "0C00"
                                 "4100"
                                 "03"
                                 "07"
                                 "3000"
                                 "78563412";

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

// The header with a value in every field, and its 24 bytes.
const char fullHeaderHex[] = "6500"
                             "3412"
                             "78563412"
                             "F0DEBC9A"
                             "0102030405060708"
                             "D4C3B2A1";

ENIP::ENIPEncapHeader fullHeader()
{
    return makeHeader(0x0065, 0x1234, 0x12345678, 0x9ABCDEF0, hex("0102030405060708"), 0xA1B2C3D4);
}

void tst_Enip::header_serialize_data()
{
    QTest::addColumn<bool>("everyField");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray request = hex("6300") + QByteArray(22, '\0');
    QTest::newRow("ListIdentity request") << false << QByteArray() << request;
    QTest::newRow("every field in place") << true << QByteArray() << hex(fullHeaderHex);
    QTest::newRow("into 30 bytes: first 24 replaced, last 6 kept")
        << false << QByteArray(30, '\xEE') << request + QByteArray(6, '\xEE');
    QTest::newRow("into 10 bytes: extended to 24") << false << QByteArray(10, '\xEE') << request;
}

void tst_Enip::header_serialize()
{
    QFETCH(bool, everyField);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, expected);

    ENIP::ENIPEncapHeader header = everyField ? fullHeader() : makeHeader(0x0063);
    QByteArray bytes = before;
    QVERIFY(header.serialize(&bytes));
    QCOMPARE(bytes.toHex(), expected.toHex());
}

void tst_Enip::header_deserializeBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");

    const QByteArray rest(22, '\0');
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("23 bytes") << (hex("6300") + QByteArray(21, '\0')) << false;
    QTest::newRow("24 bytes") << (hex("6300") + rest) << true;
    QTest::newRow("63 00 is 0x6300") << (hex("0063") + rest) << false;
    QTest::newRow("0x0001") << (hex("0100") + rest) << false;
    QTest::newRow("0x0062") << (hex("6200") + rest) << false;
    QTest::newRow("0x0067") << (hex("6700") + rest) << false;
    QTest::newRow("0x0071") << (hex("7100") + rest) << false;
    QTest::newRow("0xFFFF") << (hex("FFFF") + rest) << false;

    const quint16 known[] = {0x0000, 0x0004, 0x0064, 0x0065, 0x0066, 0x006F, 0x0070, 0x0072, 0x0073};
    for (const quint16 command : known)
        QTest::addRow("accepted 0x%04x", command) << char(command) + (char(command >> 8) + rest) << true;
}

void tst_Enip::header_deserializeBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);

    // A refused read leaves the header as it was.
    ENIP::ENIPEncapHeader header = sentinelHeader();
    QCOMPARE(header.deserialize(bytes), ok);
    QCOMPARE(fieldsOf(header), fieldsOf(ok ? makeHeader(quint8(bytes[0]) | quint8(bytes[1]) << 8) : sentinelHeader()));
}

void tst_Enip::header_deserializeStream_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("endPosition");
    QTest::addColumn<QString>("fields");

    // Each stream starts with two bytes that the test reads first, so that
    // the header starts at position 2.
    const QByteArray full = hex(fullHeaderHex);
    ENIP::ENIPEncapHeader read = fullHeader();
    QTest::newRow("RegisterSession") << full << true << 26 << fieldsOf(read);
    QTest::newRow("more data follows") << full + hex("0100") << true << 26 << fieldsOf(read);
    QTest::newRow("unknown command rolled back")
        << hex("0100") + full.mid(2) << false << 2 << fieldsOf(sentinelHeader());
    QTest::newRow("00 63 rolled back") << hex("0063") + full.mid(2) << false << 2 << fieldsOf(sentinelHeader());
    QTest::newRow("ended stream reads zeros") << QByteArray() << true << 2 << fieldsOf(makeHeader(0));
    QTest::newRow("half a command reads 0") << hex("63") << true << 3 << fieldsOf(makeHeader(0));
    QTest::newRow("ends inside length") << hex("630005") << true << 5 << fieldsOf(makeHeader(0x0063));
    read.options = 0;
    QTest::newRow("ends inside options") << full.left(22) << true << 24 << fieldsOf(read);
    std::memset(read.senderContext + 4, 0, 4);
    QTest::newRow("ends inside sender context") << full.left(16) << true << 18 << fieldsOf(read);
}

void tst_Enip::header_deserializeStream()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(int, endPosition);
    QFETCH(QString, fields);

    const QByteArray data = hex("ABCD") + bytes;
    QDataStream stream(data);
    quint16 lead = 0;
    stream >> lead;
    QCOMPARE(stream.byteOrder(), QDataStream::BigEndian);

    ENIP::ENIPEncapHeader header = sentinelHeader();
    QCOMPARE(header.deserialize(stream), ok);
    QCOMPARE(stream.device()->pos(), qint64(endPosition));
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QCOMPARE(fieldsOf(header), fields);
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
    QTest::newRow("two items") << hex("02000C000300AABBCC"
                                      "86000000")
                               << QList<int>{0x000C, 0x0086} << QByteArrayList{hex("AABBCC"), QByteArray()} << 1;
    // Items are read only where they start inside the data: a count larger
    // than the data holds gives no empty items at its end.
    QTest::newRow("count 2, second item would start at the end")
        << hex("02000C000200AABB") << QList<int>{0x000C} << QByteArrayList{hex("AABB")} << 1;
    QTest::newRow("count 3 and nothing else") << hex("0300") << QList<int>() << QByteArrayList() << 0;
    QTest::newRow("count 65535 and nothing else") << hex("FFFF") << QList<int>() << QByteArrayList() << 0;
    QTest::newRow("count 65535 in 8 bytes")
        << hex("FFFF860000000C00") << QList<int>{0x0086, 0x000C} << QByteArrayList{QByteArray(), QByteArray()} << 1;
    QTest::newRow("second item cut to one byte: zeros")
        << hex("0200860000000C") << QList<int>{0x0086, 0} << QByteArrayList{QByteArray(), QByteArray()} << 0;
    QTest::newRow("over-long item: zero tail")
        << hex("01000C000600AABBCC") << QList<int>{0x000C} << QByteArrayList{hex("AABBCC000000")} << 1;
    QTest::newRow("over-long item, count 2")
        << hex("02008600FFFF01") << QList<int>{0x0086} << QByteArrayList{hex("01") + QByteArray(65534, '\0')} << 0;
    QTest::newRow("half a length") << hex("01000C0005") << QList<int>{0x000C} << QByteArrayList{QByteArray()} << 1;
    QTest::newRow("type bytes 00 0C") << hex("0100000C0000") << QList<int>{0x0C00} << QByteArrayList{QByteArray()} << 0;
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
    QList<int> readTypes;
    QByteArrayList readData;
    int identities = 0;
    for (const ENIP::CPFItem &item : qAsConst(cpf.items)) {
        readTypes.append(item.typeId);
        readData.append(item.data);
        identities += item.isType(ENIP::IdentityItemType) ? 1 : 0;
    }
    QCOMPARE(readTypes, types);
    QCOMPARE(readData, data);
    QCOMPARE(identities, identityItems);
}

void tst_Enip::cpf_serialize_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QByteArrayList>("data");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("no items") << QList<int>() << QByteArrayList() << hex("0000");
    QTest::newRow("identity and 0x0086") << QList<int>{0x000C, 0x0086} << QByteArrayList{hex("AABBCC"), QByteArray()}
                                         << hex("0200"
                                                "0C00"
                                                "0300"
                                                "AABBCC"
                                                "8600"
                                                "0000");
    QTest::newRow("length is little-endian") << QList<int>{0x1234} << QByteArrayList{QByteArray(0x0102, 'x')}
                                             << hex("0100"
                                                    "3412"
                                                    "0201")
            + QByteArray(0x0102, 'x');
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
}

void tst_Enip::cpfItem_byteOrder_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("little-endian stream")
        << int(QDataStream::LittleEndian) << hex("0C000200AABB") << 0x000C << hex("AABB");
    QTest::newRow("big-endian stream") << int(QDataStream::BigEndian) << hex("000C0002AABB") << 0x000C << hex("AABB");
    QTest::newRow("big-endian stream, little-endian bytes")
        << int(QDataStream::BigEndian) << hex("0C000003AABB") << 0x0C00 << hex("AABB00");
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
    QCOMPARE(written.toHex(), (bytes.left(4) + data).toHex());

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
        const char *name = order == QDataStream::LittleEndian ? "LE" : "BE";
        QTest::addRow("%s: 192.168.1.10", name)
            << int(order) << hex("0002AF12C0A8010A") + zeros << 2 << 44818 << 0xC0A8010Au << zeros;
        QTest::addRow("%s: filler taken as given", name) << int(order) << hex("0002AF12C0A8010A0102030405060708") << 2
                                                         << 44818 << 0xC0A8010Au << hex("0102030405060708");
        QTest::addRow("%s: negative family", name)
            << int(order) << hex("FFFE000000000001") + zeros << -2 << 0 << 1u << zeros;
        QTest::addRow("%s: ends inside address", name)
            << int(order) << hex("0002AF12C0A8") << 2 << 44818 << 0u << zeros;
        QTest::addRow("%s: ends inside filler", name) << int(order) << hex("0002AF12C0A8010A0102") << 2 << 44818
                                                      << 0xC0A8010Au << hex("0102") + QByteArray(6, '\0');
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
    QCOMPARE(bytes.toHex(), (marker + hex("0002AF12C0A8010A0102030405060708") + marker).toHex());
}

void tst_Enip::shortString_deserialize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty from 00") << hex("00") << QByteArray() << QString();
    QTest::newRow("empty input") << QByteArray() << QByteArray() << QString();
    QTest::newRow("ABC") << hex("03414243") << QByteArray("ABC") << QStringLiteral("ABC");
    QTest::newRow("bytes after the string ignored") << hex("01414243") << QByteArray("A") << QStringLiteral("A");
    QTest::newRow("Latin-1 above 0x7F") << hex("03E9FCFF") << hex("E9FCFF")
                                        << QString::fromUtf8("\xC3\xA9\xC3\xBC\xC3\xBF");
    QTest::newRow("length promises more: zero tail")
        << hex("054142") << hex("4142000000") << QString::fromLatin1("AB\0\0\0", 5);
    QTest::newRow("length 255, nothing given") << hex("FF") << QByteArray(255, '\0') << QString(255, QChar(0));
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
    QCOMPARE(bufferOf(string).toHex(), buffer.toHex());
    QCOMPARE(string.toString(), text);
}

void tst_Enip::shortString_neverRead()
{
    const CIP::CipShortString string;
    QCOMPARE(string.toString(), QStringLiteral("NULL"));
    QVERIFY(string.data == nullptr);
    QCOMPARE(int(string.length), 0);
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
    CIP::CipShortString &same = assigned;
    assigned = same;

    for (const CIP::CipShortString *string : {&copy, &assigned}) {
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
    for (const CIP::CipShortString &string : qAsConst(list))
        QCOMPARE(string.toString(), text);
}

void tst_Enip::identity_deserialize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("fields");

    const QByteArray fixed = hex(identityFixedPart);
    const QByteArray name32(32, 'N');
    const QString read = QStringLiteral("vendor 1 type c product 41 revision 3.7 status 30 serial 12345678");

    QTest::newRow("typical") << fixed + hex("0B") + "1756-ENBT/A" + hex("03") << true
                             << identityText(read, "1756-ENBT/A", "1756-ENBT/A", 3);
    QTest::newRow("serial C3 B2 A1 00") << hex(
        "0100"
        "0C00"
        "4100"
        "03"
        "07"
        "3000"
        "C3B2A100"
        "00"
        "01") << true << identityText(QString(read).replace("12345678", "a1b2c3"), QByteArray(), QString(), 1);
    QTest::newRow("name of 32") << fixed + hex("20") + name32 + hex("01") << true
                                << identityText(read, name32, QString::fromLatin1(name32), 1);
    // The fields before the name hold what was read; name and state keep
    // their old values.
    QTest::newRow("name of 33 refused") << fixed + hex("21") + QByteArray(33, 'N') + hex("01") << false
                                        << identityText(read, "OLD", "OLD", 9);
    QTest::newRow("name of 255 refused") << fixed + hex("FF") << false << identityText(read, "OLD", "OLD", 9);
    QTest::newRow("Latin-1 name") << fixed + hex("02E9FF05") << true
                                  << identityText(read, hex("E9FF"), QString::fromUtf8("\xC3\xA9\xC3\xBF"), 5);
    QTest::newRow("name cut short: zero tail") << fixed
            + hex("054142") << true << identityText(read, hex("4142000000"), QString::fromLatin1("AB\0\0\0", 5), 0);
    QTest::newRow("ends before the name") << fixed << true << identityText(read, QByteArray(), QString(), 0);
    QTest::newRow("ends inside the serial number")
        << fixed.left(12) << true << identityText(QString(read).replace("12345678", "0"), QByteArray(), QString(), 0);
    QTest::newRow("empty input") << QByteArray() << true
                                 << identityText("vendor 0 type 0 product 0 revision 0.0 status 0 serial 0",
                                                 QByteArray(), QString(), 0);
}

void tst_Enip::identity_deserialize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, fields);

    CIP::CipIdentityObject identity;
    QVERIFY(identity.deserialize(hex("FFFF"
                                     "FFFF"
                                     "FFFF"
                                     "FF"
                                     "FF"
                                     "FFFF"
                                     "FFFFFFFF"
                                     "034F4C44"
                                     "09")));
    QCOMPARE(identity.productName.toString(), QStringLiteral("OLD"));

    QDataStream stream(bytes);
    QCOMPARE(identity.deserialize(stream), ok);
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QVERIFY(identity.productName.data != nullptr);
    QCOMPARE(fieldsOf(identity), fields);
}

void tst_Enip::identity_serialize()
{
    CIP::CipIdentityObject identity;
    QVERIFY(identity.deserialize(hex(identityFixedPart)
                                 + hex("0141"
                                       "03")));

    QByteArray bytes;
    QVERIFY(!identity.serialize(&bytes));
    QVERIFY(bytes.isEmpty());

    QByteArray streamed;
    QDataStream stream(&streamed, QIODevice::WriteOnly);
    QVERIFY(!identity.serialize(stream));
    QCOMPARE(stream.byteOrder(), QDataStream::LittleEndian);
    QVERIFY(streamed.isEmpty());
}

// What a reply's identity item decoded to, in one line.
QString identityLine(int version, int family, int port, quint32 address, quint32 serial, const QString &name)
{
    return QStringLiteral("version %1 family %2 port %3 addr %4 serial %5 name \"%6\"")
        .arg(version)
        .arg(family)
        .arg(port)
        .arg(address, 0, 16)
        .arg(serial, 0, 16)
        .arg(name);
}

void tst_Enip::reply_decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QStringList>("identities");

    const auto header = [](quint16 command) {
        QByteArray bytes;
        ENIP::ENIPEncapHeader(command).serialize(&bytes);
        return bytes;
    };
    const auto item = [](quint16 type, const QByteArray &data) {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream << type << quint16(data.size());
        stream.writeRawData(data.constData(), data.size());
        return bytes;
    };
    const QByteArray reply = header(ENIP::ListIdentity);
    const QByteArray identity = hex("0100") + hex("0002AF12C0A8010A") + QByteArray(8, '\0') + hex(identityFixedPart)
        + hex("0B") + "1756-ENBT/A" + hex("03");
    const QByteArray identity33 = hex("0100") + hex("0002AF12C0A8010A") + QByteArray(8, '\0') + hex(identityFixedPart)
        + hex("21") + QByteArray(33, 'N') + hex("03");
    const QString typical = identityLine(1, 2, 44818, 0xC0A8010A, 0x12345678, "1756-ENBT/A");
    // A refused identity keeps what was read before the name, and no name.
    const QString refused = identityLine(1, 2, 44818, 0xC0A8010A, 0x12345678, "NULL") + " refused";

    QTest::newRow("typical reply") << reply + hex("0100") + item(0x000C, identity) << true << QList<int>{0x000C}
                                   << QStringList{typical};
    QTest::newRow("0x0086 and identity") << reply + hex("0200") + item(0x0086, hex("0102")) + item(0x000C, identity)
                                         << true << QList<int>{0x0086, 0x000C} << QStringList{typical};
    QTest::newRow("RegisterSession ignored")
        << header(0x0065) + hex("0100") + item(0x000C, identity) << false << QList<int>() << QStringList();
    QTest::newRow("empty datagram ignored") << QByteArray() << false << QList<int>() << QStringList();
    QTest::newRow("header only") << reply << true << QList<int>() << QStringList();
    QTest::newRow("10 bytes: no 24-byte check") << reply.left(10) << true << QList<int>() << QStringList();
    QTest::newRow("identity item cut short")
        << reply + hex("0100") + item(0x000C, identity.left(24)) << true << QList<int>{0x000C}
        << QStringList{identityLine(1, 2, 44818, 0xC0A8010A, 0, QString())};
    QTest::newRow("item length past the datagram")
        << reply + hex("01000C00FF00") + identity << true << QList<int>{0x000C} << QStringList{typical};
    QTest::newRow("name of 33 refused, next item decoded")
        << reply + hex("0200") + item(0x000C, identity33) + item(0x000C, identity) << true << QList<int>{0x000C, 0x000C}
        << QStringList{refused, typical};
    // A count the datagram cannot hold yields only the items it holds.
    QTest::newRow("count 65535 in 26 bytes") << reply + hex("FFFF") << true << QList<int>() << QStringList();
    QTest::newRow("count 65535, next item would start at the end")
        << reply + hex("FFFF") + item(0x000C, identity) << true << QList<int>{0x000C} << QStringList{typical};
    QTest::newRow("second item cut short: zeros")
        << reply + hex("0200") + item(0x000C, identity) + hex("0C0005") << true << QList<int>{0x000C, 0x000C}
        << QStringList{typical, identityLine(0, 0, 0, 0, 0, QString())};
}

void tst_Enip::reply_decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, types);
    QFETCH(QStringList, identities);

    // A read replaces whatever the reply held, also when it refuses.
    ENIP::ListIdentityReply reply;
    reply.items.resize(3);
    for (ENIP::ListIdentityItem &old : reply.items)
        old.typeId = 0x0099;
    QCOMPARE(reply.deserialize(datagram), accepted);

    QList<int> readTypes;
    QStringList readIdentities;
    for (const ENIP::ListIdentityItem &item : qAsConst(reply.items)) {
        readTypes.append(item.typeId);
        if (!item.isType(ENIP::IdentityItemType))
            continue;
        readIdentities.append(identityLine(item.encapVersion, item.sockaddr.sinFamily, item.sockaddr.sinPort,
                                           item.sockaddr.sinAddr, item.identity.serialNumber,
                                           item.identity.productName.toString())
                              + (item.identityDecoded ? "" : " refused"));
    }
    QCOMPARE(readTypes, types);
    QCOMPARE(readIdentities, identities);
}

QTEST_APPLESS_MAIN(tst_Enip)

#include "tst_enip.moc"
