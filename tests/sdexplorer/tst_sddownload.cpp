#include "sdexplorer/TSdDownload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_SdDownload : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fileNameFromCommand_data();
    void fileNameFromCommand();
    void headerWithoutDownload_data();
    void headerWithoutDownload();
    void unsafeNameRefused_data();
    void unsafeNameRefused();
    void petitByteForByte();
    void petitEndByteAfterSize();
    void normalByteForByte();
    void stopKeepsPartAndOldCopy();
    void stopWhileIdle();
    void fileCannotBeCreated();
    void writeFailsDuringTransfer();

private:
    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // A download of `command` whose header has just started it.
    static void start(TSdDownload& d, const QString& folder, const QString& command,
                      const QString& header)
    {
        d.ReceiveFolder = folder;
        d.CommandSent(command);
        QCOMPARE(d.Header(header), TSdDownload::THeader::Started);
        QVERIFY(d.Receiving());
    }
};

void tst_SdDownload::fileNameFromCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("name");
    QTest::newRow("root") << u"AT+FREAD=/LOG.TXT,0,1000000000,1"_s << u"LOG.TXT"_s;
    QTest::newRow("folder, lower case")
        << u"AT+FREAD=/music/song.wav,0,1000000000,0"_s << u"SONG.WAV"_s;
    // Without a comma the folders stay, which the name check then refuses.
    QTest::newRow("no comma") << u"AT+FREAD=/A.TXT"_s << u"/A.TXT"_s;
    QTest::newRow("blanks") << u"at+fread= /X/ b.csv ,0"_s << u"B.CSV"_s;
}

void tst_SdDownload::fileNameFromCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, name);
    QCOMPARE(TSdDownload::FileNameFromCommand(command), name);
}

void tst_SdDownload::headerWithoutDownload_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("result");
    const QString read = u"AT+FREAD=/A.TXT,0,1000000000,0"_s;
    const int bad = int(TSdDownload::THeader::BadSize);
    const int none = int(TSdDownload::THeader::NoTarget);
    QTest::newRow("size 0") << read << true << u"+FREAD:NOR,0"_s << bad;
    QTest::newRow("size negative") << read << true << u"+FREAD:NOR,-5"_s << bad;
    QTest::newRow("size not a number") << read << true << u"+FREAD:NOR,12x"_s << bad;
    QTest::newRow("no size") << read << true << u"+FREAD:"_s << bad;
    QTest::newRow("no file name") << QString() << true << u"+FREAD:NOR,10"_s << none;
    QTest::newRow("no folder") << read << false << u"+FREAD:NOR,10"_s << none;
}

void tst_SdDownload::headerWithoutDownload()
{
    QFETCH(QString, command);
    QFETCH(bool, folderExists);
    QFETCH(QString, header);
    QFETCH(int, result);
    QTemporaryDir dir;
    TSdDownload d;
    d.ReceiveFolder = folderExists ? dir.path() : dir.path() + u"/gone"_s;
    d.CommandSent(command);
    QCOMPARE(int(d.Header(header)), result);
    QVERIFY(!d.Receiving());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

void tst_SdDownload::unsafeNameRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("dot dot") << u"AT+FREAD=/..,0,1000000000,0"_s;
    QTest::newRow("dot") << u"AT+FREAD=/MUSIC/.,0,1000000000,0"_s;
    QTest::newRow("backslash") << u"AT+FREAD=/..\\..\\EVIL.TXT,0,1000000000,0"_s;
    QTest::newRow("no comma keeps slash") << u"AT+FREAD=/../EVIL.TXT"_s;
    QTest::newRow("nul") << u"AT+FREAD=/A"_s + QChar(0) + u"B,0,1000000000,0"_s;
}

