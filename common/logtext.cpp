#include "logtext.h"

#include <QDebug>

namespace LogText {

QString quoted(const QString &text)
{
    // QDebug writes printable ASCII as it is, but for the quote and the
    // backslash; anything else takes its own escaping.
    bool plain = true;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u > 0x7E || u == '"' || u == '\\') {
            plain = false;
            break;
        }
    }
    if (plain)
        return QLatin1Char('"') + text + QLatin1Char('"');
    QString escaped;
    QDebug(&escaped).nospace() << text;
    return escaped;
}

} // namespace LogText
