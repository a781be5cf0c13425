#include "terminal_view.h"

#include <QColor>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

terminal_view::terminal_view(QTextBrowser *browser, int limit_chars)
    : QObject(browser), browser(browser), limit(limit_chars)
{
}

QString terminal_view::note_text(qint64 removed_lines)
{
    return QStringLiteral("……（较早的显示内容已移除，共%1行）").arg(removed_lines);
}

void terminal_view::append(const QStringList &paragraphs)
{
    if (paragraphs.isEmpty())
        return;
    QTextCursor batch(browser->document());
    batch.beginEditBlock();
    for (const QString &paragraph : paragraphs) {
        browser->setTextColor(Qt::black);
        browser->append(paragraph);
    }
    batch.endEditBlock();
    if (browser->document()->characterCount() > limit)
        drop_oldest();
    QTextCursor cursor = browser->textCursor();
    cursor.movePosition(QTextCursor::End);
    browser->setTextCursor(cursor);
}

void terminal_view::drop_oldest()
{
    // Every drop makes the layout move all the paragraphs below it; dropping
    // a quarter of the limit at a time keeps that cost a small share of the
    // cost of the lines themselves.
    QTextDocument *document = browser->document();
    const bool has_note = removed > 0;
    const QTextBlock first_line = has_note ? document->firstBlock().next() : document->firstBlock();
    const QTextBlock newest = document->lastBlock();
    const int excess = document->characterCount() - (limit - limit / 4);
    QTextBlock end = first_line;
    int dropped_chars = 0;
    qint64 dropped = 0;
    while (end.isValid() && end != newest && dropped_chars < excess) {
        dropped_chars += end.length();
        end = end.next();
        ++dropped;
    }
    if (dropped == 0)
        return;

    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(first_line.position());
    cursor.setPosition(end.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    removed += dropped;
    cursor.setPosition(0);
    if (has_note)
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    else
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    if (!has_note)
        cursor.setPosition(0);
    QTextCharFormat grey;
    grey.setForeground(QColor(Qt::gray));
    cursor.insertText(note_text(removed), grey);
    cursor.endEditBlock();
}

void terminal_view::clear()
{
    removed = 0;
    browser->clear();
}
