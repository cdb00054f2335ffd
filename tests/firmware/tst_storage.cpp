#include "bootload/TIntelHex.h"
#include "firmware/TmxStorage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <zip.h>

using namespace Qt::StringLiterals;

class TstStorage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void namesIgnoreCase();
    void readsInflateOnce();
    void carriedFilesHaveTheirShape();
    void saveReplacesLongerFile();
    void damagedBlocksFail_data();
    void damagedBlocksFail();
};

void TstStorage::namesIgnoreCase()
{
    TmxStorage store;
    QCOMPARE(store.Count(), 3);
    TmxStoredItem* hex = store.ItemByName(u"bootloader.HEX"_s);
    QVERIFY(hex);
    QCOMPARE(hex->Name, u"Bootloader.hex"_s);
    QCOMPARE(hex->FileName, hex->Name);
    QVERIFY(store.ItemByName(u"QLS-WAV.BIN"_s));
    QVERIFY(!store.ItemByName(u"QLS-WAV"_s));
}

void TstStorage::readsInflateOnce()
{
    TmxStorage store;
    TmxStoredItem* fw = store.ItemByName(u"QLS-WAV.bin"_s);
    QVERIFY(!fw->Inflated());
    auto first = fw->GetAsStream();
    QVERIFY(first);
    QVERIFY(fw->Inflated());
    const QByteArray a = first->readAll();
    auto second = fw->GetAsStream();
    QCOMPARE(second->pos(), 0);
    QCOMPARE(second->readAll(), a);
    QCOMPARE(a.size(), fw->FileSize);
    QCOMPARE(fw->Ratio, QString::number(100.0 * fw->StoredSize / fw->FileSize, 'f', 6) + u'%');
}

void TstStorage::carriedFilesHaveTheirShape()
{
    TmxStorage store;
    const QByteArray fw = store.ItemByName(u"QLS-WAV.bin"_s)->GetAsStream()->readAll();
    QVERIFY(fw.contains("0x55AA5510"));

    const QByteArray hex = store.ItemByName(u"Bootloader.hex"_s)->GetAsStream()->readAll();
    int total = 0;
    const QByteArray bytes = TIntelHex::DigitsToBytes(TIntelHex::Parse(hex, &total));
    QCOMPARE(total, 1);
    QCOMPARE(bytes.size(), 512); // 0x7E00..0x7FFF
    QVERIFY(hex.startsWith(":107E0000"));
    QVERIFY(bytes.contains("*64,0x7C00,atmega328p,24000000,1&"));

    // The archive unpacks to the launcher (executable) and its configuration.
    QTemporaryDir dir;
    const QString zipPath = dir.filePath(u"avrdude.zip"_s);
    QVERIFY(store.ItemByName(u"avrdude.zip"_s)->SaveToFile(zipPath));
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(zipPath).constData(), ZIP_RDONLY, &err);
    QVERIFY(z);
    QCOMPARE(zip_get_num_entries(z, 0), 2);
    zip_uint8_t os = 0;
    zip_uint32_t attr = 0;
    const zip_int64_t launcher = zip_name_locate(z, "avrdude", 0);
    QVERIFY(launcher >= 0);
    QVERIFY(zip_file_get_external_attributes(z, launcher, 0, &os, &attr) == 0);
    QVERIFY(((attr >> 16) & 0111) != 0);
    const zip_int64_t conf = zip_name_locate(z, "avrdude.conf", 0);
    QVERIFY(conf >= 0);
    zip_stat_t st;
    zip_stat_index(z, conf, 0, &st);
    QByteArray text(static_cast<qsizetype>(st.size), '\0');
    zip_file_t* f = zip_fopen_index(z, conf, 0);
    QCOMPARE(zip_fread(f, text.data(), st.size), static_cast<zip_int64_t>(st.size));
    zip_fclose(f);
    zip_close(z);
    QVERIFY(text.contains("parent \"ft232r\""));
    QVERIFY(text.contains("\"QLS-FT232R\""));
    for (const char* pin : {"sdi   = 3;", "sck   = 5;", "sdo   = 6;", "reset = 7;"})
        QVERIFY2(text.contains(pin), pin);
}

void TstStorage::saveReplacesLongerFile()
{
    TmxStorage store;
    TmxStoredItem* zip = store.ItemByName(u"avrdude.zip"_s);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"avrdude.zip"_s);
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(zip->FileSize * 3, 'z'));
    old.close();
    QVERIFY(zip->SaveToFile(path));
    QFile back(path);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), zip->GetAsStream()->readAll());

    QVERIFY(!zip->SaveToFile(dir.filePath(u"no/such/folder/x.zip"_s)));
    QVERIFY(zip->LastError().startsWith(u"Cannot create"_s));
}

void TstStorage::damagedBlocksFail_data()
{
    QTest::addColumn<QByteArray>("block");
    const QByteArray good = TmxStoredItem::Pack("some file bytes, some file bytes");
    QByteArray flipped = good;
    flipped[8] = static_cast<char>(flipped[8] ^ 0x5A);
    QTest::newRow("flipped byte") << flipped;
    QTest::newRow("cut short") << good.left(good.size() - 6);
    QTest::newRow("length beyond the block") << QByteArray("\xFF\x00\x00\x00\x78\x9C", 6);
    QTest::newRow("not zlib") << QByteArray("\x04\x00\x00\x00"
                                            "abcd",
                                            8);
}

void TstStorage::damagedBlocksFail()
{
    QFETCH(QByteArray, block);
    TmxStoredItem item(u"x.bin"_s, block, true, 32);
    QVERIFY(!item.GetAsStream());
    QVERIFY(item.LastError().contains(u"decompression error"_s));
    QTemporaryDir dir;
    QVERIFY(!item.SaveToFile(dir.filePath(u"x.bin"_s)));

    // The packing the build uses reads back exactly.
    TmxStoredItem good(u"y.bin"_s, TmxStoredItem::Pack("abc"), true, 3);
    QCOMPARE(good.GetAsStream()->readAll(), QByteArray("abc"));
}

QTEST_GUILESS_MAIN(TstStorage)
#include "tst_storage.moc"
