#include "climodes.h"

#include "deviceexport.h"
#include "devicefinder.h"
#include "deviceplace.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QTimer>

namespace Cli {

int runWatch(const CommandLine &commandLine)
{
    DeviceFinder finder;
    finder.setWatchInterval(commandLine.intervalMs);
    bool writeFailed = false;
    QObject::connect(
        &finder, &DeviceFinder::deviceEvent, &finder,
        [&finder, &commandLine, &writeFailed](DeviceFinder::Event event, int index) {
            // Where the device sits as the system tells it now.
            const DeviceRecord &record = finder.record(index);
            const DevicePlace place = DeviceLocator(SystemNeighbourTable()).place(record);
            if (!writeOut(stdout,
                          watchEventLine(commandLine.format, QDateTime::currentDateTime(), int(event), record, place))
                && !writeFailed) {
                writeFailed = true;
                QCoreApplication::quit();
            }
        });
    finder.setWatching(true);
    if (!finder.probesSentOk()) {
        writeOut(stderr, CommandLine::tr("No usable network address: nothing was sent.\n").toLocal8Bit());
        return 1;
    }
    quitOnSignals();
    if (commandLine.forMs > 0)
        QTimer::singleShot(commandLine.forMs, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    if (writeFailed) {
        writeOut(stderr, CommandLine::tr("Could not write the events.\n").toLocal8Bit());
        return 1;
    }
    return 0;
}

} // namespace Cli

QByteArray watchEventLine(ExportFormat format, const QDateTime &time, int event, const DeviceRecord &record,
                          const DevicePlace &place)
{
    const QByteArray name = QByteArray(QMetaEnum::fromType<DeviceFinder::Event>().valueToKey(event)).toLower();
    if (format == ExportFormat::Json) {
        QJsonObject object;
        object.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODate));
        object.insert(QStringLiteral("event"), QString::fromLatin1(name));
        const QVector<QJsonValue> values = DeviceExport::fields(record, place);
        for (int i = 0; i < values.size(); ++i)
            object.insert(DeviceExport::columns().at(i), values.at(i));
        return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }
    return (time.toLocalTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + QString::fromLatin1(name)
            + QLatin1Char(' ') + DeviceExport::oneLine(record.line()) + QLatin1Char('\n'))
        .toUtf8();
}
