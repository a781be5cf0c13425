#include "event_wait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

bool wait_for(const std::function<bool()> &condition, int timeout_ms)
{
    if (condition())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || elapsed.elapsed() >= timeout_ms)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return condition();
}
