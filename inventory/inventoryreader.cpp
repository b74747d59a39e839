#include "inventoryreader.h"

#include "deviceclient.h"
#include "devicedetails.h"
#include "modulelist.h"
#include "netaddress.h"

#include <QDebug>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

// One device being read: its details first, then its modules, both over
// the job's one session. The details' three objects are asked for at once
// and the module list follows on the session already up, which spares a
// device a connection, a RegisterSession and two round trips.
class InventoryReader::Job : public QObject
{
public:
    Job(int entry, QObject *parent)
        : QObject(parent)
        , index(entry)
    {
        clock.start();
    }

    int index;
    QElapsedTimer clock;
    DeviceClient *client = nullptr;
    QPointer<QObject> reader;
};

namespace {

QString macText(const quint8 *mac)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(mac), 6).toHex(':').toUpper());
}

// The result of an object of which nothing was read: the device's refusal
// of it, or what ended the reading before it.
InventoryResult unreadResult(const DeviceDetails &details, const QString &object, bool noAnswer)
{
    for (const AttributeError &error : details.errors) {
        if (error.object != object || error.instance != 1)
            continue;
        const int status = InventoryReading::statusIn(error.status);
        return status >= 0 ? InventoryResult::refused(quint8(status)) : InventoryResult::other(error.status);
    }
    if (noAnswer)
        return InventoryResult::noAnswer();
    if (!details.failure.isEmpty())
        return InventoryResult::other(details.failure);
    return InventoryResult::other(QStringLiteral("not read"));
}

// A module's identity columns, formatted as the list export formats a
// device's.
QJsonObject moduleIdentity(const ModuleSlot &slot)
{
    if (!slot.hasIdentity)
        return QJsonObject();
    ENIP::ListIdentityItem item;
    item.identity = slot.identity;
    item.identityDecoded = true;
    const DeviceRecord record = DeviceRecord::listIdentityDevice(0, 0, 0, item, 0);
    const QVector<QJsonValue> values = DeviceExport::fields(record, DevicePlace());
    const QStringList &columns = DeviceExport::columns();
    QJsonObject identity;
    for (const QString &column : Inventory::moduleColumns()) {
        // Not every identity holds the state: left out (null), not 0.
        if (!slot.hasState && column.startsWith(QLatin1String("state")))
            continue;
        const int at = columns.indexOf(column);
        if (at >= 0 && at < values.size())
            identity.insert(column, values.at(at));
    }
    return identity;
}

} // namespace

