#include "cipidentity.h"
#include "cipnames.h"
#include "cipobjects.h"
#include "cipreadings.h"
#include "ciprequest.h"
#include "cpf.h"
#include "encapsulation.h"
#include "enipencapheader.h"
#include "listidentityreply.h"

#include <QtTest>

#include <cstring>
#include <memory>

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

    void frame_data();
    void frame();
    void requests_data();
    void requests();
    void path_data();
    void path();
    void messageRouter_data();
    void messageRouter();
    void replyCheck_data();
    void replyCheck();
    void encapMessage_data();
    void encapMessage();
    void attribute_data();
    void attribute();
    void getAttributesAll_data();
    void getAttributesAll();
    void statusNames_data();
    void statusNames();
    void encapsulationStatusNames_data();
    void encapsulationStatusNames();

    void numbers_data();
    void numbers();
    void services_data();
    void services();
    void hexData_data();
    void hexData();
    void genericRequest_data();
    void genericRequest();
    void readings_data();
    void readings();
    void hexDump_data();
    void hexDump();
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

// Explicit messaging: requests, framing, replies and the objects' attributes.

// The values of the attributes an object holds, present ones only, in one
// line: "1:31 2:94 ..." with every number in hexadecimal.
QString attributeText(const CIP::CipAttributeValues &values, quint16 attribute)
{
    const auto h = [](quint64 value) { return QString::number(value, 16); };
    const auto bytes = [](const quint8 *data, int size) {
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(data), size).toHex());
    };
    if (const auto *tcpip = dynamic_cast<const CIP::CipTcpIpInterface *>(&values)) {
        const CIP::CipInterfaceConfiguration &c = tcpip->configuration;
        switch (attribute) {
        case CIP::CipTcpIpInterface::Status:
            return h(tcpip->status);
        case CIP::CipTcpIpInterface::ConfigurationCapability:
            return h(tcpip->capability);
        case CIP::CipTcpIpInterface::ConfigurationControl:
            return h(tcpip->control);
        case CIP::CipTcpIpInterface::InterfaceConfiguration:
            return QStringList{h(c.ipAddress),  h(c.netmask),     h(c.gateway),
                               h(c.nameServer), h(c.nameServer2), c.domainName.toString()}
                .join('/');
        case CIP::CipTcpIpInterface::HostName:
            return tcpip->hostName.toString();
        case CIP::CipTcpIpInterface::SelectAcd:
            return h(tcpip->selectAcd);
        case CIP::CipTcpIpInterface::LastConflictDetected:
            return h(tcpip->lastConflict.activity) + '/' + bytes(tcpip->lastConflict.remoteMac, 6) + '/'
                + bytes(tcpip->lastConflict.arpPdu, 28);
        }
    } else if (const auto *link = dynamic_cast<const CIP::CipEthernetLink *>(&values)) {
        switch (attribute) {
        case CIP::CipEthernetLink::InterfaceSpeed:
            return h(link->speed);
        case CIP::CipEthernetLink::InterfaceFlags:
            return h(link->flags);
        case CIP::CipEthernetLink::PhysicalAddress:
            return bytes(link->macAddress, 6);
        }
    } else if (const auto *identity = dynamic_cast<const CIP::CipIdentityAttributes *>(&values)) {
        const CIP::CipIdentityObject &id = identity->identity;
        switch (attribute) {
        case CIP::CipIdentityAttributes::VendorId:
            return h(id.vendorId);
        case CIP::CipIdentityAttributes::DeviceType:
            return h(id.deviceType);
        case CIP::CipIdentityAttributes::ProductCode:
            return h(id.productCode);
        case CIP::CipIdentityAttributes::Revision:
            return h(id.revisionMajor) + '.' + h(id.revisionMinor);
        case CIP::CipIdentityAttributes::Status:
            return h(id.status);
        case CIP::CipIdentityAttributes::SerialNumber:
            return h(id.serialNumber);
        case CIP::CipIdentityAttributes::ProductName:
            return id.productName.toString();
        case CIP::CipIdentityAttributes::State:
            return h(id.state);
        }
    }
    return QStringLiteral("?");
}

QString presentText(const CIP::CipAttributeValues &values)
{
    QStringList parts;
    for (const quint16 attribute : values.present)
        parts.append(QStringLiteral("%1:%2").arg(attribute).arg(attributeText(values, attribute)));
    return parts.join(' ');
}

std::unique_ptr<CIP::CipAttributeValues> objectOf(const QString &name)
{
    if (name == "identity")
        return std::make_unique<CIP::CipIdentityAttributes>();
    if (name == "link")
        return std::make_unique<CIP::CipEthernetLink>();
    return std::make_unique<CIP::CipTcpIpInterface>();
}

// Attribute bytes shared by the tables: TCP/IP interface configuration
// 192.168.1.10/24, gateway .1, name server .8, domain "plant" (odd, so
// padded), host name "io-7" (even), the last conflict with MAC
// 00:1D:9C:01:02:03 and an ARP PDU of 28 bytes 0x41.
const char configurationHex[] = "0A01A8C0"
                                "00FFFFFF"
                                "0101A8C0"
                                "0801A8C0"
                                "00000000"
                                "0500706C616E7400";
const char configurationText[] = "c0a8010a/ffffff00/c0a80101/c0a80108/0/plant";
const char hostNameHex[] = "0400696F2D37";
QByteArray conflictBytes()
{
    return hex("01001D9C010203") + QByteArray(28, 'A');
}
QString conflictText()
{
    return QStringLiteral("1/001d9c010203/") + QString::fromLatin1(QByteArray(28, 'A').toHex());
}

void tst_Enip::frame_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("size");

    const auto header = [](quint16 length) {
        return hex("6F00") + char(length & 0xFF) + char(length >> 8) + QByteArray(20, '\0');
    };
    const int incomplete = int(ENIP::Frame::Incomplete);
    const int complete = int(ENIP::Frame::Complete);
    const int tooLong = int(ENIP::Frame::TooLong);
    QTest::newRow("empty") << QByteArray() << incomplete << -1;
    QTest::newRow("23 bytes") << header(0).left(23) << incomplete << -1;
    QTest::newRow("header, no data") << header(0) << complete << 24;
    QTest::newRow("length 4, 3 bytes of data") << header(4) + "abc" << incomplete << -1;
    QTest::newRow("length 4, 4 bytes") << header(4) + "abcd" << complete << 28;
    QTest::newRow("length 4, the next message begun") << header(4) + "abcd" + header(0).left(5) << complete << 28;
    QTest::newRow("length 0x0102 is little-endian") << header(0x0102) + QByteArray(0x0102, 'x') << complete << 282;
    QTest::newRow("largest length, not all there") << header(4096) + "x" << incomplete << -1;
    QTest::newRow("largest length") << header(4096) + QByteArray(4096, 'x') << complete << 4120;
    // Refused at once: the bytes a length beyond the limit promises are
    // never awaited.
    QTest::newRow("length 4097") << header(4097) << tooLong << -1;
    QTest::newRow("length 65535") << header(0xFFFF) << tooLong << -1;
}

void tst_Enip::frame()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, frame);
    QFETCH(int, size);

    int messageSize = -1;
    QCOMPARE(int(ENIP::frameOf(buffer, &messageSize)), frame);
    QCOMPARE(messageSize, size);
}

