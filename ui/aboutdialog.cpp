#include "aboutdialog.h"
#include "projectinfo.h"
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
    ui->label_version_value->setText(QStringLiteral(NODESPOTTER_VERSION));
    // The maker's addresses as links in the form's blue, underlined.
    const QString link = QStringLiteral("<html><head/><body><p><a href=\"%1\"><span style=\" text-decoration: "
                                        "underline; color:#007af4;\">%2</span></a></p></body></html>");
    ui->label_web_value->setText(link.arg(QStringLiteral(NODESPOTTER_WEBSITE), QStringLiteral(NODESPOTTER_WEBSITE)));
    ui->label_email_value->setText(
        link.arg(QStringLiteral("mailto:" NODESPOTTER_SUPPORT_EMAIL), QStringLiteral(NODESPOTTER_SUPPORT_EMAIL)));

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
