#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Small shared helpers of the program: the waiting loop of the main thread,
// the field rule for device replies, size and version texts, folders.

// Waits while the main thread keeps serving events, timers and the serial
// worker's hand-offs. At least one pass of event processing always happens.
void PumpDelay(int milliseconds);

// Cuts the next field off `remainder` at the first `separator`; blanks
// (character 32 only) are trimmed from both the field and the remainder.
QString CutField(QString& remainder, const QString& separator);

// The text without any white-space character (ASCII, U+0085, U+00A0 and the
// Unicode space, line and paragraph separators).
QString RemoveWhiteSpace(const QString& text);

// Sizes as the windows show them, e.g. " 2.0 KB "; empty from 1000 GiB up.
QString ByteSizeText(quint64 size, bool withBytes = false);

// Formats `value` with a picture such as "### ##0.00": '#' a digit shown only
// when significant, '0' a digit always shown, '.' the locale's decimal separator,
// anything else copied where it stands.
QString FormatPicture(double value, const QString& picture);

// "1.0.0 build 2" (withBuild) or "1.0.0.2".
QString FileVersionText(bool withBuild);
// "1.0.0.2"
QString FileVersionDotted();

// The path unchanged when it exists, else "error" (Linux has no short names).
QString ShortPathName(const QString& path);

// The system's temporary folder, ending with a separator.
QString TempFolderPath();

enum class KnownFolder
{
    Documents
};
// A standard folder of the user; empty when the system cannot give it.
QString KnownFolderPath(KnownFolder folder);

// Latin-1: one byte, one character, lossless both ways.
inline QString FromWire(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}
inline QByteArray ToWire(const QString& text)
{
    return text.toLatin1();
}
