#ifndef LOCALETEXT_H
#define LOCALETEXT_H

#include <QString>

QT_BEGIN_NAMESPACE
class QLocale;
QT_END_NAMESPACE

// The locale as Qt 5's debug stream writes it, for example
// "QLocale(Czech, Latin, Czech Republic)", under Qt 5 and Qt 6 alike.
QString localeDebugText(const QLocale &locale);

#endif // LOCALETEXT_H
