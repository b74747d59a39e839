// A flood of replies over the namespace rig while quiet devices answer: how
// long the window stops answering, whether a search started during the flood
// still lists the quiet devices, and what the flood costs in CPU time,
// memory and file handles.
//
// usage (inside tests/rig/rig.sh with two links):
//   bench_flood KIND RATE [ROUNDS [SENDERS]]
//   bench_flood soak [FINDS [DEVICES]]
//
// Flood: six quiet devices, three on each card, answer every probe with one
// reply of the flood's protocol. In each of ROUNDS rounds (default 10)
// SENDERS devices (default 1) on the first card send RATE datagrams a second
// in all, for 4 s, of the given KIND, to the program's first address
// (flood_sender, built next to this program); 2 s into the flood "Find" is
// pressed. Kinds:
//   typical     one identity item (75 bytes)
//   count65535  a header and an item count of 65535, nothing more (26 bytes)
//   identities  28 identity items (1,398 bytes)
//   longItem    an item count of 65535, one identity item whose length says
//               65535, cut off at 1,398 bytes
//   manyItems   343 empty items of type 0x0086 (1,398 bytes)
//   text        a text-protocol reply with the keyword (28 bytes)
// Each round prints the datagrams sent and delivered, the receive-buffer
// drops, the CPU time of the window's thread per delivered datagram, the
// longest time the window's event loop went without running a 5 ms timer
// (and the CPU time the window's thread used in that time, and the most CPU
// time it used between two runs of the timer: what the window's own work
// held it up, whatever else the machine ran), how late the press of "Find" ran, how many quiet devices that search
// listed and how long after the press, and the debug lines written. A last
// line gives the worst round, and the program's memory (resident set) and
// open file handles before the first flood and after the last.
//
// Soak: DEVICES devices (default 250) on the first card answer every probe;
// "Find" is pressed FINDS times (default 200), each as soon as the previous
// search has listed every device. Prints memory and open file handles after
// the first search and after the last.
//
// The debug log is kept in memory for up to 50 ms and counted, not printed.

#include "deviceprotocol.h"
#include "mainwindow.h"
#include "programsettings.h"
#include "rigsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int FloodMs = 4000;
constexpr int FindAfterMs = 2000;

// The debug lines are kept as a log handler would keep them, and dropped
// and counted every 50 ms or every 10,000 lines.
QStringList keptLines;
qint64 logLines = 0;
QtMessageHandler previousHandler = nullptr;

void dropKeptLines();

void keepLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        keptLines.append(message);
        // Also while the window's event loop stands still.
        if (keptLines.size() >= 10000)
            dropKeptLines();
    } else if (previousHandler)
        previousHandler(type, context, message);
}

void dropKeptLines()
{
    logLines += keptLines.size();
    keptLines.clear();
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

qint64 residentKb()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int openFiles()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
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
    if (kind == QLatin1String("text"))
        return QByteArrayLiteral("MAROVENDA flood of the bench");
    return QByteArray();
}

// Runs the event loop until done() or the timeout.
void runUntil(const std::function<bool()> &done, qint64 timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The window and what the benchmark watches in it: the longest gap between
// two runs of a 5 ms timer, and the addresses listed since the last reset
// of the list.
struct Watched
{
    QListWidget *list = nullptr;
    QElapsedTimer clock;
    QTimer tick;
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    // The CPU time the window's thread used in a gap: on a loaded machine a
    // gap may also be time the thread waited for a core.
    double lastCpu = 0;
    double longestGapCpu = 0;
    double longestBusy = 0;
    QSet<QString> listed;
    // Last, so that it goes first: its list's signals reach the members
    // above while it is destroyed.
    MainWindow window;

    Watched()
    {
        window.show();
        list = window.findChild<QListWidget *>("listWidget");
        clock.start();
        QObject::connect(list->model(), &QAbstractItemModel::modelReset, [this] { listed.clear(); });
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex &, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 listed.insert(list->item(row)->data(AddressRole).toString());
                         });
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            const double cpu = threadCpuSeconds();
            if (lastTick >= 0) {
                if (now - lastTick > longestGap) {
                    longestGap = now - lastTick;
                    longestGapCpu = cpu - lastCpu;
                }
                longestBusy = qMax(longestBusy, cpu - lastCpu);
            }
            lastCpu = cpu;
            if (now / 50 != lastTick / 50)
                dropKeptLines();
            lastTick = now;
        });
        tick.start();
    }
    void restartGap()
    {
        lastTick = clock.elapsed();
        lastCpu = threadCpuSeconds();
        longestGap = 0;
        longestGapCpu = 0;
        longestBusy = 0;
    }
    qint64 longestStall() const { return qMax<qint64>(0, longestGap - tick.interval()); }
    bool listsAll(const QStringList &addresses) const
    {
        for (const QString &address : addresses) {
            if (!listed.contains(address))
                return false;
        }
        return true;
    }
    void pressFind() { window.findChild<QPushButton *>("pushButton_find")->click(); }
};

