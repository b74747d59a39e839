// Discovery of N simulated EtherNet/IP devices over the namespace rig, with
// the window shown and painted and the debug log written to stderr, as the
// program runs for a user.
//
// usage (inside tests/rig/rig.sh): bench_discovery N spread|burst|floor|watch|silent-details
//
// The devices are spread over the rig's links, 253 at most per /24 (.2 to
// .254). "spread" answers after a random delay of 0 to 2000 ms, the window a
// device picks for a request with a zero sender context; "burst" answers all
// at once. Prints one line: devices listed, time from the start of the run
// to the last device listed, the longest time from a device's reply to its
// entry, the program's CPU time per reply, the counters that show where
// replies were lost, and the receive-buffer limit it ran with.
//
// "watch" turns on the window's Watch button with the N devices answering
// every round (spread as in "spread") and prints the program's CPU time
// over 60 s at the default interval, in all and as a share of one core.
//
// "silent-details" opens a details dialog on one device that accepts its
// TCP connection and never answers, and prints the event loop's worst
// lateness while the dialog waits its 3 s (the largest gap between the
// ticks of a 1 ms timer), next to the same figure for the window alone.
//
// "floor" lists nothing over the network; it measures what no reply can
// avoid: the CPU time of the five debug lines a ListIdentity reply writes,
// and of one repaint of the list filled with N entries, in all and per row
// in sight.

#include "devicedetailsdialog.h"
#include "mainwindow.h"
#include "programsettings.h"
#include "rigsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Replies come within this long of the probe, and the wait ends this long
// after the run started at the latest.
constexpr qint64 LongestDelayMs = 2000;
constexpr qint64 WaitMs = LongestDelayMs + 600;
// After the last device, a pending repaint still counts.
constexpr qint64 SettleMs = 100;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

int floorCase(int n)
{
    // The lines of one reply, as the reader writes them.
    constexpr int Replies = 2000;
    const QString name = QStringLiteral("Bench 123");
    const QByteArray zero(8, '\0');
    double start = threadCpuSeconds();
    for (int i = 0; i < Replies; ++i) {
        qDebug() << "MainWindow::readyRead_opener"
                 << ":"
                 << "Item: Type =" << quint16(12);
        qDebug() << "MainWindow::readyRead_opener"
                 << ":"
                 << "Identity item: Encap. protocol ver. = " << quint16(1);
        qDebug() << "MainWindow::readyRead_opener"
                 << ":"
                 << "Identity item: Sockaddr: family =" << qint16(2) << ", port =" << quint16(44818)
                 << ", addr =" << QStringLiteral("0.0.0.0") << ", zero =" << zero.toHex(' ');
        qDebug() << "MainWindow::readyRead_opener"
                 << ":"
                 << "Identity item: Identity object: Product name =" << name;
        qDebug() << "MainWindow::readyRead_opener"
                 << ":"
                 << "Device added to the list (Opener)";
    }
    const double logLines = (threadCpuSeconds() - start) / Replies;

    MainWindow window;
    window.show();
    auto *list = window.findChild<QListWidget *>("listWidget");
    // After the window's own run, which clears the list.
    QTest::qWait(1500);
    for (int i = 0; i < n; ++i)
        list->addItem(
            QStringLiteral("%1.  10.202.1.%2:55555 | \"Bench %2\" (1.0) S/N: %3").arg(i + 1).arg(i % 250).arg(i));
    QTest::qWait(100);
    constexpr int Repaints = 100;
    double painting = 0;
    for (int i = 0; i < Repaints; ++i) {
        // Far enough apart that no repaint is held back.
        QTest::qWait(20);
        start = threadCpuSeconds();
        list->viewport()->repaint();
        painting += threadCpuSeconds() - start;
    }
    int rowsInSight = 0;
    for (int row = 0; row < list->count(); ++row)
        rowsInSight += list->visualItemRect(list->item(row)).intersects(list->viewport()->rect()) ? 1 : 0;
    std::printf("N=%-5d case=floor  log_lines_us_per_reply=%.1f list_repaint_us=%.1f rows_in_sight=%d "
                "us_per_row_in_sight=%.1f\n",
                n, logLines * 1e6, painting / Repaints * 1e6, rowsInSight,
                rowsInSight ? painting / Repaints * 1e6 / rowsInSight : 0.0);
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The clock the simulated devices stamp their replies with.
double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Packets dropped because a CPU's input backlog was full (all namespaces).
qint64 backlogDrops()
{
    QFile file(QStringLiteral("/proc/net/softnet_stat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 drops = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 1)
            drops += fields.at(1).toLongLong(nullptr, 16);
    }
    return drops;
}

// Runs the event loop until done() or limitMs, with a 1 ms precise timer
// ticking; returns the largest gap between two ticks in milliseconds, and
// the time it ran.
double largestTickGap(const std::function<bool()> &done, qint64 limitMs, qint64 *ranMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 largest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QEventLoop loop;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
        const qint64 now = clock.nsecsElapsed();
        largest = std::max(largest, now - last);
        last = now;
        if (done() || clock.elapsed() >= limitMs)
            loop.quit();
    });
    tick.start();
    loop.exec();
    *ranMs = clock.elapsed();
    return double(largest) / 1e6;
}

