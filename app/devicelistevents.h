#ifndef DEVICELISTEVENTS_H
#define DEVICELISTEVENTS_H

#include <QObject>

class DeviceFinder;
struct DevicePlace;
struct DeviceRecord;
QT_BEGIN_NAMESPACE
class QListWidget;
class QListWidgetItem;
class QPoint;
class QVariant;
class QWidget;
QT_END_NAMESPACE

// The device list's keys, context menu and tooltips, reached through an
// event filter on the list, its viewport and the window, so that neither
// the list's nor the window's event handlers are overridden.
//
// The list view handles the Copy key itself (it copies the whole line), and
// a window-wide shortcut only works while the window is active, which no
// window manager may ever make it. So the keys are taken where the list
// would take them, and Refresh and Save also where any other part of the
// window leaves them unhandled.
class DeviceListEvents : public QObject
{
    Q_OBJECT

public:
    // The tooltips show the records of finder, which must outlive the list.
    DeviceListEvents(QListWidget *list, const DeviceFinder *finder, QWidget *window);

    // The finder's record of an entry, found by the entry's address; null
    // for an entry whose address the finder does not list.
    static const DeviceRecord *record(const DeviceFinder &finder, const QListWidgetItem *item);

    // The tooltip of an entry: a two-column rich-text table of what its
    // record holds and where the device sits, built when shown. Every text
    // that comes from a device is escaped.
    static QString toolTip(const DeviceRecord &record, const DevicePlace &place);

signals:
    void copyPressed();
    void refreshPressed();
    void savePressed();
    void openPressed(QListWidgetItem *item);
    // Alt+Enter, the usual key for properties: the current entry's details.
    void detailsPressed(QListWidgetItem *item);
    // item is the entry under the pointer, or the current entry when the
    // keyboard asked; null for none.
    void menuRequested(QListWidgetItem *item, const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void requestMenu(QListWidgetItem *item, const QPoint &globalPos);
    void requestKeyboardMenu();

    QListWidget *const list;
    const DeviceFinder *const finder;
    QWidget *const viewport;
    // Set while a menu is open: a platform that sends both a key press and
    // a context-menu event for the Menu key gets one menu, not two.
    bool menuOpen = false;
};

#endif // DEVICELISTEVENTS_H
