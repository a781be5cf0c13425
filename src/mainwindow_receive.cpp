// The receive path: every chunk from the port is shown in red, collected in
// usart_ba, and frames cut out of it go to the OTA client.
#include "mainwindow.h"

#include "byte_text.h"
#include "frame_extractor.h"

void MainWindow::read_data()
{
    const QByteArray chunk = serial_port->readAll();
    usart_ba.append(chunk);
    if (chunk.isEmpty())
        return;
    append_coloured_line(byte_text::received_colour, QStringLiteral("收: "), chunk);
    frame_extractor::trim(usart_ba);
    take_buffered_frame();
    // The port does not announce bytes that arrive while this slot runs (a
    // box's event loop, for one); without another call they would wait for
    // the next byte from the device, which may never come.
    if (serial_port->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &MainWindow::read_data, Qt::QueuedConnection);
}

void MainWindow::take_buffered_frame()
{
    // The buffer is settled before the frame goes on: its handler may open a
    // box whose event loop runs read_data again.
    const frame_extractor::search_result found = frame_extractor::take_frame(usart_ba);
    if (!found.frame.isEmpty())
        handle_ota_frame(found.frame);
    frame_extractor::log_remaining(usart_ba, found);
    // A second frame that came with the same read would otherwise wait for
    // the device's next byte, which never comes while it waits for our
    // answer. Every search consumes at least one marker, so this ends.
    if (frame_extractor::may_hold_frame(usart_ba))
        QMetaObject::invokeMethod(this, &MainWindow::take_buffered_frame, Qt::QueuedConnection);
}
