#include "assignaddressdialog.h"
#include "ui_assignaddressdialog.h"

#include "netaddress.h"

#include <QHostAddress>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// A dotted IPv4 address and nothing else: QHostAddress alone would also
// take "10.1" or an IPv6 address.
bool parseIpv4(const QString &text, quint32 *address)
{
    QHostAddress parsed;
    if (text.count(QLatin1Char('.')) != 3 || !parsed.setAddress(text)
        || parsed.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *address = parsed.toIPv4Address();
    return true;
}

} // namespace

AssignAddressDialog::AssignAddressDialog(QWidget *parent, const QByteArray &mac, const QString &cardName,
                                         const QVector<CardAddress> &card, const QVector<AddressAssignment> &others,
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

AddressAssignment AssignAddressDialog::assignment() const
{
    AddressAssignment result;
    result.mac = mac;
    parseIpv4(ui->lineEdit_address->text().trimmed(), &result.address);
    result.prefixLength = ui->spinBox_prefix->value();
    parseIpv4(ui->lineEdit_gateway->text().trimmed(), &result.gateway);
    const QStringList servers =
        ui->lineEdit_nameServers->text().split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    for (const QString &text : servers) {
        quint32 server = 0;
        if (parseIpv4(text, &server))
            result.nameServers.append(server);
    }
    result.hostName = ui->lineEdit_hostName->text().trimmed();
    return result;
}

AssignmentCheck AssignAddressDialog::check() const
{
    quint32 parsed = 0;
    const QString address = ui->lineEdit_address->text().trimmed();
    if (!parseIpv4(address, &parsed))
        return {AssignmentProblem::NotInCardSubnet, tr("Give the address as four numbers, for example 192.168.1.20.")};
    const QString gateway = ui->lineEdit_gateway->text().trimmed();
    if (!gateway.isEmpty() && !parseIpv4(gateway, &parsed))
        return {AssignmentProblem::BadGateway, tr("The gateway \"%1\" is no IPv4 address.").arg(gateway)};
    const QStringList servers =
        ui->lineEdit_nameServers->text().split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    for (const QString &server : servers) {
        if (!parseIpv4(server, &parsed))
            return {AssignmentProblem::BadGateway, tr("The name server \"%1\" is no IPv4 address.").arg(server)};
    }
    return AddressAssignments::check(assignment(), card, others, listed);
}

quint32 AssignAddressDialog::firstFreeAddress(const QByteArray &mac, const QVector<CardAddress> &card,
                                              const QVector<AddressAssignment> &others, const QSet<quint32> &listed)
{
    // A /8 holds sixteen million; the first few thousand are enough to
    // find a free one, and the search stays quick.
    constexpr quint32 MaxTried = 4096;
    for (const CardAddress &entry : card) {
        if (entry.prefixLength < 1 || entry.prefixLength > 30)
            continue;
        AddressAssignment candidate;
        candidate.mac = mac;
        candidate.prefixLength = entry.prefixLength;
        const quint32 last = qMin(entry.broadcast() - 1, entry.network() + MaxTried);
        for (quint32 address = entry.network() + 1; address <= last; ++address) {
            candidate.address = address;
            if (AddressAssignments::check(candidate, card, others, listed).ok())
                return address;
        }
        return 0;
    }
    return 0;
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
    ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(result.ok() || (result.isWarning() && ui->checkBox_override->isChecked()));
}
