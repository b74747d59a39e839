#ifndef ADDRESSASSIGNMENT_H
#define ADDRESSASSIGNMENT_H

#include "ipv4subnet.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QSet>
#include <QString>
#include <QVector>

// The address the user gives one device, by its hardware address: what the
// address server answers that device with, and nothing else.
struct AddressAssignment
{
    QByteArray mac; // six bytes
    quint32 address = 0;
    int prefixLength = 24;
    quint32 gateway = 0; // 0: none
    QVector<quint32> nameServers; // at most two
    QString hostName; // empty: none

    bool operator==(const AddressAssignment &other) const
    {
        return mac == other.mac && address == other.address && prefixLength == other.prefixLength
            && gateway == other.gateway && nameServers == other.nameServers && hostName == other.hostName;
    }
};

// Why an assignment cannot be made. Everything but ListedDevice is an
// error; ListedDevice is a warning the user may override.
enum class AssignmentProblem {
    None,
    BadMac,
    BadPrefix, // not 1 to 30
    NotInCardSubnet, // no subnet of the card holds the address
    CardAddress, // it is the card's own address
    NetworkAddress, // the subnet's network address
    BroadcastAddress, // the subnet's broadcast address
    AssignedElsewhere, // another MAC has it
    BadGateway, // outside the assigned subnet, or the address itself
    TooManyNameServers, // more than two
    BadHostName, // not letters, digits, '-' and '.', or over 63 characters
    ListedDevice // a device in the list has it (warning)
};

struct AssignmentCheck
{
    AssignmentProblem problem = AssignmentProblem::None;
    QString text; // what is wrong, for the user; empty when nothing is

    bool ok() const { return problem == AssignmentProblem::None; }
    bool isWarning() const { return problem == AssignmentProblem::ListedDevice; }
    // Whether the assignment may be made: without a problem, or with a
    // warning the user has overridden.
    bool acceptable(bool overridden) const { return ok() || (isWarning() && overridden); }
};

// An assignment as the user types it: the addresses as text (spaces
// around them do not count), the name servers separated by spaces or
// commas.
struct AssignmentFields
{
    QString address;
    int prefixLength = 24;
    QString gateway;
    QString nameServers;
    QString hostName;
};

class AddressAssignments
{
    Q_DECLARE_TR_FUNCTIONS(AddressAssignments)

public:
    // "00:1D:9C:C7:B0:70" from six bytes, upper case with ':'.
    static QString macText(const QByteArray &mac);
    // Six bytes from a MAC in any letter case, with ':' or '-' between the
    // bytes; empty when it is no such text.
    static QByteArray parseMac(const QString &text);

    // Checks an assignment against the addresses of the card (or, where the
    // card is not yet known, of every card): one of them must have a subnet
    // that holds the address, and the address must not be the card's own,
    // nor that subnet's network or broadcast address. The other assignments
    // (the one with the same MAC is left out) must not have the address;
    // listed, the addresses of devices in the list, gives a warning.
    // Errors come before the warning.
    static AssignmentCheck check(const AddressAssignment &assignment, const QVector<Ipv4Subnet> &card,
                                 const QVector<AddressAssignment> &others, const QSet<quint32> &listed = {});

    // The assignment the fields describe for the MAC: an address field that
    // is no address gives 0, a name server that is none is left out.
    static AddressAssignment fromFields(const QByteArray &mac, const AssignmentFields &fields);
    // Checks the fields as typed. A field that is no address at all gives a
    // check of its own (NotInCardSubnet for the address, BadGateway for the
    // gateway and the name servers); otherwise check() of fromFields().
    static AssignmentCheck checkFields(const QByteArray &mac, const AssignmentFields &fields,
                                       const QVector<Ipv4Subnet> &card, const QVector<AddressAssignment> &others,
                                       const QSet<quint32> &listed = {});

    // The first address of the card's subnet (its first subnet with a
    // prefix of 1 to 30) that passes the check without even a warning; 0
    // when there is none.
    static quint32 firstFreeAddress(const QByteArray &mac, const QVector<Ipv4Subnet> &card,
                                    const QVector<AddressAssignment> &others, const QSet<quint32> &listed);

    // The assignments CSV: a header row mac_address,ip_address,prefix,
    // gateway,dns,host_name and one row per MAC; dns holds up to two
    // addresses separated by a space; every field after prefix may be
    // empty. UTF-8, a byte-order mark accepted, CRLF or LF, blank lines
    // skipped. A malformed row, or a MAC listed twice, refuses the whole
    // file with the row's line number in error.
    static bool fromCsv(const QByteArray &data, QVector<AddressAssignment> *assignments, QString *error);
    // UTF-8 with a byte-order mark and CRLF line ends, as fromCsv reads it.
    static QByteArray toCsv(const QVector<AddressAssignment> &assignments);
    static const char CsvHeader[];
};

#endif // ADDRESSASSIGNMENT_H
