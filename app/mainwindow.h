#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "networkreport.h"
#include "remotenetwork.h"

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QVector>

class ConnSocket;
class ListedAddresses;
class NetworksDialog;
struct DeviceRecord;
struct ExportedDevice;
namespace ENIP {
struct ListIdentityItem;
}
QT_BEGIN_NAMESPACE
class QAction;
class QLabel;
class QListWidgetItem;
class QPoint;
class QProgressBar;
class QPushButton;
class QTimer;
class QUdpSocket;
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
    // The networks searched: the status-bar label, its tooltip and the
    // dialog, shown again a moment after a change (a reply, sweep
    // progress) so that a burst of them costs one update.
    void priv_showNetworks();
    void priv_scheduleNetworksUpdate();
    void priv_openNetworksDialog();
    void priv_addRemoteNetwork(const Ipv4Network &network);
    // The remote networks of a run: their broadcasts, then the paced
    // unicast sweep of their hosts.
    void priv_searchRemoteNetworks();
    void priv_sweepNext();
    void priv_finishSweep(bool cancelled);
    // The run waits for answers until 2.5 s after its last probe.
    void priv_lastProbeSent();
    bool eventFilter(QObject *watched, QEvent *event) override;

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

    // What the last run looked at and sent, and how the last probe send of
    // priv_sendDatagram or priv_sendDatagram_opener went.
    RunReport runReport;
    SendResult lastSend;
    // Networks beyond the computer's own that each run searches too, for
    // as long as the program runs.
    QList<Ipv4Network> remoteNetworks;
    QLabel *networksLabel;
    QProgressBar *sweepProgress;
    QPushButton *cancelSweep;
    QPointer<NetworksDialog> networksDialog;
    QTimer *searchingTimer;
    QTimer *networksUpdateTimer;
    QTimer *sweepTimer;
    bool searching;
    // The sweep in progress: its datagrams, their pace, the report row of
    // each of its networks, and one socket per probe port (text,
    // ListIdentity), bound while the sweep and its wait for answers last.
    SweepPlan sweepPlan;
    SweepPacer sweepPacer;
    QList<int> sweepRows;
    QUdpSocket *sweepSockets[2];
};

#endif // MAINWINDOW_H
