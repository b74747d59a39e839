// The inventory of N simulated EtherNet/IP devices over the namespace rig,
// each answering every request after 10 ms, SILENT of them accepting their
// connection and never answering.
//
// usage (inside tests/rig/rig.sh 10.216.1.1/24): bench_inventory N [SILENT] [window]
//
// The devices are .2 up to .251 of the link's /24 (250 at most). The reader
// is given them as a search lists them, and the time runs from its start
// (the end of the search) to its finished(). Prints one line: devices, silent
// ones, total time, the event loop's worst lateness (the largest gap between
// the ticks of a 1 ms timer), and the most sessions open at once as the
// simulator saw them.
//
// With "window" the inventory dialog is shown and painted (on the platform
// QT_QPA_PLATFORM names, offscreen when unset; without it the dialog is
// made but never shown and the reader is started alone), Read all is clicked, and
// the time runs to the table filled with what was read; the lateness then
// includes the dialog's progress, its painting and the fill.

#include "deviceprotocol.h"
#include "inventorydialog.h"
#include "inventoryreader.h"
#include "latenessmeter.h"
#include "listidentityreply.h"
#include "rigsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

Rig::Device adapter(const QString &ip, int host, bool silent, Rig::Identity *identity)
{
    identity->vendorId = 1;
    identity->productCode = 41;
    identity->revisionMajor = 2;
    identity->serialNumber = 0x5000 + quint32(host);
    identity->productName = "Adapter " + QByteArray::number(host);
    QJsonObject attributes = Rig::identityAttributes(*identity);
    const QJsonObject ethernet =
        Rig::ethernetAttributes(ip, "io-" + QByteArray::number(host), QByteArray::fromHex("02aa000000") + char(host));
    for (auto it = ethernet.begin(); it != ethernet.end(); ++it)
        attributes.insert(it.key(), it.value());
    QJsonObject cip{{"attributes", attributes}, {"reply_delay_ms", 10}};
    if (silent)
        cip.insert("behaviour", "silent");
    Rig::Device device;
    device.addr = ip;
    device.port = 44818;
    device.cip = cip;
    return device;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool window = argc > 3 && qstrcmp(argv[3], "window") == 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int n = std::min(250, arguments.value(1, "250").toInt());
    const int silent = std::min(n, arguments.value(2, "0").toInt());
    if (!Rig::inRig() || n <= 0 || (argc > 3 && !window)) {
        std::fprintf(stderr, "usage (inside tests/rig/rig.sh 10.216.1.1/24): bench_inventory N [SILENT] [window]\n");
        return 2;
    }
    const QString prefix = QStringLiteral("10.216.1.");
    QList<Rig::Device> simulated;
    QVector<ExportedDevice> devices;
    for (int i = 0; i < n; ++i) {
        const int host = 2 + i;
        const QString ip = prefix + QString::number(host);
        Rig::Identity identity;
        // The silent ones spread over the list, one in every n / silent.
        const bool isSilent = silent > 0 && i % (n / silent) == 0 && i / (n / silent) < silent;
        simulated << adapter(ip, host, isSilent, &identity);
        ENIP::ListIdentityReply reply;
        reply.deserialize(Rig::identityReply(identity, Rig::ipv4(ip)));
        devices << ExportedDevice{
            DeviceRecord::listIdentityDevice(quint32(i + 1), Rig::ipv4(ip), ListIdentityPort, reply.items.value(0), 0),
            DevicePlace()};
    }
    Rig::Devices rig;
    if (!rig.start(simulated)) {
        std::fprintf(stderr, "bench_inventory: the simulator did not start\n");
        return 1;
    }

    InventoryDialog dialog([&devices]() { return devices; });
    InventoryReader reader;
    InventoryReader *const used = window ? dialog.reader() : &reader;
    if (window) {
        dialog.resize(1000, 700);
        dialog.show();
        // Shown and painted before the clock starts.
        for (int i = 0; i < 20; ++i)
            app.processEvents();
    }
    QElapsedTimer clock;
    LatenessMeter ticker(clock);
    qint64 total = 0;
    int noAnswer = 0;
    int rows = 0;
    // Connected after the dialog's own slot, so in window mode the table
    // is filled when this runs; the quit comes through the event loop, so
    // the paint of the filled table is measured as well.
    QObject::connect(used, &InventoryReader::finished, [&](const Inventory &inventory) {
        for (const InventoryDevice &device : inventory.devices)
            noAnswer += device.text("tcpip_result") == QLatin1String("no answer");
        if (window) {
            rows = dialog.findChild<QTreeWidget *>("treeWidget")->topLevelItemCount();
            dialog.update();
        }
        QTimer::singleShot(0, &app, [&]() {
            total = clock.elapsed();
            app.quit();
        });
    });
    clock.start();
    ticker.start();
    if (window)
        dialog.findChild<QPushButton *>("pushButton_read")->click();
    else
        reader.start(devices);
    app.exec();
    rig.stop();
    std::printf("devices=%d silent=%d no_answer=%d total_ms=%lld worst_lateness_ms=%lld most_sessions=%d", n, silent,
                noAnswer, total, ticker.worst(), rig.mostConnectionsAtOnce());
    if (window)
        std::printf(" window=1 table_rows=%d", rows);
    std::printf("\n");
    return 0;
}