int silentDetailsCase()
{
    const QString subnet = Rig::links().first().progAddrs.first().section('.', 0, 2);
    const QString addr = subnet + QStringLiteral(".2");
    Rig::Device device;
    device.addr = addr;
    device.cip = QJsonObject{{"behaviour", "silent"}, {"attributes", QJsonObject{{"01/1/1", "0100"}}}};
    Rig::Devices devices;
    if (!devices.start({device})) {
        std::fprintf(stderr, "the simulated device did not start\n");
        return 1;
    }
    MainWindow window(nullptr, MainWindow::NoAutomaticSearch);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    qint64 aloneMs = 0;
    const double alone = largestTickGap([]() { return false; }, 3000, &aloneMs);

    DeviceRecord record;
    record.protocol = DeviceProtocol::ListIdentity;
    record.address = Rig::ipv4(addr);
    record.identities.append(ENIP::ListIdentityItem());
    auto *dialog = new DeviceDetailsDialog(&window, record, 0, {});
    dialog->show();
    auto *refresh = dialog->findChild<QPushButton *>(QStringLiteral("pushButton_refresh"));
    qint64 waitedMs = 0;
    const double waiting = largestTickGap([refresh]() { return refresh->isEnabled(); }, 10000, &waitedMs);
    const QString status = dialog->findChild<QLabel *>(QStringLiteral("label_status"))->text();
    std::printf("case=silent-details waited_ms=%lld status=\"%s\" max_tick_gap_ms=%.2f "
                "window_alone_max_tick_gap_ms=%.2f (over %lld ms)\n",
                waitedMs, qPrintable(status), waiting, alone, aloneMs);
    delete dialog;
    devices.stop();
    return 0;
}

