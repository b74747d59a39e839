#ifndef RESETQUESTION_H
#define RESETQUESTION_H

#include <QCoreApplication>
#include <QString>

#include <functional>

QT_BEGIN_NAMESPACE
class QMessageBox;
class QWidget;
QT_END_NAMESPACE

// The question asked before anything restarts a device, wherever it is
// asked: a warning box naming what restarts and what a restart costs, with
// Cancel as the default and a Reset button. Window-modal, it never blocks
// the event loop, and it deletes itself when closed.
class ResetQuestion
{
    Q_DECLARE_TR_FUNCTIONS(ResetQuestion)

public:
    // Asks "Reset TARGET now?"; onReset runs only when the user chose
    // Reset, after the box is closed.
    static QMessageBox *ask(QWidget *parent, const QString &target, std::function<void()> onReset);
};

#endif // RESETQUESTION_H