void tst_Enip::requests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");

    // Header: command, length, session, status 0, context 0, options 0.
    const auto header = [](const char *commandHex, const char *lengthHex, const char *sessionHex) {
        return hex(commandHex) + hex(lengthHex) + hex(sessionHex) + QByteArray(16, '\0');
    };
    // SendRRData data before the message: interface 0, timeout 0, two
    // items, the null address item and the unconnected data item's type.
    const QByteArray rr = hex("00000000"
                              "0000"
                              "0200"
                              "00000000"
                              "B200");
    const auto request = [](quint8 service, const CIP::CipPath &path, const QByteArray &data = QByteArray()) {
        return ENIP::sendRRDataRequest(0x12345678, CIP::MessageRouterRequest(service, path, data));
    };

    QTest::newRow("RegisterSession") << ENIP::registerSessionRequest()
                                     << header("6500", "0400", "00000000") + hex("01000000");
    QTest::newRow("UnRegisterSession") << ENIP::unRegisterSessionRequest(0x12345678)
                                       << header("6600", "0000", "78563412");
    QTest::newRow("Get_Attributes_All TCP/IP 1") << request(CIP::GetAttributesAll, CIP::CipPath(0xF5, 1))
                                                 << header("6F00", "1600", "78563412") + rr
            + hex("0600"
                  "01"
                  "02"
                  "20F5"
                  "2401");
    QTest::newRow("Get_Attribute_Single TCP/IP 1 host name")
        << request(CIP::GetAttributeSingle, CIP::CipPath(0xF5, 1, 6))
        << header("6F00", "1800", "78563412") + rr
            + hex("0800"
                  "0E"
                  "03"
                  "20F5"
                  "2401"
                  "3006");
    QTest::newRow("Set_Attribute_Single configuration control DHCP")
        << request(CIP::SetAttributeSingle, CIP::CipPath(0xF5, 1, 3), hex("02000000"))
        << header("6F00", "1C00", "78563412") + rr
            + hex("0C00"
                  "10"
                  "03"
                  "20F5"
                  "2401"
                  "3003"
                  "02000000");
    QTest::newRow("Identity Reset, type 0") << request(CIP::ResetService, CIP::CipPath(0x01, 1), hex("00"))
                                            << header("6F00", "1700", "78563412") + rr
            + hex("0700"
                  "05"
                  "02"
                  "2001"
                  "2401"
                  "00");
    QTest::newRow("16-bit class, instance and attribute")
        << request(CIP::GetAttributeSingle, CIP::CipPath(0x0123, 0x0456, 0x0789))
        << header("6F00", "1E00", "78563412") + rr
            + hex("0E00"
                  "0E"
                  "06"
                  "21002301"
                  "25005604"
                  "31008907");
    // Each value takes the smallest segment that holds it, whatever the
    // others take.
    QTest::newRow("32-bit instance 0x00010000") << request(CIP::GetAttributesAll, CIP::CipPath(0x04, 0x00010000))
                                                << header("6F00", "1A00", "78563412") + rr
            + hex("0A00"
                  "01"
                  "04"
                  "2004"
                  "260000000100");
    QTest::newRow("32-bit instance 0xFFFFFFFF, 16-bit attribute")
        << request(CIP::GetAttributeSingle, CIP::CipPath(0x01, 0xFFFFFFFF, 0x0100))
        << header("6F00", "1E00", "78563412") + rr
            + hex("0E00"
                  "0E"
                  "06"
                  "2001"
                  "2600FFFFFFFF"
                  "31000001");
    QTest::newRow("instance 0xFFFF stays 16-bit") << request(CIP::GetAttributesAll, CIP::CipPath(0xFF, 0xFFFF))
                                                  << header("6F00", "1800", "78563412") + rr
            + hex("0800"
                  "01"
                  "03"
                  "20FF"
                  "2500FFFF");
    QTest::newRow("16-bit class 0x0100, instance 0") << request(CIP::GetAttributesAll, CIP::CipPath(0x0100, 0))
                                                     << header("6F00", "1800", "78563412") + rr
            + hex("0800"
                  "01"
                  "03"
                  "21000001"
                  "2400");
    QTest::newRow("Get_Attribute_List, two attributes")
        << request(CIP::GetAttributeList, CIP::CipPath(0xF6, 1), hex("020001000200"))
        << header("6F00", "1C00", "78563412") + rr
            + hex("0C00"
                  "03"
                  "02"
                  "20F6"
                  "2401"
                  "020001000200");
    QTest::newRow("vendor service 0x4B on a vendor class")
        << request(0x4B, CIP::CipPath(0x0370, 0x12345, 0x7F), hex("AABB"))
        << header("6F00", "2000", "78563412") + rr
            + hex("1000"
                  "4B"
                  "06"
                  "21007003"
                  "260045230100"
                  "307F"
                  "AABB");
    QTest::newRow("service 0x00") << request(0x00, CIP::CipPath(0x01, 1))
                                  << header("6F00", "1600", "78563412") + rr
            + hex("0600"
                  "00"
                  "02"
                  "2001"
                  "2401");
    QTest::newRow("service 0x7F") << request(0x7F, CIP::CipPath(0x01, 1))
                                  << header("6F00", "1600", "78563412") + rr
            + hex("0600"
                  "7F"
                  "02"
                  "2001"
                  "2401");
    // The top bit marks a reply: no request goes out with it.
    QTest::newRow("service 0x80 refused") << request(0x80, CIP::CipPath(0x01, 1)) << QByteArray();
    QTest::newRow("service 0x8E refused") << request(0x8E, CIP::CipPath(0x01, 1, 1)) << QByteArray();
}

void tst_Enip::requests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    QCOMPARE(request.toHex(), expected.toHex());
    if (expected.isEmpty())
        return;

    // Read back, the message is the same.
    ENIP::EncapMessage message;
    QDataStream stream(request);
    QVERIFY(message.deserialize(stream));
    QVERIFY(stream.atEnd());
    QCOMPARE(message.bytes().toHex(), expected.toHex());
}

void tst_Enip::path_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<bool>("canonical");

    QTest::newRow("class and instance") << hex("0220F52401") << true << "f5/1" << true;
    QTest::newRow("with attribute") << hex("0320F524013005") << true << "f5/1/5" << true;
    QTest::newRow("16-bit class") << hex("03210023012401") << true << "123/1" << true;
    QTest::newRow("16-bit instance and attribute") << hex("0520F6250002013100FF00") << true << "f6/102/ff" << false;
    QTest::newRow("16-bit attribute 0x100") << hex("0420F6240131000001") << true << "f6/1/100" << true;
    QTest::newRow("bytes after the path left") << hex("0220F52401FFFF") << true << "f5/1" << false;
    QTest::newRow("empty") << QByteArray() << false << "" << false;
    QTest::newRow("size only") << hex("02") << false << "" << false;
    QTest::newRow("size 2, three bytes") << hex("0220F524") << false << "" << false;
    QTest::newRow("size 255, few bytes") << hex("FF20F52401") << false << "" << false;
    QTest::newRow("no instance") << hex("0120F5") << false << "" << false;
    QTest::newRow("instance first") << hex("022401"
                                           "20F5")
                                    << false << "" << false;
    QTest::newRow("16-bit segment with pad 01") << hex("0421012301"
                                                       "2401")
                                                << false << "" << false;
    QTest::newRow("16-bit segment cut by the size") << hex("022100"
                                                           "2301")
                                                    << false << "" << false;
    QTest::newRow("connection point segment") << hex("0320F524012C01") << false << "" << false;
    QTest::newRow("two attributes") << hex("0420F5240130053006") << false << "" << false;
    QTest::newRow("size 0") << hex("00") << false << "" << false;
    QTest::newRow("32-bit instance") << hex("0520012600785634123005") << true << "1/12345678/5" << true;
    QTest::newRow("32-bit instance 0x10000") << hex("042001260000000100") << true << "1/10000" << true;
    QTest::newRow("32-bit instance holding 1") << hex("042001260001000000") << true << "1/1" << false;
    QTest::newRow("32-bit instance with pad 01") << hex("042001260101000000") << false << "" << false;
    QTest::newRow("32-bit instance cut by the size") << hex("03200126000100"
                                                            "0000")
                                                     << false << "" << false;
    QTest::newRow("32-bit instance past the data") << hex("04200126000100") << false << "" << false;
    // Class and attribute IDs are 16-bit: their 32-bit forms are refused.
    QTest::newRow("32-bit class") << hex("042200010000002401") << false << "" << false;
    QTest::newRow("32-bit attribute") << hex("0520012401320001000000") << false << "" << false;
    QTest::newRow("16-bit attribute with pad 01") << hex("042001240131010100") << false << "" << false;
}

