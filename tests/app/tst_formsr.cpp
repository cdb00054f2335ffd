#include "app/GuiUtils.h"
#include "app/TRvFormSR.h"
#include "app/TRvRegStore.h"

#include <QCheckBox>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <QWidget>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
struct Window
{
    std::unique_ptr<QWidget> w = std::make_unique<QWidget>();
    TRvFormSR* sr;
    explicit Window(const QString& name = u"Form1"_s)
    {
        w->setObjectName(name);
        w->resize(467, 366);
        sr = new TRvFormSR(w.get());
        sr->Loaded();
    }
};
} // namespace

class TestFormSR : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void firstRunCentred();
    void placementRoundTrip();
    void maximizedReopensMaximized();
    void minimizedReopensNormal();
    void restoreOnlyPosition();
    void badValueFallsBackAlone();
    void refusedCloseSavesNothing();
    void iniFileNameRules();
    void checkedSilently();
    void findTreeNode();
};

void TestFormSR::init()
{
    QFile::remove(TRvRegStore::StoreFilePath());
}

void TestFormSR::firstRunCentred()
{
    Window win;
    win.w->show();
    const QRect sg = win.w->screen()->geometry();
    QCOMPARE(win.w->size(), QSize(467, 366));
    QCOMPARE(win.w->pos(), QPoint((sg.width() - 467) / 2, (sg.height() - 366) / 2));
}

void TestFormSR::placementRoundTrip()
{
    {
        Window win;
        win.w->show();
        win.w->resize(500, 400);
        win.w->move(40, 50);
        QVERIFY(win.w->close());
    }
    const QString key = TRvRegStore(TRvRegStore::ApplicationName()).MainKey() + u"/Form1/"_s;
    QString v;
    QVERIFY(TRvRegStore::ReadText(key + u"Width"_s, v));
    QCOMPARE(v, u"500"_s);
    QVERIFY(TRvRegStore::ReadText(key + u"maximized"_s, v));
    QCOMPARE(v, u"0"_s);
    Window again;
    again.w->show();
    QCOMPARE(again.w->size(), QSize(500, 400));
    QCOMPARE(again.w->pos(), QPoint(40, 50));
}

void TestFormSR::maximizedReopensMaximized()
{
    {
        Window win;
        win.w->show();
        win.w->resize(500, 400);
        win.w->move(40, 50);
        win.w->setWindowState(Qt::WindowMaximized);
        QVERIFY(win.w->close());
    }
    const QString key = TRvRegStore(TRvRegStore::ApplicationName()).MainKey() + u"/Form1/"_s;
    TRvRegStore::WriteText(key + u"Width"_s, u"123"_s);
    Window again;
    again.w->show();
    QVERIFY(again.w->windowState().testFlag(Qt::WindowMaximized));
    QVERIFY(again.w->width() != 123);
}

void TestFormSR::minimizedReopensNormal()
{
    {
        Window win;
        win.w->show();
        win.w->resize(480, 380);
        win.w->move(60, 70);
        win.w->setWindowState(Qt::WindowMinimized);
        QVERIFY(win.w->close());
    }
    QString v;
    const QString key = TRvRegStore(TRvRegStore::ApplicationName()).MainKey() + u"/Form1/"_s;
    QVERIFY(TRvRegStore::ReadText(key + u"maximized"_s, v));
    QCOMPARE(v, u"1"_s);
    Window again;
    again.w->show();
    QVERIFY(!again.w->windowState().testFlag(Qt::WindowMinimized));
    QCOMPARE(again.w->geometry().size(), QSize(480, 380));
}

void TestFormSR::restoreOnlyPosition()
{
    {
        Window win;
        win.w->show();
        win.w->resize(600, 500);
        win.w->move(40, 50);
        win.w->close();
    }
    Window again;
    again.sr->RestoreOnlyPosition = true;
    again.w->show();
    QCOMPARE(again.w->size(), QSize(467, 366));
    QCOMPARE(again.w->pos(), QPoint(40, 50));
}

void TestFormSR::badValueFallsBackAlone()
{
    const QString key = TRvRegStore(TRvRegStore::ApplicationName()).MainKey() + u"/Form1/"_s;
    TRvRegStore::WriteText(key + u"Width"_s, u"abc"_s);
    TRvRegStore::WriteText(key + u"Height"_s, u"300"_s);
    TRvRegStore::WriteText(key + u"Left"_s, u"15"_s);
    Window win;
    win.w->show();
    QCOMPARE(win.w->width(), 467);
    QCOMPARE(win.w->height(), 300);
    QCOMPARE(win.w->x(), 15);
    QCOMPARE(win.w->y(), (win.w->screen()->geometry().height() - 300) / 2);
}

// A window that refuses to close keeps no placement from that close.
class Stubborn : public QWidget
{
protected:
    void closeEvent(QCloseEvent* e) override { e->ignore(); }
};

void TestFormSR::refusedCloseSavesNothing()
{
    Stubborn w;
    w.setObjectName(u"Form1"_s);
    auto* sr = new TRvFormSR(&w);
    sr->Loaded();
    w.show();
    QVERIFY(!w.close());
    QString v;
    QVERIFY(!TRvRegStore::ReadText(sr->WindowKey() + u"/Width"_s, v));
}

void TestFormSR::iniFileNameRules()
{
    Window win;
    QVERIFY(win.sr->IniFileName().endsWith(u"tst_formsr.ini"_s));
    QCOMPARE(win.sr->TypeIniName(), TApplicationIniName::asAppIniName);
    win.sr->SetIniFileName(u" my.ini"_s);
    QCOMPARE(win.sr->TypeIniName(), TApplicationIniName::asCustom);
    QCOMPARE(win.sr->IniFileName(), u" my.ini"_s);
    QVERIFY(win.sr->WindowKey().endsWith(u"/Form1_ my.ini"_s));
    win.sr->SetTypeIniName(TApplicationIniName::asAppIniName);
    QVERIFY(win.sr->IniFileName().endsWith(u".ini"_s));
    QCOMPARE(win.sr->Version(), u"1.2"_s);
}

void TestFormSR::checkedSilently()
{
    QCheckBox box;
    int handled = 0;
    connect(&box, &QCheckBox::toggled, this, [&] { ++handled; });
    SetCheckedSilently(&box, true);
    QVERIFY(box.isChecked());
    QCOMPARE(handled, 0);
}

void TestFormSR::findTreeNode()
{
    QTreeWidget tree;
    QVERIFY(!FindTreeNode(&tree, u"x"_s, true, true));
    auto* music = new QTreeWidgetItem(&tree, {u"Music"_s});
    auto* inner = new QTreeWidgetItem(music, {u" żółw.wav "_s});
    new QTreeWidgetItem(&tree, {u"a.txt"_s});
    QVERIFY(FindTreeNode(&tree, u"ŻÓŁW.WAV"_s, true, false));
    QCOMPARE(tree.currentItem(), inner);
    QVERIFY(music->isExpanded());
    QVERIFY(!FindTreeNode(&tree, u"none"_s, false, false));
    QCOMPARE(tree.currentItem(), music);
}

QTEST_MAIN(TestFormSR)
#include "tst_formsr.moc"
