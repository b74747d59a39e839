#include "devicedetailsdialog.h"
#include "ui_devicedetailsdialog.h"

#include "devicedetailstext.h"
#include "ipsettingsdialog.h"
#include "netaddress.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTableWidgetItem>

DeviceDetailsDialog::DeviceDetailsDialog(QWidget *parent, const DeviceRecord &record, quint32 cardNetmask,
                                         std::function<QVector<quint32>()> otherDevices, quint16 port)
    : QDialog(parent)
    , ui(new Ui_DeviceDetailsDialog)
    , record(record)
    , address(record.address)
    , port(port)
    , cardNetmask(cardNetmask)
    , otherDevices(std::move(otherDevices))
{
    ui->setupUi(this);
    ui->tableWidget_details->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ui->tableWidget_details->verticalHeader()->setDefaultSectionSize(ui->tableWidget_details->fontMetrics().height()
                                                                     + 6);
    ui->tableWidget_details->installEventFilter(this);
    ui->pushButton_changeIp->setEnabled(false);
    ui->pushButton_reset->hide();
    priv_updateTitle();
    refresh();
}

DeviceDetailsDialog::~DeviceDetailsDialog()
{
    delete ui;
}

void DeviceDetailsDialog::priv_updateTitle()
{
    QString name;
    if (details.identity.has(CIP::CipIdentityAttributes::ProductName))
        name = details.identity.identity.productName.toString();
    else if (record.protocol == DeviceProtocol::ListIdentity)
        name = record.identity().identity.productName.toString();
    setWindowTitle(tr("Device details - %1 (%2)").arg(name, address.toString()));
}

void DeviceDetailsDialog::priv_setBusy(bool isBusy)
{
    busy = isBusy;
    ui->pushButton_refresh->setEnabled(!busy);
    const bool settable = details.tcpip.has(CIP::CipTcpIpInterface::ConfigurationCapability)
        && (details.tcpip.capability & CIP::CipTcpIpInterface::ConfigurationSettable);
    ui->pushButton_changeIp->setEnabled(!busy && settable);
    ui->pushButton_reset->setVisible(resetOffered);
    ui->pushButton_reset->setEnabled(!busy && resetOffered);
}

void DeviceDetailsDialog::refresh()
{
    if (busy)
        return;
    if (!reader) {
        reader = new DeviceDetailsReader(address, port, this);
        connect(reader, &DeviceDetailsReader::finished, this, &DeviceDetailsDialog::priv_onRead);
    }
    ui->label_status->setText(tr("Reading\u2026"));
    priv_setBusy(true);
    reader->start();
}

void DeviceDetailsDialog::priv_onRead(const DeviceDetails &read)
{
    details = read;
    priv_showDetails(read);
    QString status;
    if (!read.failure.isEmpty())
        status = read.failure;
    if (!outcome.isEmpty())
        status = status.isEmpty() ? outcome : outcome + QLatin1Char('\n') + status;
    ui->label_status->setText(status);
    priv_updateTitle();
    priv_setBusy(false);
}

void DeviceDetailsDialog::priv_showDetails(const DeviceDetails &shown)
{
    // Nothing read at all: the table stays empty and the status says why.
    const bool anything = !shown.identity.present.isEmpty() || !shown.tcpip.present.isEmpty() || !shown.links.isEmpty()
        || !shown.errors.isEmpty();
    const QStringList warnings = deviceWarnings(shown, cardNetmask, record.address);
    const QList<DetailsRow> rows = anything ? DeviceDetailsText::rows(shown, warnings) : QList<DetailsRow>();
    QTableWidget *table = ui->tableWidget_details;
    table->clearContents();
    table->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        auto *name = new QTableWidgetItem(rows.at(r).name);
        auto *value = new QTableWidgetItem(rows.at(r).value);
        if (rows.at(r).heading) {
            QFont font = name->font();
            font.setBold(true);
            name->setFont(font);
        }
        table->setItem(r, 0, name);
        table->setItem(r, 1, value);
    }
}

QString DeviceDetailsDialog::rowsText() const
{
    QString text;
    const QTableWidget *table = ui->tableWidget_details;
    for (int r = 0; r < table->rowCount(); ++r) {
        const QString value = table->item(r, 1) ? table->item(r, 1)->text() : QString();
        const QString name = table->item(r, 0) ? table->item(r, 0)->text() : QString();
        text += value.isEmpty() ? name + QLatin1Char('\n') : name + QLatin1Char('\t') + value + QLatin1Char('\n');
    }
    return text;
}

