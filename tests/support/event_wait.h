#ifndef EVENT_WAIT_H
#define EVENT_WAIT_H

#include <functional>

// Runs the event loop until `condition` holds or `timeout_ms` pass; returns
// whether it held. Unlike QTest::qWait it never sleeps between passes, so a
// 1 ms timer ticks at its real pace and serial traffic flows at full speed.
bool wait_for(const std::function<bool()> &condition, int timeout_ms = 5000);

#endif // EVENT_WAIT_H
