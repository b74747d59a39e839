#include "addressserverdialog.h"
#include "ui_addressserverdialog.h"

#include "addressserver.h"
#include "assignaddressdialog.h"
#include "bootpdhcpdisabler.h"
#include "cardsettings.h"
#include "identityprobe.h"
#include "netaddress.h"
#include "savelist.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTimer>

namespace {

enum Column {
    MacColumn,
    CardColumn,
    ProtocolColumn,
    HostColumn,
    VendorColumn,
    CountColumn,
    FirstColumn,
    LastColumn,
    AssignedColumn,
    StateColumn,
    ColumnCount
};

QString timeText(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("HH:mm:ss")) : QString();
}

} // namespace

AddressServerDialog::AssignPrompt AddressServerDialog::runAssignDialog = [](AssignAddressDialog *dialog) {
    return dialog->exec() == QDialog::Accepted;
};

AddressServerDialog::OpenPrompt AddressServerDialog::askOpenFileName = [](QWidget *parent, const QString &caption) {
    return QFileDialog::getOpenFileName(parent, caption,
                                        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                        AddressServerDialog::tr("CSV files (*.csv);;All files (*)"));
};

AddressServerDialog::AddressServerDialog(QWidget *parent, AddressServer *server, std::function<QSet<quint32>()> listed)
    : QDialog(parent)
    , ui(new Ui_AddressServerDialog)
    , server(server)
    , listed(std::move(listed))
    , updateTimer(new QTimer(this))
{
    ui->setupUi(this);
    QHeaderView *header = ui->tableWidget_requests->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setStretchLastSection(true);
    ui->tableWidget_requests->verticalHeader()->setDefaultSectionSize(ui->tableWidget_requests->fontMetrics().height()
                                                                      + 6);

    // A flood of requests costs one redraw every 100 ms.
    updateTimer->setSingleShot(true);
    updateTimer->setInterval(100);
    connect(updateTimer, &QTimer::timeout, this, &AddressServerDialog::priv_showRequests);
    connect(server, &AddressServer::requestListed, this, &AddressServerDialog::priv_requestChanged);
    connect(server, &AddressServer::requestChanged, this, &AddressServerDialog::priv_requestChanged);
    connect(server, &AddressServer::requestRemoved, this, &AddressServerDialog::priv_scheduleUpdate);
    connect(server, &AddressServer::runningChanged, this, &AddressServerDialog::priv_showRunning);
    priv_showRunning(server->isRunning());
    priv_showRequests();
}

AddressServerDialog::~AddressServerDialog()
{
    delete ui;
}

void AddressServerDialog::on_pushButton_serve_clicked()
{
    if (server->isRunning()) {
        server->stop();
        priv_showStatus(QString());
        return;
    }
    // Port 67 may be taken or need privileges: the reason and what to do
    // stay in the dialog, and the rest of the program goes on as before.
    if (!server->start())
        priv_showStatus(server->errorString());
    else
        priv_showStatus(QString());
}

void AddressServerDialog::on_pushButton_assign_clicked()
{
    const QByteArray mac = priv_selectedMac();
    if (mac.isEmpty())
        return;
    const AddressRequest *request = server->request(mac);
    CardSettings card;
    if (request)
        card = CardSettings::read(request->cardIndex);
    const QVector<Ipv4Subnet> addresses = card.addresses.isEmpty() ? usableCardAddresses() : card.addresses;
    const QVector<AddressAssignment> others = server->assignments();
    const QSet<quint32> listedAddresses = listed ? listed() : QSet<quint32>();

    AddressAssignment start;
    if (const AddressAssignment *current = server->assignment(mac)) {
        start = *current;
    } else {
        start.mac = mac;
        start.address = AddressAssignments::firstFreeAddress(mac, addresses, others, listedAddresses);
        for (const Ipv4Subnet &entry : addresses) {
            if (entry.prefixLength >= 1 && entry.prefixLength <= 30) {
                start.prefixLength = entry.prefixLength;
                break;
            }
        }
        start.gateway = card.gateway;
        start.nameServers = card.nameServers;
    }
    AssignAddressDialog dialog(this, mac, request ? request->cardName : QString(), addresses, others, listedAddresses,
                               start);
    if (!runAssignDialog(&dialog))
        return;
    const AssignmentCheck check = dialog.check();
    if (!check.ok() && !check.isWarning())
        return;
    server->setAssignment(dialog.assignment());
    identityNotes.remove(mac);
    priv_showRequests();
}

