#include "app/Utils.h"
#include "sdexplorer/TSdListing.h"
#include "sdexplorer/TSdTree.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_SdTree : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void entryParts_data();
    void entryParts();
    void folderFirstAndCollapsed();
    void rootOnlyExpands();
    void folderFoundAgainIgnoringCase();
    void localeOrderWithoutCase();
    void listingLines();
};

void tst_SdTree::entryParts_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("root") << u"/A.WAV,1000"_s << QString() << u"A.WAV"_s << qint64(1000)
                          << u"A.WAV  (1 000 bytes )"_s;
    QTest::newRow("folder") << u"/MUSIC/B.WAV,1048576"_s << u"MUSIC"_s << u"B.WAV"_s
                            << qint64(1048576) << u"B.WAV  ( 1.00 MB )"_s;
    QTest::newRow("no leading slash")
        << u"MUSIC/B.WAV,1"_s << u"MUSIC"_s << u"B.WAV"_s << qint64(1) << u"B.WAV  ( 1 bytes )"_s;
    QTest::newRow("nested") << u"/A/B/C.TXT,5"_s << u"A\\B"_s << u"C.TXT"_s << qint64(5)
                            << u"C.TXT  ( 5 bytes )"_s;
    QTest::newRow("no comma") << u"/NOTE"_s << QString() << u"NOTE"_s << qint64(-1)
                              << u"NOTE  ()"_s;
    QTest::newRow("size not a number")
        << u"/X.WAV,abc"_s << QString() << u"X.WAV"_s << qint64(-1) << u"X.WAV  ()"_s;
    QTest::newRow("double slash") << u"//X.WAV,1"_s << QString() << u"X.WAV"_s << qint64(1)
                                  << u"X.WAV  ( 1 bytes )"_s;
}

void tst_SdTree::entryParts()
{
    QFETCH(QString, entry);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, text);
    const TSdEntry e = TSdTree::ParseEntry(entry);
    QCOMPARE(e.folder, folder);
    QCOMPARE(e.name, name);
    QCOMPARE(e.size, size);
    QCOMPARE(TSdTree::FileNodeText(e.name, e.size), text);
}

void tst_SdTree::folderFirstAndCollapsed()
{
    TSdTree tree;
    tree.Build({u"/A.WAV,1000"_s, u"/MUSIC/B.WAV,1048576"_s, u"/README.TXT,3"_s});
    QCOMPARE(tree.folders.size(), 1);
    QCOMPARE(tree.folders.at(0).text, u"MUSIC"_s);
    QCOMPARE(tree.folders.at(0).files.size(), 1);
    QCOMPARE(tree.folders.at(0).files.at(0).text, u"B.WAV  ( 1.00 MB )"_s);
    QCOMPARE(tree.folders.at(0).files.at(0).picture, SdPicture::WavFile);
    QCOMPARE(tree.rootFiles.size(), 2);
    QCOMPARE(tree.rootFiles.at(0).text, u"A.WAV  (1 000 bytes )"_s);
    QCOMPARE(tree.rootFiles.at(1).picture, SdPicture::File);
    QVERIFY(!tree.expandAll);
}

void tst_SdTree::rootOnlyExpands()
{
    TSdTree tree;
    tree.Build({u"/A.WAV,1"_s, u"/B.TXT,2"_s});
    QVERIFY(tree.expandAll);
    QCOMPARE(tree.FileCount(), 2);
    tree.Build({});
    QVERIFY(tree.expandAll);
    QCOMPARE(tree.FileCount(), 0);
}

void tst_SdTree::folderFoundAgainIgnoringCase()
{
    TSdTree tree;
    tree.Build({u"/X/1.WAV,1"_s, u"/Y/2.WAV,1"_s, u"/X/3.WAV,1"_s, u"/x/4.WAV,1"_s});
    QCOMPARE(tree.folders.size(), 2);
    QCOMPARE(tree.folders.at(0).text, u"X"_s);
    QCOMPARE(tree.folders.at(0).files.size(), 3);
    QCOMPARE(tree.folders.at(0).files.at(1).name, u"3.WAV"_s);
    QCOMPARE(tree.folders.at(1).files.size(), 1);
    QCOMPARE(tree.FindFolder(u" y "_s), 1);
    QCOMPARE(tree.FindFolder(u"Z"_s), -1);
    // The last lookup found X, which a tree search leaves selected.
    QCOMPARE(tree.selectedFolder, 0);
}

void tst_SdTree::localeOrderWithoutCase()
{
    TSdTree tree;
    tree.Build({u"/c.wav,1"_s, u"/B.WAV,1"_s, u"/a.wav,1"_s, u"/zeta/1.WAV,1"_s,
                u"/Alpha/1.WAV,1"_s, u"/beta/1.WAV,1"_s});
    QStringList files, folders;
    for (const auto& f : tree.rootFiles)
        files << f.name;
    for (const auto& f : tree.folders)
        folders << f.text;
    QCOMPARE(files, (QStringList{u"a.wav"_s, u"B.WAV"_s, u"c.wav"_s}));
    QCOMPARE(folders, (QStringList{u"Alpha"_s, u"beta"_s, u"zeta"_s}));
    QCOMPARE(tree.FindFolder(u"ZETA"_s), 2); // the index follows the sort
}

void tst_SdTree::listingLines()
{
    TSdListing listing;
    auto line = [&listing](const QByteArray& raw) {
        return listing.Collect(RemoveWhiteSpace(FromWire(raw)), raw);
    };
    QCOMPARE(line("+LIST: "), TSdListing::TLine::Skipped);
    QCOMPARE(line(" "), TSdListing::TLine::Skipped);
    QCOMPARE(line("/A B.WAV,10"), TSdListing::TLine::Collected);
    QCOMPARE(line("+PNAME:X.WAV"), TSdListing::TLine::Collected);
    // The end line must be exact; with a blank it is an entry like any other.
    QCOMPARE(line("+DIR_LIST_END: "), TSdListing::TLine::Collected);
    QCOMPARE(line("+DIR_LIST_END:"), TSdListing::TLine::End);
    QCOMPARE(listing.pending,
             (QStringList{u"/AB.WAV,10"_s, u"+PNAME:X.WAV"_s, u"+DIR_LIST_END:"_s}));
    QVERIFY(TSdListing::IsListStart(u"+LIST:"_s));
    QVERIFY(TSdListing::IsListError(u"+LIST_ERR:"_s));
}

QTEST_GUILESS_MAIN(tst_SdTree)
#include "tst_sdtree.moc"
