// The address server over real UDP, run by tests/rig/rig.sh in a network
// namespace of its own with the links
//   rp1: 10.201.1.1/24   (the device side rd1 is 10.201.1.254)
//   rp2: 10.202.1.1/24   (rd2 is 10.202.1.254)
// and a default route through rp1, so that a reply that follows the routing
// table instead of its card never reaches a client behind rp2. The clients
// are tests/rig/addressclients.py, in the device namespace.

#include "addressserver.h"
#include "rigsupport.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

quint32 ip(const char *dotted)
{
    return QHostAddress(QString::fromLatin1(dotted)).toIPv4Address();
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray macBytes(const char *text)
{
    return AddressAssignments::parseMac(QString::fromLatin1(text));
}

AddressAssignment assigned(const char *mac, const char *address, const char *gateway = nullptr)
{
    AddressAssignment a;
    a.mac = macBytes(mac);
    a.address = ip(address);
    a.prefixLength = 24;
    a.gateway = gateway ? ip(gateway) : 0;
    return a;
}

struct ClientSpec
{
    QString mac;
    QString ifname;
    QString protocol; // "dhcp" or "bootp"
    QString hostName;
};

struct Reply
{
    QString ifname;
    QString src;
    int sport = 0;
    QString dst;
    QByteArray data;
};

struct ClientResult
{
    int sent = 0;
    QString state;
    QList<Reply> replies;
};

// The simulated clients, run by addressclients.py in the device namespace
// for as long as this object lives (or until stop()).
class Clients
{
public:
    ~Clients() { stop(); }

    bool start(const QList<ClientSpec> &clients)
    {
        QJsonArray list;
        for (const ClientSpec &c : clients)
            list.append(
                QJsonObject{{"mac", c.mac}, {"ifname", c.ifname}, {"protocol", c.protocol}, {"host_name", c.hostName}});
        const QString script =
            QFileInfo(qEnvironmentVariable("RIG_DEVICES_PY")).absolutePath() + QStringLiteral("/addressclients.py");
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("ip"), {"netns", "exec", Rig::devNs(), "python3", script, "-"});
        if (!process.waitForStarted(10000))
            return false;
        running = true;
        process.write(
            QJsonDocument(QJsonObject{{"clients", list}, {"retransmit_ms", 200}}).toJson(QJsonDocument::Compact)
            + '\n');
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(20000))
                return false;
        }
        return QJsonDocument::fromJson(process.readLine()).object().value("ready").toBool();
    }

    bool stop()
    {
        if (!running)
            return false;
        running = false;
        process.closeWriteChannel();
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        const QJsonObject done = QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object();
        const QJsonObject clients = done.value("clients").toObject();
        for (auto it = clients.begin(); it != clients.end(); ++it) {
            const QJsonObject c = it.value().toObject();
            ClientResult result{c.value("sent").toInt(), c.value("state").toString(), {}};
            const QJsonArray replies = c.value("replies").toArray();
            for (const QJsonValue &value : replies) {
                const QJsonObject r = value.toObject();
                result.replies.append({r.value("ifname").toString(), r.value("src").toString(),
                                       r.value("sport").toInt(), r.value("dst").toString(),
                                       QByteArray::fromHex(r.value("hex").toString().toLatin1())});
            }
            results.insert(it.key(), result);
        }
        return done.value("done").toBool() && process.exitCode() == 0;
    }

    QHash<QString, ClientResult> results;

private:
    QProcess process;
    bool running = false;
};

// The options of a reply, read here without the program's decoder.
QMap<int, QByteArray> replyOptions(const QByteArray &reply)
{
    QMap<int, QByteArray> options;
    if (reply.size() < 240 || reply.mid(236, 4) != hex("63825363"))
        return options;
    for (int at = 240; at + 1 < reply.size() && quint8(reply.at(at)) != 255;) {
        const int code = quint8(reply.at(at));
        if (code == 0) {
            ++at;
            continue;
        }
        const int length = quint8(reply.at(at + 1));
        options.insert(code, reply.mid(at + 2, length));
        at += 2 + length;
    }
    return options;
}

QString field(const QByteArray &reply, int offset)
{
    return QHostAddress(qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(reply.constData()) + offset))
        .toString();
}

