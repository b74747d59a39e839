#ifndef SAVELIST_H
#define SAVELIST_H

#include "deviceexport.h"

#include <QString>

#include <functional>

QT_BEGIN_NAMESPACE
class QDateTime;
class QWidget;
QT_END_NAMESPACE

// Saving the device list to a file the user names.
namespace SaveList {

// Asks for the file to save to, as QFileDialog::getSaveFileName does;
// empty when the user cancels. Tests put a function of their own here, so
// that no modal dialog ever waits for them.
using FileDialog = std::function<QString(QWidget *parent, const QString &caption, const QString &directory,
                                         const QString &filters, QString *selectedFilter)>;
extern FileDialog askFileName;

// The dialog's filters, CSV first.
QString filters();
QString csvFilter();
// "devices-2026-12-08-1430.csv" in the user's documents folder.
QString defaultFileName(const QDateTime &now);
// The format of a name ending in .csv or .json, whatever the filter; the
// chosen filter's for any other name.
ExportFormat formatFor(const QString &fileName, const QString &selectedFilter);
// Writes the whole contents or nothing: an existing file is replaced only
// once every byte is written. False with the reason on failure.
bool write(const QString &fileName, const QByteArray &contents, QString *error);

} // namespace SaveList

#endif // SAVELIST_H
