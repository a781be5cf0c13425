#ifndef TERMINAL_VIEW_H
#define TERMINAL_VIEW_H

#include <QObject>
#include <QStringList>

class QTextBrowser;

// The terminal's text view: rich-text paragraphs appended in batches, the
// view kept at its newest line. Up to `limit_chars` characters the view
// holds every paragraph; past it the oldest paragraphs give way, and one
// grey note line at the top counts them. Once a QTextBrowser's text is some
// 21 million pixels tall, every scroll to the end makes its layout lay text
// out again, and the window stalls for good: the limit keeps the view far
// below that.
class terminal_view : public QObject
{
    Q_OBJECT

public:
    // Chosen by measurement (bench_long_session --costs): up to this size a
    // new line of 64 or 1024 bytes costs at most 1.25 times what it costs in
    // an empty view (the criterion is 1.5 times), and the text stays a few
    // million pixels tall even in a narrow window.
    static constexpr int default_limit_chars = 8000000;

    // Lives as long as `browser`, its parent.
    explicit terminal_view(QTextBrowser *browser, int limit_chars = default_limit_chars);

    void set_limit(int limit_chars) { limit = limit_chars; }
    // Appends each paragraph, in order, as a paragraph of its own.
    void append(const QStringList &paragraphs);
    // Empties the view, note included.
    void clear();
    // Paragraphs dropped from the top since the last clear.
    qint64 removed_lines() const { return removed; }
    static QString note_text(qint64 removed_lines);

private:
    void drop_oldest();

    QTextBrowser *browser;
    int limit;
    qint64 removed = 0;
};

#endif // TERMINAL_VIEW_H
