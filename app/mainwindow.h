#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QVector>

class ConnSocket;
class ListedAddresses;
struct DeviceRecord;
struct ExportedDevice;
namespace ENIP {
struct ListIdentityItem;
}
QT_BEGIN_NAMESPACE
class QAction;
class QListWidgetItem;
class QPoint;
class QVariant;
QT_END_NAMESPACE
class Ui_MainWindow;

// The one main window. It owns every piece of discovery state: the form,
// the number of devices listed in the current run and the probe sockets.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Whether the window starts its first search by itself, one second
    // after it is built.
    enum FirstSearch { AutomaticSearch, NoAutomaticSearch };

    explicit MainWindow(QWidget *parent = nullptr, FirstSearch firstSearch = AutomaticSearch);
    ~MainWindow() override;

    // What the command line needs of a search: start one, whether any
    // probe went out, when it started, and the entries found so far with
    // their places.
    void search();
    bool probesSent() const { return sentProbes > 0; }
    QDateTime searchedAt() const { return searchStarted; }
    QVector<ExportedDevice> listedDevices() const;

private slots:
    // The order of these slots is the order of the meta-object's method table.
    void readyRead();
    void readyRead_opener();
    void on_pushButton_find_clicked();
    void on_pushButton_copy_clicked();
    void on_pushButton_config_clicked();
    void on_listWidget_itemSelectionChanged();
    void on_menubar_triggered(QAction *action);
    void on_menuHelp_triggered(QAction *action);
    // Slots added after the first eight.
    void on_listWidget_itemDoubleClicked(QListWidgetItem *item);

private:
    void priv_sendDatagram(quint32 address);
    void priv_sendDatagram_opener(quint32 address);
    // Lists a device under text, its record's line, unless its address is
    // listed already.
    bool priv_addDevice(const QString &text, const DeviceRecord &record);
    // Compares an identity that answered from a listed address with those
    // seen there before. True when the entry thereby got an IP address
    // conflict.
    bool priv_noteIdentity(quint32 ip, const ENIP::ListIdentityItem &identity);
    // "Found %n device(s)", with the number of conflicts while there are
    // any: the one status text of both readers.
    QString priv_deviceCountText() const;
    const QIcon &priv_warningIcon();
    void priv_openConfig(QListWidgetItem *item);
    void priv_showListMenu(QListWidgetItem *item, const QPoint &globalPos);
    void priv_copyAllEntries();
    void priv_saveList();
    // The records of the entries, in list order.
    QVector<DeviceRecord> priv_records() const;

    Ui_MainWindow *ui;
    // Entries added since the current run began; 32 bits so the running
    // number shown in the list never wraps.
    quint32 deviceCount;
    // Entries of the current run with an IP address conflict.
    int conflictCount;
    // The mark of an entry with a fault or a conflict; made when first
    // needed.
    QIcon warningIcon;
    // The address of every listed entry, for the duplicate test.
    ListedAddresses *listedAddresses;
    // When the current run started, and how many of its probes went out.
    QDateTime searchStarted;
    int sentProbes;
    // Every probe socket ever created, in creation order; owned here.
    QList<ConnSocket *> connSockets;
};

#endif // MAINWINDOW_H
