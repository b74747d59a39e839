#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "addressserver.h"
#include "addressserverdialog.h"
#include "ciprequestdialog.h"
#include "devicedetailsdialog.h"
#include "deviceexport.h"
#include "devicelistevents.h"
#include "devicelistview.h"
#include "deviceprotocol.h"
#include "devicerecord.h"
#include "inventorydialog.h"
#include "networksdialog.h"
#include "projectinfo.h"
#include "savelist.h"
#include "statustipfilter.h"
#include "updatelimiter.h"

#include <QClipboard>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QHostAddress>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>

MainWindow::MainWindow(QWidget *parent, FirstSearch firstSearch)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , finder(new DeviceFinder(this))
    , networksLabel(nullptr)
    , sweepProgress(nullptr)
    , cancelSweep(nullptr)
    , networksUpdateTimer(new QTimer(this))
    , entriesTimer(new QTimer(this))
    , addressServer(new AddressServer(this))
    , addressServerLabel(nullptr)
{
    ui->setupUi(this);

    // The application font is given in pixels, so pointSize() reports -1
    // here and the list always ends up at 11 points.
    QFont listFont = ui->listWidget->font();
    if (listFont.pointSize() < 11) {
        listFont.setPointSize(11);
        ui->listWidget->setFont(listFont);
    }

    // An entry's warning icon stands as high as its text, so that a row
    // with one is as high as the others.
    const int iconSide = ui->listWidget->fontMetrics().height();
    ui->listWidget->setIconSize(QSize(iconSide, iconSide));

    // Hundreds of replies a second each add an entry: measure each entry's
    // text once, and paint the window at most once per display frame.
    ui->listWidget->setItemDelegate(new DeviceListDelegate(ui->listWidget));
    new UpdateLimiter(this);

    // Menus leave the status bar's message alone.
    statusTips = new StatusTipFilter(this);
    statusTips->watch(this);

    ui->pushButton_copy->setEnabled(ui->listWidget->currentItem() != nullptr);
    ui->pushButton_config->setEnabled(ui->listWidget->currentItem() != nullptr);

    // Keys, context menu and tooltips of the list lead to the same actions
    // as the buttons.
    auto *listEvents = new DeviceListEvents(ui->listWidget, finder, this);
    connect(listEvents, &DeviceListEvents::copyPressed, this, &MainWindow::on_pushButton_copy_clicked);
    connect(listEvents, &DeviceListEvents::refreshPressed, this, &MainWindow::on_pushButton_find_clicked);
    connect(listEvents, &DeviceListEvents::openPressed, this, &MainWindow::priv_openConfig);
    connect(listEvents, &DeviceListEvents::detailsPressed, this, &MainWindow::priv_openDetails);
    connect(listEvents, &DeviceListEvents::menuRequested, this, &MainWindow::priv_showListMenu);
    connect(listEvents, &DeviceListEvents::savePressed, this, &MainWindow::priv_saveList);

    // At the right of the status bar: while a remote network is swept, the
    // sweep's progress and a button that stops it; then what the run
    // searches, which opens the networks dialog when clicked.
    sweepProgress = new QProgressBar(ui->statusbar);
    sweepProgress->setObjectName(QStringLiteral("progressBar_sweep"));
    sweepProgress->setFormat(tr("Sweep %p%"));
    sweepProgress->setMaximumHeight(16);
    sweepProgress->setMaximumWidth(140);
    sweepProgress->setStyleSheet(QStringLiteral("QProgressBar {\n\tcolor: white;\n\tbackground-color: #222;\n"
                                                "\tborder: 1px solid #444;\n\ttext-align: center;\n}\n\n"
                                                "QProgressBar::chunk {\n\tbackground-color: #008000;\n}"));
    cancelSweep = new QPushButton(ui->statusbar);
    cancelSweep->setObjectName(QStringLiteral("pushButton_cancelSweep"));
    cancelSweep->setText(tr("Cancel"));
    // The window's button image, without the padding that would make the
    // status bar taller while the sweep runs.
    cancelSweep->setStyleSheet(QStringLiteral(".QPushButton {\n\tpadding: 0 8;\n}"));
    networksLabel = new QLabel(ui->statusbar);
    networksLabel->setObjectName(QStringLiteral("label_networks"));
    networksLabel->setCursor(Qt::PointingHandCursor);
    networksLabel->installEventFilter(this);
    ui->statusbar->addPermanentWidget(sweepProgress);
    ui->statusbar->addPermanentWidget(cancelSweep);
    ui->statusbar->addPermanentWidget(networksLabel);
    // At the far right while the address server runs.
    addressServerLabel = new QLabel(tr("Address server on"), ui->statusbar);
    addressServerLabel->setObjectName(QStringLiteral("label_addressServer"));
    ui->statusbar->addPermanentWidget(addressServerLabel);
    addressServerLabel->hide();
    connect(addressServer, &AddressServer::runningChanged, addressServerLabel, &QLabel::setVisible);
    sweepProgress->hide();
    cancelSweep->hide();
    connect(cancelSweep, &QPushButton::clicked, finder, &DeviceFinder::cancelSweep);

    networksUpdateTimer->setSingleShot(true);
    networksUpdateTimer->setInterval(100);
    connect(networksUpdateTimer, &QTimer::timeout, this, &MainWindow::priv_showNetworks);

    // What the engine finds.
    // Replies arrive one by one, hundreds a second: the list takes them
    // in steps, so that it is laid out and painted once per step, not once
    // per reply.
    entriesTimer->setSingleShot(true);
    entriesTimer->setTimerType(Qt::PreciseTimer);
    connect(entriesTimer, &QTimer::timeout, this, &MainWindow::priv_addEntries);
    connect(finder, &DeviceFinder::listCleared, this, [this]() {
        entriesTimer->stop();
        shownEntries = 0;
        ui->listWidget->clear();
    });
    connect(finder, &DeviceFinder::devicesListed, this, &MainWindow::priv_scheduleEntries);
    connect(finder, &DeviceFinder::deviceChanged, this, &MainWindow::priv_updateEntry);
    // The count goes with the entries it counts.
    connect(finder, &DeviceFinder::countsChanged, this, [this]() {
        if (!entriesTimer->isActive())
            priv_showCount();
    });
    connect(finder, &DeviceFinder::nothingSent, this,
            [this]() { ui->statusbar->showMessage(tr("No usable network connection: nothing was sent"), 0); });
    // A run's start and end show at once; its sends and devices a moment
    // later.
    connect(finder, &DeviceFinder::runStarted, this, &MainWindow::priv_showNetworks);
    connect(finder, &DeviceFinder::runFinished, this, &MainWindow::priv_showNetworks);
    connect(finder, &DeviceFinder::networksChanged, this, &MainWindow::priv_scheduleNetworksUpdate);
    connect(finder, &DeviceFinder::sweepStarted, this, [this](qint64 hosts) {
        sweepProgress->setRange(0, int(hosts));
        sweepProgress->setValue(0);
        sweepProgress->show();
        cancelSweep->show();
    });
    connect(finder, &DeviceFinder::sweepProgress, this,
            [this](qint64 hostsDone) { sweepProgress->setValue(int(hostsDone)); });
    connect(finder, &DeviceFinder::sweepFinished, this, [this]() {
        sweepProgress->hide();
        cancelSweep->hide();
        priv_showNetworks();
    });

    // The first search starts by itself one second after start-up; the
    // window is the context, so closing it earlier cancels the search.
    if (firstSearch == AutomaticSearch)
        QTimer::singleShot(1000, this, &MainWindow::on_pushButton_find_clicked);
}

