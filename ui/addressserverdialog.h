#ifndef ADDRESSSERVERDIALOG_H
#define ADDRESSSERVERDIALOG_H

#include "addressassignment.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QSet>

#include <functional>

class AddressServer;
class AssignAddressDialog;
class BootpDhcpDisabler;
class IdentityProbe;
struct AddressRequest;
class Ui_AddressServerDialog;
QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

// The address server in the window: start and stop it, see who asks, give
// a MAC its address or take it back, load and save the assignments, and
// turn BOOTP/DHCP off on a device that has its address. Not modal; closing
// it leaves the server running (the main window owns the server).
class AddressServerDialog : public QDialog
{
    Q_OBJECT

public:
    // listed: the addresses of the devices in the window's list, for the
    // assignment's warning.
    AddressServerDialog(QWidget *parent, AddressServer *server, std::function<QSet<quint32>()> listed);
    ~AddressServerDialog() override;

    // Shows the assign dialog and says whether the user accepted it;
    // exec() unless a test puts a function of its own here.
    using AssignPrompt = std::function<bool(AssignAddressDialog *dialog)>;
    static AssignPrompt runAssignDialog;
    // Asks for a CSV file to load, as QFileDialog::getOpenFileName does.
    using OpenPrompt = std::function<QString(QWidget *parent, const QString &caption)>;
    static OpenPrompt askOpenFileName;

private slots:
    void on_pushButton_serve_clicked();
    void on_pushButton_assign_clicked();
    void on_pushButton_remove_clicked();
    void on_pushButton_disable_clicked();
    void on_pushButton_load_clicked();
    void on_pushButton_save_clicked();
    void on_pushButton_close_clicked();
    void on_tableWidget_requests_cellDoubleClicked(int row);
    void on_tableWidget_requests_itemSelectionChanged();

private:
    void priv_scheduleUpdate();
    void priv_showRequests();
    void priv_showRunning(bool running);
    void priv_requestChanged(const AddressRequest &request);
    void priv_showStatus(const QString &text);
    // The MAC of the selected row; empty when none is selected.
    QByteArray priv_selectedMac() const;

    Ui_AddressServerDialog *ui;
    AddressServer *server;
    std::function<QSet<quint32>()> listed;
    QTimer *updateTimer;
    // One probe per MAC that has its address: does the device answer there?
    QHash<QByteArray, IdentityProbe *> probes;
    // What the probe and the BOOTP/DHCP switch found, per MAC.
    QHash<QByteArray, QString> identityNotes;
    QHash<QByteArray, QString> disableNotes;
    QPointer<BootpDhcpDisabler> disabler;
    QByteArray disablerMac;
};

#endif // ADDRESSSERVERDIALOG_H