QString optionAddresses(const QByteArray &value)
{
    QStringList addresses;
    for (int at = 0; at + 4 <= value.size(); at += 4)
        addresses.append(field(value, at));
    return addresses.join(' ');
}

// A request from the test itself, sent from the device side's address
// straight to the server: op 1, Ethernet, xid 0x0a0b0c0d, chaddr mac, the
// given ciaddr and giaddr, the cookie and the options.
QByteArray request(const QByteArray &mac, const char *options, quint32 ciaddr = 0, quint32 giaddr = 0)
{
    QByteArray bytes = hex("01010600 0a0b0c0d 0000 0000");
    QByteArray addresses(16, '\0');
    qToBigEndian(ciaddr, reinterpret_cast<uchar *>(addresses.data()));
    qToBigEndian(giaddr, reinterpret_cast<uchar *>(addresses.data()) + 12);
    bytes += addresses + mac + QByteArray(10 + 192, '\0') + hex("63825363") + hex(options);
    return bytes + QByteArray(qMax(0, 300 - bytes.size()), '\0');
}

// Turns CAP_NET_BIND_SERVICE on or off in the effective set of this
// process; off, binding a port below 1024 fails as for an ordinary user,
// and the permitted set lets it come back on.
bool setBindCapability(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const int word = CAP_NET_BIND_SERVICE / 32;
    const quint32 bit = 1u << (CAP_NET_BIND_SERVICE % 32);
    if (on)
        data[word].effective |= bit;
    else
        data[word].effective &= ~bit;
    return syscall(SYS_capset, &header, data) == 0;
}

int unprivilegedPortStart()
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 1024;
}

} // namespace

Q_DECLARE_METATYPE(QAbstractSocket::BindMode)

class TestAddressServerRig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void answersOnlyAssigned();
    void messages_data();
    void messages();
    void listHoldsAtMost1024();
    void portTaken_data();
    void portTaken();
    void withoutPrivilege();
    void command_data();
    void command();

private:
    std::unique_ptr<Rig::LogCapture> log;
};

void TestAddressServerRig::initTestCase()
{
    if (!Rig::inRig())
        QSKIP("runs inside tests/rig/rig.sh (ctest starts it there)");
    QCOMPARE(Rig::links().size(), 2);
    QVERIFY(Rig::ip({"route", "add", "default", "via", "10.201.1.254", "dev", "rp1"}));
    log = std::make_unique<Rig::LogCapture>();
}

void TestAddressServerRig::init()
{
    Rig::LogCapture::clear();
}

