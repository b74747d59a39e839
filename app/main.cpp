#include "mainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QFont>
#include <QLocale>

int main(int argc, char *argv[])
{
    // High-DPI settings must precede the application object.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    QApplication app(argc, argv);

    // 11 pixels, not points: the size stays the same whatever the system's
    // font settings say.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);

    qDebug() << "System locale =" << QLocale::system();

    MainWindow window;
    window.show();
    return app.exec();
}
