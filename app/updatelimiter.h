#ifndef UPDATELIMITER_H
#define UPDATELIMITER_H

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

// Paints a window at most once per display frame (60 Hz). Widgets change
// at once as always; only the repaint of what changed waits, up to one
// frame, so that a device list growing by hundreds of entries a second is
// drawn 60 times a second instead of once per entry. What is drawn is the
// same: the held-back repaint covers everything that changed meanwhile.
class UpdateLimiter : public QObject
{
public:
    explicit UpdateLimiter(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QWidget *window;
    QElapsedTimer sinceRepaint;
    QBasicTimer held;
    bool releasing = false;
};

#endif // UPDATELIMITER_H
