#include "inventorydialog.h"
#include "ui_inventorydialog.h"

#include "inventoryreader.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidgetItem>

namespace {

enum Column {
    StateColumn,
    AddressColumn,
    NameColumn,
    RevisionColumn,
    SerialColumn,
    TcpIpColumn,
    LinkColumn,
    ModulesColumn,
    ChangesColumn,
    ColumnCount
};

QString objectText(const InventoryDevice &device, InventoryObject object, const QString &readText)
{
    const InventoryResult result = device.result(object);
    return result.isRead() ? readText : result.text;
}

} // namespace

InventoryDialog::InventoryDialog(std::function<QVector<ExportedDevice>()> listed, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::InventoryDialog)
    , listedDevices(std::move(listed))
    , inventoryReader(new InventoryReader(this))
{
    ui->setupUi(this);
    setModal(false);
    ui->progressBar->setVisible(false);
    ui->pushButton_cancel->setVisible(false);
    connect(ui->pushButton_read, &QPushButton::clicked, this, &InventoryDialog::priv_readAll);
    connect(ui->pushButton_cancel, &QPushButton::clicked, this, &InventoryDialog::priv_cancel);
    connect(ui->pushButton_save, &QPushButton::clicked, this, &InventoryDialog::priv_save);
    connect(ui->pushButton_compare, &QPushButton::clicked, this, &InventoryDialog::priv_compare);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(inventoryReader, &InventoryReader::progress, this, &InventoryDialog::priv_onProgress);
    connect(inventoryReader, &InventoryReader::finished, this, &InventoryDialog::priv_onFinished);
    priv_updateButtons();
}

InventoryDialog::~InventoryDialog()
{
    delete ui;
}

QColor InventoryDialog::stateColour(InventoryState state)
{
    switch (state) {
    case InventoryState::New:
        return QColor(0xC8, 0xE6, 0xC9); // green
    case InventoryState::Missing:
        return QColor(0xE0, 0xE0, 0xE0); // grey
    case InventoryState::Replaced:
        return QColor(0xFF, 0xCC, 0xBC); // orange
    case InventoryState::Changed:
        return QColor(0xFF, 0xF5, 0x9D); // yellow
    case InventoryState::Same:
        break;
    }
    return QColor();
}

void InventoryDialog::setInventory(const Inventory &inventory)
{
    current = inventory;
    hasInventory = true;
    compared = false;
    comparison = InventoryComparison();
    priv_fill();
    ui->label_summary->setText(tr("%n device(s) read", nullptr, int(current.devices.size())));
    priv_updateButtons();
}

void InventoryDialog::priv_readAll()
{
    const QVector<ExportedDevice> devices = listedDevices ? listedDevices() : QVector<ExportedDevice>();
    ui->progressBar->setRange(0, qMax(1, int(devices.size())));
    ui->progressBar->setValue(0);
    ui->progressBar->setVisible(true);
    ui->pushButton_cancel->setVisible(true);
    ui->label_summary->setText(tr("Reading %n device(s)…", nullptr, int(devices.size())));
    inventoryReader->start(devices);
    priv_updateButtons();
}

void InventoryDialog::priv_onProgress(int done, int total)
{
    ui->progressBar->setRange(0, qMax(1, total));
    ui->progressBar->setValue(done);
    ui->label_summary->setText(tr("Read %1 of %2 devices…").arg(done).arg(total));
}

void InventoryDialog::priv_onFinished(const Inventory &inventory)
{
    ui->progressBar->setVisible(false);
    ui->pushButton_cancel->setVisible(false);
    setInventory(inventory);
}

void InventoryDialog::priv_cancel()
{
    inventoryReader->cancel();
    ui->progressBar->setVisible(false);
    ui->pushButton_cancel->setVisible(false);
    ui->label_summary->setText(tr("Reading cancelled; the table shows the inventory read before."));
    priv_updateButtons();
}

void InventoryDialog::priv_updateButtons()
{
    const bool reading = inventoryReader->isRunning();
    ui->pushButton_read->setEnabled(!reading);
    ui->pushButton_save->setEnabled(!reading && hasInventory);
    ui->pushButton_compare->setEnabled(!reading && hasInventory);
}

QString InventoryDialog::saveTo(const QString &fileName) const
{
    InventoryFormat format = InventoryFormat::Json;
    if (!Inventory::formatOf(fileName, &format))
        return tr("Give the file a name ending in .json or .csv.");
    return current.save(fileName, format);
}

void InventoryDialog::priv_save()
{
    const QString json = tr("JSON (*.json)");
    const QString csv = tr("CSV (*.csv)");
    QString filter = json;
    QString fileName = QFileDialog::getSaveFileName(this, tr("Save the inventory"), QString(),
                                                    json + QStringLiteral(";;") + csv, &filter);
    if (fileName.isEmpty())
        return;
    InventoryFormat format = InventoryFormat::Json;
    if (!Inventory::formatOf(fileName, &format))
        fileName += filter == csv ? QStringLiteral(".csv") : QStringLiteral(".json");
    const QString error = saveTo(fileName);
    if (!error.isEmpty())
        priv_showError(tr("The inventory was not saved to %1: %2").arg(fileName, error));
}

