// The receive path: every chunk from the port is shown in red and collected
// in usart_ba.
#include "mainwindow.h"

#include "byte_text.h"

void MainWindow::read_data()
{
    const QByteArray chunk = serial_port->readAll();
    usart_ba.append(chunk);
    if (chunk.isEmpty())
        return;
    append_coloured_line(byte_text::received_colour, QStringLiteral("收: "), chunk);
    if (usart_ba.size() > 4096)
        usart_ba.remove(0, 2048);
}
