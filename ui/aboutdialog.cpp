#include "aboutdialog.h"
#include "ui_aboutdialog.h"

#include <QDebug>
#include <QFile>
#include <QStyle>
#include <QTextStream>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_AboutDialog)
{
    ui->setupUi(this);

    // An optional extra style sheet from the resources, applied on top of
    // the form's own. Without it the dialog takes its look from the main
    // window's sheet, which reaches it through the parent.
    const QString styleFile = QStringLiteral(":About/about_dialog") + QStringLiteral(".css");
    if (QFile::exists(styleFile)) {
        QFile file(styleFile);
        file.open(QIODevice::ReadOnly);
        QTextStream stream(&file);
        const QString extra = stream.readAll();
        file.close();
        setStyleSheet(styleSheet() + QStringLiteral("\n") + extra);
        style()->polish(this);
    } else {
        qDebug() << "Nie znaleziono pliku" << styleFile;
    }

    ui->label_name_value->setText(QStringLiteral("Quorvel Node Spotter"));
    ui->label_version_value->setText(QStringLiteral("1.0.3"));

    adjustSize();
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

void AboutDialog::on_pushButton_accept_clicked()
{
    accept();
}
