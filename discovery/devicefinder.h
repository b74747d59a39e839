#ifndef DEVICEFINDER_H
#define DEVICEFINDER_H

#include "devicerecord.h"
#include "netaddress.h"
#include "networkreport.h"
#include "remotenetwork.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QVector>

#include <functional>

class ConnSocket;
struct ExportedDevice;
QT_BEGIN_NAMESPACE
class QHostAddress;
class QTimer;
class QUdpSocket;
QT_END_NAMESPACE

// The discovery engine: the probe sockets with their readers, the devices
// found in list order with the duplicate test, conflicts, what each run
// searched, the remote networks and their sweep, and watch mode. It knows
// no widget; it tells what happened through its signals, and a window or
// the command line shows it.
//
// A run (find()) sends both probes from every usable address of the
// computer and to every remote network, sweeps the remote networks' hosts,
// and then waits 2.5 s for answers. Without watch mode each run starts a
// new list. In watch mode runs are rounds that repeat every interval and
// keep the list: a device that misses three rounds in a row is offline
// until it answers again, and one whose identity changes is marked
// changed.
class DeviceFinder : public QObject
{
    Q_OBJECT

public:
    enum Event { Found, Offline, Back, Changed, Conflict };
    Q_ENUM(Event)

    // Rounds a device may miss before it counts as offline, and rounds in a
    // row with one identity that clear a conflict.
    static constexpr int MissedRoundsOffline = 3;
    static constexpr int QuietRoundsClearConflict = 3;
    static constexpr int DefaultWatchIntervalMs = 5000;
    // How long a run waits for answers after its last probe.
    static constexpr int AnswerWaitMs = 2500;

    explicit DeviceFinder(QObject *parent = nullptr);
    ~DeviceFinder() override;

    // Starts a run at once. Without watch mode the list starts anew.
    void find();
    // Turning watch mode on clears the list and starts the first round;
    // turning it off stops the rounds and keeps the list as it stands.
    void setWatching(bool watching);
    bool isWatching() const { return watching; }
    // From the start of one round to the start of the next; any value, so
    // that tests run fast (the command line asks for at least 3 s).
    void setWatchInterval(int milliseconds);
    int watchInterval() const;
    // Stops a sweep under way; the run then waits for answers as usual.
    void cancelSweep();
    // A network beyond the computer's own, searched from the next run on;
    // false when it is listed already.
    bool addRemoteNetwork(const Ipv4Subnet &network, const QString &reason);
    const QList<Ipv4Subnet> &remoteNetworks() const { return remote; }

    // The devices in list order, and the marks watch mode gives them.
    int count() const { return records.size(); }
    const DeviceRecord &record(int index) const { return records.at(index); }
    const QVector<DeviceRecord> &devices() const { return records; }
    int indexOf(quint32 address) const { return listed.value(address, -1); }
    int conflicts() const { return conflictCount; }
    int offline() const { return offlineCount; }
    // The entries with where each device sits, read once for all.
    QVector<ExportedDevice> listedDevices() const;

    // The last run: whether it still waits for answers, when it started,
    // how many probes went out, and what it searched with the devices of
    // each network counted.
    bool isSearching() const { return searching; }
    bool isSweeping() const;
    QDateTime searchedAt() const { return searchStarted; }
    int probesSent() const { return sentProbes; }
    bool probesSentOk() const { return sentProbes > 0; }
    RunReport report() const;

    // The status-bar text: "Found %n device(s)", or "Watching: %n
    // device(s) online" in watch mode, with offline devices and conflicts.
    QString countText() const;

    // Handles one reply as the reader of the probe's port does, for a
    // datagram read elsewhere (the readers' own path, without a socket).
    void takeReply(quint16 probePort, const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                   int interfaceIndex);
    // Lists a record as it stands (its number and line included), as a
    // reader lists a new device, for a list built without replies (tests).
    // False, and nothing listed, when its address is listed already.
    bool listRecord(const DeviceRecord &record);

