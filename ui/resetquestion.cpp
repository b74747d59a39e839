#include "resetquestion.h"

#include <QMessageBox>
#include <QPushButton>

QMessageBox *ResetQuestion::ask(QWidget *parent, const QString &target, std::function<void()> onReset)
{
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Reset device"), tr("Reset %1 now?").arg(target),
                                QMessageBox::Cancel, parent);
    box->setObjectName(QStringLiteral("messageBox_reset"));
    box->setInformativeText(tr("The device restarts as after a power cycle: it stops its work for a while, and "
                               "it may then no longer be reachable from this computer."));
    QPushButton *resetButton = box->addButton(tr("Reset"), QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, resetButton, onReset = std::move(onReset)]() {
        if (box->clickedButton() == resetButton && onReset)
            onReset();
    });
    box->open();
    return box;
}
