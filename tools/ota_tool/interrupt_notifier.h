#ifndef INTERRUPT_NOTIFIER_H
#define INTERRUPT_NOTIFIER_H

#include <QObject>

// Requests to stop, brought into the event loop: SIGINT, SIGTERM and SIGHUP
// on Unix; Ctrl-C, Ctrl-Break and a closed console window on Windows. The
// handler only records the request and wakes the event loop, which emits
// interrupted(). Senders check requested() before every write, so no frame
// goes out once a request has arrived, even if its answer is handled before
// the notifier's turn comes.
class interrupt_notifier : public QObject
{
    Q_OBJECT

public:
    explicit interrupt_notifier(QObject *parent = nullptr);
    // Restores the default handling and forgets the request.
    ~interrupt_notifier() override;

    // Installs the handlers; false when they cannot be installed.
    bool install();
    static bool requested();
    // The terminal or console went away (SIGHUP, a closed window): nothing
    // more can be shown on it.
    static bool terminal_closed();

signals:
    void interrupted();

private:
    void drain();
};

#endif // INTERRUPT_NOTIFIER_H
