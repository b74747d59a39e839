#include "devicedetailsdialog.h"
#include "ui_devicedetailsdialog.h"

#include "cipport.h"
#include "ciprequestdialog.h"
#include "devicedetailstext.h"
#include "ipsettingsdialog.h"
#include "moduletext.h"
#include "netaddress.h"
#include "resetquestion.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTableWidgetItem>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

// Where a row of the module tree points into the module list: the port's
// index, and the slot's (-1 on a port's own row).
constexpr int PortIndexRole = Qt::UserRole;
constexpr int SlotIndexRole = Qt::UserRole + 1;

enum ModuleColumn {
    PlaceColumn,
    RouteColumn,
    ModuleColumn,
    DeviceTypeColumn,
    ProductCodeColumn,
    RevisionColumn,
    SerialNumberColumn,
    StatusColumn,
    ModuleColumnCount
};

// An identity attribute as one cell: its lines joined, the status word
// followed by what its bits say.
QString identityCell(quint16 attribute, const CIP::CipIdentityObject &identity)
{
    const QStringList lines = DeviceDetailsText::identityRow(attribute, identity).second;
    if (attribute == CIP::CipIdentityAttributes::Status && lines.size() > 1)
        return QStringLiteral("%1 (%2)").arg(lines.first(), lines.mid(1).join(QLatin1String(", ")));
    return lines.join(QLatin1String(", "));
}

// An object the device does not have: nothing of it was read, and each of
// its attributes was refused with "no such object" or "no such instance".
bool objectAbsent(const DeviceDetails &details, const QString &object, bool anythingRead)
{
    if (anythingRead)
        return false;
    bool refused = false;
    for (const AttributeError &error : details.errors) {
        if (error.object != object)
            continue;
        if (!error.status.startsWith(QLatin1String("0x05 ")) && !error.status.startsWith(QLatin1String("0x16 ")))
            return false;
        refused = true;
    }
    return refused;
}

// The slots read on a port.
const QVector<ModuleSlot> &slotsOf(const BridgePort &port)
{
    return port.moduleSlots;
}

} // namespace

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
    priv_setUp();
}

DeviceDetailsDialog::DeviceDetailsDialog(QWidget *parent, const QHostAddress &bridgeAddress, const CIP::CipRoute &route,
                                         const QString &name, quint16 port)
    : QDialog(parent)
    , ui(new Ui_DeviceDetailsDialog)
    , address(bridgeAddress)
    , port(port)
    , moduleMode(true)
    , moduleRoute(route)
    , moduleName(name)
{
    priv_setUp();
}

void DeviceDetailsDialog::priv_setUp()
{
    ui->setupUi(this);
    ui->tableWidget_details->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ui->tableWidget_details->verticalHeader()->setDefaultSectionSize(ui->tableWidget_details->fontMetrics().height()
                                                                     + 6);
    ui->tableWidget_details->installEventFilter(this);
    ui->pushButton_changeIp->setEnabled(false);
    ui->pushButton_reset->hide();
    QTreeWidget *tree = ui->treeWidget_modules;
    tree->installEventFilter(this);
    tree->header()->setStretchLastSection(true);
    for (int column = 0; column < StatusColumn; ++column)
        tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    tree->hide();
    connect(tree, &QTreeWidget::currentItemChanged, this, &DeviceDetailsDialog::priv_updateModuleButton);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { priv_openModule(item); });
    ui->pushButton_moduleDetails->setEnabled(false);
    if (moduleMode) {
        // Nothing is written behind a bridge, and a module's own ports are
        // not listed.
        ui->pushButton_changeIp->hide();
        ui->pushButton_moduleDetails->hide();
        ui->groupBox_modules->hide();
        resize(560, 560);
    } else {
        ui->splitter->setStretchFactor(0, 1);
        ui->splitter->setStretchFactor(1, 1);
        // The details and the modules about equal at first.
        ui->splitter->setSizes({320, 280});
    }
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
    else if (moduleMode)
        name = moduleName;
    else if (record.protocol == DeviceProtocol::ListIdentity)
        name = record.identity().identity.productName.toString();
    if (moduleMode)
        setWindowTitle(tr("Module details - %1 (%2, route %3)").arg(name, address.toString(), moduleRoute.toText()));
    else
        setWindowTitle(tr("Device details - %1 (%2)").arg(name, address.toString()));
}

