#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QList>
#include <QMainWindow>

class ConnSocket;
class ListedAddresses;
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
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

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
    // details: what the reply held, kept for the entry's tooltip.
    bool priv_addDevice(const QString &text, quint32 ip, bool configAvailable, const QVariant &details);
    void priv_openConfig(QListWidgetItem *item);
    void priv_showListMenu(QListWidgetItem *item, const QPoint &globalPos);
    void priv_copyAllEntries();

    Ui_MainWindow *ui;
    // Entries added since the current run began; 32 bits so the running
    // number shown in the list never wraps.
    quint32 deviceCount;
    // The address of every listed entry, for the duplicate test.
    ListedAddresses *listedAddresses;
    // Every probe socket ever created, in creation order; owned here.
    QList<ConnSocket *> connSockets;
};

#endif // MAINWINDOW_H