int flood(const QString &kind, int rate, int rounds, int senders)
{
    const QByteArray datagram = datagramOf(kind);
    const QList<Rig::Link> links = Rig::links();
    const bool text = kind == QLatin1String("text");
    const quint16 port = text ? 55555 : 44818;

    QList<Rig::Device> config;
    QStringList quiet;
    for (int card = 0; card < 2; ++card) {
        const QString subnet = links.at(card).progAddrs.first().section('.', 0, 2);
        for (int i = 0; i < 3; ++i) {
            const QString addr = QStringLiteral("%1.%2").arg(subnet).arg(10 + i);
            const QByteArray reply = text ? "marovenda quiet " + addr.toLatin1()
                                          : Rig::identityReply(Rig::Identity{1, 12, 2, 1, 0, 0, quint32(card * 3 + i),
                                                                             "Quiet " + addr.toLatin1()});
            config.append(Rig::Device{addr, port, 0, {reply}, 0, 50});
            quiet.append(addr);
        }
    }
    // The flooding devices answer no probe; the simulator only gives them
    // their addresses.
    const QString target = links.first().progAddrs.first().section('/', 0, 0);
    QStringList sources;
    for (int i = 0; i < senders; ++i) {
        sources.append(QStringLiteral("%1.%2").arg(target.section('.', 0, 2)).arg(200 + i));
        config.append(Rig::Device{sources.last(), port, 0, {}});
    }
    Rig::Devices devices;
    if (!devices.start(config)) {
        std::fprintf(stderr, "bench_flood: the simulated devices did not start\n");
        return 1;
    }

    Watched watched;
    // The first search, one second after start-up, lists the quiet devices.
    runUntil([&] { return watched.listsAll(quiet); }, 5000);
    if (!watched.listsAll(quiet)) {
        std::fprintf(stderr, "bench_flood: the quiet devices were not listed before the flood\n");
        return 1;
    }
    // Memory and file handles are compared when every socket has been idle
    // long enough to be closed.
    constexpr int SettleMs = 2500;
    runUntil([] { return false; }, SettleMs);
    const qint64 rssStart = residentKb();
    const int filesStart = openFiles();
    // The flood meets sockets that are bound, as after any search.
    watched.pressFind();
    runUntil([&] { return watched.listsAll(quiet); }, 5000);

    qint64 worstStall = 0;
    double worstBusy = 0;
    qint64 worstFindDelay = 0;
    int allListed = 0;
    int listedInFlood = 0;
    const QString sender = QCoreApplication::applicationDirPath() + QStringLiteral("/flood_sender");
    for (int round = 1; round <= rounds; ++round) {
        const qint64 inBefore = Rig::udpCounter("InDatagrams");
        const qint64 rcvbufBefore = Rig::udpCounter("RcvbufErrors");
        const qint64 linesBefore = logLines;
        QProcess flooder;
        flooder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        flooder.start(QStringLiteral("ip"),
                      {QStringLiteral("netns"), QStringLiteral("exec"), Rig::devNs(), sender, sources.join(','), target,
                       QString::number(port), QString::number(rate), QString::number(FloodMs / 1000.0),
                       QString::fromLatin1(datagram.toHex())});
        if (!flooder.waitForStarted(5000)) {
            std::fprintf(stderr, "bench_flood: %s did not start\n", qPrintable(sender));
            return 1;
        }
        const double cpuBefore = threadCpuSeconds();
        const qint64 floodStart = watched.clock.elapsed();
        watched.restartGap();

        qint64 pressedAt = -1;
        qint64 quietListedAt = -1;
        QTimer::singleShot(FindAfterMs, Qt::PreciseTimer, [&] {
            pressedAt = watched.clock.elapsed();
            watched.pressFind();
        });
        runUntil(
            [&] {
                if (pressedAt >= 0 && quietListedAt < 0 && watched.listsAll(quiet))
                    quietListedAt = watched.clock.elapsed();
                return flooder.state() == QProcess::NotRunning && pressedAt >= 0
                    && (quietListedAt >= 0 || watched.clock.elapsed() - floodStart > FloodMs + 3000);
            },
            60000);
        // Until the last delivered datagram is handled.
        qint64 in = -1;
        runUntil(
            [&] {
                const qint64 now = Rig::udpCounter("InDatagrams");
                const bool settled = now == in;
                in = now;
                return settled;
            },
            10000);
        runUntil([] { return false; }, 300);
        const double cpu = threadCpuSeconds() - cpuBefore;
        dropKeptLines();
        const qint64 stall = watched.longestStall();
        const double stallCpu = watched.longestGapCpu * 1e3;
        const double busy = watched.longestBusy * 1e3;
        const QByteArray senderLine = flooder.readAllStandardOutput().trimmed();
        const qint64 delivered = Rig::udpCounter("InDatagrams") - inBefore;
        const qint64 findDelay = pressedAt - floodStart - FindAfterMs;
        const bool inFlood = quietListedAt >= 0 && quietListedAt < floodStart + FloodMs;
        worstStall = qMax(worstStall, stall);
        worstBusy = qMax(worstBusy, busy);
        worstFindDelay = qMax(worstFindDelay, findDelay);
        allListed += quietListedAt >= 0 ? 1 : 0;
        listedInFlood += inFlood ? 1 : 0;
        int quietListed = 0;
        for (const QString &address : qAsConst(quiet))
            quietListed += watched.listed.contains(address) ? 1 : 0;
        std::printf("kind=%s rate=%d round=%d %s udp_in=%lld rcvbuf_errors=%lld cpu_us_per_datagram=%.2f "
                    "longest_stall_ms=%lld stall_cpu_ms=%.1f longest_busy_ms=%.1f find_delay_ms=%lld "
                    "quiet_listed=%d/%d quiet_after_find_ms=%lld "
                    "in_flood=%s log_lines=%lld rss_kb=%lld\n",
                    qPrintable(kind), rate, round, senderLine.constData(), delivered,
                    Rig::udpCounter("RcvbufErrors") - rcvbufBefore, delivered > 0 ? cpu * 1e6 / delivered : 0.0, stall,
                    stallCpu, busy, findDelay, quietListed, int(quiet.size()),
                    quietListedAt >= 0 ? quietListedAt - pressedAt : -1, inFlood ? "yes" : "no", logLines - linesBefore,
                    residentKb());
        std::fflush(stdout);
        runUntil([] { return false; }, 500);
    }
    runUntil([] { return false; }, SettleMs);
    std::printf(
        "kind=%s rate=%d senders=%d bytes=%d rounds=%d worst_stall_ms=%lld worst_busy_ms=%.1f worst_find_delay_ms=%lld "
        "quiet_all_listed=%d/%d quiet_listed_in_flood=%d/%d rss_start_kb=%lld rss_end_kb=%lld "
        "files_start=%d files_end=%d\n",
        qPrintable(kind), rate, senders, int(datagram.size()), rounds, worstStall, worstBusy, worstFindDelay, allListed,
        rounds, listedInFlood, rounds, rssStart, residentKb(), filesStart, openFiles());
    return 0;
}

