// The address server's wire format and its assignments: requests read
// (and refused) field by field, replies compared byte for byte with frames
// written out by hand, the checks an assignment must pass, and the
// assignments CSV.

#include "addressassignment.h"
#include "bootp.h"
#include "cardsettings.h"

#include <QHostAddress>
#include <QtTest>

using Bootp::DecodeError;
using Bootp::ReplyKind;

namespace {

quint32 ip(const char *dotted)
{
    return QHostAddress(QString::fromLatin1(dotted)).toIPv4Address();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const char Mac[] = "001d9cc7b070";

// A request: op 1, Ethernet, xid 12345678, secs 0x0102, the broadcast
// flag, chaddr 00:1D:9C:C7:B0:70; then the vendor area as given (for
// DHCP: the magic cookie and the options).
QByteArray request(const QByteArray &vendor, quint8 op = 1, quint8 htype = 1, quint8 hlen = 6)
{
    QByteArray bytes;
    bytes.append(char(op)).append(char(htype)).append(char(hlen)).append(char(0));
    bytes += hex("12345678 0102 8000");
    bytes += hex("00000000 00000000 00000000 00000000");
    bytes += hex(Mac) + QByteArray(10, '\0');
    bytes += QByteArray(64 + 128, '\0');
    return bytes + vendor;
}

QByteArray dhcp(const char *options)
{
    return request(hex("63825363") + hex(options));
}

AddressAssignment assigned(const char *mac, const char *address, int prefix = 24, const char *gateway = nullptr)
{
    AddressAssignment a;
    a.mac = AddressAssignments::parseMac(QString::fromLatin1(mac));
    a.address = ip(address);
    a.prefixLength = prefix;
    a.gateway = gateway ? ip(gateway) : 0;
    return a;
}

} // namespace

Q_DECLARE_METATYPE(Bootp::DecodeError)
Q_DECLARE_METATYPE(Bootp::ReplyKind)
Q_DECLARE_METATYPE(AddressAssignment)
Q_DECLARE_METATYPE(AssignmentProblem)

class TestBootp : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void fixedFields();
    void encode_data();
    void encode();
    void check_data();
    void check();
    void checkFields_data();
    void checkFields();
    void firstFreeAddress_data();
    void firstFreeAddress();
    void csv_data();
    void csv();
    void csvRoundTrip();
    void cardGateway_data();
    void cardGateway();
    void cardNameServers_data();
    void cardNameServers();
};

