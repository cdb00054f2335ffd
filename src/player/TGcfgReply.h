#pragma once

#include <QString>

// The board's player configuration as read from a "+GCFG:" line.
struct TGcfgReply
{
    int volume = 0;
    QString fadeField; // as given; "0" when automatic fading is off
    bool autoFade = false;
    int fadeVolume = 0;
    bool mute = false;
    bool playing = false;
    QString title; // empty unless playing

    // S is the line with its white space already removed. Missing fields read
    // as empty texts.
    static TGcfgReply Parse(const QString& S);
};
