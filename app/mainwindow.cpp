#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "connsocket.h"

#include <QFont>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>

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

void MainWindow::on_menubar_triggered(QAction *action)
{
    Q_UNUSED(action)
}

void MainWindow::on_pushButton_copy_clicked() {}
void MainWindow::on_pushButton_config_clicked() {}
void MainWindow::on_listWidget_itemSelectionChanged() {}
void MainWindow::on_menuHelp_triggered(QAction *) {}