void TestBootp::decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<DecodeError>("error");
    QTest::addColumn<int>("messageType");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<QString>("vendorClass");
    QTest::addColumn<QString>("requested");
    QTest::addColumn<QString>("server");

    const DecodeError ok = DecodeError::None;
    QTest::newRow("BOOTP, empty vendor area") << request(QByteArray(64, '\0')) << ok << 0 << ""
                                              << ""
                                              << "0.0.0.0"
                                              << "0.0.0.0";
    QTest::newRow("BOOTP, cookie and end") << dhcp("ff") << ok << 0 << ""
                                           << ""
                                           << "0.0.0.0"
                                           << "0.0.0.0";
    QTest::newRow("DISCOVER, host name, vendor class")
        << dhcp("3501 01 0c05 7072657373 3c08 4d5346542035 2e30 ff") << ok << 1 << "press"
        << "MSFT 5.0"
        << "0.0.0.0"
        << "0.0.0.0";
    QTest::newRow("REQUEST, requested address and server")
        << dhcp("3501 03 3204 0ac90132 3604 0ac90101 ff") << ok << 3 << ""
        << ""
        << "10.201.1.50"
        << "10.201.1.1";
    QTest::newRow("pads around options, bytes after end")
        << dhcp("00 00 3501 01 00 0c02 6869 00 ff 0c02 7878") << ok << 1 << "hi"
        << ""
        << "0.0.0.0"
        << "0.0.0.0";
    QTest::newRow("repeated option joined") << dhcp("3501 08 0c03 616263 0c02 6465 ff") << ok << 8 << "abcde"
                                            << ""
                                            << "0.0.0.0"
                                            << "0.0.0.0";
    QTest::newRow("host name with NUL") << dhcp("3501 01 0c04 61626300 ff") << ok << 1 << "abc"
                                        << ""
                                        << "0.0.0.0"
                                        << "0.0.0.0";
    QTest::newRow("address options of 3 and 5 bytes") << dhcp("3501 03 3203 0ac901 3605 0ac9010101 ff") << ok << 3 << ""
                                                      << ""
                                                      << "0.0.0.0"
                                                      << "0.0.0.0";
    QTest::newRow("zero-length option") << dhcp("0c00 3501 07 ff") << ok << 7 << ""
                                        << ""
                                        << "0.0.0.0"
                                        << "0.0.0.0";
    QTest::newRow("htype 6, hlen 6") << request(hex("63825363 ff"), 1, 6, 6) << ok << 0 << ""
                                     << ""
                                     << "0.0.0.0"
                                     << "0.0.0.0";
    QTest::newRow("htype 32, hlen 16") << request(hex("63825363 ff"), 1, 32, 16) << ok << 0 << ""
                                       << ""
                                       << "0.0.0.0"
                                       << "0.0.0.0";

    const auto bad = [](const char *name, const QByteArray &datagram, DecodeError error) {
        QTest::newRow(name) << datagram << error << 0 << ""
                            << ""
                            << "0.0.0.0"
                            << "0.0.0.0";
    };
    bad("empty", QByteArray(), DecodeError::TooShort);
    bad("fixed part only", request(QByteArray()), DecodeError::TooShort);
    bad("239 bytes", request(hex("638253")), DecodeError::TooShort);
    bad("a reply", request(hex("63825363 ff"), 2), DecodeError::NotARequest);
    bad("htype 1, hlen 7", request(hex("63825363 ff"), 1, 1, 7), DecodeError::BadHardwareLength);
    bad("htype 1, hlen 0", request(hex("63825363 ff"), 1, 1, 0), DecodeError::BadHardwareLength);
    bad("hlen 17", request(hex("63825363 ff"), 1, 32, 17), DecodeError::BadHardwareLength);
    bad("wrong cookie before options", request(hex("63825364 3501 01 ff")), DecodeError::BadMagicCookie);
    bad("no cookie, vendor bytes", request(QByteArray(63, '\0') + '\x01'), DecodeError::BadMagicCookie);
    bad("cookie only", dhcp(""), DecodeError::NoEndOption);
    bad("no end option", dhcp("3501 01 0c02 6869"), DecodeError::NoEndOption);
    bad("pads, no end option", dhcp("3501 01 000000"), DecodeError::NoEndOption);
    bad("length past the end", dhcp("3501 01 0c05 6869ff"), DecodeError::OptionPastEnd);
    bad("overlong by one", dhcp("3501 01 0c03 6869"), DecodeError::OptionPastEnd);
    bad("code without length", dhcp("3501 01 0c"), DecodeError::OptionPastEnd);
    bad("overlong length 255", dhcp("0cff 00"), DecodeError::OptionPastEnd);
    bad("message type empty", dhcp("3500 ff"), DecodeError::BadMessageType);
    bad("message type two bytes", dhcp("3502 0101 ff"), DecodeError::BadMessageType);
    bad("message type repeated", dhcp("3501 01 3501 03 ff"), DecodeError::BadMessageType);
}

void TestBootp::decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(DecodeError, error);

    Bootp::Message message;
    QCOMPARE(Bootp::decodeRequest(datagram, &message), error);
    if (error != DecodeError::None)
        return;
    QTEST(int(message.messageType()), "messageType");
    QTEST(message.hostName(), "hostName");
    QTEST(message.vendorClass(), "vendorClass");
    QTEST(QHostAddress(message.requestedAddress()).toString(), "requested");
    QTEST(QHostAddress(message.serverIdentifier()).toString(), "server");
}

