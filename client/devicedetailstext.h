#ifndef DEVICEDETAILSTEXT_H
#define DEVICEDETAILSTEXT_H

#include "devicedetails.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// One row of a device's details: a heading ("TCP/IP interface") or a name
// and its value.
struct DetailsRow
{
    QString name;
    QString value;
    bool heading = false;
};

// A device's details as the details dialog, the list's tooltip and the
// command line show them.
class DeviceDetailsText
{
    Q_DECLARE_TR_FUNCTIONS(DeviceDetailsText)

public:
    // The Identity object's attributes in the order the tooltip shows them:
    // vendor ID, device type, product code, revision, serial number, status,
    // state.
    static const QList<quint16> &identityOrder();
    // One identity attribute's label and value lines, as the tooltip shows
    // it.
    static QPair<QString, QStringList> identityRow(quint16 attribute, const CIP::CipIdentityObject &identity);

    // Every row: identity, TCP/IP interface, each Ethernet port, then the
    // warnings. An attribute that was not read is shown with why.
    static QList<DetailsRow> rows(const DeviceDetails &details, const QStringList &warnings);
    // The rows as text, one per line: "name<TAB>value", a heading alone.
    static QString plainText(const QList<DetailsRow> &rows);
    // The command line's JSON document: address, identity, tcpip,
    // ethernet_link (the first port), warnings and errors; null for what
    // was not read.
    static QJsonObject json(const DeviceDetails &details, const QStringList &warnings);

    // "static", "BOOTP", "DHCP".
    static QString methodName(quint32 method);
};

#endif // DEVICEDETAILSTEXT_H
