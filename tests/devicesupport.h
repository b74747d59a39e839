#ifndef DEVICESUPPORT_H
#define DEVICESUPPORT_H

// Pieces shared by the tests of device records and their tooltips:
// identity items decoded from bytes built independently of the codec
// (tests/rig/rigsupport.h), and a tooltip's table as plain-text cells.

#include "listidentityreply.h"
#include "rigsupport.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextDocumentFragment>

namespace DeviceSupport {

// The first item of a ListIdentity reply that holds this identity.
inline ENIP::ListIdentityItem identityItem(const Rig::Identity &identity, quint32 sockaddrIp = 0)
{
    ENIP::ListIdentityReply reply;
    reply.deserialize(Rig::identityReply(identity, sockaddrIp));
    return reply.items.value(0);
}

// The cells of a tooltip's table in plain text, a value's lines joined by
// line breaks.
inline QStringList toolTipCells(const QString &html)
{
    QStringList cells;
    const QRegularExpression cell(QStringLiteral("<td[^>]*>(.*?)</td>"));
    for (auto match = cell.globalMatch(html); match.hasNext();) {
        const QString text = QTextDocumentFragment::fromHtml(match.next().captured(1)).toPlainText();
        cells.append(QString(text).replace(QChar::LineSeparator, QLatin1Char('\n')));
    }
    return cells;
}

} // namespace DeviceSupport

#endif // DEVICESUPPORT_H