void DeviceDetailsDialog::priv_setBusy(bool isBusy)
{
    busy = isBusy;
    ui->pushButton_refresh->setEnabled(!busy);
    const bool settable = details.tcpip.has(CIP::CipTcpIpInterface::ConfigurationCapability)
        && (details.tcpip.capability & CIP::CipTcpIpInterface::ConfigurationSettable);
    ui->pushButton_changeIp->setEnabled(!busy && settable && !moduleMode);
    ui->pushButton_reset->setVisible(resetOffered && !moduleMode);
    ui->pushButton_reset->setEnabled(!busy && resetOffered && !moduleMode);
}

void DeviceDetailsDialog::refresh()
{
    if (busy)
        return;
    if (!reader) {
        reader = moduleMode ? new DeviceDetailsReader(address, moduleRoute, port, this)
                            : new DeviceDetailsReader(address, port, this);
        connect(reader, &DeviceDetailsReader::finished, this, &DeviceDetailsDialog::priv_onRead);
    }
    ui->label_status->setText(tr("Reading\u2026"));
    modulesWanted = !moduleMode;
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
    if (modulesWanted) {
        modulesWanted = false;
        // A device that gave nothing at all is not asked again for its
        // modules: that would cost another timeout for nothing.
        if (!read.identity.present.isEmpty() || !read.tcpip.present.isEmpty() || !read.links.isEmpty())
            priv_readModules();
    }
}

void DeviceDetailsDialog::priv_showDetails(const DeviceDetails &shown)
{
    // Nothing read at all: the table stays empty and the status says why.
    const bool anything = !shown.identity.present.isEmpty() || !shown.tcpip.present.isEmpty() || !shown.links.isEmpty()
        || !shown.errors.isEmpty();
    QList<DetailsRow> rows;
    if (anything && moduleMode)
        rows = priv_moduleRows(shown);
    else if (anything)
        rows = DeviceDetailsText::rows(shown, deviceWarnings(shown, cardNetmask, record.address));
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

QList<DetailsRow> DeviceDetailsDialog::priv_moduleRows(const DeviceDetails &shown) const
{
    DeviceDetails kept = shown;
    const bool noTcpIp = objectAbsent(shown, QStringLiteral("tcpip"), !shown.tcpip.present.isEmpty());
    const bool noLink = objectAbsent(shown, QStringLiteral("ethernet_link"), !shown.links.isEmpty());
    kept.errors.erase(std::remove_if(kept.errors.begin(), kept.errors.end(),
                                     [noTcpIp, noLink](const AttributeError &error) {
                                         return (noTcpIp && error.object == QLatin1String("tcpip"))
                                             || (noLink && error.object == QLatin1String("ethernet_link"));
                                     }),
                      kept.errors.end());
    const QList<DetailsRow> all = DeviceDetailsText::rows(kept, QStringList());
    // Where the module is, then its objects; a heading with nothing under
    // it is an object the module does not have.
    QList<DetailsRow> rows{{tr("Bridge"), address.toString(), false}, {tr("Route"), moduleRoute.toText(), false}};
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).heading && (i + 1 == all.size() || all.at(i + 1).heading))
            continue;
        rows.append(all.at(i));
    }
    return rows;
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
    if (moduleMode || modulesState == ModulesState::NotRead)
        return text;
    text += ui->groupBox_modules->title() + QLatin1Char('\n');
    if (!ui->label_modules->text().isEmpty())
        text += ui->label_modules->text() + QLatin1Char('\n');
    const QTreeWidget *tree = ui->treeWidget_modules;
    if (tree->topLevelItemCount() == 0)
        return text;
    text += priv_moduleRowText(tree->headerItem()) + QLatin1Char('\n');
    for (int p = 0; p < tree->topLevelItemCount(); ++p) {
        const QTreeWidgetItem *portItem = tree->topLevelItem(p);
        text += priv_moduleRowText(portItem) + QLatin1Char('\n');
        for (int s = 0; s < portItem->childCount(); ++s)
            text += priv_moduleRowText(portItem->child(s)) + QLatin1Char('\n');
    }
    return text;
}

