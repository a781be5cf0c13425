// The upgrade session as a state machine: every state it can be in, met by
// every kind of frame the device sends, with the verdict and the state after
// it. The texts shown for each verdict are checked where they are shown.
#include "ota_frame.h"
#include "ota_session.h"

#include <QtTest>

using state = ota_session::state;
using outcome = ota_session::outcome;
using reason = ota_session::reason;
Q_DECLARE_METATYPE(state)
Q_DECLARE_METATYPE(outcome)
Q_DECLARE_METATYPE(reason)

namespace {

QByteArray frame(quint8 command, const char *hex)
{
    return ota_frame::build_frame(command, QByteArray::fromHex(hex));
}

// The session brought into a state the way an upgrade gets there: a 40-byte
// image cut into 3 slices of 16 (or a 70,000-byte one for "big").
ota_session session_in(const QString &setup)
{
    ota_session session;
    if (setup == QLatin1String("idle"))
        return session;
    session.load_image(QByteArray(setup.startsWith("big") ? 70000 : 40, 'i'));
    if (setup == QLatin1String("loaded"))
        return session;
    session.start_request();
    if (setup.endsWith(QLatin1String("awaiting start")))
        return session;
    if (setup == QLatin1String("stalled")) {
        session.handle_frame(frame(ota_frame::command_start, "00000000"));
        return session;
    }
    session.handle_frame(frame(ota_frame::command_start, "00000010"));
    session.frame_sent();
    if (setup == QLatin1String("ending"))
        session.handle_frame(frame(ota_frame::command_data, "00"));
    const int more = setup == QLatin1String("last slice out") ? 2
                     : setup == QLatin1String("awaiting end") ? 3
                                                              : 0;
    for (int i = 0; i < more; ++i)
        session.frame_sent();
    return session;
}

} // namespace

class tst_ota_session : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("vantrel.*.debug=false"); }
    void reactions_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<outcome>("what");
        QTest::addColumn<reason>("why");
        QTest::addColumn<state>("after");
        const QByteArray start16 = frame(ota_frame::command_start, "00000010"),
                         start0 = frame(ota_frame::command_start, "00000000"),
                         start_short = frame(ota_frame::command_start, "0010"),
                         start_large = frame(ota_frame::command_start, "0000FFFC"),
                         ack = frame(ota_frame::command_data, "01"),
                         ack_failed = frame(ota_frame::command_data, "00"),
                         ack_empty = frame(ota_frame::command_data, ""),
                         end = frame(ota_frame::command_end, "01"),
                         end_failed = frame(ota_frame::command_end, "02");
        QByteArray bad_sum = end, bad_type = end;
        bad_sum[7] = char(bad_sum[7] + 1);
        bad_type[2] = 0x04;
        bad_type[7] = char(bad_type[7] + 1); // the checksum still right
        const auto row = [](const char *setup, const char *name, const QByteArray &frame,
                            outcome what, state after, reason why = reason::none) {
            QTest::addRow("%s: %s", setup, name)
                << QString::fromLatin1(setup) << frame << what << why << after;
        };
        // Nothing asked for: every answer is ignored.
        for (const char *setup : {"idle", "loaded"}) {
            row(setup, "start response", start16, outcome::nothing, state::idle);
            row(setup, "acknowledgement", ack, outcome::nothing, state::idle);
            row(setup, "end response", end, outcome::nothing, state::idle);
        }
        row("awaiting start", "start response", start16, outcome::transfer_begun,
            state::transferring);
        row("awaiting start", "slice of 65532 for a small image", start_large,
            outcome::transfer_begun, state::transferring);
        row("awaiting start", "slice size 0", start0, outcome::stalled, state::stalled,
            reason::frame_size_zero);
        row("awaiting start", "slice size of 2 bytes", start_short, outcome::stalled,
            state::stalled, reason::frame_size_unreadable);
        row("big awaiting start", "slice of 65532", start_large, outcome::stalled, state::stalled,
            reason::frame_size_too_large);
        row("awaiting start", "acknowledgement", ack, outcome::nothing, state::awaiting_start);
        row("awaiting start", "end response", end, outcome::nothing, state::awaiting_start);
        row("awaiting start", "bad checksum", bad_sum, outcome::nothing, state::awaiting_start);
        row("awaiting start", "frame of type 4", bad_type, outcome::nothing, state::awaiting_start);

        row("transferring", "acknowledgement", ack, outcome::send_next, state::transferring);
        row("transferring", "failed acknowledgement", ack_failed, outcome::refused, state::ending,
            reason::data_refused);
        row("transferring", "acknowledgement without status", ack_empty, outcome::refused,
            state::ending, reason::data_refused);
        row("transferring", "second start response", start16, outcome::refused, state::ending,
            reason::start_while_running);
        row("transferring", "early end response", end, outcome::refused, state::ending,
            reason::end_early);
        row("transferring", "bad checksum", bad_sum, outcome::nothing, state::transferring);
        row("last slice out", "acknowledgement", ack, outcome::send_next, state::transferring);
        row("last slice out", "end response", end, outcome::succeeded, state::idle);
        row("awaiting end", "end response", end, outcome::succeeded, state::idle);
        row("awaiting end", "failed end response", end_failed, outcome::refused, state::ending,
            reason::end_refused);
        row("awaiting end", "late acknowledgement", ack, outcome::send_next, state::awaiting_end);

        row("stalled", "acknowledgement", ack, outcome::nothing, state::stalled);
        row("stalled", "end response", end, outcome::nothing, state::stalled);
        row("stalled", "second start response", start16, outcome::refused, state::ending,
            reason::start_while_running);
        row("ending", "acknowledgement", ack, outcome::nothing, state::ending);
        row("ending", "end response", end, outcome::nothing, state::ending);
        row("ending", "start response", start16, outcome::refused, state::ending,
            reason::start_while_running);
    }
    void reactions()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, frame);
        QFETCH(outcome, what);
        QFETCH(reason, why);
        QFETCH(state, after);
        ota_session session = session_in(setup);
        const quint64 upgrade = session.current_upgrade();
        const ota_session::reaction reaction = session.handle_frame(frame);
        QCOMPARE(reaction.what, what);
        QCOMPARE(reaction.why, why);
        QCOMPARE(session.current_state(), after);
        QCOMPARE(reaction.upgrade, session.current_upgrade());
        // Only a start response that is taken begins a new upgrade.
        QCOMPARE(session.current_upgrade(),
                 upgrade + (what == outcome::transfer_begun || (what == outcome::stalled)));
        // Frames go out exactly while a transfer is on.
        QCOMPARE(session.next_frame().isEmpty(),
                 after != state::transferring && after != state::awaiting_end);
    }
};

QTEST_GUILESS_MAIN(tst_ota_session)
#include "tst_ota_session.moc"
