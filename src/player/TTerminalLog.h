#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

// The terminal's log: one line per event, appended at the end; the owner
// applies the line limit when it chooses (only after received data).
//
// The count and the limit follow every call at once; the text reaches the
// document in frames (the first change after a quiet spell on the next pass of
// the event loop, then at most every FrameMs), so a stream of thousands of
// lines a second costs a few document edits and paints, not one per line.
class TTerminalLog : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr int FrameMs = 40;

    explicit TTerminalLog(QWidget* parent = nullptr);

    // Adds `text` as a new line and returns the number of lines now held.
    // A CR or LF inside the text starts a further line, as in the document.
    int AddLine(const QString& text);
    // Lines held; an empty log holds none.
    int LineCount() const { return FCount; }
    // Deletes lines from the top while more than `maxLines` are held.
    void CutTo(int maxLines);
    // Shows the last line.
    void ScrollToEnd();
    void Clear();

    // Brings the document up to date now.
    void Flush();

private:
    void Schedule();

    int FCount = 0;
    int FDocLines = 0; // lines in the document
    QStringList FPending;
    bool FScrollPending = false;
    QTimer FFrame;
    QElapsedTimer FLastFlush;
};