void tst_Enip::path()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, fields);
    QFETCH(bool, canonical);

    CIP::CipPath path(0x99, 0x98, 0x97);
    QDataStream stream(bytes);
    QCOMPARE(path.deserialize(stream), ok);
    const QString read = QStringLiteral("%1/%2").arg(path.classId, 0, 16).arg(path.instance, 0, 16)
        + (path.hasAttribute ? QStringLiteral("/%1").arg(path.attribute, 0, 16) : QString());
    QCOMPARE(read, ok ? fields : QStringLiteral("99/98/97"));
    if (canonical) {
        QByteArray written;
        QVERIFY(path.serialize(&written));
        QCOMPARE(written.toHex(), bytes.toHex());
    }
}

void tst_Enip::messageRouter_data()
{
    QTest::addColumn<bool>("response");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("fields");

    QTest::newRow("request, no data") << false
                                      << hex("01"
                                             "0220F52401")
                                      << true << "1 f5/1/-1 ";
    QTest::newRow("request with data") << false
                                       << hex("10"
                                              "0320F524013003"
                                              "02000000")
                                       << true << "10 f5/1/3 02000000";
    QTest::newRow("request: empty") << false << QByteArray() << false << "";
    QTest::newRow("request: service only") << false << hex("01") << false << "";
    QTest::newRow("request: path cut") << false
                                       << hex("01"
                                              "0320F52401")
                                       << false << "";
    QTest::newRow("request: 32-bit instance") << false
                                              << hex("0E"
                                                     "0520F52600000001003001")
                                              << true << "e f5/10000/1 ";
    QTest::newRow("request: reply service 0x8E") << false
                                                 << hex("8E"
                                                        "0220F52401")
                                                 << false << "";

    QTest::newRow("response: success, no data") << true << hex("81000000") << true << "81 0 0 () ";
    QTest::newRow("response: data") << true
                                    << hex("8E000000"
                                           "0400696F2D37")
                                    << true << "8e 0 0 () 0400696f2d37";
    QTest::newRow("response: status 0x14") << true << hex("8E001400") << true << "8e 0 14 () ";
    QTest::newRow("response: additional status") << true
                                                 << hex("90000C02"
                                                        "34127856")
                                                 << true << "90 0 c (1234,5678) ";
    QTest::newRow("response: 3 bytes") << true << hex("810000") << false << "";
    QTest::newRow("response: 1 byte") << true << hex("81") << false << "";
    QTest::newRow("response: empty") << true << QByteArray() << false << "";
    QTest::newRow("response: two words promised, one given") << true << hex("8100010234 12") << false << "";
    QTest::newRow("response: 255 words promised") << true << hex("810001FF") << false << "";
    QTest::newRow("response: a word and data after it") << true
                                                        << hex("8E001401"
                                                               "0300"
                                                               "AABBCC")
                                                        << true << "8e 0 14 (3) aabbcc";
    QTest::newRow("response: odd data length") << true
                                               << hex("CB000000"
                                                      "010203")
                                               << true << "cb 0 0 () 010203";
}

void tst_Enip::messageRouter()
{
    QFETCH(bool, response);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, fields);

    QString read;
    QByteArray written;
    if (response) {
        CIP::MessageRouterResponse value;
        value.service = 0x77;
        QCOMPARE(value.deserialize(bytes), ok);
        QStringList words;
        for (const quint16 word : qAsConst(value.additionalStatus))
            words.append(QString::number(word, 16));
        read = QStringLiteral("%1 %2 %3 (%4) %5")
                   .arg(value.service, 0, 16)
                   .arg(value.reserved, 0, 16)
                   .arg(value.generalStatus, 0, 16)
                   .arg(words.join(','), QString::fromLatin1(value.data.toHex()));
        QCOMPARE(value.service, ok ? quint8(bytes.at(0)) : quint8(0x77));
        QVERIFY(value.serialize(&written));
    } else {
        CIP::MessageRouterRequest value(0x77, CIP::CipPath(1, 1));
        QCOMPARE(value.deserialize(bytes), ok);
        read = QStringLiteral("%1 %2/%3/%4 %5")
                   .arg(value.service, 0, 16)
                   .arg(value.path.classId, 0, 16)
                   .arg(value.path.instance, 0, 16)
                   .arg(value.path.hasAttribute ? int(value.path.attribute) : -1)
                   .arg(QString::fromLatin1(value.data.toHex()));
        QCOMPARE(value.service, ok ? quint8(bytes.at(0)) : quint8(0x77));
        QVERIFY(value.serialize(&written));
    }
    if (ok) {
        QCOMPARE(read, fields);
        QCOMPARE(written.toHex(), bytes.toHex());
    }
}

// A SendRRData reply as devices send it, built byte by byte.
QByteArray rrReply(quint32 session, const QByteArray &message, quint32 status = 0, quint16 command = 0x006F)
{
    QByteArray data = hex("00000000"
                          "0000"
                          "0200"
                          "00000000"
                          "B200");
    data += char(message.size() & 0xFF);
    data += char(message.size() >> 8);
    data += message;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << command << quint16(data.size()) << session << status << quint64(0) << quint32(0);
    return bytes + data;
}

