#ifndef DEVICEDETAILSDIALOG_H
#define DEVICEDETAILSDIALOG_H

#include "devicedetails.h"
#include "devicerecord.h"
#include "deviceresetter.h"
#include "ipsettingswriter.h"

#include <QDialog>
#include <QHostAddress>

#include <functional>

class DeviceDetailsReader;
class DeviceResetter;
class IpSettingsWriter;
class Ui_DeviceDetailsDialog;

// What one device tells about itself over explicit messaging: its
// identity, TCP/IP interface and Ethernet ports, with warnings; and where
// the user changes its IP settings and resets it. Not modal, and it never
// waits: every exchange with the device runs in the background and ends in
// a slot.
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
    ~DeviceDetailsDialog() override;

    // Reads the device again; nothing while an exchange is under way.
    void refresh();
    QHostAddress deviceAddress() const { return address; }
    // The rows as the table shows them, and as Copy puts them on the
    // clipboard.
    QString rowsText() const;

signals:
    // The device was reset: the list should be searched again to show it
    // where it is now.
    void searchRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_pushButton_refresh_clicked();
    void on_pushButton_copy_clicked();
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

    Ui_DeviceDetailsDialog *ui;
    DeviceRecord record;
    QHostAddress address;
    quint16 port;
    quint32 cardNetmask;
    std::function<QVector<quint32>()> otherDevices;
    DeviceDetailsReader *reader = nullptr;
    IpSettingsWriter *writer = nullptr;
    DeviceResetter *resetter = nullptr;
    DeviceDetails details;
    bool busy = false;
    bool resetOffered = false;
    // What the last write or reset said, shown above the table.
    QString outcome;
};

#endif // DEVICEDETAILSDIALOG_H