qint64 rmemMax()
{
    QFile file(QStringLiteral("/proc/sys/net/core/rmem_max"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : -1;
}

// The window watching the network for a minute: rounds every 5 s, each
// answered by every device.
int watchCase(QApplication &app, int n)
{
    constexpr int WatchMs = 60000;
    MainWindow window(nullptr, MainWindow::NoAutomaticSearch);
    window.show();
    QTest::qWait(200);
    auto *list = window.findChild<QListWidget *>("listWidget");
    const double cpuStart = cpuSeconds();
    const double start = monotonicSeconds();
    QTest::mouseClick(window.findChild<QAbstractButton *>("pushButton_watch"), Qt::LeftButton);
    QTimer::singleShot(WatchMs, &app, &QApplication::quit);
    app.exec();
    const double cpu = cpuSeconds() - cpuStart;
    int offline = 0;
    for (int row = 0; row < list->count(); ++row)
        offline += list->item(row)->data(Qt::ForegroundRole).isValid() ? 1 : 0;
    std::printf("N=%-5d case=watch  seconds=%.1f listed=%d/%d offline=%d cpu_s=%.2f cpu_percent_of_one_core=%.2f\n", n,
                monotonicSeconds() - start, list->count(), n, offline, cpu, cpu * 100 / (WatchMs / 1e3));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    setProgramAttributes();
    QApplication app(argc, argv);
    setProgramFont();

    const QStringList args = app.arguments();
    const QStringList cases{"spread", "burst", "floor", "watch", "silent-details"};
    if (args.size() != 3 || !cases.contains(args.at(2)) || !Rig::inRig()) {
        std::fprintf(stderr,
                     "usage (inside tests/rig/rig.sh): bench_discovery N spread|burst|floor|watch|silent-details\n");
        return 2;
    }
    const int n = args.at(1).toInt();
    if (args.at(2) == QLatin1String("silent-details"))
        return silentDetailsCase();
    if (args.at(2) == QLatin1String("floor"))
        return floorCase(n);
    const bool burst = args.at(2) == QLatin1String("burst");

    QList<Rig::Device> config;
    const QList<Rig::Link> links = Rig::links();
    for (int i = 0; i < n; ++i) {
        const Rig::Link &link = links.at(i % links.size());
        const QString subnet = link.progAddrs.first().section('.', 0, 2);
        const QString addr = QStringLiteral("%1.%2").arg(subnet).arg(2 + i / links.size());
        Rig::Identity identity{1, 12, 2, 1, 0, 0, quint32(i), "Bench " + QByteArray::number(i)};
        config.append(Rig::Device{addr, 44818, 0, {Rig::identityReply(identity)}, 0, burst ? 0 : int(LongestDelayMs)});
    }
    Rig::Devices devices;
    if (!devices.start(config)) {
        std::fprintf(stderr, "bench_discovery: the simulated devices did not start\n");
        return 1;
    }
    if (args.at(2) == QLatin1String("watch"))
        return watchCase(app, n);

    const qint64 rcvbufBefore = Rig::udpCounter("RcvbufErrors");
    const qint64 inBefore = Rig::udpCounter("InDatagrams");
    const qint64 backlogBefore = backlogDrops();

    MainWindow window;
    window.show();
    auto *list = window.findChild<QListWidget *>("listWidget");

    // The run starts by clearing the list; every entry is appended, so the
    // n-th time stamp belongs to row n.
    double runStart = -1;
    double cpuAtStart = 0;
    std::vector<double> listedAt;
    listedAt.reserve(size_t(n));
    QObject::connect(list->model(), &QAbstractItemModel::modelReset, [&] {
        if (runStart < 0) {
            runStart = monotonicSeconds();
            cpuAtStart = cpuSeconds();
        }
    });
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&](const QModelIndex &, int first, int last) {
        const double now = monotonicSeconds();
        for (int row = first; row <= last; ++row)
            listedAt.push_back(now);
    });

    double allListed = -1;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (runStart < 0)
            return;
        const double now = monotonicSeconds();
        if (allListed < 0 && list->count() == n)
            allListed = now;
        if ((allListed >= 0 && now - allListed >= SettleMs / 1e3) || now - runStart >= WaitMs / 1e3)
            app.quit();
    });
    poll.start();
    app.exec();
    const double cpu = cpuSeconds() - cpuAtStart;
    devices.stop();

    // From each device's reply to its entry in the list; apart, for the
    // entries in sight (the list is never scrolled, so those were in sight
    // when they came), which the window adds sooner.
    double worstDelay = 0;
    double worstInSight = 0;
    for (int row = 0; row < list->count() && row < int(listedAt.size()); ++row) {
        const QString address = list->item(row)->text().section(QLatin1Char(' '), 2, 2).section(QLatin1Char(':'), 0, 0);
        if (!devices.firstSent.contains(address))
            continue;
        const double delay = listedAt[size_t(row)] - devices.firstSent.value(address);
        worstDelay = std::max(worstDelay, delay);
        if (list->visualItemRect(list->item(row)).top() < list->viewport()->height())
            worstInSight = std::max(worstInSight, delay);
    }

    // For a profile of the run alone (perf record -k CLOCK_MONOTONIC, then
    // perf report --time FROM,TO).
    if (!listedAt.empty())
        std::fprintf(stderr, "bench_discovery: run from %.6f to %.6f s (CLOCK_MONOTONIC)\n", runStart,
                     listedAt.back() + SettleMs / 1e3);

    const qint64 delivered = Rig::udpCounter("InDatagrams") - inBefore;
    const int listed = list->count();
    std::printf(
        "N=%-5d case=%-6s rmem_max=%-7lld listed=%d/%d last_listed_ms=%.0f max_reply_to_list_ms=%.1f "
        "max_in_sight_ms=%.1f cpu_us_per_reply=%.1f sim_sent=%d udp_in=%lld rcvbuf_errors=%lld backlog_drops=%lld\n",
        n, burst ? "burst" : "spread", rmemMax(), listed, n,
        listedAt.empty() ? -1.0 : (listedAt.back() - runStart) * 1e3, worstDelay * 1e3, worstInSight * 1e3,
        listed ? cpu * 1e6 / listed : 0.0, devices.sent, delivered, Rig::udpCounter("RcvbufErrors") - rcvbufBefore,
        backlogDrops() - backlogBefore);
    return 0;
}
