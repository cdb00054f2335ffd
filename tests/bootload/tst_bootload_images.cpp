#include "BootRecorder.h"
#include "app/TNoticeChannel.h"
#include "bootload/TIntelHex.h"
#include "bootload/TRvBootload.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TstBootloadImages : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hexParsing_data();
    void hexParsing();
    void hexLineEndingsAndFiles();
    void imagesReplaceEachOther();
    void ownerHeader_data();
    void ownerHeader();
    void wifiGuardsRefuseActions();
    void progressIsCapped();
};

void TstBootloadImages::hexParsing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("total");
    QTest::addColumn<QByteArray>("digits");

    QTest::newRow("only eof") << QByteArray(":00000001FF\r\n") << 1 << QByteArray();
    QTest::newRow("data then eof")
        << QByteArray(":0300000001020AF0\r\n:00000001FF\r\n") << 1 << QByteArray("01020A");
    QTest::newRow("lower case kept as written")
        << QByteArray(":0300000001020af0\n:00000001ff\n") << 1 << QByteArray("01020a");
    QTest::newRow("no eof") << QByteArray(":0300000001020AF0\r\n") << 0 << QByteArray();
    QTest::newRow("bad checksum")
        << QByteArray(":0300000001020AF0\r\n:0300030001020AF1\r\n:00000001FF\r\n") << -2
        << QByteArray();
    QTest::newRow("two eofs and a stray line")
        << QByteArray(":00000001FF\r\nhello\r\n:00000001FF\r\n") << 1 << QByteArray();
    QTest::newRow("records joined in line order")
        << QByteArray(":02010000AABB98\r\n:02000000CCDD55\r\n:00000001FF\r\n") << 1
        << QByteArray("AABBCCDD");
    QTest::newRow("extended address summed, not kept")
        << QByteArray(":020000021000EC\r\n:0100000011EE\r\n:00000001FF\r\n") << 1
        << QByteArray("11");
    QTest::newRow("unknown type") << QByteArray(":00000009F7\r\n:00000001FF\r\n") << -1
                                  << QByteArray();
    QTest::newRow("data beyond the line")
        << QByteArray(":0400000001020A\r\n:00000001FF\r\n") << -3 << QByteArray();
    QTest::newRow("not hex") << QByteArray(":0Z00000001020AF0\r\n:00000001FF\r\n") << -3
                             << QByteArray();
    QTest::newRow("empty line") << QByteArray(":00000001FF\r\n\r\n") << -3 << QByteArray();
    QTest::newRow("data after eof joined")
        << QByteArray(":00000001FF\r\n:0100000011EE\r\n") << 1 << QByteArray("11");
    QTest::newRow("last line without ending")
        << QByteArray(":0100000011EE\r\n:00000001FF") << 1 << QByteArray("11");
}

void TstBootloadImages::hexParsing()
{
    QFETCH(QByteArray, text);
    QFETCH(int, total);
    QFETCH(QByteArray, digits);
    int sum = 99;
    QCOMPARE(TIntelHex::Parse(text, &sum), digits);
    QCOMPARE(sum, total);

    TRvBootload b;
    b.SetWsadBIN("x");
    QBuffer buf(&text);
    buf.open(QIODevice::ReadOnly);
    buf.seek(buf.size()); // the loader rewinds
    b.LoadHEXfromStream(&buf);
    QCOMPARE(b.WsadHEX(), digits);
    QVERIFY(b.WsadBIN().isEmpty());
}

void TstBootloadImages::hexLineEndingsAndFiles()
{
    // CR, LF and CR LF each end a line.
    QCOMPARE(TIntelHex::Parse(":0100000011EE\r:0100000022DD\n:00000001FF\r\n"), QByteArray("1122"));
    QCOMPARE(TIntelHex::DigitsToBytes("00ff7E"), QByteArray("\x00\xff\x7e", 3));

    QTemporaryDir dir;
    TRvBootload b;
    const QString missing = dir.filePath(u"none.hex"_s);
    b.SetWsadHEX("AA");
    QVERIFY(!b.ReadHexFromFile(missing));
    QVERIFY(!b.ReadBinFromFile(missing));
    QCOMPARE(b.WsadHEX(), QByteArray("AA"));

    // A byte-order mark selects the encoding.
    QFile f(dir.filePath(u"utf16.hex"_s));
    QVERIFY(f.open(QIODevice::WriteOnly));
    const QString text = u":0100000011EE\r\n:00000001FF\r\n"_s;
    f.write("\xFF\xFE", 2);
    f.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    f.close();
    QVERIFY(b.ReadHexFromFile(f.fileName()));
    QCOMPARE(b.WsadHEX(), QByteArray("11"));

    // A rejected text still reads the file, leaving both images empty.
    QFile bad(dir.filePath(u"bad.hex"_s));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(":0100000011EE\r\n");
    bad.close();
    b.SetWsadBIN("zz");
    QVERIFY(b.ReadHexFromFile(bad.fileName()));
    QVERIFY(b.WsadHEX().isEmpty());
    QVERIFY(b.WsadBIN().isEmpty());

    QFile empty(dir.filePath(u"empty.bin"_s));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    b.SetWsadHEX("AA");
    QVERIFY(b.ReadBinFromFile(empty.fileName()));
    QVERIFY(b.WsadBIN().isEmpty());
    QVERIFY(b.WsadHEX().isEmpty());
}