QString DeviceDetailsDialog::priv_moduleRowText(const QTreeWidgetItem *item) const
{
    // A port's row is its one spanning text; a slot's row its cells,
    // indented under the port, without the empty cells at its end.
    if (item != ui->treeWidget_modules->headerItem() && !priv_slotOf(item))
        return item->text(PlaceColumn);
    QStringList cells;
    for (int column = 0; column < ModuleColumnCount; ++column)
        cells << item->text(column);
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    const QString indent = item == ui->treeWidget_modules->headerItem() ? QString() : QStringLiteral("  ");
    return indent + cells.join(QLatin1Char('\t'));
}

DeviceDetailsDialog *DeviceDetailsDialog::moduleDialog(const CIP::CipRoute &route) const
{
    return moduleDialogs.value(address.toString() + QLatin1Char(' ') + route.toText()).data();
}

void DeviceDetailsDialog::priv_readModules()
{
    if (moduleReader)
        moduleReader->deleteLater();
    moduleReader = new ModuleListReader(address, port, this);
    connect(moduleReader, &ModuleListReader::finished, this, &DeviceDetailsDialog::priv_onModulesRead);
    modulesState = ModulesState::Reading;
    ui->treeWidget_modules->clear();
    ui->treeWidget_modules->hide();
    ui->label_modules->setText(tr("Reading modules\u2026"));
    priv_updateModuleButton();
    priv_setBusy(true);
    moduleReader->start();
}

void DeviceDetailsDialog::priv_onModulesRead(const ModuleList &list)
{
    modules = list;
    modulesState = ModulesState::Read;
    priv_showModules();
    priv_setBusy(false);
}

void DeviceDetailsDialog::priv_showModules()
{
    QTreeWidget *tree = ui->treeWidget_modules;
    tree->clear();
    QString line;
    switch (modules.outcome) {
    case ModuleList::Read:
        if (!modules.portObject)
            line = tr("The device has no Port object; these are the slots of port 1 that answered.");
        break;
    case ModuleList::NotRouting:
        line = tr("This device does not route requests to other modules.");
        break;
    case ModuleList::NoSlots:
        line = tr("This device has no port that leads to modules.");
        break;
    default:
        line = modules.text.isEmpty() ? tr("The modules could not be read.") : modules.text;
        break;
    }
    ui->label_modules->setText(line);
    ui->label_modules->setVisible(!line.isEmpty());
    if (modules.outcome != ModuleList::Read) {
        tree->hide();
        priv_updateModuleButton();
        return;
    }
    const QColor dim(0xAA, 0xAA, 0xAA);
    for (int p = 0; p < modules.ports.size(); ++p) {
        const BridgePort &bridgePort = modules.ports.at(p);
        // Without a Port object the port's type is not known.
        const QString text =
            modules.portObject ? ModuleListText::portRow(bridgePort).name : tr("Port %1").arg(bridgePort.number);
        auto *portItem = new QTreeWidgetItem(tree);
        portItem->setText(PlaceColumn, text);
        portItem->setData(PlaceColumn, PortIndexRole, p);
        portItem->setData(PlaceColumn, SlotIndexRole, -1);
        portItem->setFirstColumnSpanned(true);
        QFont bold = portItem->font(PlaceColumn);
        bold.setBold(true);
        portItem->setFont(PlaceColumn, bold);
        for (int s = 0; s < slotsOf(bridgePort).size(); ++s) {
            const ModuleSlot &slot = slotsOf(bridgePort).at(s);
            auto *item = new QTreeWidgetItem(portItem);
            item->setData(PlaceColumn, PortIndexRole, p);
            item->setData(PlaceColumn, SlotIndexRole, s);
            item->setText(PlaceColumn,
                          slot.result == ModuleSlot::Bridge ? tr("Slot %1 (this bridge)").arg(slot.slot)
                                                            : tr("Slot %1").arg(slot.slot));
            item->setText(RouteColumn, slot.route.toText());
            if (slot.hasIdentity) {
                using A = CIP::CipIdentityAttributes;
                const CIP::CipIdentityObject &id = slot.identity;
                item->setText(ModuleColumn, id.productName.toString());
                item->setText(DeviceTypeColumn, identityCell(A::DeviceType, id));
                item->setText(ProductCodeColumn, identityCell(A::ProductCode, id));
                item->setText(RevisionColumn, identityCell(A::Revision, id));
                item->setText(SerialNumberColumn, identityCell(A::SerialNumber, id));
                item->setText(StatusColumn, identityCell(A::Status, id));
                item->setToolTip(StatusColumn, DeviceDetailsText::identityRow(A::Status, id).second.join('\n'));
            } else if (slot.result != ModuleSlot::Bridge) {
                const QString said = slot.error.isEmpty() ? ModuleListText::resultText(slot.result) : slot.error;
                item->setText(ModuleColumn, said);
                item->setToolTip(ModuleColumn, said);
                for (int column = 0; column < ModuleColumnCount; ++column)
                    item->setForeground(column, dim);
            }
        }
        portItem->setExpanded(true);
    }
    tree->setVisible(tree->topLevelItemCount() > 0);
    priv_updateModuleButton();
}