namespace InventoryReading {

int statusIn(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*0x([0-9A-Fa-f]{2})\\b|\\(0x([0-9A-Fa-f]{1,2})\\)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return -1;
    const QString digits = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    return digits.toInt(nullptr, 16);
}

void takeDetails(InventoryDevice *device, const DeviceDetails &details, bool noAnswer)
{
    using T = CIP::CipTcpIpInterface;
    const T &tcpip = details.tcpip;
    if (tcpip.present.isEmpty()) {
        device->setTcpIp(unreadResult(details, QStringLiteral("tcpip"), noAnswer));
    } else {
        static const char *const methods[] = {"static", "bootp", "dhcp"};
        const quint32 method = tcpip.configurationMethod();
        const QString methodText =
            tcpip.has(T::ConfigurationControl) && method < 3 ? QString::fromLatin1(methods[method]) : QString();
        const bool configured = tcpip.has(T::InterfaceConfiguration);
        const CIP::CipInterfaceConfiguration &c = tcpip.configuration;
        device->setTcpIp(InventoryResult::read(), methodText, configured ? ipv4ToString(c.ipAddress) : QString(),
                         configured ? ipv4ToString(c.netmask) : QString(),
                         configured ? ipv4ToString(c.gateway) : QString(),
                         tcpip.has(T::HostName) ? tcpip.hostName.toString() : QString());
    }

    using L = CIP::CipEthernetLink;
    // A first instance that refused every attribute is listed all the same.
    if (details.links.isEmpty() || details.links.first().present.isEmpty()) {
        device->setEthernetLink(unreadResult(details, QStringLiteral("ethernet_link"), noAnswer));
    } else {
        const L &link = details.links.first();
        device->setEthernetLink(
            InventoryResult::read(),
            link.has(L::InterfaceSpeed) ? QJsonValue(double(link.speed)) : QJsonValue(QJsonValue::Null),
            link.has(L::InterfaceFlags) ? QString::fromLatin1((link.flags & L::FullDuplex) ? "full" : "half")
                                        : QString(),
            link.has(L::PhysicalAddress) ? macText(link.macAddress) : QString());
    }
}

void takeModules(InventoryDevice *device, const ModuleList &list)
{
    // The reader's words begin with the device's address; without it a
    // device that moved compares the same.
    QString text = list.text;
    const QString address = list.address.toString();
    if (!address.isEmpty() && text.startsWith(address + QLatin1Char(' ')))
        text = text.mid(address.size() + 1);
    const int status = statusIn(text);
    switch (list.outcome) {
    case ModuleList::Read:
        break;
    case ModuleList::NoAnswer:
        device->setModules(InventoryResult::noAnswer());
        return;
    case ModuleList::Refused:
        device->setModules(status >= 0 ? InventoryResult::refused(quint8(status)) : InventoryResult::other(text));
        return;
    case ModuleList::InvalidAnswer:
    case ModuleList::NotRouting:
    case ModuleList::NoSlots:
        device->setModules(InventoryResult::other(text, status));
        return;
    }
    QVector<QJsonObject> slotList;
    for (const BridgePort &port : list.ports) {
        for (const ModuleSlot &slot : port.moduleSlots) {
            if (slotList.size() >= Inventory::MaxSlots)
                break;
            slotList.append(InventoryDevice::slot(port.number, QJsonValue(int(port.type)), port.name, slot.slot,
                                                  slot.route.toText(), ModuleSlot::resultKey(slot.result), slot.error,
                                                  moduleIdentity(slot)));
        }
    }
    device->setModules(InventoryResult::read(), slotList);
}

} // namespace InventoryReading

InventoryReader::InventoryReader(QObject *parent)
    : QObject(parent)
{ }

InventoryReader::~InventoryReader()
{
    priv_dropJobs();
}

void InventoryReader::start(const QVector<ExportedDevice> &devices)
{
    cancel();
    entries.clear();
    entries.reserve(devices.size());
    for (const ExportedDevice &source : devices) {
        Entry entry;
        entry.source = source;
        entry.device = InventoryDevice::fromRecord(source.record, source.place);
        entries.append(entry);
    }
    nextEntry = 0;
    doneCount = 0;
    running = true;
    const int run = ++generation;
    QTimer::singleShot(0, this, [this, run]() {
        if (run != generation || !running)
            return;
        if (entries.isEmpty()) {
            running = false;
            emit progress(0, 0);
            emit finished(Inventory::make({}, QDateTime::currentDateTimeUtc()));
            return;
        }
        priv_startMore();
    });
}

void InventoryReader::cancel()
{
    if (running)
        qDebug() << "InventoryReader::cancel"
                 << ":"
                 << "given up after" << doneCount << "of" << entries.size() << "devices";
    ++generation;
    running = false;
    priv_dropJobs();
}

void InventoryReader::priv_dropJobs()
{
    // deleteLater: cancel() may be called from a slot connected to a
    // reader's own signal.
    for (Job *job : qAsConst(jobs)) {
        if (job->reader)
            job->reader->disconnect(this);
        job->deleteLater();
    }
    jobs.clear();
}