void tst_Enip::replyCheck_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("framed");
    // Whether the reply answers RegisterSession, else Get_Attribute_Single.
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("result");

    const auto registerReply = [](quint32 session, quint32 status, const QByteArray &data) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        out << quint16(0x0065) << quint16(data.size()) << session << status << quint64(0) << quint32(0);
        return bytes + data;
    };
    const int none = int(ENIP::ReplyFault::None);
    // RegisterSession replies: the result is the session handle.
    QTest::newRow("session registered") << registerReply(0x0A0B0C0D, 0, hex("01000000")) << true << none << "a0b0c0d";
    QTest::newRow("session: status 0x69")
        << registerReply(0, 0x69, hex("01000000")) << true << int(ENIP::ReplyFault::Status) << "";
    QTest::newRow("session: handle 0") << registerReply(0, 0, hex("01000000")) << true << int(ENIP::ReplyFault::Session)
                                       << "";
    QTest::newRow("session: 2 bytes of data")
        << registerReply(7, 0, hex("0100")) << true << int(ENIP::ReplyFault::Data) << "";
    QTest::newRow("session: 6 bytes of data")
        << registerReply(7, 0, hex("010000000000")) << true << int(ENIP::ReplyFault::Data) << "";
    // SendRRData replies to Get_Attribute_Single (0x0E) on session 7: the
    // result is the general status and the data.
    QTest::newRow("reply") << rrReply(7,
                                      hex("8E000000"
                                          "0400696F2D37"))
                           << true << none << "0 0400696f2d37";
    QTest::newRow("reply: status 0x14") << rrReply(7, hex("8E001400")) << true << none << "14 ";
    QTest::newRow("reply: another service")
        << rrReply(7, hex("81000000")) << true << int(ENIP::ReplyFault::Service) << "";
    QTest::newRow("reply: the request echoed")
        << rrReply(7, hex("0E000000")) << true << int(ENIP::ReplyFault::Service) << "";
    QTest::newRow("reply: another session")
        << rrReply(8, hex("8E000000")) << true << int(ENIP::ReplyFault::Session) << "";
    // Devices refuse with the status and no data.
    QByteArray refused = rrReply(7, QByteArray(), 0x64).left(24);
    refused[2] = 0;
    QTest::newRow("reply: encapsulation status 0x64") << refused << true << int(ENIP::ReplyFault::Status) << "";
    QTest::newRow("reply: RegisterSession")
        << rrReply(7, hex("8E000000"), 0, 0x0065) << true << int(ENIP::ReplyFault::Command) << "";
    QTest::newRow("reply: empty message") << rrReply(7, QByteArray()) << true << int(ENIP::ReplyFault::Data) << "";
    QTest::newRow("reply: message of 3 bytes")
        << rrReply(7, hex("8E0000")) << true << int(ENIP::ReplyFault::Data) << "";
    // The header's length counts one byte more than the items hold.
    QByteArray longer = rrReply(7, hex("8E000000")) + hex("00");
    longer[2] = char(longer.size() - 24);
    QTest::newRow("reply: a byte after the items") << longer << true << int(ENIP::ReplyFault::Data) << "";
    QByteArray itemPastEnd = rrReply(7, hex("8E000000"));
    itemPastEnd[38] = 5;
    QTest::newRow("reply: item longer than the data") << itemPastEnd << true << int(ENIP::ReplyFault::Data) << "";
    QByteArray noUnconnected = rrReply(7, hex("8E000000"));
    noUnconnected[34] = '\xB1';
    QTest::newRow("reply: no unconnected data item") << noUnconnected << true << int(ENIP::ReplyFault::Data) << "";
    QByteArray countOne = rrReply(7, hex("8E000000"));
    countOne[30] = 1;
    QTest::newRow("reply: count 1, the null item only") << countOne << true << int(ENIP::ReplyFault::Data) << "";
    QByteArray countThree = rrReply(7, hex("8E000000"));
    countThree[30] = 3;
    QTest::newRow("reply: count 3, two items") << countThree << true << int(ENIP::ReplyFault::Data) << "";
    QTest::newRow("reply: additional status, no data") << rrReply(7,
                                                                  hex("8E001E02"
                                                                      "01000400"))
                                                       << true << none << "1e [1,4] ";
    // The largest answer: 4096 bytes of encapsulated data, 16 of them the
    // items' framing, 8 the response's head and two status words.
    const QByteArray largest = QByteArray(4096 - 16 - 8 - 1, '\x5A') + '\x01';
    QTest::newRow("reply: the framing limit")
        << rrReply(7,
                   hex("8E000002"
                       "34127856")
                       + largest)
        << true << none << "0 [1234,5678] " + QString::fromLatin1(largest.toHex());
    QTest::newRow("reply: the framing limit, all data")
        << rrReply(7, hex("8E000000") + QByteArray(4096 - 16 - 4, '\x01')) << true << none
        << "0 " + QString::fromLatin1(QByteArray(4096 - 16 - 4, '\x01').toHex());
    // What the framing refuses never reaches the checks.
    QTest::newRow("reply: one byte over the framing limit")
        << rrReply(7, hex("8E000000") + QByteArray(4096 - 16 - 4 + 1, '\x01')) << false << 0 << "";
    QTest::newRow("reply: unknown command") << rrReply(7, hex("8E000000"), 0, 0x0099) << false << 0 << "";
    QTest::newRow("reply: cut short") << rrReply(7, hex("8E000000")).chopped(1) << false << 0 << "";
}

void tst_Enip::replyCheck()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, framed);
    QFETCH(int, fault);
    QFETCH(QString, result);

    ENIP::EncapMessage message;
    QCOMPARE(message.deserialize(reply), framed);
    if (!framed)
        return;
    QString read;
    ENIP::ReplyFault found;
    if (QByteArray(QTest::currentDataTag()).startsWith("session")) {
        quint32 session = 0;
        found = ENIP::readRegisterSessionReply(message, &session);
        read = session ? QString::number(session, 16) : QString();
    } else {
        CIP::MessageRouterResponse response;
        response.generalStatus = 0x99;
        found = ENIP::readSendRRDataReply(message, 7, CIP::GetAttributeSingle, &response);
        if (found == ENIP::ReplyFault::None) {
            QStringList words;
            for (const quint16 word : qAsConst(response.additionalStatus))
                words.append(QString::number(word, 16));
            read = QStringLiteral("%1 %2%3")
                       .arg(response.generalStatus, 0, 16)
                       .arg(words.isEmpty() ? QString() : QLatin1Char('[') + words.join(',') + QStringLiteral("] "))
                       .arg(QString::fromLatin1(response.data.toHex()));
        } else
            QCOMPARE(int(response.generalStatus), 0x99);
    }
    QCOMPARE(int(found), fault);
    QCOMPARE(read, result);
}

void tst_Enip::encapMessage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");

    const QByteArray whole = rrReply(7, hex("8E000000"));
    QTest::newRow("whole") << whole << true;
    for (int size = 0; size < whole.size(); ++size)
        QTest::addRow("cut to %d bytes", size) << whole.left(size) << false;
    QByteArray huge = whole;
    huge[2] = '\xFF';
    huge[3] = '\xFF';
    QTest::newRow("length 65535") << huge + QByteArray(0xFFFF - (whole.size() - 24), '\0') << false;
    QByteArray unknown = whole;
    unknown[0] = '\x01';
    QTest::newRow("command 0x0001") << unknown << false;
}

void tst_Enip::encapMessage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);

    ENIP::EncapMessage message(ENIP::NOP, "old");
    QCOMPARE(message.deserialize(bytes), ok);
    QCOMPARE(message.data.toHex(), ok ? bytes.mid(24).toHex() : QByteArray("6f6c64"));
    QCOMPARE(int(message.header.command), ok ? 0x006F : 0);
}