void TestAddressServerRig::answersOnlyAssigned()
{
    AddressServer server;
    AddressAssignment press = assigned("02:aa:00:00:00:01", "10.201.1.50", "10.201.1.254");
    press.nameServers = {ip("10.201.1.53"), ip("10.201.1.54")};
    press.hostName = QStringLiteral("press-1");
    server.setAssignment(press);
    server.setAssignment(assigned("02:aa:00:00:00:02", "10.202.1.60"));
    server.setAssignment(assigned("02:aa:00:00:00:03", "10.202.1.61", "10.202.1.254"));
    // Assigned, but it asks through the other card.
    server.setAssignment(assigned("02:aa:00:00:00:06", "10.202.1.70"));
    QSignalSpy answered(&server, &AddressServer::answered);
    QVERIFY2(server.start(), qPrintable(server.errorString()));

    Clients clients;
    QVERIFY(clients.start({{"02:aa:00:00:00:01", "rd1", "dhcp", "asked-as-press"},
                           {"02:aa:00:00:00:02", "rd2", "bootp", ""},
                           {"02:aa:00:00:00:03", "rd2", "dhcp", ""},
                           {"02:aa:00:00:00:04", "rd1", "dhcp", "stranger"},
                           {"02:aa:00:00:00:05", "rd2", "bootp", ""},
                           {"02:aa:00:00:00:06", "rd1", "dhcp", ""}}));
    const auto state = [&server](const char *mac) {
        const AddressRequest *row = server.request(macBytes(mac));
        return row ? row->state : AddressRequest::State(-1);
    };
    const auto count = [&server](const char *mac) {
        const AddressRequest *row = server.request(macBytes(mac));
        return row ? row->count : 0;
    };
    using State = AddressRequest::State;
    QTRY_COMPARE_WITH_TIMEOUT(state("02:aa:00:00:00:01"), State::HasAddress, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(state("02:aa:00:00:00:02"), State::HasAddress, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(state("02:aa:00:00:00:03"), State::HasAddress, 10000);
    // Those not answered keep asking, as real clients do.
    QTRY_VERIFY_WITH_TIMEOUT(
        count("02:aa:00:00:00:04") >= 4 && count("02:aa:00:00:00:05") >= 4 && count("02:aa:00:00:00:06") >= 4, 10000);
    QVERIFY(clients.stop());

    // The DHCP client behind the first card: an OFFER and an ACK, each
    // with exactly the assignment, from the card's address.
    const ClientResult dhcp = clients.results.value("02:aa:00:00:00:01");
    QCOMPARE(dhcp.state, QString("bound"));
    QVERIFY(dhcp.replies.size() >= 2);
    for (const Reply &reply : dhcp.replies) {
        const QMap<int, QByteArray> options = replyOptions(reply.data);
        QCOMPARE(reply.ifname, QString("rd1"));
        QCOMPARE(reply.src, QString("10.201.1.1"));
        QCOMPARE(reply.sport, 67);
        QCOMPARE(reply.dst, QString("255.255.255.255"));
        QVERIFY(reply.data.size() >= 300);
        QCOMPARE(field(reply.data, 16), QString("10.201.1.50"));
        QCOMPARE(field(reply.data, 20), QString("10.201.1.1"));
        QCOMPARE(optionAddresses(options.value(54)), QString("10.201.1.1"));
        QCOMPARE(options.value(51).toHex(), QByteArray("ffffffff"));
        QCOMPARE(optionAddresses(options.value(1)), QString("255.255.255.0"));
        QCOMPARE(optionAddresses(options.value(3)), QString("10.201.1.254"));
        QCOMPARE(optionAddresses(options.value(6)), QString("10.201.1.53 10.201.1.54"));
        QCOMPARE(options.value(12), QByteArray("press-1"));
    }
    QCOMPARE(replyOptions(dhcp.replies.first().data).value(53), QByteArray(1, char(Bootp::Offer)));
    QCOMPARE(replyOptions(dhcp.replies.last().data).value(53), QByteArray(1, char(Bootp::Ack)));
    // Behind the second card, with the default route through the first.
    const ClientResult bootp = clients.results.value("02:aa:00:00:00:02");
    QCOMPARE(bootp.state, QString("bound"));
    QVERIFY(!bootp.replies.isEmpty());
    for (const Reply &reply : bootp.replies) {
        QCOMPARE(reply.ifname, QString("rd2"));
        QCOMPARE(reply.src, QString("10.202.1.1"));
        QCOMPARE(field(reply.data, 16), QString("10.202.1.60"));
        QCOMPARE(field(reply.data, 20), QString("10.202.1.1"));
        const QMap<int, QByteArray> options = replyOptions(reply.data);
        QCOMPARE(options.keys(), QList<int>{1});
        QCOMPARE(optionAddresses(options.value(1)), QString("255.255.255.0"));
    }
    const ClientResult second = clients.results.value("02:aa:00:00:00:03");
    QCOMPARE(second.state, QString("bound"));
    QVERIFY(second.replies.size() >= 2);
    QCOMPARE(second.replies.last().ifname, QString("rd2"));
    QCOMPARE(optionAddresses(replyOptions(second.replies.last().data).value(54)), QString("10.202.1.1"));
    QCOMPARE(optionAddresses(replyOptions(second.replies.last().data).value(3)), QString("10.202.1.254"));

    // Never an answer to whoever was not assigned, nor through a card
    // whose subnet does not hold the assignment.
    for (const char *mac : {"02:aa:00:00:00:04", "02:aa:00:00:00:05", "02:aa:00:00:00:06"}) {
        QVERIFY2(clients.results.value(mac).replies.isEmpty(), mac);
        QVERIFY(clients.results.value(mac).sent >= 4);
    }
    QCOMPARE(state("02:aa:00:00:00:04"), State::Asking);
    QCOMPARE(state("02:aa:00:00:00:05"), State::Asking);
    QCOMPARE(state("02:aa:00:00:00:06"), State::Ignored);
    const AddressRequest *stranger = server.request(macBytes("02:aa:00:00:00:04"));
    QCOMPARE(stranger->cardName, QString("rp1"));
    QCOMPARE(stranger->hostName, QString("stranger"));
    QVERIFY(stranger->dhcp);
    QCOMPARE(server.request(macBytes("02:aa:00:00:00:05"))->cardName, QString("rp2"));
    QVERIFY(!server.request(macBytes("02:aa:00:00:00:05"))->dhcp);
    for (const QList<QVariant> &signal : qAsConst(answered)) {
        const QByteArray mac = signal.at(0).value<AddressRequest>().mac;
        QVERIFY(server.assignment(mac) != nullptr);
    }

    // One log line per request and per answer.
    QVERIFY(Rig::LogCapture::count("AddressServer::priv_handleRequest : Request from \"02:AA:00:00:00:04\" , card = "
                                   "\"rp1\" , kind = DHCPDISCOVER")
            >= 4);
    QVERIFY(Rig::LogCapture::count("AddressServer::priv_handleRequest : Request from \"02:AA:00:00:00:05\" , card = "
                                   "\"rp2\" , kind = BOOTREQUEST")
            >= 4);
    QCOMPARE(Rig::LogCapture::count("AddressServer::priv_answer : DHCPACK to \"02:AA:00:00:00:01\" , ip = "
                                    "\"10.201.1.50\" , card = \"rp1\" , to = \"255.255.255.255\""),
             1);
}

void TestAddressServerRig::messages_data()
{
    // Each row: requests sent one after the other by the test itself (to
    // the server's address, from the device side's), then the row's state
    // and the replies the server sent, in order.
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("replies");

    using State = AddressRequest::State;
    const QByteArray mac = hex("02bb00000001");
    const QByteArray stranger = hex("02bb000000ff");
    const char *discover = "3501 01 ff";
    QTest::newRow("REQUEST for the assigned address")
        << QList<QByteArray>{request(mac, "3501 03 3204 0ac90132 3604 0ac90101 ff")} << int(State::HasAddress)
        << "DHCPACK";
    QTest::newRow("REQUEST for another address")
        << QList<QByteArray>{request(mac, "3501 03 3204 0ac90133 ff")} << int(State::Asking) << "DHCPNAK";
    QTest::newRow("REQUEST renewing the assigned address")
        << QList<QByteArray>{request(mac, "3501 03 ff", ip("10.201.1.50"))} << int(State::HasAddress) << "DHCPACK";
    QTest::newRow("REQUEST to another server")
        << QList<QByteArray>{request(mac, "3501 03 3204 0ac90132 3604 0ac90102 ff")} << int(State::Ignored) << "";
    QTest::newRow("DECLINE, then never offered again")
        << QList<QByteArray>{request(mac, "3501 04 3204 0ac90132 ff"), request(mac, discover)} << int(State::Declined)
        << "";
    QTest::newRow("RELEASE") << QList<QByteArray>{request(mac, discover), request(mac, "3501 07 ff", ip("10.201.1.50"))}
                             << int(State::Released) << "DHCPOFFER";
    QTest::newRow("INFORM") << QList<QByteArray>{request(mac, "3501 08 ff", ip("10.201.1.50"))} << int(State::Asking)
                            << "DHCPACK to DHCPINFORM";
    QTest::newRow("through a relay agent")
        << QList<QByteArray>{request(mac, discover, 0, ip("10.201.7.1"))} << int(State::Ignored) << "";
    QTest::newRow("OFFER sent to the server")
        << QList<QByteArray>{request(mac, "3501 02 ff")} << int(State::Ignored) << "";
    QTest::newRow("unassigned, every kind")
        << QList<QByteArray>{request(stranger, discover), request(stranger, "3501 03 3204 0ac90177 ff"),
                             request(stranger, "3501 08 ff", ip("10.201.1.77"))}
        << int(State::Asking) << "";
    QTest::newRow("malformed: not listed, not answered")
        << QList<QByteArray>{request(mac, "3501 01"), request(mac, "3502 0101 ff"), request(mac, discover).left(239)}
        << -1 << "";
}

void TestAddressServerRig::messages()
{
    QFETCH(QList<QByteArray>, requests);

    AddressServer server;
    server.setAssignment(assigned("02:bb:00:00:00:01", "10.201.1.50", "10.201.1.254"));
    QSignalSpy answered(&server, &AddressServer::answered);
    QSignalSpy changed(&server, &AddressServer::requestChanged);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    int decodable = 0;
    for (const QByteArray &datagram : qAsConst(requests)) {
        Bootp::Message message;
        decodable += Bootp::decodeRequest(datagram, &message) == Bootp::DecodeError::None ? 1 : 0;
        QVERIFY(Rig::sendFromDeviceSide("10.201.1.254", "10.201.1.1", 67, datagram));
        QTRY_COMPARE(changed.size(), decodable);
    }
    // Time for a wrong answer to show.
    QTest::qWait(100);
    QTRY_COMPARE(
        Rig::LogCapture::linesStartingWith("AddressServer::priv_handleRequest : Error: Malformed request").size(),
        requests.size() - decodable);

    QStringList replies;
    for (const QList<QVariant> &signal : qAsConst(answered)) {
        const auto kind = signal.at(1).value<Bootp::ReplyKind>();
        replies.append(kind == Bootp::ReplyKind::Offer           ? "DHCPOFFER"
                           : kind == Bootp::ReplyKind::Ack       ? "DHCPACK"
                           : kind == Bootp::ReplyKind::Nak       ? "DHCPNAK"
                           : kind == Bootp::ReplyKind::InformAck ? "DHCPACK to DHCPINFORM"
                                                                 : "BOOTREPLY");
    }
    QTEST(replies.join(','), "replies");
    const QVector<AddressRequest> rows = server.requests();
    QFETCH(int, state);
    if (state < 0) {
        QVERIFY(rows.isEmpty());
        return;
    }
    QCOMPARE(rows.size(), 1);
    QCOMPARE(int(rows.first().state), state);
    QCOMPARE(rows.first().count, requests.size());
    QCOMPARE(rows.first().cardName, QString("rp1"));
    if (QByteArray(QTest::currentDataTag()).startsWith("DECLINE")) {
        QVERIFY(server.isDeclined(hex("02bb00000001")));
        // Assigned anew, it is answered again.
        server.setAssignment(assigned("02:bb:00:00:00:01", "10.201.1.51"));
        QVERIFY(Rig::sendFromDeviceSide("10.201.1.254", "10.201.1.1", 67, requests.last()));
        QTRY_COMPARE(answered.size(), 1);
        QCOMPARE(server.request(hex("02bb00000001"))->state, AddressRequest::State::Offered);
        QCOMPARE(server.request(hex("02bb00000001"))->address, ip("10.201.1.51"));
    }
}

void TestAddressServerRig::listHoldsAtMost1024()
{
    AddressServer server;
    QSignalSpy removed(&server, &AddressServer::requestRemoved);
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QByteArray first = hex("02cc00000000");
    QVERIFY(Rig::sendFromDeviceSide("10.201.1.254", "10.201.1.1", 67, request(first, "3501 01 ff")));
    QTRY_VERIFY(server.request(first));
    QTest::qWait(20);
    // 1,024 further MACs, each asking twice, paced so that the socket's
    // receive buffer holds them: the one quiet for longest is the first,
    // and it alone goes.
    static const char script[] = "import socket, sys, time\n"
                                 "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                 "s.bind(('10.201.1.254', 0))\n"
                                 "base = bytes.fromhex(sys.argv[1])\n"
                                 "for repeat in range(2):\n"
                                 "    for i in range(1, 1025):\n"
                                 "        d = base[:28] + bytes([2, 0xcc, 0, 0, i >> 8, i & 255]) + base[34:]\n"
                                 "        s.sendto(d, ('10.201.1.1', 67))\n"
                                 "        if i % 32 == 0:\n"
                                 "            time.sleep(0.005)\n";
    // Sent while the event loop runs, so that the server reads as they come.
    QProcess sender;
    sender.setProcessChannelMode(QProcess::ForwardedChannels);
    sender.start(QStringLiteral("ip"),
                 {"netns", "exec", Rig::devNs(), "python3", "-c", script,
                  QString::fromLatin1(request(first, "3501 01 ff").toHex())});
    QTRY_COMPARE_WITH_TIMEOUT(server.request(hex("02cc00000400")) ? server.request(hex("02cc00000400"))->count : 0, 2,
                              10000);
    QCOMPARE(server.requests().size(), AddressServer::MaxRequests);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.first().first().toByteArray(), first);
    QVERIFY(!server.request(first));
    QCOMPARE(server.request(hex("02cc00000001"))->count, 2);
    // It may have ended already, while the event loop ran.
    QVERIFY(sender.state() == QProcess::NotRunning || sender.waitForFinished(10000));
    QCOMPARE(sender.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sender.exitCode(), 0);
}

void TestAddressServerRig::portTaken_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QAbstractSocket::BindMode>("mode");

    QTest::newRow("any, not shared") << "0.0.0.0" << QAbstractSocket::BindMode(QAbstractSocket::DontShareAddress);
    QTest::newRow("any, shared") << "0.0.0.0" << QAbstractSocket::BindMode(QAbstractSocket::ShareAddress);
    QTest::newRow("card address, shared")
        << "10.201.1.1" << QAbstractSocket::BindMode(QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
}

void TestAddressServerRig::portTaken()
{
    QFETCH(QString, address);
    QFETCH(QAbstractSocket::BindMode, mode);

    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress(address), AddressServer::ServerPort, mode));
    AddressServer server;
    QSignalSpy running(&server, &AddressServer::runningChanged);
    QVERIFY(!server.start());
    QVERIFY(!server.isRunning());
    QVERIFY2(server.errorString().contains("in use by another program"), qPrintable(server.errorString()));
    QVERIFY(running.isEmpty());
    other.close();
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.errorString().isEmpty());
    QCOMPARE(running.size(), 1);
}

