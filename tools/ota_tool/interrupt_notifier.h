#ifndef INTERRUPT_NOTIFIER_H
#define INTERRUPT_NOTIFIER_H

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM, brought into the event loop. The handler only sets a
// flag and writes one byte into a socket pair; the event loop reads it and
// emits interrupted(). Senders check requested() before every write, so no
// frame goes out once a signal has arrived, even if its answer is handled
// before the notifier's turn comes.
class interrupt_notifier : public QObject
{
    Q_OBJECT

public:
    explicit interrupt_notifier(QObject *parent = nullptr);
    ~interrupt_notifier() override;

    // Installs the handlers; false when the socket pair cannot be made.
    bool install();
    static bool requested();
    // The signal that arrived first (SIGINT or SIGTERM), 0 before any.
    static int signal_number();

signals:
    void interrupted();

private:
    void drain();

    QSocketNotifier *notifier = nullptr;
};

#endif // INTERRUPT_NOTIFIER_H
