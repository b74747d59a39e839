#ifndef PROGRAMSETTINGS_H
#define PROGRAMSETTINGS_H

#include <QApplication>
#include <QFont>

// The program's own start-up settings (app/main.cpp), so that the
// benchmark and the screenshots draw what a user sees.

// Before the application object is made.
inline void setProgramAttributes()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

// After it is made.
inline void setProgramFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);
}

#endif // PROGRAMSETTINGS_H
