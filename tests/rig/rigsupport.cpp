#include "rigsupport.h"

#include <QDataStream>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QVector>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace Rig {

bool inRig()
{
    return !qEnvironmentVariableIsEmpty("RIG_PROG_NS");
}

QString devNs()
{
    return qEnvironmentVariable("RIG_DEV_NS");
}

QString routerNs()
{
    return qEnvironmentVariable("RIG_ROUTER_NS");
}

QStringList remoteNetworks()
{
    return qEnvironmentVariable("RIG_REMOTE_NETS").split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QList<Link> links()
{
    QList<Link> result;
    const QStringList linkAddresses = qEnvironmentVariable("RIG_LINKS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList progIfs = qEnvironmentVariable("RIG_PROG_IFS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList devIfs = qEnvironmentVariable("RIG_DEV_IFS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList devMacs = qEnvironmentVariable("RIG_DEV_MACS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < linkAddresses.size() && i < progIfs.size(); ++i)
        result.append({progIfs.at(i), linkAddresses.at(i).split(QLatin1Char(',')), devIfs.value(i), devMacs.value(i)});
    return result;
}

bool ip(const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("ip"), args);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool sendFromDeviceSide(const QString &src, const QString &dst, quint16 port, const QByteArray &datagram)
{
    static const char script[] = "import socket, sys\n"
                                 "family = socket.AF_INET6 if ':' in sys.argv[1] else socket.AF_INET\n"
                                 "s = socket.socket(family, socket.SOCK_DGRAM)\n"
                                 "s.bind((sys.argv[1], 0))\n"
                                 "s.sendto(bytes.fromhex(sys.argv[4]), (sys.argv[2], int(sys.argv[3])))\n";
    return ip({QStringLiteral("netns"), QStringLiteral("exec"), devNs(), QStringLiteral("python3"),
               QStringLiteral("-c"), QString::fromLatin1(script), src, dst, QString::number(port),
               QString::fromLatin1(datagram.toHex())});
}

QString hardwareAddress(const QString &ifname)
{
    QFile file(QStringLiteral("/sys/class/net/%1/address").arg(ifname));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll().trimmed()).toUpper();
}

Devices::~Devices()
{
    stop();
}

bool Devices::start(const QList<Device> &devices)
{
    QJsonArray list;
    for (const Device &device : devices) {
        QJsonArray replies;
        for (const QByteArray &reply : device.replies)
            replies.append(QString::fromLatin1(reply.toHex()));
        QJsonObject entry{{"addr", device.addr},
                          {"port", device.port},
                          {"src_port", device.srcPort ? device.srcPort : device.port},
                          {"replies", replies},
                          {"delay_ms", device.delayMs},
                          {"jitter_ms", device.jitterMs},
                          {"interval_ms", device.intervalMs},
                          {"repeat", device.repeat}};
        if (!device.cip.isEmpty())
            entry.insert("cip", device.cip);
        list.append(entry);
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setReadChannel(QProcess::StandardOutput);
    process.start(QStringLiteral("ip"),
                  {QStringLiteral("netns"), QStringLiteral("exec"), devNs(), QStringLiteral("python3"),
                   qEnvironmentVariable("RIG_DEVICES_PY"), QStringLiteral("-")});
    if (!process.waitForStarted(10000))
        return false;
    running = true;
    process.write(QJsonDocument(QJsonObject{{"devices", list}}).toJson(QJsonDocument::Compact) + '\n');
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(20000))
            return false;
    }
    return QJsonDocument::fromJson(process.readLine()).object().value("ready").toBool();
}

int Devices::mostConnectionsAtOnce() const
{
    QVector<QPair<double, int>> edges;
    for (const Connection &connection : connections) {
        edges.append({connection.opened, +1});
        edges.append({connection.closed, -1});
    }
    // An end and a start at one instant: the end first.
    std::sort(edges.begin(), edges.end());
    int now = 0;
    int most = 0;
    for (const auto &edge : qAsConst(edges)) {
        now += edge.second;
        most = std::max(most, now);
    }
    return most;
}

