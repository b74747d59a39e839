// Discovery of N simulated EtherNet/IP devices over the namespace rig.
//
// usage (inside tests/rig/rig.sh): bench_discovery N spread|burst
//
// The devices are spread over the rig's links, 253 at most per /24 (.2 to
// .254). "spread" answers after a random delay of up to 500 ms, "burst"
// answers all at once. Prints one line: devices listed, time from the start
// of the run to the last device listed, the program's CPU time per reply,
// and the counters that show where replies were lost.

#include "mainwindow.h"
#include "rigsupport.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args.at(2) != QLatin1String("spread") && args.at(2) != QLatin1String("burst"))
        || !Rig::inRig()) {
        std::fprintf(stderr, "usage (inside tests/rig/rig.sh): bench_discovery N spread|burst\n");
        return 2;
    }
    const int n = args.at(1).toInt();
    const bool burst = args.at(2) == QLatin1String("burst");

    QList<Rig::Device> config;
    const QList<Rig::Link> links = Rig::links();
    for (int i = 0; i < n; ++i) {
        const Rig::Link &link = links.at(i % links.size());
        const QString subnet = link.progAddrs.first().section('.', 0, 2);
        const QString addr = QStringLiteral("%1.%2").arg(subnet).arg(2 + i / links.size());
        Rig::Identity identity{1, 12, 2, 1, 0, 0, quint32(i), "Bench " + QByteArray::number(i)};
        config.append(Rig::Device{addr, 44818, 0, {Rig::identityReply(identity)}, 0, burst ? 0 : 500});
    }
    Rig::Devices devices;
    if (!devices.start(config)) {
        std::fprintf(stderr, "bench_discovery: the simulated devices did not start\n");
        return 1;
    }

    Rig::LogCapture log;
    const qint64 rcvbufBefore = Rig::udpCounter("RcvbufErrors");
    const qint64 inBefore = Rig::udpCounter("InDatagrams");
    const qint64 backlogBefore = backlogDrops();

    MainWindow window;
    auto *list = window.findChild<QListWidget *>("listWidget");
    qint64 lastListed = -1;
    double cpuAtStart = 0;
    qint64 runStart = -1;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted,
                     [&] { lastListed = Rig::LogCapture::elapsed(); });

    // The window's own one-second timer starts the run; the run line marks
    // its start.
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (runStart < 0) {
            QList<qint64> times;
            if (!Rig::LogCapture::linesStartingWith("MainWindow::on_pushButton_find_clicked", &times).isEmpty()) {
                runStart = times.first();
                cpuAtStart = cpuSeconds();
                poll.setInterval(50);
            }
            return;
        }
        // Done when all are listed, or 2000 ms into the run: every reply is
        // sent within 500 ms of the probe.
        if (list->count() == n || Rig::LogCapture::elapsed() - runStart > 2000)
            app.quit();
    });
    poll.start();
    app.exec();
    const double cpu = cpuSeconds() - cpuAtStart;
    devices.stop();

    const qint64 delivered = Rig::udpCounter("InDatagrams") - inBefore;
    std::printf("N=%-5d case=%-6s listed=%d/%d last_listed_ms=%lld cpu_us_per_reply=%.1f "
                "sim_sent=%d udp_in=%lld rcvbuf_errors=%lld backlog_drops=%lld\n",
                n, burst ? "burst" : "spread", list->count(), n,
                lastListed >= 0 && runStart >= 0 ? lastListed - runStart : -1LL,
                list->count() ? cpu * 1e6 / list->count() : 0.0, devices.sent, delivered,
                Rig::udpCounter("RcvbufErrors") - rcvbufBefore, backlogDrops() - backlogBefore);
    return 0;
}