void TestAddressServerRig::withoutPrivilege()
{
    if (unprivilegedPortStart() <= AddressServer::ServerPort)
        QSKIP("every port is open to everyone here (net.ipv4.ip_unprivileged_port_start)");
    AddressServer server;
    QVERIFY(setBindCapability(false));
    const bool started = server.start();
    QVERIFY(setBindCapability(true));
    QVERIFY(!started);
    QVERIFY2(server.errorString().contains("cap_net_bind_service") && server.errorString().contains("root"),
             qPrintable(server.errorString()));
    QVERIFY2(server.start(), qPrintable(server.errorString()));
}

void TestAddressServerRig::command_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("clients"); // MAC@ifname:protocol
    QTest::addColumn<bool>("holdPort");
    QTest::addColumn<int>("exitCode");
    // With json: "event mac ip_address" of the events to be seen, in order.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("error"); // in standard error

    const QStringList json{"--format", "json"};
    QTest::newRow("one assigned, answered at once")
        << QStringList{"--address-server", "--assign", "02:aa:00:00:00:11=10.201.1.50/24,10.201.1.254", "--for", "20"}
            + json
        << QStringList{"02:aa:00:00:00:11@rd1:dhcp"} << false << 0
        << QStringList{"request 02:AA:00:00:00:11 null", "answered 02:AA:00:00:00:11 10.201.1.50",
                       "request 02:AA:00:00:00:11 10.201.1.50", "answered 02:AA:00:00:00:11 10.201.1.50"}
        << QString();
    QTest::newRow("two cards, BOOTP and DHCP, text")
        << QStringList{"--address-server",
                       "--assign",
                       "02-AA-00-00-00-12=10.202.1.60/24",
                       "--assign",
                       "02:aa:00:00:00:11=10.201.1.50/24",
                       "--for",
                       "20"}
        << QStringList{"02:aa:00:00:00:11@rd1:dhcp", "02:aa:00:00:00:12@rd2:bootp"} << false << 0 << QStringList()
        << QString();
    QTest::newRow("assigned MAC never asks")
        << QStringList{"--address-server", "--assign", "02:aa:00:00:00:13=10.201.1.51/24", "--for", "2"} + json
        << QStringList{"02:aa:00:00:00:14@rd1:dhcp"} << false << 1 << QStringList()
        << "Without its address: 02:AA:00:00:00:13";
    QTest::newRow("listening only") << QStringList{"--address-server", "--for", "2"} + json
                                    << QStringList{"02:aa:00:00:00:14@rd1:bootp"} << false << 0 << QStringList()
                                    << QString();
    QTest::newRow("no card holds it") << QStringList{"--address-server", "--assign", "02:aa:00:00:00:11=10.99.0.5/24"}
                                      << QStringList() << false << 2 << QStringList() << "10.99.0.5 is in no subnet";
    QTest::newRow("a card's own address")
        << QStringList{"--address-server", "--assign", "02:aa:00:00:00:11=10.202.1.1/24"} << QStringList() << false << 2
        << QStringList() << "10.202.1.1 is the card's own address";
    QTest::newRow("csv") << QStringList{"--address-server", "--format", "csv"} << QStringList() << false << 2
                         << QStringList() << "--address-server prints text or json, not csv.";
    QTest::newRow("port taken") << QStringList{"--address-server", "--assign", "02:aa:00:00:00:11=10.201.1.50/24",
                                               "--for", "5"}
                                << QStringList() << true << 5 << QStringList()
                                << "UDP port 67 is in use by another program";
}

