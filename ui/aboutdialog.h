#ifndef ABOUTDIALOG_H
#define ABOUTDIALOG_H

#include <QDialog>

class Ui_AboutDialog;

class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent);
    ~AboutDialog() override;

private slots:
    void on_pushButton_accept_clicked();

private:
    Ui_AboutDialog *ui;
};

#endif // ABOUTDIALOG_H
