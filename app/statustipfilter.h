#ifndef STATUSTIPFILTER_H
#define STATUSTIPFILTER_H

#include <QObject>

// Keeps the status bar's message while menus are used. Qt sends a status
// tip whenever a menu opens or closes and whenever the pointer rests on an
// entry, and the main window shows each one as the status bar's message;
// none of this program's actions has a tip, so each of them is empty and
// erases the message ("Found 3 device(s)", a failure, ...). Taken here, on
// the way to the window, every message stays until the program shows the
// next one. Watches the objects given to watch(), the window first; a
// menu that is a window of its own (a context menu) is watched as well.
class StatusTipFilter : public QObject
{
public:
    explicit StatusTipFilter(QObject *parent);

    void watch(QObject *object);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif // STATUSTIPFILTER_H