void TestBootp::fixedFields()
{
    QByteArray datagram = dhcp("3501 01 ff");
    // Values whose bytes all differ, so that a byte-order slip shows.
    datagram.replace(3, 25, hex("05 a1b2c3d4 0102 8001 0a000001 0a000002 0a000003 0a000004"));
    Bootp::Message message;
    QCOMPARE(Bootp::decodeRequest(datagram, &message), DecodeError::None);
    QCOMPARE(message.hops, quint8(5));
    QCOMPARE(message.xid, 0xa1b2c3d4u);
    QCOMPARE(message.secs, quint16(0x0102));
    QCOMPARE(message.flags, quint16(0x8001));
    QCOMPARE(message.ciaddr, ip("10.0.0.1"));
    QCOMPARE(message.yiaddr, ip("10.0.0.2"));
    QCOMPARE(message.siaddr, ip("10.0.0.3"));
    QCOMPARE(message.giaddr, ip("10.0.0.4"));
    QCOMPARE(message.hardwareAddress(), hex(Mac));
    QCOMPARE(message.chaddr.size(), 16);
    QVERIFY(message.hasMagicCookie);

    QVERIFY(Bootp::decodeRequest(request(QByteArray(64, '\0'), 1, 6, 4), &message) == DecodeError::None);
    QCOMPARE(message.hardwareAddress(), hex("001d9cc7"));
    QVERIFY(!message.hasMagicCookie);
}

void TestBootp::encode_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("withOptions");
    QTest::addColumn<QByteArray>("expected");

    // op 2, htype/hlen copied, hops 0, xid copied, secs 0, flags copied,
    // ciaddr, yiaddr, siaddr, giaddr, chaddr; sname and file empty.
    const auto frame = [](const char *flags, const char *ciaddr, const char *yiaddr, const char *siaddr,
                          const char *options) {
        QByteArray bytes = hex("02010600 12345678 0000") + hex(flags) + hex(ciaddr) + hex(yiaddr) + hex(siaddr)
            + hex("00000000") + hex(Mac) + QByteArray(10 + 64 + 128, '\0') + hex("63825363") + hex(options);
        return bytes + QByteArray(300 - bytes.size(), '\0');
    };
    const QByteArray discover = dhcp("3501 01 ff");
    QByteArray unicastRequest = dhcp("3501 03 ff");
    unicastRequest.replace(10, 6, hex("0000 0ac90132"));
    const char *dns = "0608 0ac90135 0ac90136";
    const char *name = "0c07 70726573732d31";

    QTest::newRow("BOOTP reply")
        << request(QByteArray(64, '\0')) << int(ReplyKind::BootpReply) << true
        << frame("8000", "00000000", "0ac90132", "0ac90101",
                 (QByteArray("0104 ffffff00 0304 0ac901fe ") + dns + " " + name + " ff").constData());
    QTest::newRow("BOOTP reply, mask only") << request(QByteArray(64, '\0')) << int(ReplyKind::BootpReply) << false
                                            << frame("8000", "00000000", "0ac90132", "0ac90101", "0104 ffffff00 ff");
    QTest::newRow("OFFER") << discover << int(ReplyKind::Offer) << true
                           << frame("8000", "00000000", "0ac90132", "0ac90101",
                                    (QByteArray("3501 02 3604 0ac90101 3304 ffffffff 0104 ffffff00 0304 0ac901fe ")
                                     + dns + " " + name + " ff")
                                        .constData());
    QTest::newRow("ACK") << discover << int(ReplyKind::Ack) << false
                         << frame("8000", "00000000", "0ac90132", "0ac90101",
                                  "3501 05 3604 0ac90101 3304 ffffffff 0104 ffffff00 ff");
    QTest::newRow("ACK, unicast, ciaddr kept")
        << unicastRequest << int(ReplyKind::Ack) << false
        << frame("0000", "0ac90132", "0ac90132", "0ac90101", "3501 05 3604 0ac90101 3304 ffffffff 0104 ffffff00 ff");
    QTest::newRow("NAK") << unicastRequest << int(ReplyKind::Nak) << true
                         << frame("0000", "00000000", "00000000", "00000000", "3501 06 3604 0ac90101 ff");
    QTest::newRow("INFORM ACK") << unicastRequest << int(ReplyKind::InformAck) << false
                                << frame("0000", "0ac90132", "00000000", "0ac90101",
                                         "3501 05 3604 0ac90101 0104 ffffff00 ff");
}

