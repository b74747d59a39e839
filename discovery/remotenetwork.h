#ifndef REMOTENETWORK_H
#define REMOTENETWORK_H

#include "ipv4subnet.h"

#include <QList>
#include <QString>

#include <functional>

QT_BEGIN_NAMESPACE
class QNetworkInterface;
QT_END_NAMESPACE

// One of this computer's IPv4 networks (host bits zero), with the card it
// is on.
struct OwnNetwork
{
    Ipv4Subnet network;
    QString card;
};

// Every IPv4 address entry of every interface, whatever its state: a
// network the computer is on, or was on while its card is down, is never
// searched as a remote one.
QList<OwnNetwork> ownNetworks(const QList<QNetworkInterface> &interfaces);

// What the user typed as a network to search beyond the computer's own,
// "address/prefix" as in 10.40.8.0/22.
struct RemoteNetworkCheck
{
    // As a line edit's validator takes it: the values of QValidator::State.
    enum State { Invalid, Intermediate, Acceptable };
    State state = Intermediate;
    // Set when acceptable: the network, host bits cleared.
    Ipv4Subnet network;
    // Why it cannot be added (yet), or what adding it searches.
    QString reason;
};

// The shortest and the longest prefix a remote network may have: a /16
// takes about two minutes to sweep, a /30 holds two hosts.
constexpr int RemotePrefixMin = 16;
constexpr int RemotePrefixMax = 30;

// Checks the text as typed. Invalid only for text that no further typing
// can turn into a network (a letter, a fifth octet, an octet above 255);
// everything else that is not yet a network is Intermediate with a reason.
RemoteNetworkCheck checkRemoteNetwork(const QString &text, const QList<OwnNetwork> &own,
                                      const QList<Ipv4Subnet> &added);

// Paces the unicast sweep: a token bucket that fills at PerSecond
// datagrams a second and holds at most Burst, so that no second ever sees
// more than PerSecond + Burst = 980 datagrams, also after a stall of the
// event loop; the 20 left to 1,000 leave room for the scatter of the
// datagrams' times on the wire. The clock (milliseconds, monotonic) can be
// replaced for tests.
class SweepPacer
{
public:
    static constexpr int PerSecond = 960;
    static constexpr int Burst = 20;
    using Clock = std::function<qint64()>;

    explicit SweepPacer(Clock clock = Clock());
    // Starts with a full bucket.
    void start();
    // How many datagrams may go out now.
    int due();
    void take(int count);

private:
    Clock clock;
    qint64 last = 0;
    // Tokens in thousandths, so that a fraction of a millisecond's worth
    // is not lost between calls.
    qint64 milliTokens = 0;
};

// The datagrams of one sweep in sending order: for each network in turn,
// for each host address, the text probe and then the ListIdentity probe.
class SweepPlan
{
public:
    SweepPlan() = default;
    explicit SweepPlan(const QList<Ipv4Subnet> &networks);

    struct Datagram
    {
        int network;
        quint32 host;
        bool listIdentity;
    };
    bool atEnd() const { return networkIndex >= networks.size(); }
    Datagram next();
    // Datagrams of the whole plan, and how many next() has handed out.
    qint64 total() const { return totalCount; }
    qint64 done() const { return doneCount; }
    const QList<Ipv4Subnet> &targets() const { return networks; }

private:
    QList<Ipv4Subnet> networks;
    int networkIndex = 0;
    qint64 position = 0; // datagram index within the current network
    qint64 totalCount = 0;
    qint64 doneCount = 0;
};

#endif // REMOTENETWORK_H