void tst_Enip::attribute_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("attribute");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("value");
    // Whether the bytes are what the attribute writes (and ends in the pad
    // of a string when that is odd).
    QTest::addColumn<bool>("canonical");

    QTest::newRow("tcpip status") << "tcpip" << 1 << hex("31000000") << true << "31" << true;
    QTest::newRow("tcpip status 0x12345678") << "tcpip" << 1 << hex("78563412") << true << "12345678" << true;
    QTest::newRow("tcpip capability") << "tcpip" << 2 << hex("D4000000") << true << "d4" << true;
    QTest::newRow("tcpip control DHCP") << "tcpip" << 3 << hex("02000000") << true << "2" << true;
    QTest::newRow("tcpip configuration") << "tcpip" << 5 << hex(configurationHex) << true << configurationText << true;
    QTest::newRow("tcpip configuration, no domain")
        << "tcpip" << 5 << hex("0A01A8C000FFFFFF00000000000000000000000000 00") << true << "c0a8010a/ffffff00/0/0/0/"
        << true;
    QTest::newRow("tcpip configuration, domain without its pad")
        << "tcpip" << 5 << hex(configurationHex).chopped(1) << true << configurationText << false;
    QTest::newRow("tcpip host name") << "tcpip" << 6 << hex(hostNameHex) << true << "io-7" << true;
    QTest::newRow("tcpip host name, odd, padded") << "tcpip" << 6
                                                  << hex("0300616263"
                                                         "00")
                                                  << true << "abc" << true;
    QTest::newRow("tcpip host name, odd, no pad") << "tcpip" << 6 << hex("0300616263") << true << "abc" << false;
    QTest::newRow("tcpip empty host name") << "tcpip" << 6 << hex("0000") << true << "" << true;
    QTest::newRow("tcpip host name 0xFFFF long, 4 given")
        << "tcpip" << 6 << hex("FFFF61626364") << false << "" << false;
    QTest::newRow("tcpip select ACD") << "tcpip" << 10 << hex("01") << true << "1" << true;
    QTest::newRow("tcpip last conflict") << "tcpip" << 11 << conflictBytes() << true << conflictText() << true;
    QTest::newRow("tcpip physical link is not read") << "tcpip" << 4 << hex("020020F62401") << false << "" << false;
    QTest::newRow("tcpip unknown attribute") << "tcpip" << 12 << hex("00") << false << "" << false;
    QTest::newRow("link speed 100") << "link" << 1 << hex("64000000") << true << "64" << true;
    QTest::newRow("link flags") << "link" << 2 << hex("0F000000") << true << "f" << true;
    QTest::newRow("link MAC") << "link" << 3 << hex("001D9C010203") << true << "001d9c010203" << true;
    QTest::newRow("identity vendor 0x1234") << "identity" << 1 << hex("3412") << true << "1234" << true;
    QTest::newRow("identity revision") << "identity" << 4 << hex("0307") << true << "3.7" << true;
    QTest::newRow("identity serial") << "identity" << 6 << hex("78563412") << true << "12345678" << true;
    QTest::newRow("identity name") << "identity" << 7 << hex("0B") + "1756-ENBT/A" << true << "1756-ENBT/A" << true;
    QTest::newRow("identity name of 32") << "identity" << 7 << hex("20") + QByteArray(32, 'N') << true
                                         << QString(32, 'N') << true;
    QTest::newRow("identity name of 33") << "identity" << 7 << hex("21") + QByteArray(33, 'N') << false << "" << false;
}

void tst_Enip::attribute()
{
    QFETCH(QString, object);
    QFETCH(int, attribute);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, value);
    QFETCH(bool, canonical);

    const std::unique_ptr<CIP::CipAttributeValues> values = objectOf(object);
    QCOMPARE(values->setAttribute(quint16(attribute), bytes), ok);
    QCOMPARE(values->has(quint16(attribute)), ok);
    if (!ok)
        return;
    QCOMPARE(attributeText(*values, quint16(attribute)), value);
    if (canonical) {
        QCOMPARE(values->attributeData(quint16(attribute)).toHex(), bytes.toHex());
        // One byte more is a reply of the wrong length; the attribute then
        // counts as not read.
        QVERIFY(!values->setAttribute(quint16(attribute), bytes + hex("00")));
        QVERIFY(!values->has(quint16(attribute)));
    }
    // Every truncation is refused, but for the pad byte of a string at the
    // end, which devices may leave out.
    const bool endsInPad = canonical
        && (attribute == CIP::CipTcpIpInterface::InterfaceConfiguration
            || attribute == CIP::CipTcpIpInterface::HostName)
        && object == "tcpip" && bytes.endsWith('\0') && bytes.size() % 2 == 0
        && quint8(bytes.at(bytes.size() - 2)) != 0;
    for (int size = 0; size < bytes.size(); ++size) {
        const std::unique_ptr<CIP::CipAttributeValues> cut = objectOf(object);
        if (endsInPad && size == bytes.size() - 1)
            continue;
        QVERIFY2(!cut->setAttribute(quint16(attribute), bytes.left(size)), qPrintable(QString::number(size)));
        QVERIFY(cut->present.isEmpty());
    }
}

void tst_Enip::getAttributesAll_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("bytes");
    // Where each wanted attribute ends in the bytes, in order, and its
    // value as read.
    QTest::addColumn<QList<int>>("ends");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("canonical");

    const QByteArray configuration = hex(configurationHex);
    const QByteArray tcpipHead = hex("31000000"
                                     "D4000000"
                                     "02000000"
                                     "0200"
                                     "20F62401");
    const QByteArray tcpip1to6 = tcpipHead + configuration + hex(hostNameHex);
    const QByteArray tcpipTail = hex("000000000000"
                                     "01"
                                     "0000000000000000"
                                     "01")
        + conflictBytes();
    const QString tcpipValues =
        QStringLiteral("1:31 2:d4 3:2 5:%1 6:io-7 10:1 11:%2").arg(configurationText, conflictText());
    const int end6 = tcpip1to6.size();
    // The domain name is odd: attribute 5 is complete without its pad.
    const QList<int> tcpipEnds = {4, 8, 12, 18 + configuration.size() - 1, end6, end6 + 16, end6 + 16 + 35};
    QTest::newRow("tcpip 1 to 11") << "tcpip" << tcpip1to6 + tcpipTail << tcpipEnds << tcpipValues << true;
    // Later revisions add attributes after 11: they are left alone.
    QTest::newRow("tcpip 1 to 13") << "tcpip"
                                   << tcpip1to6 + tcpipTail
            + hex("00"
                  "7800") << tcpipEnds
                                   << tcpipValues << false;
    QTest::newRow("tcpip, physical link path of 0 words") << "tcpip"
                                                          << hex("31000000D400000002000000"
                                                                 "0000")
            + configuration + hex(hostNameHex) + tcpipTail
                                                          << QList<int>{4,
                                                                        8,
                                                                        12,
                                                                        14 + configuration.size() - 1,
                                                                        14 + configuration.size() + 6,
                                                                        14 + configuration.size() + 22,
                                                                        14 + configuration.size() + 57}
                                                          << tcpipValues << true;
    QTest::newRow("tcpip, physical link path of 0xFFFF words") << "tcpip"
                                                               << hex("31000000D400000002000000"
                                                                      "FFFF"
                                                                      "20F62401")
            + configuration << QList<int>{4, 8, 12, -1, -1, -1, -1}
                                                               << "" << false;
    QTest::newRow("identity 1 to 7") << "identity" << hex(identityFixedPart) + hex("0B") + "1756-ENBT/A"
                                     << QList<int>{2, 4, 6, 8, 10, 14, 26}
                                     << "1:1 2:c 3:41 4:3.7 5:30 6:12345678 7:1756-ENBT/A" << true;
    QTest::newRow("identity with state") << "identity"
                                         << hex(identityFixedPart)
            + hex("024142"
                  "03") << QList<int>{2, 4, 6, 8, 10, 14, 17}
                                         << "1:1 2:c 3:41 4:3.7 5:30 6:12345678 7:AB 8:3" << false;
    QTest::newRow("identity, name of 33") << "identity" << hex(identityFixedPart) + hex("21") + QByteArray(33, 'N')
                                          << QList<int>{2, 4, 6, 8, 10, 14, -1} << "" << false;
    QTest::newRow("link 1 to 3") << "link"
                                 << hex("64000000"
                                        "0F000000"
                                        "001D9C010203")
                                 << QList<int>{4, 8, 14} << "1:64 2:f 3:001d9c010203" << true;
    QTest::newRow("link with counters after") << "link"
                                              << hex("64000000"
                                                     "0F000000"
                                                     "001D9C010203")
            + QByteArray(44, 1) << QList<int>{4, 8, 14}
                                              << "1:64 2:f 3:001d9c010203" << false;
}

