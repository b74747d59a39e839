#ifndef INVENTORYREADER_H
#define INVENTORYREADER_H

#include "deviceexport.h"
#include "inventory.h"

#include <QElapsedTimer>
#include <QMetaType>
#include <QObject>
#include <QVector>

struct DeviceDetails;
struct ModuleList;

// Reads the inventory of a search's listed devices: each EtherNet/IP
// device's Identity, TCP/IP Interface and Ethernet Link objects
// (DeviceDetailsReader, the three asked for at once), then the modules
// behind its bridge ports (ModuleListReader), both over one session of the
// device's. A text-protocol device is taken with its address and reply
// text.
//
// At most MaxSessions devices are read at once, and each has one session
// open at a time, so no more than MaxSessions sessions are ever open. A
// device that does not answer costs one timeout: its objects are recorded
// as "no answer" and its modules are not asked for.
class InventoryReader : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxSessions = 8;

    explicit InventoryReader(QObject *parent = nullptr);
    ~InventoryReader() override;

    // The TCP port the devices are asked on (44818 unless set).
    void setPort(quint16 port) { devicePort = port; }

    // Starts reading the devices; a reading under way is given up first.
    // progress() and finished() always come from the event loop, never
    // from inside start(), even for an empty list.
    void start(const QVector<ExportedDevice> &devices);
    // Gives up the reading: every session is closed, nothing more is
    // emitted.
    void cancel();
    bool isRunning() const { return running; }
    int total() const { return entries.size(); }
    int done() const { return doneCount; }

signals:
    void progress(int done, int total);
    void finished(const Inventory &inventory);

private:
    struct Entry
    {
        ExportedDevice source;
        InventoryDevice device;
        bool started = false;
        bool finished = false;
    };
    class Job;

    void priv_startMore();
    void priv_onDetails(Job *job, const DeviceDetails &details);
    void priv_onModules(Job *job, const ModuleList &list);
    void priv_finishEntry(Job *job);
    void priv_dropJobs();

    QVector<Entry> entries;
    QVector<Job *> jobs;
    int nextEntry = 0;
    int doneCount = 0;
    bool running = false;
    quint16 devicePort = 44818;
    int generation = 0;
};

// How the reader turns what a device answered into an inventory's fields,
// kept apart so that tests reach it without a network. noAnswer: the
// reading ended because the device did not answer within the timeout.
namespace InventoryReading {
void takeDetails(InventoryDevice *device, const DeviceDetails &details, bool noAnswer);
void takeModules(InventoryDevice *device, const ModuleList &list);
// The general status at the start of "0x16 Object does not exist", or at
// the end of "... (0x08)"; -1 for none.
int statusIn(const QString &text);
} // namespace InventoryReading

Q_DECLARE_METATYPE(Inventory)

#endif // INVENTORYREADER_H
