#include "interrupt_notifier.h"

#include <QMetaObject>
#include <QPointer>

#include <atomic>

#include <windows.h>

namespace {

std::atomic<bool> stop_requested{false};
std::atomic<bool> console_closed{false};
std::atomic<bool> handled{false};
std::atomic<interrupt_notifier *> current{nullptr};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    stop_requested = true;
    if (event == CTRL_CLOSE_EVENT)
        console_closed = true;
    if (interrupt_notifier *notifier = current.load())
        QMetaObject::invokeMethod(notifier, "interrupted", Qt::QueuedConnection);
    // The process ends when this returns from a close event: give the event
    // loop the few seconds the system allows to record the boards.
    if (event == CTRL_CLOSE_EVENT)
        for (int waited = 0; waited < 4500 && !handled; waited += 50)
            Sleep(50);
    return TRUE;
}

} // namespace

interrupt_notifier::interrupt_notifier(QObject *parent) : QObject(parent) {}

interrupt_notifier::~interrupt_notifier()
{
    if (current.load() != this)
        return;
    SetConsoleCtrlHandler(on_console_event, FALSE);
    current = nullptr;
    handled = true;
    stop_requested = false;
    console_closed = false;
}

bool interrupt_notifier::install()
{
    current = this;
    handled = false;
    return SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}

bool interrupt_notifier::requested()
{
    return stop_requested;
}

bool interrupt_notifier::terminal_closed()
{
    return console_closed;
}

void interrupt_notifier::drain()
{
    emit interrupted();
}
