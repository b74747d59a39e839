#include "localetext.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDebug>
#include <QFont>
#include <QLocale>

int main(int argc, char *argv[])
{
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
