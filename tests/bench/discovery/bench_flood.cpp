// A flood of ListIdentity replies over the namespace rig: what each datagram
// costs the window's thread, and how long the window stops answering.
//
// usage (inside tests/rig/rig.sh): bench_flood KIND [DATAGRAMS [DEVICES]]
//
// DEVICES devices (default 2) each answer the one probe with DATAGRAMS
// copies (default 1000) of a reply of the given KIND, one per millisecond,
// so that 2 devices make 2,000 datagrams a second:
//   typical     one identity item (75 bytes)
//   count65535  a header and an item count of 65535, nothing more (26 bytes)
//   identities  28 identity items (1,398 bytes)
//   longItem    an item count of 65535, one identity item whose length says
//               65535, cut off at 1,398 bytes
//   manyItems   343 empty items of type 0x0086 (1,398 bytes)
// Prints the datagrams sent and delivered, the receive-buffer drops, the
// CPU time of the window's thread per delivered datagram, and the longest
// time the window's event loop went without running a 5 ms timer. The
// debug log is captured in memory, not printed.

#include "mainwindow.h"
#include "rigsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QByteArray datagramOf(const QString &kind)
{
    const Rig::Identity identity{1, 12, 2, 1, 0, 0, 0x1234ABCD, "1756-ENBT/A"};
    const Rig::Item identityItem{0x000C, Rig::identityItemData(identity)};
    if (kind == QLatin1String("typical"))
        return Rig::listIdentityReply({identityItem});
    if (kind == QLatin1String("count65535"))
        return Rig::listIdentityReply({}, 65535);
    if (kind == QLatin1String("identities"))
        return Rig::listIdentityReply(QVector<Rig::Item>(28, identityItem).toList());
    if (kind == QLatin1String("longItem")) {
        QByteArray bytes = Rig::listIdentityReply({{0x000C, identityItem.data, 65535}}, 65535);
        return bytes.leftJustified(1398, '\0');
    }
    if (kind == QLatin1String("manyItems"))
        return Rig::listIdentityReply(QVector<Rig::Item>(343, Rig::Item{0x0086, QByteArray()}).toList());
    return QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QByteArray datagram = args.size() > 1 ? datagramOf(args.at(1)) : QByteArray();
    const int perDevice = args.size() > 2 ? args.at(2).toInt() : 1000;
    const int deviceCount = args.size() > 3 ? args.at(3).toInt() : 2;
    const QList<Rig::Link> links = Rig::links();
    if (args.size() > 4 || datagram.isEmpty() || perDevice < 1 || deviceCount < 1 || deviceCount > 250
        || links.isEmpty()) {
        std::fprintf(stderr,
                     "usage (inside tests/rig/rig.sh): bench_flood "
                     "typical|count65535|identities|longItem|manyItems [DATAGRAMS [DEVICES]]\n");
        return 2;
    }

    // The flood starts 300 ms after the probe, when the run is long over.
    QList<Rig::Device> config;
    const QString subnet = links.first().progAddrs.first().section('.', 0, 2);
    for (int i = 0; i < deviceCount; ++i)
        config.append(Rig::Device{QStringLiteral("%1.%2").arg(subnet).arg(2 + i), 44818, 0,
                                  QVector<QByteArray>(perDevice, datagram).toList(), 300, 0, 1});
    Rig::Devices devices;
    if (!devices.start(config)) {
        std::fprintf(stderr, "bench_flood: the simulated devices did not start\n");
        return 1;
    }

    Rig::LogCapture log;
    MainWindow window;
    QElapsedTimer sinceStart;
    double cpuAtStart = 0;
    qint64 inAtStart = 0;
    qint64 rcvbufAtStart = 0;
    qint64 lastIn = -1;
    qint64 lastChange = 0;
    qint64 lastTick = -1;
    qint64 longestStall = 0;

    // Measuring starts 100 ms after the run line and ends 300 ms after the
    // last datagram arrived.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!sinceStart.isValid()) {
            if (!Rig::LogCapture::linesStartingWith("MainWindow::on_pushButton_find_clicked").isEmpty()) {
                sinceStart.start();
                Rig::LogCapture::clear();
            }
            return;
        }
        const qint64 now = sinceStart.elapsed();
        if (now < 100)
            return;
        if (lastTick < 0) {
            cpuAtStart = threadCpuSeconds();
            inAtStart = Rig::udpCounter("InDatagrams");
            rcvbufAtStart = Rig::udpCounter("RcvbufErrors");
            lastTick = lastChange = now;
            return;
        }
        longestStall = qMax(longestStall, now - lastTick);
        lastTick = now;
        if (now - lastChange >= 50) {
            Rig::LogCapture::clear();
            const qint64 in = Rig::udpCounter("InDatagrams");
            if (in != lastIn) {
                lastIn = in;
                lastChange = now;
            } else if (in > inAtStart && now - lastChange >= 300) {
                app.quit();
            }
        }
        if (now > 30000)
            app.quit();
    });
    tick.start();
    app.exec();
    const double cpu = threadCpuSeconds() - cpuAtStart;
    devices.stop();

    const qint64 delivered = lastIn - inAtStart;
    std::printf("kind=%-10s bytes=%-4d sent=%d udp_in=%lld rcvbuf_errors=%lld cpu_us_per_datagram=%.1f "
                "longest_stall_ms=%lld\n",
                qPrintable(args.at(1)), int(datagram.size()), devices.sent, delivered,
                Rig::udpCounter("RcvbufErrors") - rcvbufAtStart, delivered > 0 ? cpu * 1e6 / delivered : 0.0,
                qMax<qint64>(0, longestStall - tick.interval()));
    return 0;
}
