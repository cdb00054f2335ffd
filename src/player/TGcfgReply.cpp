#include "player/TGcfgReply.h"

#include "app/Utils.h"

using namespace Qt::StringLiterals;

TGcfgReply TGcfgReply::Parse(const QString& S)
{
    TGcfgReply r;
    QString rest = S;
    CutField(rest, u":"_s);
    r.volume = CutField(rest, u","_s).toInt(); // 0 when not a number
    r.fadeField = CutField(rest, u","_s);
    r.autoFade = r.fadeField != u"0"_s;
    if (r.autoFade)
        r.fadeVolume = r.fadeField.toInt();
    r.mute = CutField(rest, u","_s) == u"1"_s;
    CutField(rest, u","_s);
    r.playing = CutField(rest, u","_s) == u"1"_s;
    if (r.playing)
        r.title = rest;
    return r;
}