void tst_Enip::getAttributesAll()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, ends);
    QFETCH(QString, text);
    QFETCH(bool, canonical);

    const std::unique_ptr<CIP::CipAttributeValues> read = objectOf(object);
    const QList<quint16> wanted = read->attributes();
    QCOMPARE(ends.size(), wanted.size());

    // The whole reply, then every truncation of it: the attributes that
    // end inside the bytes given are read, the rest are missing.
    for (int size = bytes.size(); size >= 0; --size) {
        const std::unique_ptr<CIP::CipAttributeValues> values = objectOf(object);
        values->present = {0x99};
        QDataStream stream(bytes.left(size));
        const bool ok = values->deserialize(stream);
        QList<quint16> expected;
        QList<quint16> missing;
        for (int i = 0; i < ends.size(); ++i)
            (ends.at(i) >= 0 && ends.at(i) <= size ? expected : missing).append(wanted.at(i));
        QList<quint16> presentWanted = values->present;
        presentWanted.removeAll(CIP::CipIdentityAttributes::State);
        QCOMPARE(presentWanted, expected);
        QCOMPARE(values->missing(), missing);
        QCOMPARE(ok, missing.isEmpty());
        if (size == bytes.size() && ok)
            QCOMPARE(presentText(*values), text);
        if (size == bytes.size() && canonical) {
            QByteArray written;
            QVERIFY(values->serialize(&written));
            QCOMPARE(written.toHex(), bytes.toHex());
        }
    }
}

void tst_Enip::statusNames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("0x00") << 0x00 << "0x00 Success"
                          << "The device refused the request: Success (0x00)";
    QTest::newRow("0x08") << 0x08 << "0x08 Service not supported"
                          << "The device does not support this service (0x08)";
    QTest::newRow("0x0C") << 0x0C << "0x0C Object state conflict"
                          << "The device cannot do this in its present configuration (0x0C)";
    QTest::newRow("0x0E") << 0x0E << "0x0E Attribute not settable"
                          << "The device does not allow this value to be changed (0x0E)";
    QTest::newRow("0x14") << 0x14 << "0x14 Attribute not supported"
                          << "The device does not support this attribute (0x14)";
    QTest::newRow("0x16") << 0x16 << "0x16 Object does not exist"
                          << "The device does not have this object (0x16)";
    QTest::newRow("0x1E") << 0x1E << "0x1E Embedded service error"
                          << "The device refused the request: Embedded service error (0x1E)";
    QTest::newRow("0x20") << 0x20 << "0x20 Invalid parameter"
                          << "The device refused a value of the request (0x20)";
    QTest::newRow("0x2C") << 0x2C << "0x2C Attribute not gettable"
                          << "The device refused the request: Attribute not gettable (0x2C)";
    QTest::newRow("0x2D") << 0x2D << "0x2D Unknown status"
                          << "The device refused the request: Unknown status (0x2D)";
    QTest::newRow("0xFF") << 0xFF << "0xFF Unknown status"
                          << "The device refused the request: Unknown status (0xFF)";
}

void tst_Enip::statusNames()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QCOMPARE(CIP::generalStatusText(quint8(code)), text);
    QCOMPARE(CIP::generalStatusMessage(quint8(code)), message);
}

void tst_Enip::encapsulationStatusNames_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("name");

    QTest::newRow("0x0001") << 0x0001u << "Invalid or unsupported command";
    QTest::newRow("0x0002") << 0x0002u << "Insufficient memory";
    QTest::newRow("0x0003") << 0x0003u << "Incorrect data";
    QTest::newRow("0x0064") << 0x0064u << "Invalid session handle";
    QTest::newRow("0x0065") << 0x0065u << "Invalid length";
    QTest::newRow("0x0069") << 0x0069u << "Unsupported protocol revision";
    QTest::newRow("0x0004") << 0x0004u << "Unknown status";
    QTest::newRow("0x10064: high bits count") << 0x10064u << "Unknown status";
}

void tst_Enip::encapsulationStatusNames()
{
    QFETCH(quint32, code);
    QFETCH(QString, name);
    QCOMPARE(CIP::encapsulationStatusName(code), name);
}

void tst_Enip::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("maximum");
    QTest::addColumn<int>("error");
    QTest::addColumn<uint>("value");

    const int none = int(CIP::NumberError::None);
    const int empty = int(CIP::NumberError::Empty);
    const int notANumber = int(CIP::NumberError::NotANumber);
    const int tooLarge = int(CIP::NumberError::TooLarge);
    QTest::newRow("10 is ten") << "10" << 0xFFFFu << none << 10u;
    QTest::newRow("0x10 is sixteen") << "0x10" << 0xFFFFu << none << 16u;
    QTest::newRow("0X1f, either case") << "0X1f" << 0xFFFFu << none << 31u;
    QTest::newRow("leading zeros stay decimal") << "010" << 0xFFFFu << none << 10u;
    QTest::newRow("0") << "0" << 0xFFFFu << none << 0u;
    QTest::newRow("0x0") << "0x0" << 0xFFFFu << none << 0u;
    QTest::newRow("blanks around") << "  0xF5\t" << 0xFFFFu << none << 0xF5u;
    QTest::newRow("the maximum") << "65535" << 0xFFFFu << none << 0xFFFFu;
    QTest::newRow("one over the maximum") << "65536" << 0xFFFFu << tooLarge << 0u;
    QTest::newRow("0x10000 over 16 bits") << "0x10000" << 0xFFFFu << tooLarge << 0u;
    QTest::newRow("largest 32-bit") << "0xFFFFFFFF" << 0xFFFFFFFFu << none << 0xFFFFFFFFu;
    QTest::newRow("4294967295") << "4294967295" << 0xFFFFFFFFu << none << 0xFFFFFFFFu;
    QTest::newRow("4294967296") << "4294967296" << 0xFFFFFFFFu << tooLarge << 0u;
    QTest::newRow("many digits do not wrap") << "0x100000000000000001" << 0xFFFFFFFFu << tooLarge << 0u;
    QTest::newRow("leading zeros of a large maximum") << "0x0000000000000001" << 0xFFFFFFFFu << none << 1u;
    QTest::newRow("empty") << "" << 0xFFFFu << empty << 0u;
    QTest::newRow("blanks") << "   " << 0xFFFFu << empty << 0u;
    QTest::newRow("lone 0x") << "0x" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("hex digits without 0x") << "1A" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("minus") << "-1" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("plus") << "+1" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("blank inside") << "1 0" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("0x with a g") << "0x1g" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("a bad digit after many") << "99999999999999999999x" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("h suffix") << "10h" << 0xFFFFu << notANumber << 0u;
    QTest::newRow("Arabic-Indic digit") << QString(QChar(0x0661)) << 0xFFFFu << notANumber << 0u;
}

void tst_Enip::numbers()
{
    QFETCH(QString, text);
    QFETCH(uint, maximum);
    QFETCH(int, error);
    QFETCH(uint, value);

    quint32 read = 0x5A5A5A5A;
    QCOMPARE(int(CIP::parseNumber(text, maximum, &read)), error);
    QCOMPARE(read, error == int(CIP::NumberError::None) ? value : 0x5A5A5A5Au);
}