bool Devices::stop()
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
    bool done = false;
    const QList<QByteArray> output = process.readAllStandardOutput().split('\n');
    for (const QByteArray &line : output) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (record.contains("probe")) {
            const QJsonObject p = record.value("probe").toObject();
            probes.append({p.value("src").toString(), quint16(p.value("sport").toInt()), p.value("dst").toString(),
                           quint16(p.value("dport").toInt()), QByteArray::fromHex(p.value("hex").toString().toLatin1()),
                           p.value("t").toDouble()});
        } else if (record.contains("cip")) {
            cipRequests.append(record.value("cip").toObject());
        } else if (record.contains("accepted")) {
            const QJsonObject a = record.value("accepted").toObject();
            accepted.append(a.value("addr").toString());
            connections.append(
                {a.value("addr").toString(), a.value("t").toDouble(), std::numeric_limits<double>::infinity()});
        } else if (record.contains("closed")) {
            // A device's connections end in the order they were accepted
            // as far as this count needs: its first one still open ends.
            const QJsonObject c = record.value("closed").toObject();
            for (Connection &connection : connections) {
                if (connection.addr == c.value("addr").toString() && std::isinf(connection.closed)) {
                    connection.closed = c.value("t").toDouble();
                    break;
                }
            }
        } else if (record.contains("done")) {
            done = true;
            sent = record.value("sent").toInt();
            const QJsonObject times = record.value("first_sent").toObject();
            for (auto it = times.begin(); it != times.end(); ++it)
                firstSent.insert(it.key(), it.value().toDouble());
        }
    }
    return done && process.exitCode() == 0;
}

QByteArray identityItemData(const Identity &identity, quint32 sockaddrIp, quint16 encapVersion, quint16 sockaddrPort)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << encapVersion;
    // The socket address is the one big-endian block.
    out.setByteOrder(QDataStream::BigEndian);
    out << qint16(2) << sockaddrPort << sockaddrIp << quint32(0) << quint32(0);
    out.setByteOrder(QDataStream::LittleEndian);
    out << identity.vendorId << identity.deviceType << identity.productCode << identity.revisionMajor
        << identity.revisionMinor << identity.status << identity.serialNumber;
    out << quint8(identity.nameLength < 0 ? identity.productName.size() : identity.nameLength);
    out.writeRawData(identity.productName.constData(), identity.productName.size());
    out << identity.state;
    return bytes;
}

