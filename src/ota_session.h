#ifndef OTA_SESSION_H
#define OTA_SESSION_H

#include <QByteArray>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(ota_log)

// The upgrade side of the OTA protocol as a state machine: the loaded image,
// the slicing the device asks for, what each received frame calls for, and
// when an upgrade ends and why. The main window and vantrel-ota drive one
// each; neither builds or judges a frame of its own, and the texts they show
// for it are in ota_texts.
//
// An upgrade is in one of the states below. While it is "running" (from
// the start response until it ends) a double press cancels it and a further
// start response is refused. The window keeps an upgrade that ended on a
// refusal running until the box that reports it has closed; its transfer
// stops at once, so an acknowledgement that arrives while the box is open
// sends nothing.
class ota_session
{
public:
    enum class state
    {
        idle,           // no upgrade; a start request may be out for no image
        awaiting_start, // a start request for the loaded image went out
        transferring,   // data frames go out, each awaiting its acknowledgement
        awaiting_end,   // every slice was acknowledged and the end frame went out
        stalled,        // running, but nothing can be sent: the device gave no
                        // usable slice size, or the image was taken away
        ending,         // ended on a refusal; running until end_upgrade()
    };

    // What a received frame means for the upgrade. Every front end acts on
    // this alone.
    enum class outcome
    {
        nothing,        // dropped or ignored: nothing to do
        transfer_begun, // a start response set the slice size: show progress 0,
                        // then send next_frame()
        send_next,      // an acknowledgement: send next_frame(), then show progress()
        succeeded,      // the device confirmed the end: the upgrade is over
        refused,        // the upgrade ended (see `why`): report it, then call
                        // end_upgrade(upgrade)
        stalled,        // the upgrade runs but nothing can be sent (see `why`)
                        // until it is stopped
    };
    // Why an upgrade was refused or stalled.
    enum class reason
    {
        none,
        start_while_running,   // a start response during an upgrade
        frame_size_unreadable, // a start response with fewer than 4 data bytes
        frame_size_zero,       // a slice size of 0
        frame_size_too_large,  // a slice the 16-bit length field cannot carry
        data_refused,          // an acknowledgement with a failure status
        end_early,             // an end response before the last slice went out
        end_refused,           // an end response with a failure status
    };
    struct reaction
    {
        outcome what = outcome::nothing;
        reason why = reason::none;
        // The upgrade this frame belonged to (see end_upgrade).
        quint64 upgrade = 0;
    };

    // Takes the image to send; forgets any slicing and pending start request.
    // A running upgrade stays running, stalled (the file choice has its own
    // notice).
    void load_image(QByteArray image);
    // Drops the image, its slicing and any pending start request.
    void discard_image();
    bool is_file_loaded() const { return is_file_loaded_; }
    quint32 image_size() const { return ota_file_size; }
    const QByteArray &image() const { return ota_file_ba; }

    // The start request for the loaded image. Marks a start request as
    // pending: only then is a start response taken.
    QByteArray start_request();

    // A frame cut from the receive buffer. Runs the checks of the frame
    // format first; frames that fail them are dropped with a debug line.
    reaction handle_frame(const QByteArray &frame);

    // The frame to send now: the next data frame, or the end frame once the
    // last data frame has gone out; empty when no transfer is on.
    QByteArray next_frame() const;
    // The frame from next_frame() went to the port: only now do the offset
    // and the count move on, so a frame that could not be sent is not
    // counted as sent.
    void frame_sent();

    // Ends an upgrade that ended on a refusal, unless a newer one has begun
    // since.
    void end_upgrade(quint64 upgrade);
    // Stops the transfer and ends the upgrade now: a cancel, a file choice
    // during an upgrade, or a lost port.
    void stop();

    state current_state() const { return state_; }
    // From the start response until the upgrade ends: a double press cancels.
    bool is_ota_running() const;
    // Sent data frames as a percentage of all the image's data frames; 100
    // once every slice has been sent.
    int progress() const;

    // For reports: the slice size the device gave (also when refused), the
    // offset of the next data frame, data frames sent and in all.
    quint32 slice_size() const { return frame_size; }
    quint32 offset() const { return send_offset; }
    quint32 frames_sent() const { return sent_frame_num; }
    quint32 frames_total() const { return total_frame_num; }
    quint64 current_upgrade() const { return upgrade_id; }

private:
    bool is_transferring() const;
    bool last_frame_sent() const
    {
        return total_frame_num > 0 && sent_frame_num == total_frame_num;
    }
    reaction handle_start_response(const QByteArray &frame);
    reaction handle_data_ack(const QByteArray &frame);
    reaction handle_end_response(const QByteArray &frame);
    reaction end_with(outcome what, reason why);
    reaction react(outcome what) const;
    quint32 next_slice_length() const;
    void forget_slicing();

    bool is_file_loaded_ = false;
    QByteArray ota_file_ba;
    quint32 ota_file_size = 0;
    quint32 frame_size = 0;
    quint32 total_frame_num = 0;
    quint32 sent_frame_num = 0;
    quint32 send_offset = 0;
    state state_ = state::idle;
    quint64 upgrade_id = 0;
};

#endif // OTA_SESSION_H
