#ifndef OTA_SESSION_H
#define OTA_SESSION_H

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

Q_DECLARE_LOGGING_CATEGORY(ota_log)

// The upgrade side of the OTA protocol, without a window: the loaded image,
// the slicing the device asks for, what each received frame calls for, and
// when an upgrade ends and why. The main window and vantrel-ota drive one
// each; neither builds or judges a frame of its own.
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
    // Reading an image file whole, with the window's limits and texts.
    struct image_read
    {
        bool ok = false;
        QByteArray bytes;
        // The text of the "错误信息" box when !ok.
        QString error_text;
    };
    static image_read read_image(const QString &path);

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

    // What a received frame calls for, in this order: show each notice
    // (title "提示信息"); then, if `after` is ending, call end_upgrade(upgrade).
    enum class action
    {
        none,           // nothing to send (the frame was dropped or ignored)
        begin_transfer, // a start response set the slice size: show progress 0,
                        // then send next_frame()
        send_next,      // an acknowledgement: send next_frame(), then show progress()
        succeeded,      // the device confirmed the end: the upgrade is over
    };
    struct reaction
    {
        action what = action::none;
        QStringList notices;
        // The state this frame left the session in.
        state after = state::idle;
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
    bool is_ota_running() const;
    // Frames can still go out for the current upgrade.
    bool is_transferring() const;
    // Sent data frames as a percentage of all the image's data frames; 100
    // once every slice has been sent.
    int progress() const;

    // For reports: the slice size the device gave, the offset of the next
    // data frame, data frames sent and in all, and whether the last data
    // frame (so next the end frame) has gone out.
    quint32 slice_size() const { return frame_size; }
    quint32 offset() const { return send_offset; }
    quint32 frames_sent() const { return sent_frame_num; }
    quint32 frames_total() const { return total_frame_num; }
    bool last_frame_sent() const
    {
        return total_frame_num > 0 && sent_frame_num == total_frame_num;
    }
    quint64 current_upgrade() const { return upgrade_id; }

private:
    reaction handle_start_response(const QByteArray &frame);
    reaction handle_data_ack(const QByteArray &frame);
    reaction handle_end_response(const QByteArray &frame);
    reaction refuse(const QString &notice);
    reaction react(action what, const QStringList &notices = QStringList()) const;
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
