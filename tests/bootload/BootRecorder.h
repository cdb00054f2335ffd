#pragma once

#include "bootload/TRvBootload.h"

#include <QStringList>

// Records the events of a bootloader component in the order they came.
struct BootRecorder
{
    QStringList events;
    QList<TBLSINFO> infos;
    int ends = 0;
    TMBaction endAction = _none;
    int endStatus = 99;
    QString lastText;
    int lastCode = 0;

    explicit BootRecorder(TRvBootload& b)
    {
        b.OnStatus = [this](const QString& text, int code) {
            events << QStringLiteral("status %1 %2").arg(code).arg(text);
            lastText = text;
            lastCode = code;
        };
        b.OnInfoBLS = [this](const TBLSINFO& info, TMBaction, bool&) {
            events << QStringLiteral("info");
            infos << info;
        };
        b.OnUploadStart = [this](int size) { events << QStringLiteral("start %1").arg(size); };
        b.OnUploadProgress = [this](const QString&, int p) {
            events << QStringLiteral("progress %1").arg(p);
        };
        b.OnUploadOK = [this] { events << QStringLiteral("ok"); };
        b.OnActionEnd = [this](TMBaction a, int s) {
            events << QStringLiteral("end %1 %2").arg(int(a)).arg(s);
            ++ends;
            endAction = a;
            endStatus = s;
        };
    }
};
