#include "localetext.h"

#include <QDebug>
#include <QLocale>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
namespace {

// Qt 6 follows newer CLDR data and calls some languages, scripts and
// territories by new names; the log keeps the names Qt 5 gives them, so
// that both builds write the same start-up line. Every name of a locale
// that Qt 5.15 knows and Qt 6.4 writes differently is here.
struct Qt5Name
{
    const char *qt6;
    const char *qt5;
};

constexpr Qt5Name qt5Names[] = {
    {"Bangla", "Bengali"},
    {"Bosnia And Herzegovina", "Bosnia And Herzegowina"},
    {"Caribbean Netherlands", "Bonaire"},
    {"Central Atlas Tamazight", "Central Morocco Tamazight"},
    {"Curacao", "Cura Sao"},
    {"Czechia", "Czech Republic"},
    {"Eswatini", "Swaziland"},
    {"Kalaallisut", "Greenlandic"},
    {"Kyrgyz", "Kirghiz"},
    {"Macao", "Macau"},
    {"Navajo", "Navaho"},
    {"Odia", "Oriya"},
    {"Saint Vincent And Grenadines", "Saint Vincent And The Grenadines"},
    {"Svalbard And Jan Mayen", "Svalbard And Jan Mayen Islands"},
    {"Timor-Leste", "East Timor"},
    {"United States Outlying Islands", "United States Minor Outlying Islands"},
    {"Uyghur", "Uighur"},
    {"Vatican City", "Vatican City State"},
    {"Wallis And Futuna", "Wallis And Futuna Islands"},
    {"Wolaytta", "Walamo"},
};

QString qt5Name(const QString &name)
{
    for (const Qt5Name &entry : qt5Names) {
        if (name == QLatin1String(entry.qt6))
            return QString::fromLatin1(entry.qt5);
    }
    return name;
}

} // namespace
#endif

QString localeDebugText(const QLocale &locale)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QString text;
    QDebug(&text).nospace() << locale;
    return text;
#else
    // The layout of Qt's own operator<<(QDebug, const QLocale &).
    return QStringLiteral("QLocale(%1, %2, %3)")
        .arg(qt5Name(QLocale::languageToString(locale.language())), qt5Name(QLocale::scriptToString(locale.script())),
             qt5Name(QLocale::territoryToString(locale.territory())));
#endif
}
