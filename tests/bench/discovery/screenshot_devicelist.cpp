// Screenshots of the main window while its device list fills, to show that
// a change to how the list is painted leaves every pixel as it was.
//
// usage (inside tests/run-isolated.sh, on the offscreen platform):
//   screenshot_devicelist OUTDIR [REFERENCE_DIR]
//
// It fills the list the way replies do (one entry at a time, a few ms
// apart, the first one current, the status line after each), then scrolls,
// selects, starts a new run and fills it again, and after each step
// saves what the window shows on screen (its backing store, so a repaint
// that was held back or missed shows up) as OUTDIR/NN-step.png, and the
// window drawn afresh by QWidget::grab as OUTDIR/NN-step-drawn.png. With a
// REFERENCE_DIR it compares each image with the one of the same name there
// and exits 1 if any pixel differs. Run it once with the old program and
// once with the new one, at each device pixel ratio (QT_SCALE_FACTOR).

#include "deviceprotocol.h"
#include "mainwindow.h"
#include "programsettings.h"
// Builds that lay out the list themselves after a reader's batch.
#if __has_include("devicelistview.h")
#include "devicelistview.h"
#define LAY_OUT_APPENDED_ROWS
#endif

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include <cstdio>

namespace {

QString deviceLine(int number, int host)
{
    return QStringLiteral("%1.  10.202.1.%2:55555 | \"Bench %2\" (1.%3) S/N: %4")
        .arg(number)
        .arg(host)
        .arg(host % 7)
        .arg(QString::number(0xA0000 + host * 977, 16).toUpper());
}

// As a reader lists the devices of one batch of datagrams: each appended
// with its data, the first one of a run current, then the count in the
// status bar.
void addDevices(QMainWindow &window, QListWidget *list, const QStringList &texts, int firstHost)
{
    const int firstRow = list->count();
    for (int i = 0; i < texts.size(); ++i) {
        auto *item = new QListWidgetItem(texts.at(i), nullptr, QListWidgetItem::Type);
        item->setData(AddressRole, QStringLiteral("10.202.1.%1").arg(firstHost + i));
        item->setData(ConfigRole, (firstHost + i) % 3 == 0);
        list->insertItem(list->count(), item);
        if (list->count() == 1)
            list->setCurrentRow(0);
    }
#ifdef LAY_OUT_APPENDED_ROWS
    layOutAppendedRows(list, firstRow);
#else
    Q_UNUSED(firstRow)
#endif
    window.statusBar()->showMessage(MainWindow::tr("Found %n device(s)", "", list->count()));
}

// The window's backing store as the screen shows it. At a fractional
// ratio Qt's offscreen screen gives only the first width x height device
// pixels of it, which still hold the list.
QImage grab(const QWidget &window)
{
    return window.screen()->grabWindow(window.winId()).toImage();
}

} // namespace

int main(int argc, char *argv[])
{
    setProgramAttributes();
    QApplication app(argc, argv);
    setProgramFont();

    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: screenshot_devicelist OUTDIR [REFERENCE_DIR]\n");
        return 2;
    }
    const QDir out(args.at(1));
    QDir().mkpath(out.path());

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    auto *list = window.findChild<QListWidget *>("listWidget");
    // The automatic run clears the list one second after start.
    QTest::qWait(1500);

    int shot = 0;
    bool same = true;
    const auto snap = [&](const char *step) {
        // Longer than any repaint may be held back.
        QTest::qWait(150);
        ++shot;
        // What the screen shows, and the whole window drawn afresh.
        const QImage images[] = {grab(window), window.grab().toImage()};
        for (int i = 0; i < 2; ++i) {
            const QString name =
                QStringLiteral("%1-%2%3.png").arg(shot, 2, 10, QLatin1Char('0')).arg(step, i ? "-drawn" : "");
            images[i].save(out.filePath(name));
            if (args.size() < 3)
                continue;
            const QImage reference(QDir(args.at(2)).filePath(name));
            const bool equal =
                reference.convertToFormat(QImage::Format_ARGB32) == images[i].convertToFormat(QImage::Format_ARGB32);
            same = same && equal;
            std::printf("%s %dx%d %s\n", qPrintable(name), images[i].width(), images[i].height(),
                        equal ? "identical" : "DIFFERS");
        }
    };

    std::printf("device pixel ratio %.4f, window %dx%d\n", window.devicePixelRatioF(), window.width(), window.height());
    // A run's replies: one every few ms, among them a reply of two lines and
    // one wider than the list.
    // Mostly one reply per batch, sometimes three.
    for (int i = 0; i < 60;) {
        const int batch = i % 7 == 3 ? 3 : 1;
        QStringList texts;
        for (int j = i; j < i + batch; ++j) {
            QString text = deviceLine(j + 1, j + 2);
            if (j == 7)
                text = QStringLiteral("8.  10.202.1.9:55555 | marovenda first line\nsecond line of the reply");
            if (j == 12)
                text += QStringLiteral(" | ") + QString(QLatin1Char('W')).repeated(120);
            texts.append(text);
        }
        addDevices(window, list, texts, i + 2);
        i += batch;
        QTest::qWait(i % 5 == 0 ? 0 : 3);
        if (i == 6)
            snap("six-entries");
    }
    snap("sixty-entries");
    list->scrollToBottom();
    snap("scrolled-down");
    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    snap("scrolled-right");
    list->scrollToTop();
    list->horizontalScrollBar()->setValue(0);
    list->setCurrentRow(7);
    snap("two-line-selected");
    QTest::mouseClick(window.findChild<QPushButton *>("pushButton_find"), Qt::LeftButton);
    for (int i = 0; i < 3; ++i)
        addDevices(window, list, {deviceLine(i + 1, 200 + i)}, 200 + i);
    snap("new-run");
    return same ? 0 : 1;
}
