#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "devicefinder.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>

class AddressServer;
class AddressServerDialog;
class InventoryDialog;
class DeviceDetailsDialog;
class NetworksDialog;
class StatusTipFilter;
struct Ipv4Subnet;
QT_BEGIN_NAMESPACE
class QAction;
class QLabel;
class QListWidgetItem;
class QPoint;
class QProgressBar;
class QPushButton;
class QTimer;
QT_END_NAMESPACE
class Ui_MainWindow;

// The one main window: the form, the device list, the status bar, the
// menus and dialogs. The discovery engine it owns searches; the window
// shows what the engine reports and turns the user's actions into its
// calls.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Whether the window starts its first search by itself, one second
    // after it is built.
    enum FirstSearch { AutomaticSearch, NoAutomaticSearch };

    explicit MainWindow(QWidget *parent = nullptr, FirstSearch firstSearch = AutomaticSearch);
    ~MainWindow() override;

private slots:
    // The order of these slots is the order of the meta-object's method table.
    void on_pushButton_find_clicked();
    void on_pushButton_copy_clicked();
    void on_pushButton_config_clicked();
    void on_listWidget_itemSelectionChanged();
    void on_menubar_triggered(QAction *action);
    void on_menuHelp_triggered(QAction *action);
    // Slots added after the first six.
    void on_listWidget_itemDoubleClicked(QListWidgetItem *item);
    void on_pushButton_watch_toggled(bool checked);
    void on_menuTools_triggered(QAction *action);

private:
    // The engine's list in the window: its new devices appended together
    // a moment after they come (in sight at the next frame, out of sight
    // a little later), a changed device's entry made again from its record.
    void priv_scheduleEntries();
    void priv_addEntries();
    void priv_updateEntry(int index);
    void priv_showCount();
    const QIcon &priv_warningIcon();
    void priv_openConfig(QListWidgetItem *item);
    // The entry's details dialog, one per device: opened, or raised when it
    // is open already. EtherNet/IP entries only.
    void priv_openDetails(QListWidgetItem *item);
    // The entry's CIP request dialog, one per device: opened, or raised.
    // EtherNet/IP entries only.
    void priv_openRequest(QListWidgetItem *item);
    bool priv_isEtherNetIp(const QListWidgetItem *item) const;
    void priv_showListMenu(QListWidgetItem *item, const QPoint &globalPos);
    void priv_copyAllEntries();
    void priv_saveList();
    // The entry of the finder's device index; null for none.
    QListWidgetItem *priv_entry(int index) const;
    // The finder's record of an entry; null for an entry it does not list.
    const DeviceRecord *priv_record(const QListWidgetItem *item) const;
    // The records of the entries, in list order.
    QVector<DeviceRecord> priv_records() const;
    // The networks searched: the status-bar label, its tooltip and the
    // dialog, shown again a moment after a change (a reply, sweep
    // progress) so that a burst of them costs one update.
    void priv_showNetworks();
    void priv_scheduleNetworksUpdate();
    void priv_openNetworksDialog();
    void priv_addRemoteNetwork(const Ipv4Subnet &network);
    void priv_openAddressServerDialog();
    bool eventFilter(QObject *watched, QEvent *event) override;

    Ui_MainWindow *ui;
    DeviceFinder *finder;
    // The mark of an entry with a fault or a conflict; made when first
    // needed.
    QIcon warningIcon;
    StatusTipFilter *statusTips = nullptr;
    QLabel *networksLabel;
    QProgressBar *sweepProgress;
    QPushButton *cancelSweep;
    QPointer<NetworksDialog> networksDialog;
    QTimer *networksUpdateTimer;
    QTimer *entriesTimer;
    // The engine's devices the list shows, from the first.
    int shownEntries = 0;
    // The BOOTP/DHCP server: it runs while the user wants, with or
    // without its dialog open, and stops when the window goes.
    AddressServer *addressServer;
    QLabel *addressServerLabel;
    QPointer<AddressServerDialog> addressServerDialog;
    QPointer<InventoryDialog> inventoryDialog;
    QHash<quint32, QPointer<DeviceDetailsDialog>> detailsDialogs;
};

#endif // MAINWINDOW_H
