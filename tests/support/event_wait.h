#pragma once
#include <QtCore>
#include <functional>

// Runs the event loop until `condition` holds or `timeout_ms` pass; returns whether it held.
// Unlike QTest::qWait it never sleeps, so a 1 ms timer ticks at its real pace.
inline bool wait_for(const std::function<bool()> &condition, int timeout_ms = 5000)
{
    QEventLoop loop;
    const QDeadlineTimer deadline(timeout_ms);
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || deadline.hasExpired())
            loop.quit();
    });
    poll.start(1);
    if (!condition())
        loop.exec();
    return condition();
}
