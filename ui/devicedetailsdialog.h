#ifndef DEVICEDETAILSDIALOG_H
#define DEVICEDETAILSDIALOG_H

#include "ciproute.h"
#include "devicedetails.h"
#include "devicedetailstext.h"
#include "devicerecord.h"
#include "deviceresetter.h"
#include "ipsettingswriter.h"
#include "modulelist.h"

#include <QDialog>
#include <QHash>
#include <QHostAddress>
#include <QPointer>

#include <functional>

class DeviceDetailsReader;
class DeviceResetter;
class IpSettingsWriter;
class ModuleListReader;
class Ui_DeviceDetailsDialog;
QT_BEGIN_NAMESPACE
class QTreeWidgetItem;
QT_END_NAMESPACE

// What one device tells about itself over explicit messaging: its
// identity, TCP/IP interface and Ethernet ports, with warnings, then its
// ports and the modules behind them; and where the user changes its IP
// settings and resets it. Not modal, and it never waits: every exchange
// with the device runs in the background and ends in a slot.
//
// The same dialog shows a module behind a bridge (see the second
// constructor): its identity, and its TCP/IP and Ethernet Link objects
// when it has them, all read through the route. It writes nothing and
// compares nothing with this computer's cards.
class DeviceDetailsDialog : public QDialog
{
    Q_OBJECT

public:
    // How long a reset device has to answer at its address.
    static constexpr int ResetAnswerMs = DeviceResetter::DefaultFindTimeoutMs;

    // record: the list's entry for the device; cardNetmask: that of the
    // card it was found through (0 when not known); otherDevices: the
    // addresses the list holds, asked for when the user changes the
    // settings.
    DeviceDetailsDialog(QWidget *parent, const DeviceRecord &record, quint32 cardNetmask,
                        std::function<QVector<quint32>()> otherDevices, quint16 port = 44818);
    // A module reached through the bridge at bridgeAddress along route;
    // name (its product name, as the module list gave it) titles the
    // dialog until the module's own identity is read.
    DeviceDetailsDialog(QWidget *parent, const QHostAddress &bridgeAddress, const CIP::CipRoute &route,
                        const QString &name, quint16 port = 44818);
    ~DeviceDetailsDialog() override;

    // Reads the device again; nothing while an exchange is under way.
    void refresh();
    QHostAddress deviceAddress() const { return address; }
    // Empty for a device; the way to the module for a module's dialog.
    CIP::CipRoute route() const { return moduleRoute; }
    bool isModule() const { return moduleMode; }
    // The rows as the table shows them, then the ports and modules as
    // their tree shows them, as Copy puts them on the clipboard.
    QString rowsText() const;
    // The module details dialog open for the module at route, if any.
    DeviceDetailsDialog *moduleDialog(const CIP::CipRoute &route) const;

signals:
    // The device was reset: the list should be searched again to show it
    // where it is now.
    void searchRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_pushButton_refresh_clicked();
    void on_pushButton_copy_clicked();
    void on_pushButton_moduleDetails_clicked();
    void on_pushButton_request_clicked();
    void on_pushButton_changeIp_clicked();
    void on_pushButton_reset_clicked();
    void on_pushButton_close_clicked();

private:
    void priv_onRead(const DeviceDetails &read);
    void priv_showDetails(const DeviceDetails &shown);
    void priv_write(const IpSettings &settings);
    void priv_onWritten(const IpSettingsResult &result);
    void priv_reset();
    void priv_onSearching(const ResetResult &result);
    void priv_onReset(const ResetResult &result);
    void priv_setBusy(bool isBusy);
    void priv_updateTitle();
    void priv_copySelectedRows();
    void priv_copySelectedModules();
    void priv_readModules();
    void priv_onModulesRead(const ModuleList &list);
    void priv_showModules();
    // The slot a row of the tree stands for; nullptr for a port's row.
    const ModuleSlot *priv_slotOf(const QTreeWidgetItem *item) const;
    void priv_updateModuleButton();
    void priv_openModule(const QTreeWidgetItem *item);
    QString priv_moduleRowText(const QTreeWidgetItem *item) const;
    // The details as a module's dialog shows them: without the objects
    // the module does not have.
    QList<DetailsRow> priv_moduleRows(const DeviceDetails &shown) const;
    void priv_setUp();

    // Where the module list stands: not asked for (nothing read from the
    // device), being read, or read (with its outcome in modules).
    enum class ModulesState { NotRead, Reading, Read };

    Ui_DeviceDetailsDialog *ui;
    DeviceRecord record;
    QHostAddress address;
    quint16 port;
    quint32 cardNetmask = 0;
    std::function<QVector<quint32>()> otherDevices;
    bool moduleMode = false;
    CIP::CipRoute moduleRoute;
    QString moduleName;
    DeviceDetailsReader *reader = nullptr;
    ModuleListReader *moduleReader = nullptr;
    ModuleList modules;
    ModulesState modulesState = ModulesState::NotRead;
    // A refresh reads the module list once the details are in.
    bool modulesWanted = false;
    // One dialog per module, by the bridge's address and the route.
    QHash<QString, QPointer<DeviceDetailsDialog>> moduleDialogs;
    IpSettingsWriter *writer = nullptr;
    DeviceResetter *resetter = nullptr;
    DeviceDetails details;
    bool busy = false;
    bool resetOffered = false;
    // What the last write or reset said, shown above the table.
    QString outcome;
};

#endif // DEVICEDETAILSDIALOG_H