void TstBootloadImages::imagesReplaceEachOther()
{
    TRvBootload b;
    QByteArray bytes("\x00\x01\xFF\x80\r\n", 6);
    QBuffer bin(&bytes);
    bin.open(QIODevice::ReadOnly);
    bin.seek(3);
    b.SetWsadHEX("AABB");
    b.LoadBINfromStream(&bin);
    QCOMPARE(b.WsadBIN(), bytes); // every byte, from the first, unchanged
    QVERIFY(b.WsadHEX().isEmpty());

    QByteArray hex(":0100000011EE\r\n:00000001FF\r\n");
    QBuffer hb(&hex);
    hb.open(QIODevice::ReadOnly);
    b.LoadHEXfromStream(&hb);
    QCOMPARE(b.WsadHEX(), QByteArray("11"));
    QVERIFY(b.WsadBIN().isEmpty());

    QCOMPARE(TRvBootload::StreamToString(nullptr), QByteArray());
    QCOMPARE(TRvBootload::StreamToString(&bin), bytes);
}

void TstBootloadImages::ownerHeader_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("own");
    QTest::newRow("empty: defaults")
        << QString() << QStringList{u"i"_s, u"&"_s, u"*"_s, {}, {}} << false;
    QTest::newRow("firmware page")
        << u"!,*,&,128,0x7C00,"_s << QStringList{u"!"_s, u"*"_s, u"&"_s, u"128"_s, u"0x7C00"_s}
        << true;
    QTest::newRow("short header") << u"?, #"_s << QStringList{u"?"_s, u"#"_s, {}, {}, {}} << true;
}

void TstBootloadImages::ownerHeader()
{
    QFETCH(QString, header);
    QFETCH(QStringList, fields);
    QFETCH(bool, own);
    TRvBootload b;
    b.SetOwnerHeader(u"x,y,z,1,2"_s);
    b.SetOwnerHeader(header);
    const TBootHeader& h = b.Header();
    QCOMPARE((QStringList{h.hinfo, h.hstart, h.hstop, h.hpage, h.hadr}), fields);
    QCOMPARE(h.bOwnHeader, own);
    QCOMPARE(b.GetOwnerHeader(), header);
}

void TstBootloadImages::wifiGuardsRefuseActions()
{
    TRvBootload b;
    BootRecorder rec(b);
    b.UseVORIN_WIFI = true;
    b.CheckBLS();
    QCOMPARE(rec.events, QStringList{u"status -200 WiFi not connected"_s});

    // The module answered: the connection is up and the address is guarded.
    b.SetRemoteIP(u"10.0.0.7"_s);
    b.UseVORIN_WIFI = false;
    b.Notices()->Post(BootNotice::WiFiCheck, QString(), 1);
    QTRY_VERIFY(b.WiFiActive());
    rec.events.clear();

    b.SetRemoteIP(u"10.0.0.9"_s);
    QCOMPARE(b.RemoteIP(), u"10.0.0.7"_s);
    b.UploadBIN();
    QCOMPARE(
        rec.events,
        QStringList{u"status -200 Can't change IP address or port while WiFi is connected!"_s});
    QVERIFY(!b.Busy());
    QCOMPARE(b.Action(), _none);

    // The same value clears the guard; the port has a guard of its own.
    b.SetRemoteIP(u"10.0.0.7"_s);
    b.SetRemotePort(u"8899"_s);
    rec.events.clear();
    b.CheckBLS();
    QCOMPARE(rec.events.size(), 1);
    QVERIFY(rec.events.first().startsWith(u"status -200 Can't change"_s));
}

void TstBootloadImages::progressIsCapped()
{
    TRvBootload b;
    BootRecorder rec(b);
    b.Notices()->Post(BootNotice::Progress, u"00 m 01 s 000 ms"_s, 150);
    b.Notices()->Post(BootNotice::Progress, u"00 m 01 s 000 ms"_s, 42);
    QTRY_COMPARE(rec.events, (QStringList{u"progress 100"_s, u"progress 42"_s}));
    QCOMPARE(TUploadThread::ElapsedText(3'600'000 + 65'042), u"01 m 05 s 042 ms"_s);
}

QTEST_GUILESS_MAIN(TstBootloadImages)
#include "tst_bootload_images.moc"
