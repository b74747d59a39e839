#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "connsocket.h"
#include "deviceprotocol.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFont>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QUdpSocket>
#include <QUrl>

namespace {
// The maker's web site; the About dialog shows the same address.
const char makerWebsite[] = "https://www.quorvel.example";
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , deviceCount(0)
{
    ui->setupUi(this);

    // The application font is given in pixels, so pointSize() reports -1
    // here and the list always ends up at 11 points.
    QFont listFont = ui->listWidget->font();
    if (listFont.pointSize() < 11) {
        listFont.setPointSize(11);
        ui->listWidget->setFont(listFont);
    }

    ui->pushButton_copy->setEnabled(ui->listWidget->currentItem() != nullptr);
    ui->pushButton_config->setEnabled(ui->listWidget->currentItem() != nullptr);

    // The first search starts by itself one second after start-up; the
    // window is the context, so closing it earlier cancels the search.
    QTimer::singleShot(1000, this, &MainWindow::on_pushButton_find_clicked);
}

MainWindow::~MainWindow()
{
    const QList<ConnSocket *> sockets = connSockets;
    for (ConnSocket *connSocket : sockets) {
        connSocket->socket->close();
        delete connSocket;
    }
    connSockets.clear();
    delete ui;
}

void MainWindow::on_pushButton_copy_clicked()
{
    const QListWidgetItem *item = ui->listWidget->currentItem();
    if (!item)
        return;

    // An entry reads "<n>.  <address>:<port> | ...": the second word is
    // what goes to the clipboard, port included.
    const QStringList parts = item->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return;

    QGuiApplication::clipboard()->setText(parts.at(1), QClipboard::Clipboard);
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
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://%1").arg(address), QUrl::TolerantMode));
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
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(makerWebsite), QUrl::TolerantMode));
    }
}
