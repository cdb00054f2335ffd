#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <memory>

// One file read from the SD card: the "+FREAD:" header, the raw packets that
// follow and the end of the transfer. The bytes go into NAME.part inside the
// receive folder, which becomes NAME only when every byte has arrived, so an
// incomplete file never passes for (or replaces) a complete one. Bytes that
// follow the file's end in a packet are the board's next replies and are handed
// back to the caller. Plain class: the reply handler and the command line drive
// it alike; it reports through its state and never throws.
class TSdDownload
{
public:
    enum class THeader
    {
        BadSize,  // size not a positive number: no download, the line is dropped
        NoTarget, // no file name or no receive folder: the line is an ordinary one
        Refused,  // unsafe file name: no download (see Message())
        Failed,   // the file cannot be created (see Message())
        Started
    };

    TSdDownload();
    ~TSdDownload();
    TSdDownload(const TSdDownload&) = delete;
    TSdDownload& operator=(const TSdDownload&) = delete;

    // The file name a read command asks for: upper-cased, folders removed.
    static QString FileNameFromCommand(const QString& command);
    // A name that stays inside the receive folder when joined to it.
    static bool SafeFileName(const QString& name);
    // The receive folder joined with a name.
    static QString JoinPath(const QString& folder, const QString& name);
    static QString PartSuffix() { return QStringLiteral(".part"); }

    // Every command that goes out: a stop command ends the running download on
    // the next data, a read command names the file the next header starts (a
    // running download keeps its own file).
    void CommandSent(const QString& command);
    // Ends the running download on the next data (as the stop command does).
    void RequestStop() { FFinished = true; }

    // A line holding "+FREAD:" while no download runs.
    THeader Header(const QString& S);

    // A packet while receiving. D keeps the bytes that belong to the file (as
    // the terminal shows them: control bytes replaced once the data is non-text);
    // bytes after the file's end are moved to `after`.
    void Data(QByteArray& D, QByteArray& after);

    // The end step, once Finished(): closes the file and renames a complete one.
    // True when the file is complete under its name.
    bool End();

    // Closing the program: closes an open file, keeping it as NAME.part.
    void Abandon();

    // Bytes that followed a file's end, cut into the lines the link would give.
    static QList<QByteArray> ReplyLines(const QByteArray& bytes);

    // "BIN [ " form of a packet, for the terminal.
    static QString BinText(const QByteArray& D);

    QString ReceiveFolder;

    bool Receiving() const { return FReceiving; }
    bool Finished() const { return FFinished; }
    bool Petit() const { return FPetit; }
    bool NonText() const { return FNonText; }
    bool Failed() const { return FFailed; }
    bool Complete() const { return FComplete; }
    qint64 Expected() const { return FExpected; }
    qint64 ReceivedCount() const { return FReceived; }
    // The file being received (or last received).
    QString FileName() const { return FActiveName; }
    // The text after the header's mode field (the size digits).
    QString SizeText() const { return FSizeText; }
    // The final path of the file, and the path it is received into.
    QString FilePath() const { return FActivePath; }
    QString PartPath() const { return FilePath() + PartSuffix(); }
    // The latest result text for the status bar (empty while nothing to say).
    QString Message() const { return FMessage; }
    int Percent() const;

private:
    bool WriteOut(const char* data, qsizetype size);
    bool FlushBuffer();
    void Fail(const QString& text);
    void Reset();

    std::unique_ptr<QFile> FFile;
    QByteArray FBuffer;
    QString FFileName; // named by the last read command, for the next header
    QString FActiveName;
    QString FActivePath;
    QString FSizeText;
    QString FMessage;
    qint64 FExpected = 0;
    qint64 FReceived = 0;
    bool FReceiving = false;
    bool FWrite = false;
    bool FFinished = false;
    bool FPetit = false;
    bool FNonText = false;
    bool FFailed = false;
    bool FComplete = false;
    bool FFirstPacket = false;
};