void TestBootp::encode()
{
    QFETCH(QByteArray, request);
    QFETCH(int, kind);
    QFETCH(bool, withOptions);
    QFETCH(QByteArray, expected);

    Bootp::Message message;
    QCOMPARE(Bootp::decodeRequest(request, &message), DecodeError::None);
    Bootp::ReplyParameters parameters;
    parameters.yourAddress = ip("10.201.1.50");
    parameters.serverAddress = ip("10.201.1.1");
    parameters.prefixLength = 24;
    if (withOptions) {
        parameters.gateway = ip("10.201.1.254");
        parameters.nameServers = {ip("10.201.1.53"), ip("10.201.1.54")};
        parameters.hostName = QStringLiteral("press-1");
    }
    const QByteArray reply = Bootp::encodeReply(message, ReplyKind(kind), parameters);
    QCOMPARE(reply.toHex(' '), expected.toHex(' '));
}

void TestBootp::check_data()
{
    QTest::addColumn<AddressAssignment>("assignment");
    QTest::addColumn<AssignmentProblem>("problem");

    QTest::newRow("host of the card's subnet")
        << assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 24, "10.201.1.254") << AssignmentProblem::None;
    QTest::newRow("in the card's second subnet")
        << assigned("00:1d:9c:c7:b0:70", "10.201.9.7") << AssignmentProblem::None;
    QTest::newRow("first host") << assigned("00:1d:9c:c7:b0:70", "10.201.1.2") << AssignmentProblem::None;
    QTest::newRow("another subnet") << assigned("00:1d:9c:c7:b0:70", "10.201.2.50")
                                    << AssignmentProblem::NotInCardSubnet;
    QTest::newRow("the card's address") << assigned("00:1d:9c:c7:b0:70", "10.201.1.1")
                                        << AssignmentProblem::CardAddress;
    QTest::newRow("network address") << assigned("00:1d:9c:c7:b0:70", "10.201.1.0")
                                     << AssignmentProblem::NetworkAddress;
    QTest::newRow("broadcast address") << assigned("00:1d:9c:c7:b0:70", "10.201.1.255")
                                       << AssignmentProblem::BroadcastAddress;
    QTest::newRow("another MAC's address")
        << assigned("00:1d:9c:c7:b0:71", "10.201.1.60") << AssignmentProblem::AssignedElsewhere;
    QTest::newRow("own earlier assignment") << assigned("00:1d:9c:c7:b0:72", "10.201.1.70") << AssignmentProblem::None;
    QTest::newRow("a listed device's address")
        << assigned("00:1d:9c:c7:b0:70", "10.201.1.80") << AssignmentProblem::ListedDevice;
    QTest::newRow("listed and another MAC's: the error first")
        << assigned("00:1d:9c:c7:b0:70", "10.201.1.90") << AssignmentProblem::AssignedElsewhere;
    QTest::newRow("no MAC") << assigned("00:1d:9c", "10.201.1.50") << AssignmentProblem::BadMac;
    QTest::newRow("prefix 31") << assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 31) << AssignmentProblem::BadPrefix;
    QTest::newRow("prefix 0") << assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 0) << AssignmentProblem::BadPrefix;
    QTest::newRow("gateway in another subnet")
        << assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 24, "10.201.2.254") << AssignmentProblem::BadGateway;
    QTest::newRow("gateway is the address")
        << assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 24, "10.201.1.50") << AssignmentProblem::BadGateway;
    QTest::newRow("gateway is the broadcast")
        << assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 24, "10.201.1.255") << AssignmentProblem::BadGateway;
    AddressAssignment threeServers = assigned("00:1d:9c:c7:b0:70", "10.201.1.50");
    threeServers.nameServers = {1, 2, 3};
    QTest::newRow("three name servers") << threeServers << AssignmentProblem::TooManyNameServers;
    AddressAssignment badName = assigned("00:1d:9c:c7:b0:70", "10.201.1.50");
    badName.hostName = QStringLiteral("press 1");
    QTest::newRow("host name with a space") << badName << AssignmentProblem::BadHostName;
    badName.hostName = QString(64, QLatin1Char('a'));
    QTest::newRow("host name of 64") << badName << AssignmentProblem::BadHostName;
}