bool InventoryDialog::compareWith(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        priv_showError(tr("Cannot read %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    Inventory saved;
    QString error;
    if (!Inventory::read(file.read(qint64(Inventory::MaxFileSize) + 1), &saved, &error)) {
        priv_showError(tr("%1 was not compared: %2").arg(fileName, error));
        return false;
    }
    comparison = InventoryComparison::compare(saved, current);
    compared = true;
    priv_fill();
    ui->label_summary->setText(comparison.summary());
    return true;
}

void InventoryDialog::priv_compare()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Compare with a saved inventory"), QString(),
                                                          tr("Inventories and lists (*.json *.csv);;All files (*)"));
    if (!fileName.isEmpty())
        compareWith(fileName);
}

void InventoryDialog::priv_showError(const QString &text)
{
    // Not modal either: the dialog and the window go on.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Inventory"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("inventoryError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QTreeWidgetItem *InventoryDialog::priv_deviceItem(const InventoryDevice &device)
{
    auto *item = new QTreeWidgetItem;
    item->setText(AddressColumn, device.text(QStringLiteral("address")));
    item->setText(NameColumn, device.text(QStringLiteral("name")));
    item->setText(RevisionColumn, device.text(QStringLiteral("revision")));
    item->setText(SerialColumn, device.text(QStringLiteral("serial_number")));
    item->setText(TcpIpColumn,
                  objectText(device, InventoryObject::TcpIp,
                             tr("%1 %2/%3, gateway %4")
                                 .arg(device.text(QStringLiteral("tcpip_configuration_method")),
                                      device.text(QStringLiteral("tcpip_ip_address")),
                                      device.text(QStringLiteral("tcpip_netmask")),
                                      device.text(QStringLiteral("tcpip_gateway")))));
    item->setText(
        LinkColumn,
        objectText(device, InventoryObject::EthernetLink,
                   tr("%1 Mbit/s %2, %3")
                       .arg(device.text(QStringLiteral("link_speed")), device.text(QStringLiteral("link_duplex")),
                            device.text(QStringLiteral("link_mac_address")))));
    item->setText(ModulesColumn,
                  objectText(device, InventoryObject::Modules, tr("%n slot(s)", nullptr, int(device.modules.size()))));
    for (const QJsonObject &slot : device.modules) {
        auto *child = new QTreeWidgetItem(item);
        const QString result = InventoryDevice::valueText(slot.value(QStringLiteral("slot_result")));
        child->setText(AddressColumn,
                       tr("slot %1").arg(InventoryDevice::valueText(slot.value(QStringLiteral("route")))));
        child->setText(NameColumn, InventoryDevice::valueText(slot.value(QStringLiteral("name"))));
        child->setText(RevisionColumn, InventoryDevice::valueText(slot.value(QStringLiteral("revision"))));
        child->setText(SerialColumn, InventoryDevice::valueText(slot.value(QStringLiteral("serial_number"))));
        const QString error = InventoryDevice::valueText(slot.value(QStringLiteral("slot_error")));
        child->setText(ModulesColumn, error.isEmpty() ? result : result + QStringLiteral(": ") + error);
    }
    return item;
}

void InventoryDialog::priv_fill()
{
    QTreeWidget *tree = ui->treeWidget;
    tree->setUpdatesEnabled(false);
    tree->clear();
    QList<QTreeWidgetItem *> items;
    if (!compared) {
        for (const InventoryDevice &device : qAsConst(current.devices))
            items.append(priv_deviceItem(device));
    } else {
        for (const InventoryDeviceComparison &entry : qAsConst(comparison.devices)) {
            QTreeWidgetItem *item = priv_deviceItem(entry.device);
            item->setText(StateColumn, InventoryComparison::stateText(entry.state));
            QStringList changes;
            for (const InventoryChange &change : entry.changes)
                changes.append(InventoryComparison::changeText(change));
            item->setText(ChangesColumn, changes.join(QStringLiteral("; ")));
            item->setToolTip(ChangesColumn, changes.join(QLatin1Char('\n')));
            const QColor colour = stateColour(entry.state);
            if (colour.isValid()) {
                for (int column = 0; column < ColumnCount; ++column) {
                    item->setBackground(column, colour);
                    // Dark text on the light colour, whatever the style's.
                    item->setForeground(column, QColor(Qt::black));
                }
            }
            items.append(item);
        }
    }
    tree->addTopLevelItems(items);
    for (int column = 0; column < ColumnCount; ++column)
        tree->resizeColumnToContents(column);
    tree->setUpdatesEnabled(true);
}