void AddressServerDialog::on_pushButton_remove_clicked()
{
    const QByteArray mac = priv_selectedMac();
    if (server->removeAssignment(mac)) {
        delete probes.take(mac);
        identityNotes.remove(mac);
        priv_showRequests();
    }
}

void AddressServerDialog::on_pushButton_disable_clicked()
{
    const QByteArray mac = priv_selectedMac();
    const AddressRequest *request = server->request(mac);
    if (!request || request->state != AddressRequest::State::HasAddress || disabler)
        return;
    disablerMac = mac;
    disabler = new BootpDhcpDisabler(QHostAddress(request->address), 44818, this);
    connect(disabler, &BootpDhcpDisabler::finished, this, [this](bool ok, const QString &message) {
        disableNotes.insert(disablerMac, ok ? tr("BOOTP/DHCP off") : tr("BOOTP/DHCP not turned off"));
        priv_showStatus(message);
        disabler->deleteLater();
        priv_showRequests();
    });
    priv_showStatus(tr("Turning BOOTP/DHCP off on %1\u2026").arg(ipv4ToString(request->address)));
    disabler->start();
    on_tableWidget_requests_itemSelectionChanged();
}

void AddressServerDialog::on_pushButton_load_clicked()
{
    const QString fileName = askOpenFileName(this, tr("Load assignments"));
    if (fileName.isEmpty())
        return;
    const QString shownName = QDir::toNativeSeparators(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        priv_showStatus(tr("Could not read %1: %2").arg(shownName, file.errorString()));
        return;
    }
    QVector<AddressAssignment> loaded;
    QString error;
    if (!AddressAssignments::fromCsv(file.read(16 << 20), &loaded, &error)) {
        priv_showStatus(tr("%1 was not loaded. %2").arg(shownName, error));
        return;
    }
    // The whole file or nothing: each row must fit a card and the
    // assignments kept from before.
    QVector<AddressAssignment> all = server->assignments();
    for (const AddressAssignment &assignment : qAsConst(loaded)) {
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [&assignment](const AddressAssignment &a) { return a.mac == assignment.mac; }),
                  all.end());
    }
    all += loaded;
    const QVector<Ipv4Subnet> cards = usableCardAddresses();
    for (const AddressAssignment &assignment : qAsConst(loaded)) {
        const AssignmentCheck check = AddressAssignments::check(assignment, cards, all);
        if (!check.ok() && !check.isWarning()) {
            priv_showStatus(tr("%1 was not loaded. %2: %3")
                                .arg(shownName, AddressAssignments::macText(assignment.mac), check.text));
            return;
        }
    }
    for (const AddressAssignment &assignment : qAsConst(loaded))
        server->setAssignment(assignment);
    priv_showStatus(tr("Loaded %n assignment(s) from %1", "", loaded.size()).arg(shownName));
    priv_showRequests();
}

