#ifndef ASSIGNADDRESSDIALOG_H
#define ASSIGNADDRESSDIALOG_H

#include "addressassignment.h"

#include <QDialog>
#include <QSet>

class Ui_AssignAddressDialog;

// Asks for the address to give one MAC, with its prefix length, gateway,
// name servers and host name, and checks it as the user types: an error
// keeps OK disabled; the address of a listed device is a warning that the
// user may override.
class AssignAddressDialog : public QDialog
{
    Q_OBJECT

public:
    // card: the addresses of the card the MAC asked through (empty: not
    // known, every card counts); others: the assignments made so far;
    // listed: the addresses of the devices in the list; start: what the
    // fields show first.
    AssignAddressDialog(QWidget *parent, const QByteArray &mac, const QString &cardName,
                        const QVector<Ipv4Subnet> &card, const QVector<AddressAssignment> &others,
                        const QSet<quint32> &listed, const AddressAssignment &start);
    ~AssignAddressDialog() override;

    // What the fields say now, and what is wrong with it
    // (AddressAssignments::checkFields).
    AddressAssignment assignment() const;
    AssignmentCheck check() const;

private slots:
    void on_lineEdit_address_textChanged();
    void on_spinBox_prefix_valueChanged();
    void on_lineEdit_gateway_textChanged();
    void on_lineEdit_nameServers_textChanged();
    void on_lineEdit_hostName_textChanged();
    void on_checkBox_override_toggled();

private:
    void priv_showCheck();
    AssignmentFields priv_fields() const;

    Ui_AssignAddressDialog *ui;
    QByteArray mac;
    QVector<Ipv4Subnet> card;
    QVector<AddressAssignment> others;
    QSet<quint32> listed;
};

#endif // ASSIGNADDRESSDIALOG_H
