#ifndef IDENTITYPROBE_H
#define IDENTITYPROBE_H

#include "listidentityreply.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QUdpSocket;
QT_END_NAMESPACE

// Asks one address with a unicast ListIdentity request, again every 2 s,
// until it answers with an identity item or the time is up: how the program
// learns that a device took the address it was given, or is back after a
// reset. Only an answer from that address counts.
class IdentityProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int RepeatMs = 2000;
    static constexpr int DefaultTimeoutMs = 30000;

    explicit IdentityProbe(QObject *parent = nullptr);
    ~IdentityProbe() override;

    // Starts (or starts again) asking address; answered() or timedOut()
    // follows once. port: the device's EtherNet/IP UDP port.
    void start(const QHostAddress &address, int timeoutMs = DefaultTimeoutMs, quint16 port = 44818);
    void stop();
    bool isRunning() const { return socket != nullptr; }
    QHostAddress address() const { return target; }
    // Requests sent since the last start.
    int sent() const { return sentCount; }

signals:
    void answered(const ENIP::ListIdentityItem &item);
    void timedOut();

private:
    void priv_send();
    void priv_read();
    void priv_timeOut();

    QUdpSocket *socket = nullptr;
    QHostAddress target;
    quint16 targetPort = 44818;
    int sentCount = 0;
    QTimer repeat;
    QTimer deadline;
    // A flood of datagrams is read in turns, so that the event loop runs
    // between them.
    QTimer continuation;
};

Q_DECLARE_METATYPE(ENIP::ListIdentityItem)

#endif // IDENTITYPROBE_H