QByteArray listIdentityReply(const QList<Item> &items, int count, quint16 command)
{
    QByteArray cpf;
    QDataStream cpfOut(&cpf, QIODevice::WriteOnly);
    cpfOut.setByteOrder(QDataStream::LittleEndian);
    cpfOut << quint16(count < 0 ? items.size() : count);
    for (const Item &item : items) {
        cpfOut << item.typeId << quint16(item.length < 0 ? item.data.size() : item.length);
        cpfOut.writeRawData(item.data.constData(), item.data.size());
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << command << quint16(cpf.size()) << quint32(0) << quint32(0) << quint32(0) << quint32(0) << quint32(0);
    out.writeRawData(cpf.constData(), cpf.size());
    return bytes;
}

QByteArray identityReply(const Identity &identity, quint32 sockaddrIp)
{
    return listIdentityReply({{0x000C, identityItemData(identity, sockaddrIp)}});
}

quint32 ipv4(const QString &dotted)
{
    return QHostAddress(dotted).toIPv4Address();
}

namespace {

QString hexOfInt(quint64 value, int bytes)
{
    QByteArray raw;
    for (int i = 0; i < bytes; ++i)
        raw += char((value >> (8 * i)) & 0xFF);
    return QString::fromLatin1(raw.toHex());
}

QString shortString(const QByteArray &text, int length = -1)
{
    return hexOfInt(quint8(length < 0 ? text.size() : length), 1) + QString::fromLatin1(text.toHex());
}

} // namespace

QJsonObject identityAttributes(const Identity &identity)
{
    return QJsonObject{
        {"01/1/1", hexOfInt(identity.vendorId, 2)},
        {"01/1/2", hexOfInt(identity.deviceType, 2)},
        {"01/1/3", hexOfInt(identity.productCode, 2)},
        {"01/1/4", hexOfInt(identity.revisionMajor | quint16(identity.revisionMinor) << 8, 2)},
        {"01/1/5", hexOfInt(identity.status, 2)},
        {"01/1/6", hexOfInt(identity.serialNumber, 4)},
        {"01/1/7", shortString(identity.productName, identity.nameLength)},
    };
}

QJsonObject ethernetAttributes(const QString &ip, const QByteArray &hostName, const QByteArray &mac)
{
    const quint32 address = ipv4(ip);
    const quint32 gateway = (address & 0xFFFFFF00) | 1;
    // Addresses are UDINTs: little-endian on the wire, like every number.
    const QString configuration = hexOfInt(address, 4) + hexOfInt(0xFFFFFF00, 4) + hexOfInt(gateway, 4) + hexOfInt(0, 4)
        + hexOfInt(0, 4) + hexOfInt(0, 2);
    QString hostNameHex = hexOfInt(quint16(hostName.size()), 2) + QString::fromLatin1(hostName.toHex());
    if (hostName.size() % 2)
        hostNameHex += "00";
    return QJsonObject{
        {"f5/1/1", "01000000"},     {"f5/1/2", "94000000"},    {"f5/1/3", "00000000"},
        {"f5/1/4", "020020f62401"}, {"f5/1/5", configuration}, {"f5/1/6", hostNameHex},
        {"f6/1/1", "64000000"},     {"f6/1/2", "0f000000"},    {"f6/1/3", QString::fromLatin1(mac.toHex())},
    };
}

Module makeModule(const QByteArray &productName, quint32 serialNumber, quint16 deviceType, quint16 productCode,
                  int delayMs)
{
    Module result;
    result.identity.productName = productName;
    result.identity.serialNumber = serialNumber;
    result.identity.deviceType = deviceType;
    result.identity.productCode = productCode;
    result.delayMs = delayMs;
    return result;
}

QJsonObject moduleCip(const Module &module)
{
    QJsonObject attributes = identityAttributes(module.identity);
    for (auto it = module.attributes.begin(); it != module.attributes.end(); ++it)
        attributes.insert(it.key(), it.value());
    QJsonObject cip = module.cip;
    cip.insert("attributes", attributes);
    cip.insert("reply_delay_ms", module.delayMs);
    cip.insert("behaviour", module.behaviour);
    cip.insert("seed", module.seed);
    if (!module.answer.isEmpty())
        cip.insert("answer", QString::fromLatin1(module.answer.toHex()));
    if (!module.addr.isEmpty())
        cip.insert("addr", module.addr);
    return cip;
}

QJsonObject chassisJson(const Chassis &chassis)
{
    QJsonObject modules;
    for (auto it = chassis.modules.begin(); it != chassis.modules.end(); ++it)
        modules.insert(QString::number(it.key()), moduleCip(it.value()));
    QJsonObject network;
    for (auto it = chassis.network.begin(); it != chassis.network.end(); ++it)
        network.insert(it.key(), moduleCip(it.value()));
    return QJsonObject{{"slot", chassis.ownSlot},
                       {"slots", QJsonArray{chassis.firstSlot, chassis.lastSlot}},
                       {"modules", modules},
                       {"network", network},
                       {"routing", chassis.routes},
                       {"one_at_a_time", chassis.oneAtATime},
                       {"port_object", chassis.portObject},
                       {"port_get_all", chassis.portGetAll},
                       {"node_range", chassis.nodeRange},
                       {"remaining_path_size", chassis.remainingPathSize},
                       {"timeout_cap_ms", chassis.timeoutCapMs}};
}

Device bridge(const QString &addr, const Identity &identity, const Chassis &chassis, const QJsonObject &attributes)
{
    QJsonObject all = identityAttributes(identity);
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        all.insert(it.key(), it.value());
    QJsonObject cip{{"attributes", all}, {"chassis", chassisJson(chassis)}};
    if (!chassis.portObject && chassis.missingPortObjectStatus != 0x05)
        cip.insert("class_status", QJsonObject{{"f4", hexOfInt(chassis.missingPortObjectStatus, 1)}});
    Device device;
    device.addr = addr;
    device.port = 44818;
    device.replies = {identityReply(identity, ipv4(addr))};
    device.cip = cip;
    return device;
}

QByteArray unconnectedSendData(const QByteArray &embedded, const QByteArray &route, quint8 tick, quint8 timeoutTicks)
{
    QByteArray data;
    data += char(tick);
    data += char(timeoutTicks);
    data += char(embedded.size() & 0xFF);
    data += char(embedded.size() >> 8);
    data += embedded;
    if (embedded.size() % 2)
        data += '\0';
    data += char(route.size() / 2);
    data += '\0';
    data += route;
    return data;
}

qint64 udpCounter(const QByteArray &name)
{
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).startsWith("Udp:") || !lines.at(i + 1).startsWith("Udp:"))
            continue;
        const QList<QByteArray> names = lines.at(i).simplified().split(' ');
        const QList<QByteArray> values = lines.at(i + 1).simplified().split(' ');
        const int index = names.indexOf(name);
        return index >= 0 && index < values.size() ? values.at(index).toLongLong() : -1;
    }
    return -1;
}

namespace {

QList<QPair<qint64, QString>> captured;
QElapsedTimer clock;
QtMessageHandler previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        captured.append({clock.elapsed(), message});
    if ((type != QtDebugMsg || qEnvironmentVariableIsSet("RIG_ECHO_LOG")) && previous)
        previous(type, context, message);
}

} // namespace

LogCapture::LogCapture()
{
    captured.clear();
    clock.start();
    previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
}

QStringList LogCapture::linesStartingWith(const QString &prefix, QList<qint64> *times)
{
    QStringList result;
    for (const auto &entry : qAsConst(captured)) {
        if (entry.second.startsWith(prefix)) {
            result.append(entry.second);
            if (times)
                times->append(entry.first);
        }
    }
    return result;
}

int LogCapture::count(const QString &line)
{
    int n = 0;
    for (const auto &entry : qAsConst(captured))
        n += entry.second == line ? 1 : 0;
    return n;
}

qint64 LogCapture::elapsed()
{
    return clock.elapsed();
}

void LogCapture::clear()
{
    captured.clear();
}

} // namespace Rig