const ModuleSlot *DeviceDetailsDialog::priv_slotOf(const QTreeWidgetItem *item) const
{
    if (!item)
        return nullptr;
    const int p = item->data(PlaceColumn, PortIndexRole).toInt();
    const int s = item->data(PlaceColumn, SlotIndexRole).toInt();
    if (!item->data(PlaceColumn, SlotIndexRole).isValid() || p < 0 || p >= modules.ports.size() || s < 0
        || s >= slotsOf(modules.ports.at(p)).size())
        return nullptr;
    return &slotsOf(modules.ports.at(p)).at(s);
}

void DeviceDetailsDialog::priv_updateModuleButton()
{
    const ModuleSlot *slot = priv_slotOf(ui->treeWidget_modules->currentItem());
    ui->pushButton_moduleDetails->setEnabled(slot && slot->result == ModuleSlot::Module);
}

void DeviceDetailsDialog::on_pushButton_moduleDetails_clicked()
{
    priv_openModule(ui->treeWidget_modules->currentItem());
}

void DeviceDetailsDialog::on_pushButton_request_clicked()
{
    // A module's dialog asks the module; the device's, the module selected
    // under Ports and modules, or the device itself.
    CIP::CipRoute route = moduleRoute;
    if (!moduleMode) {
        const ModuleSlot *slot = priv_slotOf(ui->treeWidget_modules->currentItem());
        if (slot && slot->result == ModuleSlot::Module)
            route = slot->route;
    }
    CipRequestDialog::open(this, address, route, port);
}

void DeviceDetailsDialog::priv_openModule(const QTreeWidgetItem *item)
{
    const ModuleSlot *slot = priv_slotOf(item);
    if (!slot || slot->result != ModuleSlot::Module)
        return;
    // One dialog per module, by the bridge's address and the route.
    QPointer<DeviceDetailsDialog> &dialog = moduleDialogs[address.toString() + QLatin1Char(' ') + slot->route.toText()];
    if (!dialog) {
        dialog = new DeviceDetailsDialog(this, address, slot->route,
                                         slot->hasIdentity ? slot->identity.productName.toString() : QString(), port);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void DeviceDetailsDialog::priv_copySelectedModules()
{
    // The selected rows in the tree's order, as Copy writes them.
    QString text;
    const QTreeWidget *tree = ui->treeWidget_modules;
    for (int p = 0; p < tree->topLevelItemCount(); ++p) {
        const QTreeWidgetItem *portItem = tree->topLevelItem(p);
        if (portItem->isSelected())
            text += priv_moduleRowText(portItem) + QLatin1Char('\n');
        for (int s = 0; s < portItem->childCount(); ++s) {
            if (portItem->child(s)->isSelected())
                text += priv_moduleRowText(portItem->child(s)) + QLatin1Char('\n');
        }
    }
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
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
    // The views' own Copy takes one cell; the rows are what is wanted.
    if ((watched == ui->tableWidget_details || watched == ui->treeWidget_modules)
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        if (event->type() == QEvent::KeyPress && watched == ui->tableWidget_details)
            priv_copySelectedRows();
        else if (event->type() == QEvent::KeyPress)
            priv_copySelectedModules();
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
    if (busy || moduleMode)
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
    if (busy || !resetOffered || moduleMode)
        return;
    ResetQuestion::ask(this, address.toString(), [this]() { priv_reset(); });
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
    const QString notConfirmed = result.outcome == ResetResult::NotConfirmed
        ? tr("The reset was not confirmed: %1").arg(result.message)
        : QString();
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
