#ifndef NETWORKSDIALOG_H
#define NETWORKSDIALOG_H

#include "remotenetwork.h"

#include <QDialog>
#include <QValidator>

#include <functional>

class RunReport;
class Ui_NetworksDialog;

// The line edit's validator: checkRemoteNetwork with the computer's own
// networks as they are at the moment of each check.
class RemoteNetworkValidator : public QValidator
{
    Q_OBJECT

public:
    // added: the remote networks added so far.
    RemoteNetworkValidator(std::function<QList<Ipv4Subnet>()> added, QObject *parent);
    State validate(QString &input, int &pos) const override;
    RemoteNetworkCheck check(const QString &input) const;

private:
    std::function<QList<Ipv4Subnet>()> added;
};

// The networks the last run searched or left out, and where the user adds
// a network beyond the computer's own. Not modal: the window shows each
// later run in it while it is open.
class NetworksDialog : public QDialog
{
    Q_OBJECT

public:
    // added: the remote networks added so far, for the overlap test.
    NetworksDialog(QWidget *parent, std::function<QList<Ipv4Subnet>()> added);
    ~NetworksDialog() override;

    void showReport(const RunReport &report);

signals:
    // Enter (or Add) with a network that can be searched.
    void networkAdded(const Ipv4Subnet &network);

private slots:
    void on_lineEdit_network_textChanged(const QString &text);
    void on_lineEdit_network_returnPressed();
    void on_pushButton_add_clicked();
    void on_pushButton_close_clicked();

private:
    Ui_NetworksDialog *ui;
    RemoteNetworkValidator *validator;
};

#endif // NETWORKSDIALOG_H