void TestBootp::check()
{
    QFETCH(AddressAssignment, assignment);
    QFETCH(AssignmentProblem, problem);

    const QVector<Ipv4Subnet> card{{ip("10.201.1.1"), 24}, {ip("10.201.9.1"), 24}};
    const QVector<AddressAssignment> others{assigned("00:1d:9c:c7:b0:11", "10.201.1.60"),
                                            assigned("00:1d:9c:c7:b0:72", "10.201.1.70"),
                                            assigned("00:1d:9c:c7:b0:12", "10.201.1.90")};
    const QSet<quint32> listed{ip("10.201.1.80"), ip("10.201.1.90")};
    const AssignmentCheck result = AddressAssignments::check(assignment, card, others, listed);
    QCOMPARE(result.problem, problem);
    QCOMPARE(result.text.isEmpty(), problem == AssignmentProblem::None);
    QCOMPARE(result.isWarning(), problem == AssignmentProblem::ListedDevice);
}

void TestBootp::checkFields_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("prefix");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("nameServers");
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<bool>("override");
    QTest::addColumn<QString>("check"); // the start of the text shown
    QTest::addColumn<bool>("okEnabled");

    const auto row = [](const char *tag, const char *address, const char *gateway = "",
                        const char *servers = "") -> QTestData & {
        return QTest::newRow(tag) << address << 24 << gateway << servers << QString();
    };
    row("free address", "10.201.1.20", "10.201.1.254", "10.201.1.53 10.201.1.54") << false << "" << true;
    row("the same MAC's own address again", "10.201.1.60") << false << "" << true;
    row("not four numbers", "10.201.1") << false << "Give the address as four numbers" << false;
    row("empty", "") << false << "Give the address as four numbers" << false;
    row("IPv6", "fe80::1") << false << "Give the address as four numbers" << false;
    row("hexadecimal", "0x0a.201.1.20") << false << "Give the address as four numbers" << false;
    row("other subnet", "10.202.1.5") << false << "10.202.1.5 is in no subnet" << false;
    row("the card's own", "10.201.1.1") << false << "10.201.1.1 is the card's own address." << false;
    row("network address", "10.201.1.0") << false << "10.201.1.0 is the subnet's network address." << false;
    row("broadcast address", "10.201.1.255") << false << "10.201.1.255 is the subnet's broadcast address." << false;
    row("another MAC's", "10.201.1.61") << false << "10.201.1.61 is assigned to 02:AA:00:00:00:09 already." << false;
    row("a listed device's", "10.201.1.70") << false << "A device in the list has the address 10.201.1.70." << false;
    row("a listed device's, overridden", "10.201.1.70") << true << "A device in the list has the address" << true;
    row("gateway not an address", "10.201.1.20", "router") << false << "The gateway \"router\" is no IPv4" << false;
    row("gateway outside", "10.201.1.20", "10.9.9.9") << false << "" << false;
    row("name server not an address", "10.201.1.20", "", "10.201.1.53 dns")
        << false << "The name server \"dns\"" << false;
    row("three name servers", "10.201.1.20", "", "10.0.0.1, 10.0.0.2 10.0.0.3") << false << "" << false;
    QTest::newRow("bad host name") << "10.201.1.20" << 24 << ""
                                   << ""
                                   << "press 1!" << false << "" << false;
    QTest::newRow("other prefix, same subnet") << "10.201.1.20" << 25 << ""
                                               << ""
                                               << "press-1" << false << "" << true;
}