void MainWindow::on_pushButton_find_clicked()
{
    finder->find();
}

void MainWindow::on_pushButton_watch_toggled(bool checked)
{
    finder->setWatching(checked);
    // Without a network the status bar keeps saying so.
    if (!checked || finder->probesSentOk())
        priv_showCount();
}

void MainWindow::priv_scheduleEntries()
{
    if (entriesTimer->isActive())
        return;
    // Each step costs a layout and a repaint of the new rows, the scroll
    // bar, the status bar and their background, all in one frame (most of a
    // reply's cost while hundreds pour in). A new entry in sight shows
    // within 33 ms, 30 steps a second, which paints half as often as 60
    // while the rows in sight fill up. Below the last row in sight an entry
    // only moves the scroll bar and the count: those steps come four times
    // a second.
    const QListWidget *list = ui->listWidget;
    const bool inSight =
        list->count() == 0 || list->visualItemRect(list->item(list->count() - 1)).bottom() < list->viewport()->height();
    entriesTimer->start(inSight ? 33 : 250);
}

void MainWindow::priv_addEntries()
{
    const int firstNewRow = ui->listWidget->count();
    for (; shownEntries < finder->count(); ++shownEntries) {
        const DeviceRecord &record = finder->record(shownEntries);
        auto *item = new QListWidgetItem(record.line(), nullptr, QListWidgetItem::Type);
        item->setData(AddressRole, record.addressText());
        item->setData(ConfigRole, record.configAvailable());
        if (record.needsWarning())
            item->setData(Qt::DecorationRole, priv_warningIcon());
        if (record.offline)
            item->setData(Qt::ForegroundRole, ui->listWidget->palette().brush(QPalette::Disabled, QPalette::Text));
        ui->listWidget->insertItem(ui->listWidget->count(), item);
        // The first device of a list becomes current, which brings the list
        // buttons to life; later ones leave the selection alone.
        if (ui->listWidget->count() == 1)
            ui->listWidget->setCurrentRow(0);
    }
    if (ui->listWidget->count() > firstNewRow)
        layOutAppendedRows(ui->listWidget, firstNewRow);
    priv_showCount();
}

