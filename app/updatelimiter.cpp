#include "updatelimiter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>
#include <QWidget>

namespace {
// One frame at 60 Hz, rounded up.
constexpr qint64 FrameMs = 17;
} // namespace

UpdateLimiter::UpdateLimiter(QWidget *window)
    : QObject(window)
    , window(window)
{
    window->installEventFilter(this);
}

// Qt asks a window to repaint what changed with an UpdateRequest event, and
// asks again only after that request has been handled. One that comes
// within a frame of the last repaint is held back and sent when the frame is
// over.
bool UpdateLimiter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window || event->type() != QEvent::UpdateRequest || releasing)
        return false;
    if (held.isActive())
        return true;
    const qint64 elapsed = sinceRepaint.isValid() ? sinceRepaint.elapsed() : FrameMs;
    if (elapsed >= FrameMs) {
        sinceRepaint.start();
        return false;
    }
    held.start(int(FrameMs - elapsed), Qt::PreciseTimer, this);
    return true;
}

void UpdateLimiter::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != held.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    held.stop();
    sinceRepaint.start();
    releasing = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &request);
    releasing = false;
}
