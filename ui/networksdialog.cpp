#include "networksdialog.h"
#include "ui_networksdialog.h"

#include "networkreport.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QNetworkInterface>
#include <QTableWidgetItem>

NetworksDialog::NetworksDialog(QWidget *parent, std::function<QList<Ipv4Subnet>()> added)
    : QDialog(parent)
    , ui(new Ui_NetworksDialog)
    , validator(nullptr)
{
    ui->setupUi(this);
    validator = new RemoteNetworkValidator(std::move(added), this);
    ui->lineEdit_network->setValidator(validator);
    ui->tableWidget_networks->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableWidget_networks->horizontalHeader()->setStretchLastSection(true);
    // One line of text per row, as in the device list.
    ui->tableWidget_networks->verticalHeader()->setDefaultSectionSize(ui->tableWidget_networks->fontMetrics().height()
                                                                      + 6);
    on_lineEdit_network_textChanged(QString());
}

NetworksDialog::~NetworksDialog()
{
    delete ui;
}

void NetworksDialog::showReport(const RunReport &report)
{
    QTableWidget *table = ui->tableWidget_networks;
    table->setRowCount(report.rows.size());
    for (int r = 0; r < report.rows.size(); ++r) {
        const NetworkRow &row = report.rows.at(r);
        const QString card = row.kind == NetworkRow::Remote ? tr("routed") : row.card;
        const QString cells[] = {card,
                                 row.address,
                                 row.searched() || row.kind == NetworkRow::Remote ? row.probes : QString(),
                                 row.status(),
                                 row.sendText(0),
                                 row.sendText(1),
                                 row.searched() ? QString::number(row.devices) : QString()};
        // A card that was left out is greyed, as the user cannot act on it
        // here.
        const Qt::ItemFlags flags = row.searched() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
        for (int c = 0; c < int(sizeof cells / sizeof cells[0]); ++c) {
            QTableWidgetItem *item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                table->setItem(r, c, item);
            }
            item->setText(cells[c]);
            item->setFlags(flags);
            if (c == 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    // The validator asks for the own networks at each check; a network
    // that just became this computer's own is refused from now on.
    on_lineEdit_network_textChanged(ui->lineEdit_network->text());
}

void NetworksDialog::on_lineEdit_network_textChanged(const QString &text)
{
    const RemoteNetworkCheck check = validator->check(text);
    ui->label_networkCheck->setText(check.reason);
    ui->pushButton_add->setEnabled(check.state == RemoteNetworkCheck::Acceptable);
}

void NetworksDialog::on_lineEdit_network_returnPressed()
{
    on_pushButton_add_clicked();
}

void NetworksDialog::on_pushButton_add_clicked()
{
    const RemoteNetworkCheck check = validator->check(ui->lineEdit_network->text());
    if (check.state != RemoteNetworkCheck::Acceptable)
        return;
    ui->lineEdit_network->clear();
    emit networkAdded(check.network);
}

void NetworksDialog::on_pushButton_close_clicked()
{
    close();
}

RemoteNetworkValidator::RemoteNetworkValidator(std::function<QList<Ipv4Subnet>()> added, QObject *parent)
    : QValidator(parent)
    , added(std::move(added))
{ }

QValidator::State RemoteNetworkValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    return State(check(input).state);
}

RemoteNetworkCheck RemoteNetworkValidator::check(const QString &input) const
{
    return checkRemoteNetwork(input, ownNetworks(QNetworkInterface::allInterfaces()),
                              added ? added() : QList<Ipv4Subnet>());
}
