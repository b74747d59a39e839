#ifndef DEVICEEXPORT_H
#define DEVICEEXPORT_H

#include "deviceplace.h"
#include "devicerecord.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

// The device list as a file or as the command line's output: one row per
// entry in list order, made from the entry's record and its place, with
// the same columns in every format.
enum class ExportFormat { Text, Csv, Json };

struct ExportedDevice
{
    DeviceRecord record;
    DevicePlace place;
};

class DeviceExport
{
    Q_DECLARE_TR_FUNCTIONS(DeviceExport)

public:
    // The program's name as the JSON document names it.
    static const char ProgramName[];

    // The column names, in order: CSV's header row and JSON's keys.
    static const QStringList &columns();
    // One entry's fields, column by column: numbers as numbers, text as
    // strings, null where the field does not apply to the entry.
    static QVector<QJsonValue> fields(const DeviceRecord &record, const DevicePlace &place);

    // RFC 4180 with a UTF-8 byte-order mark, a header row and CRLF line
    // ends; no field is ever read as a formula by a spreadsheet.
    static QByteArray csv(const QVector<ExportedDevice> &devices);
    // One UTF-8 object: program, version, searched_at (ISO 8601, UTC) and
    // the devices as objects keyed by column.
    static QByteArray json(const QVector<ExportedDevice> &devices, const QDateTime &searchedAt);
    // The entries' lines, one per line, as Copy all entries gives them.
    static QString text(const QVector<DeviceRecord> &records);
    static QByteArray document(ExportFormat format, const QVector<ExportedDevice> &devices,
                               const QDateTime &searchedAt);

    // One CSV field, formula-safe and quoted as CsvText::field() makes it.
    static QString csvField(const QString &text);
    // The line with every control character and line or paragraph
    // separator made a space, so that it stays one line.
    static QString oneLine(QString line);
};

#endif // DEVICEEXPORT_H
