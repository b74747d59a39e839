#ifndef DEVICERESETTER_H
#define DEVICERESETTER_H

#include <QHostAddress>
#include <QObject>
#include <QString>

class DeviceClient;
class DeviceReply;
class IdentityProbe;
struct DeviceDetails;

// What became of a reset and of the search for the device after it.
struct ResetResult
{
    enum Outcome {
        Accepted, // the device answered the reset with success
        UnderWay, // the device closed the connection after the reset went out, before it answered: it is restarting
        Refused, // the device answered with a refusal; it was not reset
        NotConfirmed // no answer at all (no connection, no session, silence)
    };

    Outcome outcome = NotConfirmed;
    // The refusal, the transport fault, or the closed connection, in words
    // for the user; empty for Accepted.
    QString message;
    // Where the device was looked for afterwards; none after a refusal.
    QHostAddress lookedFor;
    // The device answered a ListIdentity there in time.
    bool found = false;

    // The device restarts, as far as this program can tell.
    bool resetUnderWay() const { return outcome == Accepted || outcome == UnderWay; }
};

// Resets a device (the Identity object's Reset service) and then looks for
// it: the one rule for the window and the command line. A connection the
// device closes before it answers counts as a reset under way; a refusal
// ends it; a reset that gets no answer at all is not confirmed, and the
// device is looked for all the same. Except after a refusal, a unicast
// ListIdentity then asks for the device at the address where it is
// expected, for up to findTimeout().
class DeviceResetter : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultFindTimeoutMs = 30000;

    explicit DeviceResetter(const QHostAddress &address, quint16 port = 44818, QObject *parent = nullptr);
    ~DeviceResetter() override;

    // Where a device is expected after a reset, from its settings as read
    // (after a write, as read back): the static address it is configured
    // with, or the address it answered at (BOOTP, DHCP, or settings not
    // read).
    static QHostAddress expectedAddress(const DeviceDetails &details);

    void setFindTimeout(int ms) { findMs = ms; }
    int findTimeout() const { return findMs; }

    // Resets the device (type 0: as a power cycle would) and looks for it
    // at expectedAt (its own address when none is given). searching()
    // follows once the reset's answer is in, unless it is a refusal; then
    // finished().
    void start(const QHostAddress &expectedAt = QHostAddress(), quint8 type = 0);

signals:
    // The reset's outcome is known; the device is now looked for at
    // result.lookedFor.
    void searching(const ResetResult &result);
    void finished(const ResetResult &result);

private:
    void priv_onReply(DeviceReply *reply);
    void priv_onFound();
    void priv_onNotFound();

    QHostAddress deviceAddress;
    DeviceClient *client;
    IdentityProbe *probe;
    DeviceReply *pending = nullptr;
    QHostAddress expected;
    int findMs = DefaultFindTimeoutMs;
    ResetResult result;
};

Q_DECLARE_METATYPE(ResetResult)

#endif // DEVICERESETTER_H
