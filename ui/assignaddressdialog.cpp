#include "assignaddressdialog.h"
#include "ui_assignaddressdialog.h"

#include "netaddress.h"

#include <QPushButton>

AssignAddressDialog::AssignAddressDialog(QWidget *parent, const QByteArray &mac, const QString &cardName,
                                         const QVector<Ipv4Subnet> &card, const QVector<AddressAssignment> &others,
                                         const QSet<quint32> &listed, const AddressAssignment &start)
    : QDialog(parent)
    , ui(new Ui_AssignAddressDialog)
    , mac(mac)
    , card(card)
    , others(others)
    , listed(listed)
{
    ui->setupUi(this);
    const QString macText = AddressAssignments::macText(mac);
    ui->label_mac->setText(cardName.isEmpty() ? tr("The address for %1").arg(macText)
                                              : tr("The address for %1, asking through %2").arg(macText, cardName));
    ui->lineEdit_address->setText(start.address ? ipv4ToString(start.address) : QString());
    ui->spinBox_prefix->setValue(start.prefixLength);
    ui->lineEdit_gateway->setText(start.gateway ? ipv4ToString(start.gateway) : QString());
    QStringList servers;
    for (const quint32 server : start.nameServers)
        servers.append(ipv4ToString(server));
    ui->lineEdit_nameServers->setText(servers.join(QLatin1Char(' ')));
    ui->lineEdit_hostName->setText(start.hostName);
    priv_showCheck();
}

AssignAddressDialog::~AssignAddressDialog()
{
    delete ui;
}

AssignmentFields AssignAddressDialog::priv_fields() const
{
    AssignmentFields fields;
    fields.address = ui->lineEdit_address->text();
    fields.prefixLength = ui->spinBox_prefix->value();
    fields.gateway = ui->lineEdit_gateway->text();
    fields.nameServers = ui->lineEdit_nameServers->text();
    fields.hostName = ui->lineEdit_hostName->text();
    return fields;
}

AddressAssignment AssignAddressDialog::assignment() const
{
    return AddressAssignments::fromFields(mac, priv_fields());
}

AssignmentCheck AssignAddressDialog::check() const
{
    return AddressAssignments::checkFields(mac, priv_fields(), card, others, listed);
}

void AssignAddressDialog::on_lineEdit_address_textChanged()
{
    priv_showCheck();
}

void AssignAddressDialog::on_spinBox_prefix_valueChanged()
{
    priv_showCheck();
}

void AssignAddressDialog::on_lineEdit_gateway_textChanged()
{
    priv_showCheck();
}

void AssignAddressDialog::on_lineEdit_nameServers_textChanged()
{
    priv_showCheck();
}

void AssignAddressDialog::on_lineEdit_hostName_textChanged()
{
    priv_showCheck();
}

void AssignAddressDialog::on_checkBox_override_toggled()
{
    priv_showCheck();
}

void AssignAddressDialog::priv_showCheck()
{
    const AssignmentCheck result = check();
    ui->label_check->setText(result.text);
    // The override is offered only for a warning, and forgotten with it.
    ui->checkBox_override->setVisible(result.isWarning());
    if (!result.isWarning())
        ui->checkBox_override->setChecked(false);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(result.acceptable(ui->checkBox_override->isChecked()));
}