void MainWindow::priv_updateEntry(int index)
{
    const DeviceRecord &record = finder->record(index);
    QListWidgetItem *item = priv_entry(index);
    if (!item)
        return;
    item->setText(record.line());
    item->setData(ConfigRole, record.configAvailable());
    item->setData(Qt::DecorationRole, record.needsWarning() ? QVariant(priv_warningIcon()) : QVariant());
    // An offline device's entry is greyed, and stays selectable and
    // copyable.
    item->setData(Qt::ForegroundRole,
                  record.offline ? QVariant(ui->listWidget->palette().brush(QPalette::Disabled, QPalette::Text))
                                 : QVariant());
    if (item == ui->listWidget->currentItem())
        ui->pushButton_config->setEnabled(record.configAvailable());
}

void MainWindow::priv_showCount()
{
    ui->statusbar->showMessage(finder->countText(), 0);
}

QListWidgetItem *MainWindow::priv_entry(int index) const
{
    // The list shows the finder's devices in its order, so the entry of a
    // device is the row of its index; a list filled some other way is
    // searched by address.
    const QString address = finder->record(index).addressText();
    QListWidgetItem *item = ui->listWidget->item(index);
    if (item && item->data(AddressRole).toString() == address)
        return item;
    for (int row = 0; row < ui->listWidget->count(); ++row) {
        item = ui->listWidget->item(row);
        if (item->data(AddressRole).toString() == address)
            return item;
    }
    return nullptr;
}

const DeviceRecord *MainWindow::priv_record(const QListWidgetItem *item) const
{
    return DeviceListEvents::record(*finder, item);
}

QVector<DeviceRecord> MainWindow::priv_records() const
{
    // The finder's records of the entries shown: a device that answered
    // since the list's last step is not shown yet.
    QVector<DeviceRecord> records;
    for (int row = 0; row < ui->listWidget->count(); ++row) {
        if (const DeviceRecord *record = priv_record(ui->listWidget->item(row)))
            records.append(*record);
    }
    return records;
}

