#ifndef BOOTPDHCPDISABLER_H
#define BOOTPDHCPDISABLER_H

#include <QHostAddress>
#include <QObject>
#include <QString>

class DeviceClient;
class DeviceReply;

// Turns BOOTP/DHCP off on a device, so that it keeps the address it was
// given after a power cycle: reads its TCP/IP Interface object's
// configuration control (class 0xF5, instance 1, attribute 3), writes it
// back with the method set to static and its other bits (DNS enable) as
// they were, and reads it again to see that the device took it.
class BootpDhcpDisabler : public QObject
{
    Q_OBJECT

public:
    explicit BootpDhcpDisabler(const QHostAddress &address, quint16 port = 44818, QObject *parent = nullptr);

    void start();
    QHostAddress address() const { return deviceAddress; }

signals:
    // ok when the device reads back static; message says what became of
    // it, in words for the user.
    void finished(bool ok, const QString &message);

private:
    enum class Step { Idle, Reading, Writing, ReadingBack };

    void priv_ask(DeviceReply *reply);
    void priv_onReply(DeviceReply *reply);
    void priv_finish(bool ok, const QString &message);

    QHostAddress deviceAddress;
    DeviceClient *client;
    Step step = Step::Idle;
    DeviceReply *pending = nullptr;
    quint32 control = 0;
};

#endif // BOOTPDHCPDISABLER_H
