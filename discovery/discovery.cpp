#include "mainwindow.h"

// Discovery run, probe senders and reply readers: bodies come with the
// discovery engine work.

void MainWindow::on_pushButton_find_clicked() {}
void MainWindow::priv_sendDatagram(quint32) {}
void MainWindow::priv_sendDatagram_opener(quint32) {}
void MainWindow::readyRead() {}
void MainWindow::readyRead_opener() {}
bool MainWindow::priv_addDevice(const QString &, quint32, bool) { return false; }