MainWindow::~MainWindow()
{
    // The dialog asks for the remote networks; it goes before they do.
    delete networksDialog;
    // Quitting stops the address server: its dialog goes first, then the
    // server closes port 67.
    delete addressServerDialog;
    delete addressServer;
    // The details dialogs ask for the list's addresses.
    for (const QPointer<DeviceDetailsDialog> &dialog : qAsConst(detailsDialogs))
        delete dialog.data();
    // The engine's sockets go before the form.
    delete finder;
    delete ui;
}

void MainWindow::on_pushButton_copy_clicked()
{
    const QListWidgetItem *item = ui->listWidget->currentItem();
    if (!item)
        return;

    // The address and the port, as the entry shows them.
    const DeviceRecord *record = priv_record(item);
    if (!record)
        return;

    QGuiApplication::clipboard()->setText(record->endpoint(), QClipboard::Clipboard);
    ui->statusbar->showMessage(tr("IP address copied to clipboard"), 0);
}

void MainWindow::on_pushButton_config_clicked()
{
    const QListWidgetItem *item = ui->listWidget->currentItem();
    if (!item)
        return;

    // The button is only enabled for entries that offer a page, so the
    // flag is not looked at again here.
    const QString address = item->data(AddressRole).toString();
    const QString page = QStringLiteral("http://%1").arg(address);
    // False when Qt could not hand the page to the desktop at all, as on X11
    // with neither xdg-open nor $BROWSER.
    if (!QDesktopServices::openUrl(QUrl(page, QUrl::TolerantMode)))
        ui->statusbar->showMessage(tr("Could not open %1").arg(page), 0);
}

void MainWindow::on_listWidget_itemSelectionChanged()
{
    // Only the list's own signal counts; a call from anywhere else changes
    // nothing.
    const auto *list = qobject_cast<QListWidget *>(sender());
    if (!list)
        return;

    const QListWidgetItem *item = list->currentItem();
    if (!item) {
        ui->pushButton_copy->setEnabled(false);
        ui->pushButton_config->setEnabled(false);
        return;
    }
    ui->pushButton_copy->setEnabled(true);
    ui->pushButton_config->setEnabled(item->data(ConfigRole).toBool());
}

void MainWindow::on_menubar_triggered(QAction *action)
{
    // The menu bar also reports every action of its menus; the Help menu's
    // own slot handles those.
    Q_UNUSED(action)
}

void MainWindow::on_menuHelp_triggered(QAction *action)
{
    if (action == ui->actionAbout) {
        // A fresh dialog each time, gone as soon as it is closed.
        AboutDialog dialog(this);
        dialog.exec();
    } else if (action == ui->actionWebsite) {
        QDesktopServices::openUrl(QUrl(QStringLiteral(NODESPOTTER_WEBSITE), QUrl::TolerantMode));
    }
}

void MainWindow::on_menuTools_triggered(QAction *action)
{
    if (action == ui->actionAddressServer) {
        priv_openAddressServerDialog();
    } else if (action == ui->actionInventory) {
        // One dialog, kept when closed, like the address server's.
        if (!inventoryDialog)
            inventoryDialog = new InventoryDialog([this]() { return finder->listedDevices(); }, this);
        inventoryDialog->show();
        inventoryDialog->raise();
        inventoryDialog->activateWindow();
    }
}

// One dialog, kept when closed so that what it noted of each device stays;
// opened again, it comes to the front.
void MainWindow::priv_openAddressServerDialog()
{
    if (!addressServerDialog) {
        addressServerDialog = new AddressServerDialog(this, addressServer, [this]() {
            QSet<quint32> addresses;
            for (const DeviceRecord &record : finder->devices())
                addresses.insert(record.address);
            return addresses;
        });
    }
    addressServerDialog->show();
    addressServerDialog->raise();
    addressServerDialog->activateWindow();
}