void TestBootp::checkFields()
{
    QFETCH(QString, address);
    QFETCH(int, prefix);
    QFETCH(QString, gateway);
    QFETCH(QString, nameServers);
    QFETCH(QString, hostName);
    QFETCH(bool, override);
    QFETCH(QString, check);
    QFETCH(bool, okEnabled);

    const QByteArray mac = AddressAssignments::parseMac("02:aa:00:00:00:01");
    AddressAssignment own{mac, ip("10.201.1.60"), 24, 0, {}, QString()};
    AddressAssignment other{AddressAssignments::parseMac("02:aa:00:00:00:09"), ip("10.201.1.61"), 24, 0, {}, {}};
    const AssignmentFields fields{address, prefix, gateway, nameServers, hostName};
    const AssignmentCheck result = AddressAssignments::checkFields(mac, fields, {Ipv4Subnet{ip("10.201.1.1"), 24}},
                                                                   {own, other}, {ip("10.201.1.70")});

    QVERIFY2(check.isEmpty() ? result.text.isEmpty() == okEnabled : result.text.startsWith(check),
             qPrintable(result.text));
    QCOMPARE(result.acceptable(override), okEnabled);
    if (okEnabled) {
        const AddressAssignment made = AddressAssignments::fromFields(mac, fields);
        QCOMPARE(made.mac, mac);
        QCOMPARE(QHostAddress(made.address).toString(), address);
        QCOMPARE(made.prefixLength, prefix);
        QCOMPARE(made.nameServers.size(), nameServers.isEmpty() ? 0 : 2);
    }
}

void TestBootp::firstFreeAddress_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QStringList>("taken"); // assigned to other MACs
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("free");

    QTest::newRow("after the card") << "10.201.1.1/24" << QStringList() << QStringList() << "10.201.1.2";
    // A listed device's address is only a warning, but never suggested.
    QTest::newRow("past assigned and listed")
        << "10.201.1.1/24" << QStringList{"10.201.1.2", "10.201.1.4"} << QStringList{"10.201.1.3"} << "10.201.1.5";
    QTest::newRow("card in the middle") << "10.9.0.77/16" << QStringList() << QStringList() << "10.9.0.1";
    QTest::newRow("a /30 that is full") << "10.5.5.1/30" << QStringList{"10.5.5.2"} << QStringList() << "0.0.0.0";
    QTest::newRow("a /31 holds nothing") << "10.5.5.0/31" << QStringList() << QStringList() << "0.0.0.0";
}

void TestBootp::firstFreeAddress()
{
    QFETCH(QString, card);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, listed);

    const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(card);
    const Ipv4Subnet cardAddress{QHostAddress(card.section('/', 0, 0)).toIPv4Address(), subnet.second};
    QVector<AddressAssignment> others;
    int n = 0;
    for (const QString &address : taken) {
        const QByteArray mac = QByteArray::fromHex("02bb000000") + char(++n);
        others.append({mac, QHostAddress(address).toIPv4Address(), subnet.second, 0, {}, {}});
    }
    QSet<quint32> listedSet;
    for (const QString &address : listed)
        listedSet.insert(QHostAddress(address).toIPv4Address());
    const quint32 free =
        AddressAssignments::firstFreeAddress(QByteArray::fromHex("02aa00000001"), {cardAddress}, others, listedSet);
    QTEST(QHostAddress(free).toString(), "free");
}