    // The clock of the watch marks, in milliseconds since the epoch; tests
    // give one of their own.
    void setClock(std::function<qint64()> clock) { now = std::move(clock); }

signals:
    // The list was emptied for a new run.
    void listCleared();
    // Devices first..last (indexes, inclusive) were added at the end.
    void devicesListed(int first, int last);
    // A device's record or marks changed.
    void deviceChanged(int index);
    // One per device event, after the list and the record show it.
    void deviceEvent(DeviceFinder::Event event, int index);
    // The counts the status bar shows may have changed.
    void countsChanged();
    // A run began, or found no address to send from.
    void runStarted();
    void nothingSent();
    // The run's wait for answers is over (a watch round ends here).
    void runFinished();
    // What the networks report shows changed: a run, its sends, devices.
    void networksChanged();
    void sweepStarted(qint64 hosts);
    void sweepProgress(qint64 hostsDone);
    void sweepFinished();

private slots:
    void readyRead();
    void readyRead_opener();

private:
    // What watch mode keeps of each device between rounds.
    struct Watch
    {
        bool seen = false;
        int missedRounds = 0;
        int quietRounds = 0;
        // The distinct identities that answered at the address this round.
        QVector<ENIP::ListIdentityItem> identities;
    };

    void priv_sendDatagram(quint32 address);
    void priv_sendDatagram_opener(quint32 address);
    // Lists a device unless its address is listed already; then it is only
    // seen again.
    bool priv_addDevice(const DeviceRecord &record);
    // One reply of each kind from a sender that is not this computer.
    void priv_takeText(const QByteArray &datagram, const QHostAddress &senderAddress, quint16 senderPort,
                       int interfaceIndex);
    bool priv_takeListIdentity(const QByteArray &datagram, const QHostAddress &senderAddress, quint16 senderPort,
                               int interfaceIndex);
    // An identity that answered from a listed address. True when the entry
    // thereby got an IP address conflict.
    bool priv_noteIdentity(quint32 ip, const ENIP::ListIdentityItem &identity);
    // A listed device answered: in watch mode it is seen this round, and
    // back if it was offline.
    void priv_seen(int index);
    void priv_startRun();
    void priv_endRound();
    void priv_changeIdentity(int index, const ENIP::ListIdentityItem &identity);
    void priv_clearList();
    void priv_searchRemoteNetworks();
    void priv_sweepNext();
    void priv_finishSweep(bool cancelled);
    void priv_lastProbeSent();
    void priv_listAdded();
    // The own-address test of the readers, with what it learnt of the
    // computer's addresses kept for a second: testing each sender anew
    // costs a system call, and a second is far shorter than any change of
    // address.
    OwnAddressTest *priv_ownAddresses();

    QList<ConnSocket *> connSockets;
    quint32 deviceCount = 0;
    int conflictCount = 0;
    int offlineCount = 0;
    QVector<DeviceRecord> records;
    QVector<Watch> watches;
    QHash<quint32, int> listed;
    OwnAddressTest ownAddresses;
    QElapsedTimer ownAddressesAge;
    // The first device added since the last devicesListed signal; -1 for
    // none.
    int firstUnannounced = -1;

    QDateTime searchStarted;
    int sentProbes = 0;
    RunReport runReport;
    SendResult lastSend;
    QList<Ipv4Subnet> remote;
    bool searching = false;

    bool watching = false;
    bool roundOpen = false;
    // The interval ran out while the round was still sweeping.
    bool roundDue = false;
    QTimer *roundTimer;
    QTimer *searchingTimer;
    QTimer *sweepTimer;
    std::function<qint64()> now;

    SweepPlan sweepPlan;
    SweepPacer sweepPacer;
    QList<int> sweepRows;
    QUdpSocket *sweepSockets[2] = {nullptr, nullptr};
};

#endif // DEVICEFINDER_H