void MainWindow::on_listWidget_itemDoubleClicked(QListWidgetItem *item)
{
    priv_openConfig(item);
}

// Double-click and Enter: the entry's page, exactly as "Open config" opens
// it, and only where that button is enabled for the entry.
void MainWindow::priv_openConfig(QListWidgetItem *item)
{
    if (item && item == ui->listWidget->currentItem() && item->data(ConfigRole).toBool())
        on_pushButton_config_clicked();
}

void MainWindow::priv_openDetails(QListWidgetItem *item)
{
    if (!item || !priv_isEtherNetIp(item))
        return;
    const DeviceRecord record = *priv_record(item);
    QPointer<DeviceDetailsDialog> &dialog = detailsDialogs[record.address];
    if (!dialog) {
        // The netmask of the card the device was found through, for the
        // warning about a netmask that differs from it.
        const DevicePlace place = DeviceLocator(SystemNeighbourTable()).place(record);
        const quint32 cardNetmask = place.cardNetmask();
        dialog = new DeviceDetailsDialog(this, record, cardNetmask, [this]() {
            QVector<quint32> addresses;
            for (const DeviceRecord &listed : priv_records())
                addresses.append(listed.address);
            return addresses;
        });
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &DeviceDetailsDialog::searchRequested, this, &MainWindow::on_pushButton_find_clicked);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void MainWindow::priv_openRequest(QListWidgetItem *item)
{
    if (!item || !priv_isEtherNetIp(item))
        return;
    CipRequestDialog::open(this, QHostAddress(priv_record(item)->address));
}

bool MainWindow::priv_isEtherNetIp(const QListWidgetItem *item) const
{
    const DeviceRecord *record = priv_record(item);
    return record && record->protocol == DeviceProtocol::ListIdentity;
}

void MainWindow::priv_showListMenu(QListWidgetItem *item, const QPoint &globalPos)
{
    QMenu menu(this);
    statusTips->watch(&menu);
    // The window's sheet draws every menu item white; a disabled one is
    // gray here, as on the disabled buttons.
    menu.setStyleSheet(QStringLiteral("QMenu::item:disabled { color: gray; }"));
    QAction *copyAddress = nullptr;
    QAction *openConfig = nullptr;
    QAction *copyEntry = nullptr;
    QAction *details = nullptr;
    QAction *request = nullptr;
    QPersistentModelIndex entry;
    if (item) {
        ui->listWidget->setCurrentItem(item);
        entry = ui->listWidget->model()->index(ui->listWidget->row(item), 0);
        // Enabled as the buttons are for the current entry.
        copyAddress = menu.addAction(tr("Copy IP address"));
        openConfig = menu.addAction(tr("Open config"));
        openConfig->setEnabled(item->data(ConfigRole).toBool());
        copyEntry = menu.addAction(tr("Copy entry"));
        details = menu.addAction(tr("Device details\u2026"));
        details->setEnabled(priv_isEtherNetIp(item));
        request = menu.addAction(tr("CIP request\u2026"));
        request->setEnabled(priv_isEtherNetIp(item));
    }
    QAction *copyAll = menu.addAction(tr("Copy all entries"));
    copyAll->setEnabled(ui->listWidget->count() > 0);
    QAction *saveList = menu.addAction(tr("Save list\u2026"));
    saveList->setEnabled(ui->listWidget->count() > 0);
    menu.addSeparator();
    QAction *networks = menu.addAction(tr("Networks searched\u2026"));

    // Replies keep arriving while the menu is open, and a new run may clear
    // the list: the entry's actions then do nothing.
    const QAction *chosen = menu.exec(globalPos);
    if (!chosen)
        return;
    if (chosen == copyAll) {
        priv_copyAllEntries();
        return;
    }
    if (chosen == saveList) {
        priv_saveList();
        return;
    }
    if (chosen == networks) {
        priv_openNetworksDialog();
        return;
    }
    if (!entry.isValid() || ui->listWidget->currentRow() != entry.row())
        return;
    if (chosen == copyAddress)
        on_pushButton_copy_clicked();
    else if (chosen == openConfig)
        on_pushButton_config_clicked();
    else if (chosen == details)
        priv_openDetails(ui->listWidget->currentItem());
    else if (chosen == request)
        priv_openRequest(ui->listWidget->currentItem());
    else if (chosen == copyEntry) {
        // The entry's line, as its record makes it.
        if (const DeviceRecord *record = priv_record(ui->listWidget->currentItem()))
            QGuiApplication::clipboard()->setText(record->line(), QClipboard::Clipboard);
    }
}

// Every line in list order, one per line with a final line break; line
// breaks and other control characters inside an entry become spaces, so
// that each entry stays one line.
void MainWindow::priv_copyAllEntries()
{
    QGuiApplication::clipboard()->setText(DeviceExport::text(priv_records()), QClipboard::Clipboard);
}

// The list as CSV or JSON, in a file the user names; an existing file is
// replaced only by a complete one.
void MainWindow::priv_saveList()
{
    if (ui->listWidget->count() == 0)
        return;
    QString filter = SaveList::csvFilter();
    const QString fileName = SaveList::askFileName(
        this, tr("Save list"), SaveList::defaultFileName(QDateTime::currentDateTime()), SaveList::filters(), &filter);
    if (fileName.isEmpty())
        return;

    // The entries as the list holds them, with where each device sits.
    const SystemNeighbourTable neighbours;
    const DeviceLocator locator(neighbours);
    QVector<ExportedDevice> devices;
    for (const DeviceRecord &record : priv_records())
        devices.append({record, locator.place(record)});
    const QByteArray contents =
        DeviceExport::document(SaveList::formatFor(fileName, filter), devices, finder->searchedAt());
    const QString shownName = QDir::toNativeSeparators(fileName);
    QString error;
    if (SaveList::write(fileName, contents, &error))
        ui->statusbar->showMessage(tr("Saved %n device(s) to %1", "", devices.size()).arg(shownName), 0);
    else
        ui->statusbar->showMessage(tr("Could not save %1: %2").arg(shownName, error), 0);
}

const QIcon &MainWindow::priv_warningIcon()
{
    if (warningIcon.isNull())
        warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, ui->listWidget);
    return warningIcon;
}