void tst_SdDownload::unsafeNameRefused()
{
    QFETCH(QString, command);
    QTemporaryDir dir;
    const QString inner = dir.filePath(u"rx"_s);
    QVERIFY(QDir().mkpath(inner));
    TSdDownload d;
    d.ReceiveFolder = inner;
    d.CommandSent(command);
    QCOMPARE(d.Header(u"+FREAD:NOR,10"_s), TSdDownload::THeader::Refused);
    QVERIFY(d.Message().contains(u"unsafe file name"_s));
    QVERIFY(!d.Receiving());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"rx"_s});
    QCOMPARE(QDir(inner).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void tst_SdDownload::petitByteForByte()
{
    QTemporaryDir dir;
    TSdDownload d;
    start(d, dir.path(), u"AT+FREAD=/log.txt,0,1000000000,1"_s, u"+FREAD:PET,11"_s);
    QVERIFY(d.Petit());
    QVERIFY(QFileInfo::exists(dir.filePath(u"LOG.TXT.part"_s)));

    // The header's LF opens the first packet; the board's next reply follows
    // the end byte in the same read.
    QByteArray packet = "\nline1\nab\r\n";
    packet += '\xFF';
    packet += "\r\n+PSTOP:\r\n+PNA";
    QByteArray after;
    d.Data(packet, after);
    QVERIFY(d.Finished());
    QCOMPARE(d.Message(), u"PetitFS read OK"_s);
    QCOMPARE(TSdDownload::ReplyLines(after), (QList<QByteArray>{"+PSTOP:", "+PNA"}));
    QVERIFY(d.End());
    QVERIFY(!d.Receiving());
    QCOMPARE(readAll(dir.filePath(u"LOG.TXT"_s)), QByteArray("line1\nab\r\n"));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"LOG.TXT.part"_s)));
    // A stray header without a new read command does not touch the file.
    QCOMPARE(d.Header(u"+FREAD:NOR,10"_s), TSdDownload::THeader::NoTarget);
    QVERIFY(!QFileInfo::exists(dir.filePath(u"LOG.TXT.part"_s)));
}

void tst_SdDownload::petitEndByteAfterSize()
{
    // A size that leaves the end byte out still ends at it, without handing it on.
    QTemporaryDir dir;
    TSdDownload d;
    start(d, dir.path(), u"AT+FREAD=/A.CSV,0,1000000000,1"_s, u"+FREAD:PET,3"_s);
    QByteArray packet = "a;b";
    packet += '\xFF';
    QByteArray after;
    d.Data(packet, after);
    QVERIFY(after.isEmpty());
    QCOMPARE(d.Message(), u"PetitFS read OK"_s);
    QVERIFY(d.End());
    QCOMPARE(readAll(dir.filePath(u"A.CSV"_s)), QByteArray("a;b"));
}

void tst_SdDownload::normalByteForByte()
{
    QTemporaryDir dir;
    TSdDownload d;
    // A folder without a trailing separator still receives the file.
    start(d, dir.path(), u"AT+FREAD=/MUSIC/SONG.WAV,0,1000000000,0"_s, u"+FREAD:NOR,1000"_s);
    QByteArray content;
    for (int i = 0; i < 1000; ++i)
        content += char(i % 256);
    content[0] = '\n'; // a file that starts with LF keeps it
    content[400] = '\n';

    // Packets: the header's LF with the first bytes, an LF-led packet inside
    // the data, and a last one carrying the board's next reply.
    QList<QByteArray> packets{"\n" + content.left(40), content.mid(40, 360),
                              content.mid(400, 600) + "\r\n+PNAME:X.WAV\r\n"};
    QByteArray after;
    QByteArray first = packets.at(0);
    d.Data(first, after);
    QVERIFY(d.NonText());
    QCOMPARE(first.size(), 40);
    QCOMPARE(TSdDownload::BinText(first).size(), 6 + 30 + 2 + 3);
    QVERIFY(TSdDownload::BinText(first).startsWith(u"BIN [ "_s));
    QVERIFY(TSdDownload::BinText(first).endsWith(u" ]..."_s));
    QVERIFY(!first.contains('\x01')); // shown with control bytes replaced
    QCOMPARE(d.Percent(), 4);
    // Another read asked for meanwhile does not take over this file.
    d.CommandSent(u"AT+FREAD=/OTHER.TXT,0,1000000000,0"_s);
    QByteArray second = packets.at(1);
    d.Data(second, after);
    QVERIFY(after.isEmpty());
    QVERIFY(!d.Finished());
    QByteArray last = packets.at(2);
    d.Data(last, after);
    QVERIFY(d.Finished());
    QCOMPARE(d.ReceivedCount(), 1000);
    QCOMPARE(d.Message(), u"File received OK"_s);
    QCOMPARE(TSdDownload::ReplyLines(after), QList<QByteArray>{"+PNAME:X.WAV"});
    QVERIFY(d.End());
    QCOMPARE(readAll(dir.filePath(u"SONG.WAV"_s)), content);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"SONG.WAV"_s});
}

