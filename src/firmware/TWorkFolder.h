#pragma once

#include <QByteArray>
#include <QString>

// The program's private work folder under the temporary location (mode 0700,
// owned by the user), where the carried tools are unpacked. Never the shared
// temporary folder itself.
class TWorkFolder
{
public:
    // The folder with a trailing '/', created when missing; empty when it cannot
    // be made safely (then `error` says why).
    static QString Path(QString* error = nullptr);

    // Unpacks a zip archive into `folder`. Entries that would land outside it
    // are refused. Executable bits stored in the archive are kept.
    static bool Unpack(const QByteArray& zip, const QString& folder, QString* error = nullptr);

    // The carried avrdude archive unpacked into the work folder: the path of
    // its launcher, or empty.
    static QString CarriedAvrDude(QString* error = nullptr);
    // A carried file written into the work folder under its own name.
    static QString SaveCarried(const QString& name, QString* error = nullptr);
};