void MainWindow::priv_showNetworks()
{
    networksUpdateTimer->stop();
    const RunReport report = finder->report();
    networksLabel->setText(report.labelText(finder->isSearching()));
    networksLabel->setToolTip(report.ran ? report.toolTip() : QString());
    if (networksDialog && networksDialog->isVisible())
        networksDialog->showReport(report);
}

void MainWindow::priv_scheduleNetworksUpdate()
{
    if (!networksUpdateTimer->isActive())
        networksUpdateTimer->start();
}

void MainWindow::priv_openNetworksDialog()
{
    if (!networksDialog) {
        networksDialog = new NetworksDialog(this, [this]() { return finder->remoteNetworks(); });
        networksDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(networksDialog, &NetworksDialog::networkAdded, this, &MainWindow::priv_addRemoteNetwork);
    }
    networksDialog->showReport(finder->report());
    networksDialog->show();
    networksDialog->raise();
    networksDialog->activateWindow();
}

void MainWindow::priv_addRemoteNetwork(const Ipv4Subnet &network)
{
    if (!finder->addRemoteNetwork(network, tr("added: searched from the next Find on")))
        return;
    qDebug() << "MainWindow::priv_addRemoteNetwork"
             << ":"
             << "Remote network added =" << network.text();
    priv_showNetworks();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == networksLabel && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
        && networksLabel->rect().contains(static_cast<QMouseEvent *>(event)->pos()))
        priv_openNetworksDialog();
    return QMainWindow::eventFilter(watched, event);
}
