#ifndef LOGTEXT_H
#define LOGTEXT_H

#include <QString>

// Text for the debug log's lines that are built without QDebug's streams,
// where a line is written for every reply and the streams cost more than
// the line itself.
namespace LogText {

// A string as `qDebug() << text` writes it: in double quotes, with the
// characters QDebug escapes escaped as it does.
QString quoted(const QString &text);

} // namespace LogText

#endif // LOGTEXT_H
