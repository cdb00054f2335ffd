#include "firmware/TWorkFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {
// A zip in memory with the given entries.
QByteArray makeZip(const QList<std::pair<const char*, QByteArray>>& entries)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(u"t.zip"_s));
    int err = 0;
    zip_t* z = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    for (const auto& [name, data] : entries) {
        zip_source_t* s = zip_source_buffer(z, data.constData(), zip_uint64_t(data.size()), 0);
        zip_file_add(z, name, s, ZIP_FL_OVERWRITE);
    }
    zip_close(z);
    QFile f(QString::fromLocal8Bit(path));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}
} // namespace

class TestWorkFolder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void privateFolder();
    void unpackRefusesEscapes();
    void carriedLauncherRuns();
};

void TestWorkFolder::privateFolder()
{
    const QString path = TWorkFolder::Path();
    QVERIFY(!path.isEmpty());
    QVERIFY(path != QDir::tempPath() + u'/');
    struct stat st
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
}

void TestWorkFolder::unpackRefusesEscapes()
{
    QTemporaryDir dir;
    QString why;
    QVERIFY(TWorkFolder::Unpack(makeZip({{"a.txt", "A"}, {"sub/b.txt", "B"}}), dir.path(), &why));
    QCOMPARE(QFileInfo(dir.filePath(u"sub/b.txt"_s)).size(), 1);
    QVERIFY(!TWorkFolder::Unpack(makeZip({{"../escape.txt", "X"}}), dir.path() + u"/sub"_s, &why));
    QVERIFY(why.contains(u"escape.txt"_s));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"escape.txt"_s)));
    QVERIFY(!TWorkFolder::Unpack("not a zip", dir.path(), &why));
}

void TestWorkFolder::carriedLauncherRuns()
{
    const QString tool = TWorkFolder::CarriedAvrDude();
    QVERIFY(QFileInfo(tool).isExecutable());
    QVERIFY(QFileInfo::exists(QFileInfo(tool).absolutePath() + u"/avrdude.conf"_s));
    // The launcher knows the board's own programmer definition.
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, {u"-c"_s, u"?"_s});
    QVERIFY(p.waitForFinished(20000));
    QVERIFY2(p.readAll().contains("QLS-FT232R"), "programmer list lacks QLS-FT232R");
    const QString hex = TWorkFolder::SaveCarried(u"bootloader.HEX"_s);
    QVERIFY(hex.endsWith(u"/Bootloader.hex"_s));
    QVERIFY(QFileInfo(hex).size() > 0);
}

QTEST_GUILESS_MAIN(TestWorkFolder)
#include "tst_workfolder.moc"
