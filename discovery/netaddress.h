#ifndef NETADDRESS_H
#define NETADDRESS_H

#include <QString>

QT_BEGIN_NAMESPACE
class QHostAddress;
QT_END_NAMESPACE

// True when the address is the IPv4 address of one of this computer's
// usable address entries (the ones a discovery run sends from). The
// interface list is read afresh on every call.
bool isOwnAddress(const QHostAddress &address);

// Dotted-decimal text of an IPv4 address in host byte order.
QString ipv4ToString(quint32 address);

#endif // NETADDRESS_H