void DeviceDetailsDialog::priv_copySelectedRows()
{
    QSet<int> selected;
    const QList<QTableWidgetItem *> items = ui->tableWidget_details->selectedItems();
    for (const QTableWidgetItem *item : items)
        selected.insert(item->row());
    if (selected.isEmpty())
        return;
    QList<int> rows = selected.values();
    std::sort(rows.begin(), rows.end());
    const QStringList all = rowsText().split(QLatin1Char('\n'));
    QString text;
    for (const int r : qAsConst(rows))
        text += all.value(r) + QLatin1Char('\n');
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

bool DeviceDetailsDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The table's own Copy takes one cell; the rows are what is wanted.
    if (watched == ui->tableWidget_details
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        if (event->type() == QEvent::KeyPress)
            priv_copySelectedRows();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void DeviceDetailsDialog::on_pushButton_refresh_clicked()
{
    outcome.clear();
    refresh();
}

void DeviceDetailsDialog::on_pushButton_copy_clicked()
{
    QGuiApplication::clipboard()->setText(rowsText(), QClipboard::Clipboard);
}

void DeviceDetailsDialog::on_pushButton_close_clicked()
{
    close();
}

void DeviceDetailsDialog::on_pushButton_changeIp_clicked()
{
    if (busy)
        return;
    QVector<quint32> others = otherDevices ? otherDevices() : QVector<quint32>();
    others.removeAll(address.toIPv4Address());
    auto *dialog = new IpSettingsDialog(this, details, others);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &IpSettingsDialog::confirmed, this, &DeviceDetailsDialog::priv_write);
    dialog->open();
}

void DeviceDetailsDialog::priv_write(const IpSettings &settings)
{
    if (busy)
        return;
    if (writer)
        writer->deleteLater();
    writer = new IpSettingsWriter(address, port, this);
    connect(writer, &IpSettingsWriter::finished, this, &DeviceDetailsDialog::priv_onWritten);
    ui->label_status->setText(tr("Writing to %1\u2026").arg(address.toString()));
    priv_setBusy(true);
    writer->start(settings);
}

void DeviceDetailsDialog::priv_onWritten(const IpSettingsResult &result)
{
    QStringList written;
    QStringList notWritten;
    QString refusal;
    for (const IpSettingsResult::Step &step : result.steps) {
        if (step.written) {
            written << step.name;
        } else {
            notWritten << step.name;
            // The refused step carries the device's status; those after it
            // were not tried.
            if (refusal.isEmpty() && result.refused && step.status.startsWith(QLatin1String("0x")))
                refusal = tr("The device refused %1: %2").arg(step.name, step.status);
        }
    }
    QStringList lines;
    if (!refusal.isEmpty())
        lines << refusal;
    if (!result.failure.isEmpty())
        lines << result.failure;
    if (!notWritten.isEmpty())
        lines << tr("Written: %1. Not written: %2.")
                     .arg(written.isEmpty() ? tr("nothing") : written.join(QLatin1String(", ")),
                          notWritten.join(QLatin1String(", ")));
    lines << result.mismatches;
    if (result.ok())
        lines.prepend(tr("The new settings were written and read back."));
    // Where the device answered the read-back is where it is now.
    if (result.readBack.failure.isEmpty() && result.readBack.address != address) {
        address = result.readBack.address;
        lines << tr("The device now answers at %1.").arg(address.toString());
        if (reader) {
            reader->deleteLater();
            reader = nullptr;
        }
    }
    resetOffered = result.resetNeeded() && !result.refused;
    if (resetOffered)
        lines << tr("The device applies the new settings after a reset.");
    outcome = lines.join(QLatin1Char('\n'));
    priv_onRead(result.readBack);
}

void DeviceDetailsDialog::on_pushButton_reset_clicked()
{
    if (busy || !resetOffered)
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Reset device"), tr("Reset %1 now?").arg(address.toString()),
                                QMessageBox::Cancel, this);
    box->setInformativeText(tr("The device restarts as after a power cycle: it stops its work for a while, and "
                               "it may then no longer be reachable from this computer."));
    QPushButton *resetButton = box->addButton(tr("Reset"), QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, resetButton]() {
        if (box->clickedButton() == resetButton)
            priv_reset();
    });
    box->open();
}

void DeviceDetailsDialog::priv_reset()
{
    if (busy)
        return;
    if (resetter)
        resetter->deleteLater();
    resetter = new DeviceResetter(address, port, this);
    connect(resetter, &DeviceResetter::searching, this, &DeviceDetailsDialog::priv_onSearching);
    connect(resetter, &DeviceResetter::finished, this, &DeviceDetailsDialog::priv_onReset);
    ui->label_status->setText(tr("Resetting %1\u2026").arg(address.toString()));
    priv_setBusy(true);
    resetter->start(DeviceResetter::expectedAddress(details), 0);
}

void DeviceDetailsDialog::priv_onSearching(const ResetResult &result)
{
    resetOffered = false;
    address = result.lookedFor;
    if (reader) {
        reader->deleteLater();
        reader = nullptr;
    }
    if (result.outcome == ResetResult::NotConfirmed)
        ui->label_status->setText(tr("The reset was not confirmed: %1\nLooking for the device at %2 (up to %3 s)\u2026")
                                      .arg(result.message, address.toString())
                                      .arg(ResetAnswerMs / 1000));
    else
        ui->label_status->setText(tr("The device is restarting. Waiting for it to answer at %1 (up to %2 s)\u2026")
                                      .arg(address.toString())
                                      .arg(ResetAnswerMs / 1000));
}

void DeviceDetailsDialog::priv_onReset(const ResetResult &result)
{
    if (result.outcome == ResetResult::Refused) {
        outcome = tr("The device refused the reset: %1").arg(result.message);
        ui->label_status->setText(outcome);
        priv_setBusy(false);
        return;
    }
    const QString notConfirmed =
        result.outcome == ResetResult::NotConfirmed ? tr("The reset was not confirmed: %1").arg(result.message) : QString();
    if (!result.found) {
        outcome = result.outcome == ResetResult::NotConfirmed
            ? notConfirmed + QLatin1Char('\n')
                + tr("The device did not answer at %1 within %2 s.").arg(address.toString()).arg(ResetAnswerMs / 1000)
            : tr("The device was reset, but it did not answer at %1 within %2 s. It may have taken another "
                 "address, or be on a subnet this computer does not reach.")
                  .arg(address.toString())
                  .arg(ResetAnswerMs / 1000);
        ui->label_status->setText(outcome);
        priv_setBusy(false);
        emit searchRequested();
        return;
    }
    outcome = tr("The device answers at %1.").arg(address.toString());
    if (!notConfirmed.isEmpty())
        outcome.prepend(notConfirmed + QLatin1Char('\n'));
    priv_setBusy(false);
    priv_updateTitle();
    emit searchRequested();
    refresh();
}
