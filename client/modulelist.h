#ifndef MODULELIST_H
#define MODULELIST_H

#include "cipidentity.h"
#include "cipport.h"
#include "ciproute.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

class DeviceClient;
class DeviceReply;

// One slot of a bridge's chassis port and what it answered.
struct ModuleSlot
{
    enum Result { Module, Bridge, NoModule, NoAnswer, Error };
    quint16 portNumber = 0;
    int slot = 0;
    CIP::CipRoute route; // port,slot from the bridge, e.g. "1,3"
    Result result = NoAnswer;
    // For NoModule/NoAnswer/Error: the status in words with its number,
    // e.g. "no module at that link address (0x0312)"; empty otherwise.
    QString error;
    bool hasIdentity = false; // Module and Bridge rows with an identity read
    CIP::CipIdentityObject identity;
    bool hasState = false; // the identity held attribute 8, the state
    // "module", "bridge", "no_module", "no_answer", "error".
    static QString resultKey(Result result);
};

// One port of the bridge (an instance of its Port object).
struct BridgePort
{
    quint16 instance = 0;
    quint16 number = 0;
    quint16 type = 0; // CIP::portTypeName(type) names it
    QString name;
    bool hasNodeRange = false;
    int firstSlot = 0, lastSlot = 0;
    bool hasOwnSlot = false;
    int ownSlot = 0; // the bridge's own node address on this port
    bool entryPort = false; // the port the request came in through
    QVector<ModuleSlot> moduleSlots; // read slots, in slot order (empty for ports not read)
};

// What a bridge told about its ports and the modules behind them.
struct ModuleList
{
    enum Outcome { Read, NoAnswer, InvalidAnswer, Refused, NotRouting, NoSlots };
    QHostAddress address;
    Outcome outcome = NoAnswer;
    QString text; // plain words for the outcome when not Read
    bool portObject = false; // false: the fallback (port 1 slots 0..16) was used
    QVector<BridgePort> ports;
};

// Reads a bridge's ports and the identity of the module in each slot of
// its chassis ports, over one DeviceClient session with the slot requests
// pipelined on it (see the .cpp for the order of the questions; slots that
// lose their session at a bridge that serves one request at a time are
// asked again on a new one).
class ModuleListReader : public QObject
{
    Q_OBJECT

public:
    // Port instances read at most, and slots read per port at most.
    static constexpr int MaxPortInstances = 16;
    static constexpr int MaxSlotsPerPort = 64;
    // The highest slot a route's one-byte link address reaches.
    static constexpr int MaxSlot = 255;
    // Without a Port object: port 1, slots 0 to FallbackLastSlot.
    static constexpr quint16 FallbackPort = 1;
    static constexpr int FallbackLastSlot = 16;
    // Slot requests in flight at once.
    static constexpr int SlotsInFlight = 17;

    explicit ModuleListReader(const QHostAddress &address, QObject *parent = nullptr);
    ModuleListReader(const QHostAddress &address, quint16 port, QObject *parent = nullptr);
    // Reads over a session that others share: the reader neither owns nor
    // closes sharedClient, which must outlive it, and lets it take
    // SlotsInFlight requests at once.
    explicit ModuleListReader(DeviceClient *sharedClient, QObject *parent = nullptr);
    ~ModuleListReader() override;

    void start(); // nothing emitted from inside start()

signals:
    void finished(const ModuleList &list);

private:
    // A port instance while it is read.
    struct PortRead
    {
        CIP::CipPortInstance values;
        bool missing = false;
    };

    // Sends a request and calls handle with its reply once it is in; the
    // reply belongs to this reader.
    template<typename Handler> void priv_ask(DeviceReply *reply, Handler handle);
    void priv_onClassDone();
    void priv_readPorts();
    void priv_onPortAll(DeviceReply *reply, int index);
    void priv_onPortSingle(DeviceReply *reply, int index, quint16 attribute);
    void priv_onNodeRange(DeviceReply *reply, int index);
    void priv_onPortsDone();
    // Adds the port's slots, to be sent.
    void priv_addSlots(int portIndex);
    void priv_sendProbe();
    void priv_sendSlot(const QPair<int, int> &which);
    void priv_readFallback();
    void priv_onSlot(DeviceReply *reply, int portIndex, int slotIndex);
    void priv_onSlotsDone();
    // Ends the reading on a fault of the session: nothing more comes.
    bool priv_sessionFailed(DeviceReply *reply);
    void priv_fail(ModuleList::Outcome outcome, const QString &text);
    void priv_finish();
    void priv_dropReplies();

    DeviceClient *client;
    bool ownsClient = true;
    ModuleList list;
    QVector<PortRead> portReads;
    CIP::CipPortClassAttributes classAttributes;
    QList<DeviceReply *> replies;
    int pendingRequests = 0;
    int noPortSlots = 0;
    // The slots (port index, slot index) not yet asked.
    QList<QPair<int, int>> unsent;
    // The slots whose session ended before their answer came, and the
    // answers the slots got since the last round was sent.
    QList<QPair<int, int>> askAgain;
    int roundAnswers = 0;
    // The first slot is asked, alone.
    bool probing = false;
    bool done = true;
};

Q_DECLARE_METATYPE(ModuleList)

#endif // MODULELIST_H
