#ifndef DEVICEDETAILS_H
#define DEVICEDETAILS_H

#include "cipobjects.h"
#include "ciproute.h"
#include "unconnectedsend.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QVector>

class DeviceClient;
class DeviceReply;

// An attribute the device did not give: which, and why.
struct AttributeError
{
    QString object; // "identity", "tcpip" or "ethernet_link"
    quint16 instance = 1;
    quint16 attribute = 0;
    QString attributeName; // "host_name", as the details' JSON names it
    // "0x14 Attribute not supported", or why the answer was not taken.
    QString status;
};

// What a device told about itself over explicit messaging. Each object's
// present list says which attributes were read; errors says why the others
// were not. failure is empty when every question was asked; otherwise it
// says what ended the reading (no connection, no answer, a broken answer),
// and what was read up to then is kept.
struct DeviceDetails
{
    QHostAddress address;
    // The route from the device at address to the module read; empty: the
    // device itself.
    CIP::CipRoute route;
    // Set (failed()) when the bridge did not deliver a request to the
    // module at route; failure then says it in words.
    CIP::RoutingError routingError;
    CIP::CipIdentityAttributes identity;
    CIP::CipTcpIpInterface tcpip;
    // Instance 1 first; only instances that answered.
    QVector<CIP::CipEthernetLink> links;
    QVector<AttributeError> errors;
    QString failure;

    static QString objectName(quint16 classId);
    static QString attributeName(quint16 classId, quint16 attribute);
};

// Warnings for the person at the device, in plain words, from what was
// read: a netmask that differs from that of the card the device was found
// through (cardNetmask, 0 when unknown), a gateway outside the device's own
// subnet, a configured address other than the one it answered from
// (answeredFrom, 0 when unknown), a change that waits for a reset, and an
// address conflict.
QStringList deviceWarnings(const DeviceDetails &details, quint32 cardNetmask, quint32 answeredFrom);

// Reads a device's details over one DeviceClient session: the Identity
// object (instance 1), the TCP/IP Interface object (instance 1) and the
// Ethernet Link object (instances 1 up to the highest that answers, at
// most 8). Each object with Get_Attributes_All; attribute by attribute
// where the device does not support that service or its answer is short.
class DeviceDetailsReader : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 MaxLinkInstances = 8;

    explicit DeviceDetailsReader(const QHostAddress &address, quint16 port = 44818, QObject *parent = nullptr);
    // Reads the module at the end of route behind the device at address,
    // every request sent through that route. Nothing is written to it.
    DeviceDetailsReader(const QHostAddress &address, const CIP::CipRoute &route, QObject *parent = nullptr);
    DeviceDetailsReader(const QHostAddress &address, const CIP::CipRoute &route, quint16 port,
                        QObject *parent = nullptr);
    // Reads over a session that others share: the reader neither owns nor
    // closes sharedClient, which must outlive it.
    explicit DeviceDetailsReader(DeviceClient *sharedClient, QObject *parent = nullptr);
    ~DeviceDetailsReader() override;

    // Pipelined: the first instance of each of the three objects is asked
    // for at once, before the first answer is in, instead of one after the
    // other (the client must take three requests in flight). What is read
    // is the same; only the order of the requests on the wire differs.
    void setPipelined(bool on) { pipelined = on; }

    // Starts (or starts again) a reading; finished() follows.
    void start();

signals:
    void finished(const DeviceDetails &details);

private:
    struct Step
    {
        quint16 classId = 0;
        quint16 instance = 0;
        quint16 attribute = 0; // 0: Get_Attributes_All
    };

    void priv_ask(DeviceReply *reply);
    void priv_askAhead();
    void priv_dropAhead();
    void priv_onReply(DeviceReply *reply);
    void priv_readObject(quint16 classId, quint16 instance);
    void priv_askNext();
    void priv_objectDone();
    void priv_addError(quint16 attribute, const QString &status);
    void priv_finish();
    CIP::CipAttributeValues *priv_values();

    DeviceClient *client;
    bool ownsClient = true;
    bool pipelined = false;
    CIP::CipRoute route;
    DeviceDetails details;
    CIP::CipEthernetLink link;
    Step step;
    QList<quint16> singles;
    bool objectAbsent = false;
    // The request whose answer is awaited; its reply belongs to this reader.
    DeviceReply *pending = nullptr;
    // Pipelined: the objects' Get_Attributes_All sent ahead and not yet
    // taken up, by class.
    QHash<quint16, DeviceReply *> ahead;
};

Q_DECLARE_METATYPE(DeviceDetails)

#endif // DEVICEDETAILS_H
