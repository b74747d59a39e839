#ifndef RIGSUPPORT_H
#define RIGSUPPORT_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// What the discovery tests need from the namespace rig (tests/rig/rig.sh):
// its links, the simulated devices, ListIdentity replies built byte by byte,
// and the program's debug log.
namespace Rig {

struct Link
{
    QString progIf;
    QStringList progAddrs; // "10.201.1.1/24", in the order they were added
    QString devIf;
    QString devMac; // the device side's hardware address, "02:72:01:01:00:01"
};

// False outside the rig (RIG_PROG_NS unset).
bool inRig();
QList<Link> links();
QString devNs();
// The routed rig's router namespace and the remote networks behind it
// ("10.210.5.0/24"); empty without one.
QString routerNs();
QStringList remoteNetworks();
// Runs ip with the arguments and returns true when it exits 0.
bool ip(const QStringList &args);
// Sends one UDP datagram from the device namespace, from the address src
// (IPv4 or IPv6, which must be the device side's own) to dst and port.
bool sendFromDeviceSide(const QString &src, const QString &dst, quint16 port, const QByteArray &datagram);
// The interface's hardware address as the kernel shows it, upper case.
QString hardwareAddress(const QString &ifname);

struct Device
{
    QString addr;
    quint16 port = 55555;
    quint16 srcPort = 0; // 0: the probe port
    QList<QByteArray> replies;
    int delayMs = 0;
    int jitterMs = 0;
    double intervalMs = 0;
    int repeat = 1; // the replies are sent this many times per probe
    // Explicit messaging on TCP port 44818, as devices.py describes it;
    // empty for a device without it.
    QJsonObject cip = QJsonObject();
};

struct Probe
{
    QString src;
    quint16 sport = 0;
    QString dst;
    quint16 dport = 0;
    QByteArray data;
    double time = 0; // arrival, CLOCK_MONOTONIC seconds
};

// The simulated devices of one test, run by devices.py in the device
// namespace for as long as this object lives (or until stop()).
class Devices
{
public:
    ~Devices();
    bool start(const QList<Device> &devices);
    // Stops the simulator and collects what it saw and sent.
    bool stop();