void TestBootp::csv_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("error");

    const QByteArray header = "mac_address,ip_address,prefix,gateway,dns,host_name";
    QTest::newRow("full row, LF") << header
            + "\n00:1d:9c:c7:b0:70,10.201.1.50,24,10.201.1.254,"
              "10.201.1.53 10.201.1.54,press-1\n"
                                  << QStringList("00:1D:9C:C7:B0:70 10.201.1.50/24 gw 10.201.1.254 "
                                                 "dns 10.201.1.53,10.201.1.54 name press-1")
                                  << "";
    QTest::newRow("BOM, CRLF, dashes, empty fields")
        << "\xEF\xBB\xBF" + header + "\r\n00-1D-9c-c7-B0-71,10.201.1.51,16,,,\r\n\r\n"
        << QStringList("00:1D:9C:C7:B0:71 10.201.1.51/16 gw 0.0.0.0 dns  name ") << "";
    QTest::newRow("three fields, no line end")
        << header + "\n00:1d:9c:c7:b0:70,10.201.1.50,24"
        << QStringList("00:1D:9C:C7:B0:70 10.201.1.50/24 gw 0.0.0.0 dns  name ") << "";
    // Decimal, as typed: not 8.201.1.8, as an octal reading would make it.
    QTest::newRow("leading zeros") << header + "\n00:1d:9c:c7:b0:70,010.201.001.010,24,010.201.1.1\n"
                                   << QStringList("00:1D:9C:C7:B0:70 10.201.1.10/24 gw 10.201.1.1 dns  name ") << "";
    QTest::newRow("header only") << header + "\r\n" << QStringList() << "";
    QTest::newRow("empty file") << QByteArray() << QStringList() << "Line 1";
    QTest::newRow("wrong header") << QByteArray("mac,ip,prefix\n") << QStringList() << "Line 1";
    const auto bad = [&header](const char *name, const QByteArray &row, const char *line) {
        QTest::newRow(name) << header + "\n00:1d:9c:c7:b0:10,10.201.1.10,24\n" + row + "\n"
                            << QStringList() << QString::fromLatin1(line);
    };
    bad("MAC missing", ",10.201.1.50,24", "Line 3");
    bad("MAC of five bytes", "00:1d:9c:c7:b0,10.201.1.50,24", "Line 3");
    bad("MAC with mixed separators", "00:1d-9c:c7:b0:70,10.201.1.50,24", "Line 3");
    bad("address missing", "00:1d:9c:c7:b0:70,,24", "Line 3");
    bad("address short", "00:1d:9c:c7:b0:70,10.201.1,24", "Line 3");
    bad("prefix missing", "00:1d:9c:c7:b0:70,10.201.1.50,", "Line 3");
    bad("prefix 33", "00:1d:9c:c7:b0:70,10.201.1.50,33", "Line 3");
    bad("two fields", "00:1d:9c:c7:b0:70,10.201.1.50", "Line 3");
    bad("seven fields", "00:1d:9c:c7:b0:70,10.201.1.50,24,,,,x", "Line 3");
    bad("bad gateway", "00:1d:9c:c7:b0:70,10.201.1.50,24,10.201.2.1", "Line 3");
    bad("three name servers", "00:1d:9c:c7:b0:70,10.201.1.50,24,,10.0.0.1 10.0.0.2 10.0.0.3", "Line 3");
    bad("bad name server", "00:1d:9c:c7:b0:70,10.201.1.50,24,,10.0.0.x", "Line 3");
    bad("hexadecimal address", "00:1d:9c:c7:b0:70,0x0a.201.1.50,24", "Line 3");
    bad("bad host name", "00:1d:9c:c7:b0:70,10.201.1.50,24,,,press_1", "Line 3");
    bad("MAC twice", "00-1D-9C-C7-B0-10,10.201.1.11,24", "Line 3");
    bad("address twice", "00:1d:9c:c7:b0:70,10.201.1.10,24", "Line 3");
    QTest::newRow("line number counts blank lines") << header + "\n\n\r\nxx,10.201.1.10,24\n"
                                                    << QStringList() << "Line 4";
}

void TestBootp::csv()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, rows);
    QFETCH(QString, error);

    QVector<AddressAssignment> assignments{assigned("00:00:00:00:00:01", "10.0.0.1")};
    QString message;
    QCOMPARE(AddressAssignments::fromCsv(file, &assignments, &message), error.isEmpty());
    if (!error.isEmpty()) {
        QVERIFY2(message.startsWith(error + QLatin1Char(':')), qPrintable(message));
        QVERIFY(assignments.isEmpty());
        return;
    }
    QStringList read;
    for (const AddressAssignment &a : qAsConst(assignments)) {
        QStringList servers;
        for (const quint32 server : a.nameServers)
            servers.append(QHostAddress(server).toString());
        read.append(QStringLiteral("%1 %2/%3 gw %4 dns %5 name %6")
                        .arg(AddressAssignments::macText(a.mac), QHostAddress(a.address).toString())
                        .arg(a.prefixLength)
                        .arg(QHostAddress(a.gateway).toString(), servers.join(','), a.hostName));
    }
    QCOMPARE(read, rows);
}

