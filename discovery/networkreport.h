#ifndef NETWORKREPORT_H
#define NETWORKREPORT_H

#include "remotenetwork.h"

#include <QList>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QNetworkAddressEntry;
class QNetworkInterface;
QT_END_NAMESPACE

// The result of one probe send: not sent at all, sent, or the socket error
// by its enumerator value.
struct SendResult
{
    static constexpr int NotSent = -2;
    static constexpr int Sent = -1;
    int error = NotSent;

    // "sent", "NetworkError" (the name the debug log prints, without the
    // class), or empty when nothing was sent.
    QString text() const;
};

// One row of the networks a run looked at: an interface address, a card
// without any address, or a remote network the user added.
struct NetworkRow
{
    enum Kind { InterfaceAddress, CardWithoutAddress, Remote };
    Kind kind = InterfaceAddress;
    QString card; // the card's human-readable name; empty for a remote network
    int interfaceIndex = 0; // the card's QNetworkInterface index; 0 for a remote network
    QString address; // "10.201.1.1/24", "fe80::1%eth0/64", a remote "10.40.8.0/22"; empty for a card without one
    // Empty when it was searched, else why it was left out.
    QString reason;
    QString probes; // where the probes went
    SendResult text;
    SendResult listIdentity;
    // The devices listed through this row are those whose address lies in
    // this network. Unset (prefix 0, address 0) for a row that was not
    // searched.
    Ipv4Subnet network;
    int devices = 0;
    // Searched on a card that the system calls up without carrier.
    bool noCarrier = false;

    // Remote networks: the sweep's progress and outcome.
    qint64 sweepTotal = 0;
    qint64 sweepSent = 0;
    // Per probe (text, ListIdentity): failed sweep sends and the first
    // one's error.
    int sweepErrors[2] = {0, 0};
    SendResult firstSweepError[2];
    enum SweepState { NotStarted, Waiting, Sweeping, Swept, Cancelled };
    SweepState sweep = NotStarted;

    bool searched() const { return reason.isEmpty(); }
    // What the status column shows: "searched", the sweep's progress, or
    // the reason.
    QString status() const;
    // The send results of one probe (0 text, 1 ListIdentity).
    QString sendText(int probe) const;
};

// Why a run does not send from an address entry, as the user reads it;
// empty for a usable entry. The same four conditions as
// isUsableAddressEntry, asked in that order.
QString leftOutReason(const QNetworkInterface &itfc, const QNetworkAddressEntry &entry);

// What the last run looked at and sent, in the run's order, with the
// remote networks after the computer's own. Plain data, filled by the run
// and the sweep, shown by the networks dialog and the status bar.
class RunReport
{
public:
    // The run has begun: no rows yet.
    void clear();
    // Adds a row per address entry of the interface (searched or with its
    // reason), or one row for a card without any address, and returns the
    // index of the first. The run fills in the searched rows' probes.
    int addInterface(const QNetworkInterface &itfc);
    // A row for a remote network, not searched (yet) for the reason given.
    int addRemote(const Ipv4Subnet &network, const QString &reason);

    QList<NetworkRow> rows;
    // False until the first run.
    bool ran = false;

    // Counts the devices per row. The address of each listed device, and
    // the index of the card its reply came in on (0 where the system did
    // not tell). A device counts for the row of that card whose network
    // holds it, else for the row with the longest prefix whose network
    // holds it (a routed reply comes in on the card towards the router).
    void countDevices(const QList<quint32> &addresses, const QList<int> &interfaceIndexes = QList<int>());

    // Searched local addresses plus remote networks searched.
    int searchedCount() const;
    // The status-bar label: "Searched %n network(s)", "No network to
    // search", or empty before the first run; searching: the run is still
    // waiting for answers.
    QString labelText(bool searching) const;
    // The same table in short, as rich text for the label's tooltip.
    QString toolTip() const;
};

#endif // NETWORKREPORT_H
