#pragma once

#include <QPlainTextEdit>

// The terminal's log: one line per event, appended at the end; the owner
// applies the line limit when it chooses (only after received data).
class TTerminalLog : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TTerminalLog(QWidget* parent = nullptr);

    // Adds `text` as a new line and returns the number of lines now held.
    int AddLine(const QString& text);
    // Lines held; an empty log holds none.
    int LineCount() const;
    // Deletes lines from the top while more than `maxLines` are held.
    void CutTo(int maxLines);
    void ScrollToEnd();
    void Clear();

private:
    bool FEmpty = true;
};