    QList<Probe> probes;
    int sent = 0;
    // Per device address, when it sent its first reply (CLOCK_MONOTONIC, s).
    QHash<QString, double> firstSent;
    // Every explicit message the devices took, in order of arrival:
    // {"addr", "command", "t"} and for SendRRData "service", "path" and
    // "data" (hex); for an Unconnected Send to a bridge also "route"
    // ("1,3"), "timeout_ms", "embedded_service", "embedded_path",
    // "embedded_data" and "route_result" ("module", "bridge", "network",
    // "no_module", "no_port", "bad_segment", "no_answer", "not_routed",
    // "short").
    QList<QJsonObject> cipRequests;
    // The device address of every TCP connection a device accepted, in
    // order.
    QStringList accepted;
    // Every TCP connection a device accepted: when, and when it ended
    // (infinity when it was still open as the devices stopped).
    struct Connection
    {
        QString addr;
        double opened = 0;
        double closed = 0;
    };
    QList<Connection> connections;
    // The most connections open at once.
    int mostConnectionsAtOnce() const;

private:
    QProcess process;
    bool running = false;
};

// CIP Identity object and ListIdentity reply bytes, built independently of
// the program's codec.
struct Identity
{
    quint16 vendorId = 1;
    quint16 deviceType = 12;
    quint16 productCode = 4;
    quint8 revisionMajor = 1;
    quint8 revisionMinor = 0;
    quint16 status = 0;
    quint32 serialNumber = 0;
    QByteArray productName;
    int nameLength = -1; // length byte on the wire; -1: productName.size()
    quint8 state = 3;
};
QByteArray identityItemData(const Identity &identity, quint32 sockaddrIp = 0, quint16 encapVersion = 1,
                            quint16 sockaddrPort = 44818);
struct Item
{
    quint16 typeId;
    QByteArray data;
    int length = -1; // length field on the wire; -1: data.size()
};
// Header with the given command, item count (-1: items.size()) and items.
QByteArray listIdentityReply(const QList<Item> &items, int count = -1, quint16 command = 0x0063);
QByteArray identityReply(const Identity &identity, quint32 sockaddrIp = 0);

quint32 ipv4(const QString &dotted);

// A chassis for devices.py: a bridge with a Port object (instance 1 its
// EtherNet/IP port, number 2; instance 2 its backplane, number 1, with the
// node range firstSlot..lastSlot), the modules in some of its slots and
// Unconnected Send routed to them as devices.py describes it.
struct Module
{
    Identity identity; // its Identity object, class 1 instance 1
    // More attributes as devices.py's "attributes" takes them ("f5/1/5":
    // hex), such as an Ethernet module's TCP/IP and Ethernet Link objects;
    // they win over the identity's.
    QJsonObject attributes = QJsonObject();
    int delayMs = 0; // each answer after this long
    // "normal", "silent" (never answers: the bridge answers 0x0204 after
    // its timeout), "truncated" (3 bytes), "wrong_service" (0x8E to a
    // Get_Attributes_All, else 0x81) or "random" (12 bytes from seed).
    QString behaviour = QStringLiteral("normal");
    int seed = 0;
    QByteArray answer; // not empty: every answer is these bytes
    QString addr; // its own Ethernet port's address, for a module that routes
    // Further keys of its "cip" block (get_all, status, chassis, ...).
    QJsonObject cip = QJsonObject();
};

struct Chassis
{
    int ownSlot = 0; // the bridge's own slot on the backplane
    int firstSlot = 0;
    int lastSlot = 16;
    QMap<int, Module> modules; // by slot; the slots not listed are empty
    QMap<QString, Module> network; // behind the Ethernet port, by address
    bool routes = true; // false: Unconnected Send answered with 0x08
    // True: the requests of one connection are served one after the other.
    bool oneAtATime = false;
    bool portObject = true; // false: no Port object, answered as below
    quint8 missingPortObjectStatus = 0x05; // 0x05 or 0x16, as devices differ
    bool portGetAll = true; // false: Get_Attributes_All of a port refused (0x08)
    bool nodeRange = true; // false: attribute 8 answered 0x14
    bool remainingPathSize = true; // routing errors end with it (one byte)
    int timeoutCapMs = 1000; // the bridge's timeout at most this long
};

// The Identity object's attributes 1 to 7, as devices.py takes them.
QJsonObject identityAttributes(const Identity &identity);
// The TCP/IP Interface (static address ip/24, gateway .1, the host name)
// and Ethernet Link (100 Mbit/s full duplex, the hardware address)
// objects of an Ethernet port, as devices.py takes them.
QJsonObject ethernetAttributes(const QString &ip, const QByteArray &hostName, const QByteArray &mac);
// A module of the given identity that answers after delayMs.
Module makeModule(const QByteArray &productName, quint32 serialNumber, quint16 deviceType = 12, quint16 productCode = 4,
                  int delayMs = 5);
// The "cip" block of a module, and the "chassis" object of a bridge.
QJsonObject moduleCip(const Module &module);
QJsonObject chassisJson(const Chassis &chassis);
// A bridge at addr: explicit messaging with its identity (and more
// attributes, as for a module), the chassis, and a ListIdentity answer.
Device bridge(const QString &addr, const Identity &identity, const Chassis &chassis,
              const QJsonObject &attributes = QJsonObject());
// An Unconnected Send's request data (after service and path): tick time
// tick, timeoutTicks, the embedded request, its pad byte, the route path.
QByteArray unconnectedSendData(const QByteArray &embedded, const QByteArray &route, quint8 tick = 0x0A,
                               quint8 timeoutTicks = 5);

// One field of the Udp: lines of /proc/net/snmp (for example "InDatagrams"),
// which count the calling process's network namespace only; -1 if missing.
qint64 udpCounter(const QByteArray &name);

// Captures every debug message of the process as the line the default
// handler would print, with the time it was written.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    // Lines starting with the prefix (all lines for an empty one), and the
    // msecs since capture start at which each was written.
    static QStringList linesStartingWith(const QString &prefix, QList<qint64> *times = nullptr);
    static int count(const QString &line);
    static qint64 elapsed();
    static void clear();
};

} // namespace Rig

#endif // RIGSUPPORT_H
