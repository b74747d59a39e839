#ifndef IPSETTINGSDIALOG_H
#define IPSETTINGSDIALOG_H

#include "devicedetails.h"
#include "ipsettingscheck.h"

#include <QDialog>
#include <QVector>

class Ui_IpSettingsDialog;

// Where the user types a device's new network settings. Every value is
// checked as it is typed, with the reason shown for one that is refused.
// Write asks for confirmation with a summary of old and new values;
// nothing is written here: confirmed() hands the settings on.
class IpSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // current: the device's settings as read; otherDevices: the addresses
    // of the other listed devices.
    IpSettingsDialog(QWidget *parent, const DeviceDetails &current, const QVector<quint32> &otherDevices);
    ~IpSettingsDialog() override;

    // The fields as they are now, and what the check makes of them.
    IpSettingsInput input() const;
    IpSettingsCheck check() const;
    // The settings to write: the method and configuration only where they
    // change, the host name only when it changes.
    IpSettings settings() const;

signals:
    void confirmed(const IpSettings &settings);

private slots:
    void on_pushButton_write_clicked();
    void on_pushButton_cancel_clicked();

private:
    void priv_validate();

    Ui_IpSettingsDialog *ui;
    DeviceDetails current;
    QVector<quint32> otherDevices;
};

#endif // IPSETTINGSDIALOG_H