int soak(int finds, int deviceCount)
{
    const Rig::Link link = Rig::links().first();
    const QString subnet = link.progAddrs.first().section('.', 0, 2);
    QList<Rig::Device> config;
    QStringList addresses;
    for (int i = 0; i < deviceCount; ++i) {
        addresses.append(QStringLiteral("%1.%2").arg(subnet).arg(2 + i));
        Rig::Identity identity{1, 12, 2, 1, 0, 0, quint32(i), "Soak " + QByteArray::number(i)};
        config.append(Rig::Device{addresses.last(), 44818, 0, {Rig::identityReply(identity)}, 0, 20});
    }
    Rig::Devices devices;
    if (!devices.start(config)) {
        std::fprintf(stderr, "bench_flood: the simulated devices did not start\n");
        return 1;
    }
    Watched watched;
    runUntil([&] { return watched.listsAll(addresses); }, 5000);
    const qint64 rssStart = residentKb();
    const int filesStart = openFiles();
    QElapsedTimer took;
    took.start();
    int complete = 0;
    for (int i = 0; i < finds; ++i) {
        watched.pressFind();
        runUntil([&] { return watched.listsAll(addresses); }, 5000);
        complete += watched.listsAll(addresses) ? 1 : 0;
    }
    const qint64 ms = took.elapsed();
    runUntil([] { return false; }, 500);
    std::printf("soak finds=%d devices=%d complete=%d/%d ms_per_find=%.1f rss_start_kb=%lld rss_end_kb=%lld "
                "files_start=%d files_end=%d\n",
                finds, deviceCount, complete, finds, double(ms) / finds, rssStart, residentKb(), filesStart,
                openFiles());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    setProgramAttributes();
    QApplication app(argc, argv);
    setProgramFont();
    previousHandler = qInstallMessageHandler(keepLine);

    const QStringList args = app.arguments();
    if (Rig::links().size() >= 2 && args.size() >= 2 && args.size() <= 4 && args.at(1) == QLatin1String("soak")) {
        const int finds = args.size() > 2 ? args.at(2).toInt() : 200;
        const int deviceCount = args.size() > 3 ? args.at(3).toInt() : 250;
        if (finds > 0 && deviceCount > 0 && deviceCount <= 250)
            return soak(finds, deviceCount);
    } else if (Rig::links().size() >= 2 && args.size() >= 3 && args.size() <= 5 && !datagramOf(args.at(1)).isEmpty()) {
        const int rate = args.at(2).toInt();
        const int rounds = args.size() > 3 ? args.at(3).toInt() : 10;
        const int senders = args.size() > 4 ? args.at(4).toInt() : 1;
        if (rate > 0 && rounds > 0 && senders > 0 && senders <= 50)
            return flood(args.at(1), rate, rounds, senders);
    }
    std::fprintf(stderr,
                 "usage (inside tests/rig/rig.sh with two links):\n"
                 "  bench_flood typical|count65535|identities|longItem|manyItems|text RATE [ROUNDS [SENDERS]]\n"
                 "  bench_flood soak [FINDS [DEVICES]]\n");
    return 2;
}
