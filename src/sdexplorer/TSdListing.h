#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The lines of a directory listing as the board sends them, collected until
// its end line. Lines reach it with every white-space character removed; the
// end line is tested on the line as received.
class TSdListing
{
public:
    enum class TLine
    {
        Skipped,   // empty, or the "+LIST:" line itself
        Collected, // appended to the pending list
        End        // "+DIR_LIST_END:": the pending list is complete
    };

    static bool IsListStart(const QString& S) { return S.trimmed() == QStringLiteral("+LIST:"); }
    static bool IsListError(const QString& S)
    {
        return S.trimmed() == QStringLiteral("+LIST_ERR:");
    }

    TLine Collect(const QString& S, const QByteArray& received);

    // The entries since the last tree build, in arrival order.
    QStringList pending;
};