void AddressServerDialog::on_pushButton_save_clicked()
{
    QString filter = tr("CSV files (*.csv)");
    QString fileName = SaveList::askFileName(
        this, tr("Save assignments"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath("assignments.csv"), filter,
        &filter);
    if (fileName.isEmpty())
        return;
    const QString shownName = QDir::toNativeSeparators(fileName);
    QString error;
    const QVector<AddressAssignment> assignments = server->assignments();
    if (SaveList::write(fileName, AddressAssignments::toCsv(assignments), &error))
        priv_showStatus(tr("Saved %n assignment(s) to %1", "", assignments.size()).arg(shownName));
    else
        priv_showStatus(tr("Could not save %1: %2").arg(shownName, error));
}

void AddressServerDialog::on_pushButton_close_clicked()
{
    close();
}

void AddressServerDialog::on_tableWidget_requests_cellDoubleClicked(int row)
{
    Q_UNUSED(row)
    on_pushButton_assign_clicked();
}

void AddressServerDialog::on_tableWidget_requests_itemSelectionChanged()
{
    const QByteArray mac = priv_selectedMac();
    const AddressRequest *request = server->request(mac);
    ui->pushButton_assign->setEnabled(!mac.isEmpty());
    ui->pushButton_remove->setEnabled(server->assignment(mac) != nullptr);
    ui->pushButton_disable->setEnabled(request && request->state == AddressRequest::State::HasAddress && !disabler);
}

void AddressServerDialog::priv_scheduleUpdate()
{
    if (!updateTimer->isActive())
        updateTimer->start();
}

void AddressServerDialog::priv_requestChanged(const AddressRequest &request)
{
    // A device that has its address is asked at it with ListIdentity, to
    // show that it took it.
    IdentityProbe *probe = probes.value(request.mac);
    if (request.state == AddressRequest::State::HasAddress && request.address != 0
        && (!probe || probe->address() != QHostAddress(request.address))) {
        if (!probe) {
            probe = new IdentityProbe(this);
            probes.insert(request.mac, probe);
            const QByteArray mac = request.mac;
            connect(probe, &IdentityProbe::answered, this, [this, mac](const ENIP::ListIdentityItem &item) {
                identityNotes.insert(
                    mac, tr("answers ListIdentity as %1").arg(item.identity.productName.toString().trimmed()));
                priv_scheduleUpdate();
            });
            connect(probe, &IdentityProbe::timedOut, this, [this, mac]() {
                identityNotes.insert(mac, tr("no ListIdentity answer there"));
                priv_scheduleUpdate();
            });
        }
        identityNotes.insert(request.mac, tr("asking it with ListIdentity\u2026"));
        probe->start(QHostAddress(request.address));
    }
    priv_scheduleUpdate();
}

void AddressServerDialog::priv_showRequests()
{
    updateTimer->stop();
    QTableWidget *table = ui->tableWidget_requests;
    const QByteArray selected = priv_selectedMac();
    struct Row
    {
        QByteArray mac;
        QStringList cells;
    };
    QVector<Row> rows;
    QSet<QByteArray> shown;
    const QVector<AddressRequest> requests = server->requests();
    for (const AddressRequest &request : requests) {
        const AddressAssignment *assigned = server->assignment(request.mac);
        QString state = request.stateText();
        if (request.state == AddressRequest::State::HasAddress && identityNotes.contains(request.mac))
            state += QLatin1String("; ") + identityNotes.value(request.mac);
        if (disableNotes.contains(request.mac))
            state += QLatin1String("; ") + disableNotes.value(request.mac);
        rows.append({request.mac,
                     {request.macText, request.cardName, request.protocolText(), request.hostName, request.vendorClass,
                      QString::number(request.count), timeText(request.firstSeen), timeText(request.lastSeen),
                      assigned ? ipv4ToString(assigned->address) : QString(), state}});
        shown.insert(request.mac);
    }
    // Assignments whose device has not asked yet, at the end.
    const QVector<AddressAssignment> assignments = server->assignments();
    for (const AddressAssignment &assigned : assignments) {
        if (shown.contains(assigned.mac))
            continue;
        rows.append({assigned.mac,
                     {AddressAssignments::macText(assigned.mac), QString(), QString(), QString(), QString(),
                      QStringLiteral("0"), QString(), QString(), ipv4ToString(assigned.address), tr("Not asked yet")}});
    }

    QSignalBlocker blocker(table);
    table->setRowCount(rows.size());
    int selectedRow = -1;
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < ColumnCount; ++c) {
            QTableWidgetItem *item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                table->setItem(r, c, item);
            }
            item->setText(rows.at(r).cells.value(c));
            item->setData(Qt::UserRole, rows.at(r).mac);
            if (c == CountColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        if (rows.at(r).mac == selected)
            selectedRow = r;
    }
    // The selection follows its MAC as rows move.
    if (selectedRow >= 0)
        table->selectRow(selectedRow);
    else
        table->clearSelection();
    blocker.unblock();
    on_tableWidget_requests_itemSelectionChanged();
}

void AddressServerDialog::priv_showRunning(bool running)
{
    ui->pushButton_serve->setText(running ? tr("Stop") : tr("Start"));
}

void AddressServerDialog::priv_showStatus(const QString &text)
{
    ui->label_status->setText(text);
}

QByteArray AddressServerDialog::priv_selectedMac() const
{
    const QList<QTableWidgetItem *> items = ui->tableWidget_requests->selectedItems();
    return items.isEmpty() ? QByteArray() : items.first()->data(Qt::UserRole).toByteArray();
}