void tst_Enip::services_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("service");
    QTest::addColumn<bool>("get");
    QTest::addColumn<bool>("needsAttribute");
    QTest::addColumn<QString>("shown");

    // service -1: refused.
    QTest::newRow("Get_Attributes_All") << "Get_Attributes_All" << 0x01 << true << false << "0x01 Get_Attributes_All";
    QTest::newRow("Get_Attribute_List") << "get_attribute_list" << 0x03 << true << false << "0x03 Get_Attribute_List";
    QTest::newRow("Reset") << "RESET" << 0x05 << false << false << "0x05 Reset";
    QTest::newRow("Get_Attribute_Single")
        << " Get_Attribute_Single " << 0x0E << true << true << "0x0E Get_Attribute_Single";
    QTest::newRow("Set_Attribute_Single")
        << "set_attribute_single" << 0x10 << false << true << "0x10 Set_Attribute_Single";
    QTest::newRow("0x0E by number") << "0x0E" << 0x0E << true << true << "0x0E Get_Attribute_Single";
    QTest::newRow("14 by number") << "14" << 0x0E << true << true << "0x0E Get_Attribute_Single";
    QTest::newRow("0x00") << "0x00" << 0x00 << false << false << "0x00";
    QTest::newRow("0x02 Set_Attributes_All is no Get") << "2" << 0x02 << false << false << "0x02";
    QTest::newRow("0x4B vendor service") << "0x4b" << 0x4B << false << false << "0x4B";
    QTest::newRow("0x7F") << "127" << 0x7F << false << false << "0x7F";
    QTest::newRow("0x80 is a reply") << "0x80" << -1 << false << false << "";
    QTest::newRow("0x8E is a reply") << "0x8E" << -1 << false << false << "";
    QTest::newRow("256") << "256" << -1 << false << false << "";
    QTest::newRow("empty") << "" << -1 << false << false << "";
    QTest::newRow("part of a name") << "Get_Attribute" << -1 << false << false << "";
    QTest::newRow("name with blanks inside") << "Get Attribute Single" << -1 << false << false << "";
}

void tst_Enip::services()
{
    QFETCH(QString, text);
    QFETCH(int, service);
    QFETCH(bool, get);
    QFETCH(bool, needsAttribute);
    QFETCH(QString, shown);

    quint8 read = 0x66;
    QCOMPARE(CIP::parseService(text, &read), service >= 0);
    if (service < 0) {
        QCOMPARE(int(read), 0x66);
        return;
    }
    QCOMPARE(int(read), service);
    QCOMPARE(CIP::isGetService(read), get);
    QCOMPARE(CIP::serviceNeedsAttribute(read), needsAttribute);
    QCOMPARE(CIP::serviceText(read), shown);
    // Every name offered parses back to its code.
    if (CIP::namedServices().contains(read)) {
        quint8 byName = 0;
        QVERIFY(CIP::parseService(CIP::serviceName(read), &byName));
        QCOMPARE(byName, read);
    } else {
        QVERIFY(CIP::serviceName(read).isEmpty());
    }
}

void tst_Enip::hexData_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("pairs with spaces") << "01 02 0a" << true << hex("01020A");
    QTest::newRow("no spaces, upper case") << "01020A" << true << hex("01020A");
    QTest::newRow("blanks anywhere") << " 0 1\t02\n0A " << true << hex("01020A");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("blanks only") << "   " << true << QByteArray();
    QTest::newRow("00 bytes kept") << "00 00" << true << QByteArray(2, '\0');
    QTest::newRow("ff") << "ff" << true << hex("FF");
    QTest::newRow("odd digit count") << "01 02 0" << false << QByteArray();
    QTest::newRow("one digit") << "1" << false << QByteArray();
    QTest::newRow("0x prefix") << "0x01" << false << QByteArray();
    QTest::newRow("g") << "0g" << false << QByteArray();
    QTest::newRow("comma") << "01,02" << false << QByteArray();
    QTest::newRow("full-width digit") << QString(QChar(0xFF11)) + QString(QChar(0xFF11)) << false << QByteArray();
}

void tst_Enip::hexData()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, data);

    QByteArray read("old");
    QCOMPARE(CIP::parseHexData(text, &read), ok);
    QCOMPARE(read.toHex(), ok ? data.toHex() : QByteArray("6f6c64"));
}

void tst_Enip::genericRequest_data()
{
    QTest::addColumn<QStringList>("fields"); // service, class, instance, attribute, data
    QTest::addColumn<int>("wrong");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("path");

    using R = CIP::GenericRequest;
    const auto row = [](const char *name, const QStringList &fields, int wrong, const char *bytes = "",
                        const char *path = "") {
        QTest::newRow(name) << fields << wrong << hex(bytes) << QString::fromLatin1(path);
    };
    row("Get_Attribute_Single host name", {"Get_Attribute_Single", "0xF5", "1", "6", ""}, R::NoField,
        "0E0320F524013006", "class 0xF5 instance 0x01 attribute 0x06");
    row("Get_Attributes_All, no attribute", {"0x01", "1", "1", "", ""}, R::NoField, "01022001 2401",
        "class 0x01 instance 0x01");
    row("Get_Attributes_All, an attribute given", {"1", "1", "1", "7", ""}, R::NoField, "010320012401 3007",
        "class 0x01 instance 0x01 attribute 0x07");
    row("Set_Attribute_Single with data", {"0x10", "245", "1", "3", "02 00 00 00"}, R::NoField,
        "100320F524013003 02000000", "class 0xF5 instance 0x01 attribute 0x03");
    row("Reset type 1", {"reset", "1", "1", "", "01"}, R::NoField, "05022001240101", "class 0x01 instance 0x01");
    row("vendor class, 32-bit instance, 16-bit attribute", {"0x4C", "0x300", "0x12345678", "0x100", "AA"}, R::NoField,
        "4C07 21000003 260078563412 31000001 AA", "class 0x300 instance 0x12345678 attribute 0x100");
    // Each number in the smallest segment that holds it, at the bounds.
    row("class 0xFF, 8-bit; instance 0x100, 16-bit", {"1", "0xFF", "0x100", "", ""}, R::NoField, "01 03 20FF 25000001",
        "class 0xFF instance 0x100");
    row("class 0x100, 16-bit; instance 0xFFFF, 16-bit", {"1", "256", "65535", "", ""}, R::NoField,
        "01 04 21000001 2500FFFF", "class 0x100 instance 0xFFFF");
    row("instance 0x10000, 32-bit; attribute 0xFF, 8-bit", {"0x0E", "1", "0x10000", "255", ""}, R::NoField,
        "0E 05 2001 260000000100 30FF", "class 0x01 instance 0x10000 attribute 0xFF");
    row("instance 0xFFFFFFFF", {"1", "1", "4294967295", "", ""}, R::NoField, "01 04 2001 2600FFFFFFFF",
        "class 0x01 instance 0xFFFFFFFF");
    row("instance 0, the class itself", {"1", "0xF5", "0", "", ""}, R::NoField, "01 02 20F5 2400",
        "class 0xF5 instance 0x00");
    row("class 0xFFFF", {"1", "65535", "1", "", ""}, R::NoField, "01 03 2100FFFF 2401", "class 0xFFFF instance 0x01");
    row("attribute 0xFFFF", {"14", "1", "1", "0xFFFF", ""}, R::NoField, "0E 04 2001 2401 3100FFFF",
        "class 0x01 instance 0x01 attribute 0xFFFF");
    row("service 0x80", {"0x80", "1", "1", "1", ""}, R::ServiceField);
    row("service empty", {"", "1", "1", "1", ""}, R::ServiceField);
    row("class 0x10000 is not CIP", {"1", "0x10000", "1", "", ""}, R::ClassField);
    row("class empty", {"1", "", "1", "", ""}, R::ClassField);
    row("class negative", {"1", "-1", "1", "", ""}, R::ClassField);
    row("instance 0x100000000", {"1", "1", "0x100000000", "", ""}, R::InstanceField);
    row("instance empty", {"1", "1", " ", "", ""}, R::InstanceField);
    row("attribute 0x10000 is not CIP", {"14", "1", "1", "0x10000", ""}, R::AttributeField);
    row("Get_Attribute_Single without attribute", {"0x0E", "1", "1", "", ""}, R::AttributeField);
    row("Set_Attribute_Single without attribute", {"0x10", "1", "1", "  ", "00"}, R::AttributeField);
    row("attribute not a number", {"1", "1", "1", "six", ""}, R::AttributeField);
    row("data odd", {"0x10", "1", "1", "1", "0 1 2"}, R::DataField);
    row("data not hex", {"0x10", "1", "1", "1", "zz"}, R::DataField);
    // The first wrong field is the one marked.
    row("class and data wrong", {"1", "x", "1", "", "zz"}, R::ClassField);
}

