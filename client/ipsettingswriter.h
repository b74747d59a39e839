#ifndef IPSETTINGSWRITER_H
#define IPSETTINGSWRITER_H

#include "devicedetails.h"

#include <QHostAddress>
#include <QObject>

class DeviceClient;
class DeviceReply;

// The network settings to give a device. Only what is set is written.
struct IpSettings
{
    enum Method { KeepMethod = -1, Static = 0, Bootp = 1, Dhcp = 2 };

    Method method = KeepMethod;
    // Written only with method Static.
    CIP::CipInterfaceConfiguration configuration;
    bool setHostName = false;
    QByteArray hostName;

    // The TCP/IP Interface attributes these settings write, in the order
    // they are written: host name (6), configuration control (3), interface
    // configuration (5).
    QVector<quint16> attributes() const;
    // Nothing to write.
    bool isEmpty() const { return !setHostName && method == KeepMethod; }
};

// What to write to give a device the wanted settings, from what it has
// (current, as read): the host name only when it differs from the
// device's; the method and the interface configuration (attributes 3 and
// 5) only when either of them differs. A value the device did not give
// counts as different. The same rule for the window and the command line.
IpSettings ipSettingsToWrite(const DeviceDetails &current, const IpSettings &wanted);

// What became of a write.
struct IpSettingsResult
{
    struct Step
    {
        quint16 attribute = 0;
        QString name; // "host_name", "configuration_control", ...
        bool written = false;
        QString status; // why not, or what is unknown about it
    };

    // The attributes that were to be written, in the order they were, each
    // with what became of it.
    QVector<Step> steps;
    // The device refused an attribute (its status in that step); what came
    // after it was not written.
    bool refused = false;
    // A fault of the connection during the writes, empty without one.
    QString failure;
    // Everything, read back after the writes, and where it was read.
    DeviceDetails readBack;
    // Written values that read back differently, in words.
    QStringList mismatches;

    bool ok() const { return !refused && failure.isEmpty() && readBack.failure.isEmpty() && mismatches.isEmpty(); }
    // The device says the new settings wait for a reset.
    bool resetNeeded() const;
};

// Writes a device's network settings over explicit messaging, in the order
// devices accept them: the host name (TCP/IP Interface attribute 6), then
// configuration control (attribute 3; its other bits kept as the device
// has them), then the interface configuration (attribute 5). Many devices
// refuse attribute 5 while they are not set to a static address, and a
// device that applies attribute 5 at once may drop the session, so it goes
// last. A refusal stops the writes. Then everything is read back (at the
// new address when the old one no longer answers) and compared.
class IpSettingsWriter : public QObject
{
    Q_OBJECT

public:
    explicit IpSettingsWriter(const QHostAddress &address, quint16 port = 44818, QObject *parent = nullptr);
    ~IpSettingsWriter() override;

    void start(const IpSettings &settings);

signals:
    void finished(const IpSettingsResult &result);

private:
    void priv_ask(DeviceReply *reply);
    void priv_onReply(DeviceReply *reply);
    void priv_writeNext();
    void priv_readBack(const QHostAddress &address);
    void priv_onReadBack(const DeviceDetails &details);
    void priv_compare();

    QHostAddress address;
    quint16 port;
    DeviceClient *client;
    DeviceDetailsReader *reader = nullptr;
    IpSettings settings;
    IpSettingsResult result;
    QList<quint16> toWrite;
    DeviceReply *pending = nullptr;
    bool readingControl = false;
    quint32 control = 0;
    bool triedNewAddress = false;
};

Q_DECLARE_METATYPE(IpSettingsResult)

#endif // IPSETTINGSWRITER_H
