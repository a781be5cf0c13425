#include "send_now.h"

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

namespace serial_output {

bool send_now(QSerialPort &port)
{
#ifdef Q_OS_UNIX
    int queued = -1;
    if (::ioctl(int(port.handle()), TIOCOUTQ, &queued) != 0 || queued != 0)
        return false;
#endif
    // Windows queues an overlapped write of its own, which never fails for a
    // full driver queue.
    return port.flush();
}

} // namespace serial_output
