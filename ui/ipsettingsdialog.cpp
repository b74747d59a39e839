#include "ipsettingsdialog.h"
#include "ui_ipsettingsdialog.h"

#include "netaddress.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

IpSettingsDialog::IpSettingsDialog(QWidget *parent, const DeviceDetails &current, const QVector<quint32> &otherDevices)
    : QDialog(parent)
    , ui(new Ui_IpSettingsDialog)
    , current(current)
    , otherDevices(otherDevices)
{
    qRegisterMetaType<IpSettings>();
    ui->setupUi(this);
    setWindowTitle(tr("Change IP settings - %1").arg(current.address.toString()));

    // The fields start with what the device has.
    using T = CIP::CipTcpIpInterface;
    const T &t = current.tcpip;
    if (t.has(T::ConfigurationControl) && t.configurationMethod() <= T::Dhcp)
        ui->comboBox_method->setCurrentIndex(int(t.configurationMethod()));
    const bool bootp = !t.has(T::ConfigurationCapability) || (t.capability & T::BootpClient);
    const bool dhcp = !t.has(T::ConfigurationCapability) || (t.capability & T::DhcpClient);
    // A method the device cannot use is not offered.
    // (The combo box's model takes a flags value of 0 under this role as
    // disabled.)
    if (!bootp)
        ui->comboBox_method->setItemData(1, 0, Qt::UserRole - 1);
    if (!dhcp)
        ui->comboBox_method->setItemData(2, 0, Qt::UserRole - 1);
    if (t.has(T::InterfaceConfiguration)) {
        const CIP::CipInterfaceConfiguration &c = t.configuration;
        const auto text = [](quint32 address) { return address == 0 ? QString() : ipv4ToString(address); };
        ui->lineEdit_address->setText(text(c.ipAddress));
        ui->lineEdit_netmask->setText(c.netmask == 0 ? QString() : ipv4ToString(c.netmask));
        ui->lineEdit_gateway->setText(text(c.gateway));
        ui->lineEdit_dns1->setText(text(c.nameServer));
        ui->lineEdit_dns2->setText(text(c.nameServer2));
        ui->lineEdit_domain->setText(c.domainName.toString());
    } else if (current.address.toIPv4Address() != 0) {
        ui->lineEdit_address->setText(current.address.toString());
    }
    if (t.has(T::HostName))
        ui->lineEdit_hostName->setText(t.hostName.toString());
    ui->checkBox_override->hide();

    for (QLineEdit *edit : {ui->lineEdit_address, ui->lineEdit_netmask, ui->lineEdit_gateway, ui->lineEdit_dns1,
                            ui->lineEdit_dns2, ui->lineEdit_domain, ui->lineEdit_hostName})
        connect(edit, &QLineEdit::textChanged, this, &IpSettingsDialog::priv_validate);
    connect(ui->comboBox_method, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &IpSettingsDialog::priv_validate);
    connect(ui->checkBox_override, &QCheckBox::toggled, this, &IpSettingsDialog::priv_validate);
    priv_validate();
}

IpSettingsDialog::~IpSettingsDialog()
{
    delete ui;
}

IpSettingsInput IpSettingsDialog::input() const
{
    IpSettingsInput input;
    const QString method = ui->comboBox_method->currentText();
    input.method = method == QLatin1String("DHCP") ? IpSettings::Dhcp
        : method == QLatin1String("BOOTP")         ? IpSettings::Bootp
                                                   : IpSettings::Static;
    input.address = ui->lineEdit_address->text();
    input.netmask = ui->lineEdit_netmask->text();
    input.gateway = ui->lineEdit_gateway->text();
    input.nameServer = ui->lineEdit_dns1->text();
    input.nameServer2 = ui->lineEdit_dns2->text();
    input.domain = ui->lineEdit_domain->text();
    input.setHostName = true;
    input.hostName = ui->lineEdit_hostName->text();
    return input;
}

IpSettingsCheck IpSettingsDialog::check() const
{
    return checkIpSettings(input(), otherDevices);
}

IpSettings IpSettingsDialog::settings() const
{
    return ipSettingsToWrite(current, check().settings);
}

void IpSettingsDialog::priv_validate()
{
    const bool isStatic = ui->comboBox_method->currentText() == QLatin1String("Static");
    for (QWidget *field : {static_cast<QWidget *>(ui->lineEdit_address), static_cast<QWidget *>(ui->lineEdit_netmask),
                           static_cast<QWidget *>(ui->lineEdit_gateway), static_cast<QWidget *>(ui->lineEdit_dns1),
                           static_cast<QWidget *>(ui->lineEdit_dns2), static_cast<QWidget *>(ui->lineEdit_domain)})
        field->setEnabled(isStatic);

    const IpSettingsCheck result = check();
    QString text = result.firstProblem();
    const bool warned = text.isEmpty() && !result.warning.isEmpty();
    ui->checkBox_override->setVisible(warned);
    // Nothing to write: the command line's rule, which leaves it unwritten.
    const bool nothingToWrite = settings().isEmpty();
    if (warned)
        text = result.warning;
    else if (text.isEmpty() && nothingToWrite)
        text = tr("These are the device's settings now: nothing to write");
    ui->label_check->setText(text);
    ui->pushButton_write->setEnabled(result.acceptable() && (!warned || ui->checkBox_override->isChecked())
                                     && !nothingToWrite);
}

void IpSettingsDialog::on_pushButton_write_clicked()
{
    priv_validate();
    if (!ui->pushButton_write->isEnabled())
        return;
    const IpSettings wanted = settings();
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("Write IP settings"),
                        tr("Write these settings to %1?").arg(current.address.toString()), QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("messageBox_confirm"));
    box->setInformativeText(
        ipSettingsChanges(current, wanted).join(QLatin1Char('\n')) + QLatin1String("\n\n")
        + tr("The device may become unreachable from this computer: with another address, netmask or method it can "
             "end up on a subnet this computer does not reach."));
    QPushButton *write = box->addButton(tr("Write"), QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, write, wanted]() {
        if (box->clickedButton() != write)
            return;
        emit confirmed(wanted);
        // Not from inside the message box's own signal: closing deletes this
        // dialog, and the box with it.
        QTimer::singleShot(0, this, &QDialog::accept);
    });
    box->open();
}

void IpSettingsDialog::on_pushButton_cancel_clicked()
{
    reject();
}