void tst_SdDownload::stopKeepsPartAndOldCopy()
{
    QTemporaryDir dir;
    {
        QFile old(dir.filePath(u"SONG.WAV"_s));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("complete copy");
    }
    TSdDownload d;
    start(d, dir.path(), u"AT+FREAD=/SONG.WAV,0,1000000000,0"_s, u"+FREAD:NOR,100"_s);
    QByteArray after;
    QByteArray packet = "0123456789";
    d.Data(packet, after);
    d.CommandSent(u"AT+RXBINSTOP\r"_s);
    QVERIFY(d.Finished());
    packet = "abcdefghij"; // counted and shown, not written
    d.Data(packet, after);
    QCOMPARE(d.ReceivedCount(), 20);
    QVERIFY(!d.End());
    QVERIFY(d.Message().contains(u"SONG.WAV.part"_s));
    QCOMPARE(readAll(dir.filePath(u"SONG.WAV.part"_s)), QByteArray("0123456789"));
    QCOMPARE(readAll(dir.filePath(u"SONG.WAV"_s)), QByteArray("complete copy"));
}

void tst_SdDownload::stopWhileIdle()
{
    TSdDownload d;
    d.CommandSent(u"AT+RXBINSTOP\r"_s);
    QVERIFY(d.Finished());
    QVERIFY(!d.End()); // nothing was received: nothing to open
    QVERIFY(!d.Finished());
    QVERIFY(d.Message().isEmpty());
}

void tst_SdDownload::fileCannotBeCreated()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"A.TXT.part"_s)); // stands in for a refusing folder
    TSdDownload d;
    d.ReceiveFolder = dir.path();
    d.CommandSent(u"AT+FREAD=/A.TXT,0,1000000000,0"_s);
    QCOMPARE(d.Header(u"+FREAD:NOR,10"_s), TSdDownload::THeader::Failed);
    QVERIFY(d.Message().startsWith(u"Cannot create"_s));
    QVERIFY(!d.Receiving());
    QVERIFY(!QFileInfo::exists(dir.filePath(u"A.TXT"_s)));
}

void tst_SdDownload::writeFailsDuringTransfer()
{
    if (!QFileInfo::exists(u"/dev/full"_s))
        QSKIP("needs /dev/full");
    QTemporaryDir dir;
    QVERIFY(QFile::link(u"/dev/full"_s, dir.filePath(u"BIG.BIN.part"_s)));
    TSdDownload d;
    start(d, dir.path(), u"AT+FREAD=/BIG.BIN,0,1000000000,0"_s, u"+FREAD:NOR,1000000"_s);
    QByteArray after;
    bool failed = false;
    for (int i = 0; i < 20 && !failed; ++i) {
        QByteArray packet(64 * 1024, 'x');
        d.Data(packet, after);
        failed = d.Failed();
    }
    QVERIFY(failed);
    QVERIFY(d.Finished());
    QVERIFY(d.Message().startsWith(u"Write error"_s));
    QVERIFY(!d.End());
    QVERIFY(d.Message().contains(u"BIG.BIN.part"_s));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"BIG.BIN"_s)));
}

QTEST_GUILESS_MAIN(tst_SdDownload)
#include "tst_sddownload.moc"