void TestAddressServerRig::command()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, clients);
    QFETCH(bool, holdPort);
    QFETCH(int, exitCode);
    QFETCH(QStringList, events);
    QFETCH(QString, error);

    QUdpSocket other;
    if (holdPort)
        QVERIFY(other.bind(QHostAddress::AnyIPv4, AddressServer::ServerPort, QAbstractSocket::ShareAddress));
    QProcess program;
    program.start(NODESPOTTER_EXECUTABLE, arguments);
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    Clients simulated;
    if (!clients.isEmpty()) {
        QList<ClientSpec> setups;
        for (const QString &client : clients) {
            const QString where = client.section('@', 1);
            setups.append({client.section('@', 0, 0), where.section(':', 0, 0), where.section(':', 1), QString()});
        }
        QVERIFY(simulated.start(setups));
    }
    QVERIFY(program.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    const QByteArray out = program.readAllStandardOutput();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == exitCode, qPrintable(QString::number(program.exitCode()) + ": " + errors));
    if (!error.isEmpty())
        QVERIFY2(errors.contains(error), qPrintable(errors));
    if (!clients.isEmpty())
        QVERIFY(simulated.stop());

    const QList<QByteArray> lines = out.split('\n').mid(0, out.count('\n'));
    if (arguments.contains("json")) {
        QStringList seen;
        for (const QByteArray &line : lines) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            QCOMPARE(object.keys(),
                     (QStringList{"card", "event", "host_name", "ip_address", "mac_address", "protocol", "time",
                                  "vendor_class"}));
            QVERIFY(QDateTime::fromString(object.value("time").toString(), Qt::ISODate).isValid());
            QCOMPARE(object.value("card").toString(), QString("rp1"));
            const QJsonValue address = object.value("ip_address");
            seen.append(object.value("event").toString() + ' ' + object.value("mac_address").toString() + ' '
                        + (address.isNull() ? QString("null") : address.toString()));
        }
        // A client may ask again before the answer reaches it: the first
        // request, the OFFER's and the last answer are what must be there.
        if (!events.isEmpty()) {
            QVERIFY(!seen.isEmpty());
            QCOMPARE(seen.first(), events.first());
            QVERIFY2(seen.contains(events.at(1)) && seen.contains(events.at(2)), qPrintable(seen.join('\n')));
            QCOMPARE(seen.last(), events.last());
        }
        // Without an assignment nothing is answered.
        if (!arguments.contains("--assign"))
            QVERIFY2(!seen.isEmpty() && seen.filter(QRegularExpression("^request ")).size() == seen.size(),
                     qPrintable(seen.join('\n')));
    } else if (exitCode == 0) {
        // Text: local time, the event and the request's fields.
        QVERIFY(!lines.isEmpty());
        for (const QByteArray &line : lines)
            QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d (request|answered) 02:AA:00:00:00:1[12] rp[12] "
                                        "(DHCP|BOOTP)( 10\\.20[12]\\.1\\.[56]0)?$")
                         .match(QString::fromUtf8(line))
                         .hasMatch(),
                     line.constData());
    }
    // Every client that was assigned got its address, through its own card.
    for (auto it = simulated.results.cbegin(); it != simulated.results.cend(); ++it) {
        const bool assigned = arguments.join(' ').contains(it.key(), Qt::CaseInsensitive)
            || arguments.join(' ').contains(QString(it.key()).replace(':', '-'), Qt::CaseInsensitive);
        QVERIFY2((it.value().state == "bound") == (assigned && exitCode == 0),
                 qPrintable(it.key() + ": " + it.value().state));
        if (!assigned)
            QCOMPARE(it.value().replies.size(), 0);
    }
}

QTEST_GUILESS_MAIN(TestAddressServerRig)
#include "tst_addressserver_rig.moc"
