// The module list of a simulated chassis of 17 slots over the namespace rig:
// a bridge in slot 0 and a module in each of slots 1 to 16, each module
// answering every request after 10 ms (the worst case of "within 10 ms").
//
// usage (inside tests/rig/rig.sh 10.217.1.1/24): bench_modules [SILENT [ROUNDS [serial]]]
//
// SILENT of the modules (slots 16, 15, ...) never answer, so the bridge
// answers 0x0204 for them once its timeout for the slot ends; "serial" makes
// the bridge serve the requests of a connection one after the other, as
// some real bridges do. Each round prints: the time from the reader's
// start to the moment the ports are known (its priv_onPortsDone log line),
// from then to its finished(), the slots read and the slots that did not
// answer, the Unconnected Sends the bridge took, and the event loop's worst
// lateness (the largest gap between the ticks of a 1 ms timer).

#include "latenessmeter.h"
#include "modulelist.h"
#include "rigsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const char BridgeAddress[] = "10.217.1.2";

Rig::Device chassis(int silent, bool serial)
{
    Rig::Identity en2t;
    en2t.productName = "1756-EN2T/D";
    en2t.serialNumber = 0x005A0001;
    Rig::Chassis chassis;
    chassis.firstSlot = 0;
    chassis.lastSlot = 16;
    chassis.oneAtATime = serial;
    for (int slot = 1; slot <= 16; ++slot) {
        Rig::Module module = Rig::makeModule("1756-IB16/A", quint32(0x7000 + slot), 7, 10, 10);
        if (slot > 16 - silent)
            module.behaviour = QStringLiteral("silent");
        chassis.modules.insert(slot, module);
    }
    return Rig::bridge(QString::fromLatin1(BridgeAddress), en2t, chassis);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int silent = std::min(16, std::max(0, arguments.value(1, "0").toInt()));
    const int rounds = std::max(1, arguments.value(2, "1").toInt());
    const bool serial = arguments.value(3) == QLatin1String("serial");
    if (!Rig::inRig()) {
        std::fprintf(stderr,
                     "usage (inside tests/rig/rig.sh 10.217.1.1/24): bench_modules [SILENT [ROUNDS [serial]]]\n");
        return 2;
    }
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        Rig::Devices rig;
        if (!rig.start({chassis(silent, serial)})) {
            std::fprintf(stderr, "bench_modules: the simulator did not start\n");
            return 1;
        }
        ModuleListReader reader{QHostAddress(QString::fromLatin1(BridgeAddress))};
        QElapsedTimer clock;
        LatenessMeter ticker(clock);
        qint64 total = -1;
        ModuleList list;
        QObject::connect(&reader, &ModuleListReader::finished, [&](const ModuleList &read) {
            total = clock.elapsed();
            list = read;
            app.quit();
        });
        qint64 portsKnown = -1;
        {
            Rig::LogCapture log;
            clock.start();
            const qint64 offset = Rig::LogCapture::elapsed();
            ticker.start();
            reader.start();
            app.exec();
            ticker.stop();
            QList<qint64> times;
            Rig::LogCapture::linesStartingWith(QStringLiteral("ModuleListReader::priv_onPortsDone"), &times);
            if (!times.isEmpty())
                portsKnown = times.first() - offset;
        }
        rig.stop();
        int modules = 0;
        int noAnswer = 0;
        for (const BridgePort &port : qAsConst(list.ports)) {
            for (const ModuleSlot &slot : port.moduleSlots) {
                modules += slot.result == ModuleSlot::Module || slot.result == ModuleSlot::Bridge;
                noAnswer += slot.result == ModuleSlot::NoAnswer;
            }
        }
        int sends = 0;
        for (const QJsonObject &request : qAsConst(rig.cipRequests))
            sends += request.value("command").toInt() == 0x6F && request.value("service").toInt() == 0x52;
        const bool ok = list.outcome == ModuleList::Read && modules == 17 - silent && noAnswer == silent;
        failures += ok ? 0 : 1;
        std::printf("round=%d silent=%d serial=%d ports_known_ms=%lld slots_ms=%lld total_ms=%lld read=%d "
                    "no_answer=%d unconnected_sends=%d worst_lateness_ms=%lld%s\n",
                    round, silent, int(serial), portsKnown, total - portsKnown, total, modules, noAnswer, sends,
                    ticker.worst(), ok ? "" : " UNEXPECTED");
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
