#include "player/TTerminalLog.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

namespace {
// Line ends the document turns into a new block when text is inserted; CR LF
// is one of them.
int Separators(const QString& text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool loneCr = c == u'\r' && (i + 1 >= text.size() || text.at(i + 1) != u'\n');
        if (c == u'\n' || c == QChar::ParagraphSeparator || loneCr)
            ++n;
    }
    return n;
}

// Joins lines without letting a CR at the end of one and the joint form one
// CR LF line end.
const QChar kJoint = QChar::ParagraphSeparator;
} // namespace

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
    FFrame.setSingleShot(true);
    connect(&FFrame, &QTimer::timeout, this, [this] { Flush(); });
}

int TTerminalLog::AddLine(const QString& text)
{
    FCount += 1 + Separators(text);
    FPending.append(text);
    Schedule();
    return FCount;
}

void TTerminalLog::CutTo(int maxLines)
{
    if (FCount <= maxLines)
        return;
    FCount = std::max(maxLines, 0);
    Schedule();
}

void TTerminalLog::ScrollToEnd()
{
    FScrollPending = true;
    Schedule();
}

void TTerminalLog::Clear()
{
    FFrame.stop();
    FPending.clear();
    FScrollPending = false;
    FCount = 0;
    FDocLines = 0;
    clear();
}

void TTerminalLog::Schedule()
{
    if (FFrame.isActive())
        return;
    const qint64 since = FLastFlush.isValid() ? FLastFlush.elapsed() : FrameMs;
    FFrame.start(int(std::max<qint64>(0, FrameMs - since)));
}

void TTerminalLog::Flush()
{
    FFrame.stop();
    FLastFlush.start();
    QTextDocument* doc = document();
    if (!FPending.isEmpty()) {
        int total = FDocLines;
        for (const QString& line : std::as_const(FPending))
            total += 1 + Separators(line);
        int surplus = total - FCount;
        // Lines the limit removes anyway never enter the document.
        qsizetype first = 0;
        if (surplus >= FDocLines) {
            surplus -= FDocLines;
            if (FDocLines > 0)
                doc->clear();
            FDocLines = 0;
            while (first < FPending.size()) {
                const int blocks = 1 + Separators(FPending.at(first));
                if (blocks > surplus)
                    break;
                surplus -= blocks;
                ++first;
            }
        }
        if (first < FPending.size()) {
            QString text = FPending.mid(first).join(kJoint);
            if (FDocLines > 0)
                text.prepend(kJoint); // a new line after the last one held
            for (qsizetype i = first; i < FPending.size(); ++i)
                FDocLines += 1 + Separators(FPending.at(i));
            QTextCursor c(doc);
            c.movePosition(QTextCursor::End);
            c.insertText(text);
        }
        FPending.clear();
    }
    const int extra = FDocLines - FCount;
    if (extra > 0) {
        if (FCount == 0) {
            doc->clear();
        } else {
            // One edit for all surplus lines: the layout is updated once.
            QTextCursor c(doc);
            c.movePosition(QTextCursor::Start);
            c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, extra);
            c.removeSelectedText();
        }
        FDocLines = FCount;
    }
    if (FScrollPending) {
        FScrollPending = false;
        setTextCursor(QTextCursor(doc->lastBlock()));
        ensureCursorVisible();
        horizontalScrollBar()->setValue(0);
    }
}