void tst_Enip::genericRequest()
{
    QFETCH(QStringList, fields);
    QFETCH(int, wrong);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);

    CIP::GenericRequest before;
    before.classId = 0x99;
    CIP::GenericRequest request = before;
    QString error;
    QCOMPARE(int(CIP::GenericRequest::parse(fields.at(0), fields.at(1), fields.at(2), fields.at(3), fields.at(4),
                                            &request, &error)),
             wrong);
    if (wrong != CIP::GenericRequest::NoField) {
        QVERIFY(request == before);
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY(error.isEmpty());
    QCOMPARE(request.bytes().toHex(), bytes.toHex());
    QCOMPARE(request.pathText(), path);
    // The request sent is the request parsed, byte for byte.
    CIP::MessageRouterRequest read;
    QVERIFY(read.deserialize(request.bytes()));
    QCOMPARE(read.service, request.service);
    QVERIFY(read.path == request.path());
    QCOMPARE(read.data.toHex(), request.data.toHex());
}

void tst_Enip::readings_data()
{
    QTest::addColumn<QByteArray>("data");
    // Each reading as text, "-" where it is absent; the REAL as its text
    // and whether it is a number.
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << "- - - - - - - -";
    QTest::newRow("one byte 0") << hex("00") << "0 - - - - - '' -";
    QTest::newRow("one byte 0xFF: SHORT_STRING overruns") << hex("FF") << "255 - - - - - - -";
    QTest::newRow("two bytes") << hex("3412") << "52 4660 - 4660 - - - -";
    QTest::newRow("negative INT") << hex("FEFF") << "254 65534 - -2 - - - -";
    QTest::newRow("three bytes, odd") << hex("0141 42") << "1 16641 - 16641 - - 'A' -";
    QTest::newRow("STRING of 0") << hex("0000") << "0 0 - 0 - - '' ''";
    QTest::newRow("STRING of 1") << hex("010041") << "1 1 - 1 - - '\\x00' 'A'";
    QTest::newRow("STRING overruns by one") << hex("030041 42") << "3 3 1111556099 3 1111556099 48.25001/1 '\\x00AB' -";
    QTest::newRow("negative DINT") << hex("FFFFFFFF") << "255 65535 4294967295 -1 -1 NaN/0 - -";
    QTest::newRow("DINT minimum") << hex("00000080") << "0 0 2147483648 0 -2147483648 0/1 '' ''";
    QTest::newRow("REAL 1.5") << hex("0000C03F") << "0 0 1069547520 0 1069547520 1.5/1 '' ''";
    QTest::newRow("REAL 0.1, shortest text") << hex("CDCCCC3D") << "205 52429 1036831949 -13107 1036831949 0.1/1 - -";
    // The shortest text of the smallest denormal is 1e-45, not 1.4e-45.
    QTest::newRow("smallest denormal REAL") << hex("01000000") << "1 1 1 1 1 1e-45/1 '\\x00' '\\x00'";
    QTest::newRow("largest denormal REAL") << hex("FFFF7F00") << "255 65535 8388607 -1 8388607 1.1754942e-38/1 - -";
    QTest::newRow("REAL infinity") << hex("0000807F") << "0 0 2139095040 0 2139095040 Infinity/0 '' ''";
    QTest::newRow("REAL minus infinity") << hex("000080FF") << "0 0 4286578688 0 -8388608 -Infinity/0 '' ''";
    QTest::newRow("REAL quiet NaN") << hex("0000C07F") << "0 0 2143289344 0 2143289344 NaN/0 '' ''";
    QTest::newRow("SHORT_STRING exactly filling") << hex("03414243")
                                                  << "3 16643 1128415491 16643 1128415491 "
                                                     "194.25395/1 'ABC' -";
    QTest::newRow("SHORT_STRING Latin-1") << hex("02E9FC") << "2 59650 - -5886 - - '\u00e9\u00fc' -";
    QTest::newRow("STRING after a UINT length, more data") << hex("0500") + QByteArray("hello") + hex("FF")
                                                           << "5 5 1701314565 5 1701314565 "
                                                              "6.8474337e+22/1 '\\x00hell' 'hello'";
}

void tst_Enip::readings()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);

    const CIP::Readings r = CIP::readings(data);
    const auto number = [](const auto &value) { return value ? QString::number(*value) : QStringLiteral("-"); };
    // Control characters as \xNN, so that a row shows where a length byte
    // went into a string.
    const auto text = [](const std::optional<QString> &value) {
        if (!value)
            return QStringLiteral("-");
        QString shown;
        for (const QChar c : *value)
            shown +=
                c.unicode() < 0x20 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')) : QString(c);
        return QLatin1Char('\'') + shown + QLatin1Char('\'');
    };
    const QString real =
        r.realValue ? r.realText + QLatin1Char('/') + QString::number(int(r.realFinite)) : QStringLiteral("-");
    const QStringList read = {number(r.usintValue), number(r.uintValue), number(r.udintValue),
                              number(r.intValue),   number(r.dintValue), real,
                              text(r.shortString),  text(r.string)};
    QCOMPARE(read.join(' '), expected);
    QCOMPARE(r.realText.isEmpty(), !r.realValue);
    // A finite REAL's text reads back to the very same value.
    if (r.realValue && r.realFinite)
        QCOMPARE(float(r.realText.toDouble()), *r.realValue);
}

void tst_Enip::hexDump_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("dump");

    QTest::newRow("empty") << QByteArray() << ""
                           << "";
    QTest::newRow("three bytes") << hex("01020A") << "01 02 0a"
                                 << "0000  01 02 0a" + QString(39, ' ') + "  ...\n";
    QTest::newRow("text") << QByteArray("Hi!~\x7f") << "48 69 21 7e 7f"
                          << "0000  48 69 21 7e 7f" + QString(33, ' ') + "  Hi!~.\n";
    const QByteArray seventeen = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f10");
    QTest::newRow("17 bytes, two lines") << seventeen << "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10"
                                         << "0000  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f  ................\n"
                                            "0010  10"
            + QString(45, ' ') + "  .\n";
}

void tst_Enip::hexDump()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    QFETCH(QString, dump);
    QCOMPARE(CIP::hexText(data), text);
    QCOMPARE(CIP::hexDump(data), dump);

    // 4096 bytes end on the offset 0ff0.
    const QStringList lines = CIP::hexDump(QByteArray(4096, 'a')).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 256);
    QVERIFY(lines.last().startsWith(QStringLiteral("0ff0  61 ")));
}

QTEST_APPLESS_MAIN(tst_Enip)

#include "tst_enip.moc"
