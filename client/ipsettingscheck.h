#ifndef IPSETTINGSCHECK_H
#define IPSETTINGSCHECK_H

#include "ipsettingswriter.h"
#include "ipv4subnet.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

// A device's network settings as the user typed them, in the window's
// dialog or on the command line.
struct IpSettingsInput
{
    IpSettings::Method method = IpSettings::KeepMethod;
    // Read with method Static only. The netmask may be dotted
    // ("255.255.255.0") or a prefix length ("24" or "/24"); an empty
    // gateway or name server means none (0.0.0.0).
    QString address;
    QString netmask;
    QString gateway;
    QString nameServer;
    QString nameServer2;
    QString domain;
    bool setHostName = false;
    QString hostName;
};

// What the check made of the input: for each field why it is refused
// (empty when it is fine), a warning the user may override, and the
// settings to write when nothing is refused.
struct IpSettingsCheck
{
    Q_DECLARE_TR_FUNCTIONS(IpSettingsCheck)

public:
    enum Field { Address, Netmask, Gateway, NameServer, NameServer2, Domain, HostName, FieldCount };

    bool acceptable() const;
    // The first refusal, in field order; empty when there is none.
    QString firstProblem() const;

    QString problems[FieldCount];
    // The address is that of another listed device.
    QString warning;
    IpSettings settings;
};

// Checks the input as it is typed. otherDevices: the addresses of the other
// devices the user knows of (the list's), for the conflict warning.
IpSettingsCheck checkIpSettings(const IpSettingsInput &input, const QVector<quint32> &otherDevices = {});

// What writing the settings changes, one line per value: "IP address:
// 10.0.0.5 -> 10.0.0.9", the device's values as read before. A value not
// read is "not known".
QStringList ipSettingsChanges(const DeviceDetails &current, const IpSettings &settings);

// A netmask, dotted or as a prefix length ("24", "/24"), of 1 to 32 bits
// set from the left.
bool parseNetmask(const QString &text, quint32 *netmask);

Q_DECLARE_METATYPE(IpSettings)

#endif // IPSETTINGSCHECK_H
