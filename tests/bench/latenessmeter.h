#ifndef LATENESSMETER_H
#define LATENESSMETER_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// The event loop's worst lateness while it runs: the largest gap, in ms of
// the given clock, between the ticks of a 1 ms precise timer from start()
// to stop().
class LatenessMeter
{
public:
    explicit LatenessMeter(const QElapsedTimer &clock)
        : clock(clock)
    {
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [this]() {
            const qint64 now = this->clock.elapsed();
            worstMs = std::max(worstMs, now - lastTick);
            lastTick = now;
        });
    }

    void start()
    {
        lastTick = clock.elapsed();
        worstMs = 0;
        ticker.start();
    }
    void stop() { ticker.stop(); }
    qint64 worst() const { return worstMs; }

private:
    const QElapsedTimer &clock;
    QTimer ticker;
    qint64 lastTick = 0;
    qint64 worstMs = 0;
};

#endif // LATENESSMETER_H
