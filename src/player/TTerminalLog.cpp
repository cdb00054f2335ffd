#include "player/TTerminalLog.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

TTerminalLog::TTerminalLog(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setUndoRedoEnabled(false);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::black);
    p.setColor(QPalette::Text, QColor(0, 255, 0));
    setPalette(p);
}

int TTerminalLog::AddLine(const QString& text)
{
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    if (!FEmpty)
        c.insertBlock();
    c.insertText(text);
    FEmpty = false;
    return LineCount();
}

int TTerminalLog::LineCount() const
{
    return FEmpty ? 0 : document()->blockCount();
}

void TTerminalLog::CutTo(int maxLines)
{
    const int extra = LineCount() - maxLines;
    if (extra <= 0)
        return;
    // One edit for all surplus lines: the layout is updated once.
    QTextCursor c(document());
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, extra);
    c.removeSelectedText();
}

void TTerminalLog::ScrollToEnd()
{
    QTextCursor c(document()->lastBlock());
    setTextCursor(c);
    ensureCursorVisible();
    horizontalScrollBar()->setValue(0);
}

void TTerminalLog::Clear()
{
    clear();
    FEmpty = true;
}