void TestBootp::csvRoundTrip()
{
    AddressAssignment full = assigned("00:1d:9c:c7:b0:70", "10.201.1.50", 24, "10.201.1.254");
    full.nameServers = {ip("10.201.1.53"), ip("10.201.1.54")};
    full.hostName = QStringLiteral("press-1");
    const QVector<AddressAssignment> saved{full, assigned("02:00:00:00:00:ff", "192.168.7.9", 20)};
    const QByteArray file = AddressAssignments::toCsv(saved);
    QVERIFY(file.startsWith("\xEF\xBB\xBFmac_address,ip_address,prefix,gateway,dns,host_name\r\n"));
    QVERIFY(file.endsWith("02:00:00:00:00:FF,192.168.7.9,20,,,\r\n"));
    QVector<AddressAssignment> loaded;
    QString error;
    QVERIFY2(AddressAssignments::fromCsv(file, &loaded, &error), qPrintable(error));
    QCOMPARE(loaded, saved);
}

void TestBootp::cardGateway_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("gateway");

    const QByteArray header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const QByteArray table = header
        + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
          "eth1\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
          "eth1\t0000100A\tFE01100A\t0003\t0\t0\t0\t0000FFFF\t0\t0\t0\n";
    // The kernel's words are in network order, printed as the host reads
    // them: a byte-order slip shows as 1.1.168.192.
    QTest::newRow("default route of the card") << table << "eth1"
                                               << "192.168.1.1";
    QTest::newRow("card without one") << table << "eth0"
                                      << "0.0.0.0";
    QTest::newRow("card not in the table") << table << "eth9"
                                           << "0.0.0.0";
    QTest::newRow("name that starts another") << table << "eth"
                                              << "0.0.0.0";
    QTest::newRow("header only") << header << "eth1"
                                 << "0.0.0.0";
    QTest::newRow("cut line") << header + "eth1\t00000000\t0101A8C0\n"
                              << "eth1"
                              << "0.0.0.0";
    QTest::newRow("not hex") << header + "eth1\t00000000\tzz01A8C0\t0003\t0\t0\t0\t00000000\n"
                             << "eth1"
                             << "0.0.0.0";
    QTest::newRow("empty") << QByteArray() << "eth1"
                           << "0.0.0.0";
}

void TestBootp::cardGateway()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, card);
    QTEST(QHostAddress(CardSettings::gatewayFromRouteTable(table, card)).toString(), "gateway");
}

void TestBootp::cardNameServers_data()
{
    QTest::addColumn<QByteArray>("resolvConf");
    QTest::addColumn<QString>("servers");

    QTest::newRow("two of three") << QByteArray("# comment\nsearch plant.example\nnameserver 10.0.0.53\n"
                                                "nameserver\t10.0.0.54 \nnameserver 10.0.0.55\n")
                                  << "10.0.0.53 10.0.0.54";
    // systemd-resolved's stub is of no use to a device.
    QTest::newRow("local resolver left out")
        << QByteArray("nameserver 127.0.0.53\nnameserver 10.1.1.1\n") << "10.1.1.1";
    QTest::newRow("IPv6 and junk left out")
        << QByteArray("nameserver fe80::1\nnameserver 10.1\nnameserver\nnameservers 10.2.2.2\nnameserver 10.3.3.3")
        << "10.3.3.3";
    QTest::newRow("hexadecimal left out, zeros decimal")
        << QByteArray("nameserver 0x0a.0.0.1\nnameserver 010.000.000.053\n") << "10.0.0.53";
    QTest::newRow("none") << QByteArray("options edns0\n") << "";
}

void TestBootp::cardNameServers()
{
    QFETCH(QByteArray, resolvConf);
    QStringList servers;
    for (const quint32 server : CardSettings::nameServersFromResolvConf(resolvConf))
        servers.append(QHostAddress(server).toString());
    QTEST(servers.join(' '), "servers");
}

QTEST_APPLESS_MAIN(TestBootp)
#include "tst_bootp.moc"
