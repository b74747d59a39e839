#include "savelist.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSaveFile>
#include <QStandardPaths>

namespace SaveList {

FileDialog askFileName = [](QWidget *parent, const QString &caption, const QString &directory, const QString &filters,
                            QString *selectedFilter) {
    return QFileDialog::getSaveFileName(parent, caption, directory, filters, selectedFilter);
};

QString csvFilter()
{
    return QCoreApplication::translate("MainWindow", "CSV (*.csv)");
}

QString filters()
{
    return csvFilter() + QLatin1String(";;") + QCoreApplication::translate("MainWindow", "JSON (*.json)");
}

QString defaultFileName(const QDateTime &now)
{
    const QString name = QStringLiteral("devices-%1.csv").arg(now.toString(QStringLiteral("yyyy-MM-dd-HHmm")));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

ExportFormat formatFor(const QString &fileName, const QString &selectedFilter)
{
    if (fileName.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return ExportFormat::Json;
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ExportFormat::Csv;
    return selectedFilter.contains(QLatin1String("*.json")) ? ExportFormat::Json : ExportFormat::Csv;
}

bool write(const QString &fileName, const QByteArray &contents, QString *error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(contents) != contents.size()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace SaveList
