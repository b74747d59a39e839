#include "statustipfilter.h"

#include <QEvent>

StatusTipFilter::StatusTipFilter(QObject *parent)
    : QObject(parent)
{ }

void StatusTipFilter::watch(QObject *object)
{
    object->installEventFilter(this);
}

bool StatusTipFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::StatusTip)
        return true;
    return QObject::eventFilter(watched, event);
}
