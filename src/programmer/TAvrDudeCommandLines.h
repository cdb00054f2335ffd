#pragma once

#include <QString>

// The three avrdude command lines that write the bootloader with the fuse and
// lock bits of the atmega328p, for the programmer entry chosen by the user
// (a USBasp name, or "QLS-FT232R"). Each line holds options only and begins
// with a blank; the tool path is given separately to the runner.
class TAvrDudeCommandLines
{
public:
    // hexPath: the bootloader image, as the tool should receive it (it is
    // put inside double quotes).
    TAvrDudeCommandLines(const QString& programmerEntry, const QString& hexPath);

    // True when the entry names the FT232R programmer (driven in bit-bang
    // mode; the board's serial link must be closed for the run).
    static bool IsFT232R(const QString& programmerEntry);
    static bool IsUSBasp(const QString& programmerEntry);

    QString Fuse;
    QString Flash;
    QString Lock;
};
