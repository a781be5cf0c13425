#ifndef FRAME_EXTRACTOR_H
#define FRAME_EXTRACTOR_H

#include <QByteArray>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(receive_log)

// Cutting OTA frames out of the receive buffer. The buffer is the caller's
// (the main window's usart_ba); these functions change it in place, so every
// change is made before a frame is handed on.
namespace frame_extractor {

// The buffer never stays above this after a trim...
inline constexpr int trim_threshold = 4096;
// ...which removes at least this many of its oldest bytes.
inline constexpr int trim_amount = 2048;

// Drops the oldest bytes once the buffer holds more than trim_threshold:
// trim_amount of them, or as many as it takes to keep the newest
// trim_threshold after a large read. Every search then costs the same,
// however much arrived before.
void trim(QByteArray &buffer);

struct search_result
{
    // A fragment from head to tail was cut (and consumed) from the buffer.
    bool fragment_cut = false;
    // The frame to hand on: "QZ" ... "TC", exactly its length field + 9
    // bytes long; empty when the fragment held none.
    QByteArray frame;
};

// Looks for the first head and tail marker, consumes the buffer up to the
// tail and returns the frame found in between, if any. Writes the
// diagnostic lines of each step to receive_log.
search_result take_frame(QByteArray &buffer);

// Whether another search may find a frame: a head and a tail marker are
// both still in the buffer. Every search consumes at least one marker, so a
// loop on this ends; it must run on after each frame, since the device sends
// nothing more until it is answered.
bool may_hold_frame(const QByteArray &buffer);

// The last diagnostic line of a search, written once the frame (if any) has
// been handed on: what is left in the buffer after a fragment was cut.
void log_remaining(const QByteArray &buffer, const search_result &result);

} // namespace frame_extractor

#endif // FRAME_EXTRACTOR_H
