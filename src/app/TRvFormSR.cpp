#include "app/TRvFormSR.h"

#include "app/TWindowHook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QScreen>
#include <QSettings>
#include <QWidget>

using namespace Qt::StringLiterals;

TRvFormSR::TRvFormSR(QWidget* owner)
    : QObject(owner), FMaster(owner), FStore(TRvRegStore::ApplicationName())
{
    // Stored directly: the setter's rule is for names chosen later.
    FIniFileName = AppIniPlaceholder();
}

TRvFormSR::~TRvFormSR()
{
    // As a child of its window this runs while the window is still whole.
    if (FHook && FMaster)
        SavePos();
    delete FHook;
}

void TRvFormSR::Loaded()
{
    if (!FMaster || FHook)
        return;
    FHook = new TWindowHook(FMaster);
    FHook->OnShow = [this] { RestorePos(); };
    FHook->OnCloseQuery = [this](bool canClose) {
        if (canClose)
            SavePos();
        return canClose;
    };
    SetIniFileName(FIniFileName);
    FIni = std::make_unique<QSettings>(FIniFileName, QSettings::IniFormat);
}

void TRvFormSR::SetIniFileName(const QString& value)
{
    if (value.trimmed() != AppIniPlaceholder())
        FTypeIniName = TApplicationIniName::asCustom;
    if (FTypeIniName == TApplicationIniName::asCustom) {
        FIniFileName = value;
    } else {
        const QFileInfo exe(QCoreApplication::applicationFilePath());
        FIniFileName = exe.absolutePath() + u'/' + exe.completeBaseName() + u".ini"_s;
    }
}

void TRvFormSR::SetTypeIniName(TApplicationIniName value)
{
    FTypeIniName = value;
    if (value == TApplicationIniName::asAppIniName)
        SetIniFileName(AppIniPlaceholder());
}

QString TRvFormSR::WindowKey() const
{
    QString key = FStore.MainKey() + u'/' + (FMaster ? FMaster->objectName() : QString());
    if (FTypeIniName == TApplicationIniName::asCustom)
        key += u'_' + FIniFileName;
    return key;
}

void TRvFormSR::SavePos()
{
    if (!FMaster)
        return;
    const QRect r(FMaster->pos(), FMaster->size());
    if (UseRegistry) {
        const QString key = WindowKey();
        const Qt::WindowStates st = FMaster->windowState();
        const int state = st.testFlag(Qt::WindowMaximized)   ? 2
                          : st.testFlag(Qt::WindowMinimized) ? 1
                                                             : 0;
        TRvRegStore::WriteText(key + u"/maximized"_s, QString::number(state));
        TRvRegStore::WriteText(key + u"/Width"_s, QString::number(r.width()));
        TRvRegStore::WriteText(key + u"/Height"_s, QString::number(r.height()));
        TRvRegStore::WriteText(key + u"/Top"_s, QString::number(r.y()));
        TRvRegStore::WriteText(key + u"/Left"_s, QString::number(r.x()));
    } else if (FIni) {
        const QString section = FMaster->objectName() + u'/';
        FIni->setValue(section + u"Top"_s, r.y());
        FIni->setValue(section + u"Left"_s, r.x());
        FIni->setValue(section + u"Width"_s, r.width());
        FIni->setValue(section + u"Height"_s, r.height());
        FIni->sync();
    }
}

int TRvFormSR::readPlacement(const QString& name, int defaultValue) const
{
    QString text;
    bool ok = false;
    int value = 0;
    if (UseRegistry) {
        if (TRvRegStore::ReadText(WindowKey() + u'/' + name, text))
            value = text.trimmed().toInt(&ok);
    } else if (FIni) {
        const QVariant v = FIni->value(FMaster->objectName() + u'/' + name);
        if (v.isValid())
            value = v.toString().trimmed().toInt(&ok);
    }
    return ok ? value : defaultValue;
}

void TRvFormSR::RestorePos()
{
    if (!FMaster)
        return;
    if (UseRegistry && readPlacement(u"maximized"_s, 0) == 2) {
        FMaster->setWindowState(FMaster->windowState() | Qt::WindowMaximized);
        return;
    }
    if (!RestoreOnlyPosition) {
        const int w = readPlacement(u"Width"_s, FMaster->width());
        const int h = readPlacement(u"Height"_s, FMaster->height());
        FMaster->resize(w, h);
    }
    const QScreen* screen = FMaster->screen();
    const QRect sg = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const int top = readPlacement(u"Top"_s, (sg.height() - FMaster->height()) / 2);
    const int left = readPlacement(u"Left"_s, (sg.width() - FMaster->width()) / 2);
    FMaster->move(left, top);
}
