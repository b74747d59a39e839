#include "commandline.h"
#include "localetext.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QFont>
#include <QLocale>
#include <QStringList>

int main(int argc, char *argv[])
{
    // The mode decides the platform, so it is known before any application
    // object exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = CommandLine::parse(arguments);
    // Every mode but the window runs without Qt Gui: no platform plug-in,
    // no display needed.
    if (commandLine.mode != CommandLine::Window) {
        QCoreApplication app(argc, argv);
        // The modes that talk to the network log what they do.
        if (commandLine.mode != CommandLine::Help && commandLine.mode != CommandLine::Version
            && commandLine.mode != CommandLine::UsageError)
            qDebug().noquote() << "System locale =" << localeDebugText(QLocale::system());
        return runCommandLine(commandLine);
    }

    // High-DPI settings must precede the application object. Qt 6 always
    // scales and always uses high-resolution pixmaps, and deprecates the two
    // attributes; the pass-through rounding keeps fractional factors such as
    // 1.25 unrounded on both.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    QApplication app(argc, argv);

    // 11 pixels, not points: the size stays the same whatever the system's
    // font settings say.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);

    qDebug().noquote() << "System locale =" << localeDebugText(QLocale::system());

    MainWindow window;
    window.show();
    return app.exec();
}