void InventoryReader::priv_startMore()
{
    const int run = generation;
    while (running && run == generation && nextEntry < entries.size() && jobs.size() < MaxSessions) {
        const int index = nextEntry++;
        Entry &entry = entries[index];
        entry.started = true;
        Job *job = new Job(index, this);
        jobs.append(job);
        if (entry.source.record.protocol != DeviceProtocol::ListIdentity) {
            // A text-protocol device has nothing more to read.
            priv_finishEntry(job);
            continue;
        }
        job->client = new DeviceClient(QHostAddress(entry.source.record.address), devicePort, job);
        job->client->setMaxInFlight(ModuleListReader::SlotsInFlight);
        auto *reader = new DeviceDetailsReader(job->client, job);
        reader->setPipelined(true);
        job->reader = reader;
        connect(reader, &DeviceDetailsReader::finished, this,
                [this, job](const DeviceDetails &details) { priv_onDetails(job, details); });
        reader->start();
    }
}

void InventoryReader::priv_onDetails(Job *job, const DeviceDetails &details)
{
    if (!jobs.contains(job))
        return;
    Entry &entry = entries[job->index];
    // Nothing came back before the whole timeout passed: the device did
    // not answer, and its modules are not asked for (it would cost a
    // second timeout).
    const bool nothingRead = details.identity.present.isEmpty() && details.tcpip.present.isEmpty()
        && details.links.isEmpty() && details.errors.isEmpty();
    const bool noAnswer = !details.failure.isEmpty() && job->clock.elapsed() >= DeviceClient::DefaultTimeoutMs * 9 / 10;
    InventoryReading::takeDetails(&entry.device, details, noAnswer);
    if (job->reader)
        job->reader->deleteLater();
    if (!details.failure.isEmpty() && (nothingRead || noAnswer)) {
        entry.device.setModules(noAnswer ? InventoryResult::noAnswer() : InventoryResult::other(details.failure));
        priv_finishEntry(job);
        return;
    }
    auto *reader = new ModuleListReader(job->client, job);
    job->reader = reader;
    connect(reader, &ModuleListReader::finished, this,
            [this, job](const ModuleList &list) { priv_onModules(job, list); });
    reader->start();
}

void InventoryReader::priv_onModules(Job *job, const ModuleList &list)
{
    if (!jobs.contains(job))
        return;
    InventoryReading::takeModules(&entries[job->index].device, list);
    if (job->reader)
        job->reader->deleteLater();
    priv_finishEntry(job);
}

void InventoryReader::priv_finishEntry(Job *job)
{
    Entry &entry = entries[job->index];
    entry.finished = true;
    ++doneCount;
    const InventoryDevice &device = entry.device;
    QStringList outcome;
    if (entry.source.record.protocol == DeviceProtocol::ListIdentity) {
        outcome << QStringLiteral("tcpip %1").arg(device.result(InventoryObject::TcpIp).text)
                << QStringLiteral("link %1").arg(device.result(InventoryObject::EthernetLink).text)
                << QStringLiteral("modules %1").arg(device.result(InventoryObject::Modules).text)
                << QStringLiteral("slots %1").arg(device.modules.size());
    } else {
        outcome << QStringLiteral("text-protocol device");
    }
    qDebug().noquote() << "InventoryReader::priv_finishEntry"
                       << ":" << entry.source.record.addressText() << "read in" << job->clock.elapsed()
                       << "ms:" << outcome.join(QLatin1String(", "));
    jobs.removeOne(job);
    if (job->client)
        job->client->close();
    job->deleteLater();
    const int run = generation;
    emit progress(doneCount, entries.size());
    if (run != generation || !running)
        return;
    if (doneCount == entries.size()) {
        running = false;
        QVector<InventoryDevice> devices;
        devices.reserve(entries.size());
        for (const Entry &e : qAsConst(entries))
            devices.append(e.device);
        emit finished(Inventory::make(devices, QDateTime::currentDateTimeUtc()));
        return;
    }
    // From the event loop: a text device finishes inside priv_startMore.
    QTimer::singleShot(0, this, [this, run]() {
        if (run == generation && running)
            priv_startMore();
    });
}
