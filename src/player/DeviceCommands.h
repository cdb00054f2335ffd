#pragma once

#include <QString>

// The command texts of the board's application firmware. The serial link adds
// the final CR; a "\r" here is one of the command's own.
namespace DeviceCmd {
inline QString PlayOn()
{
    return QStringLiteral("AT+PLON");
}
inline QString PlayOff()
{
    return QStringLiteral("AT+PLOFF");
}
inline QString Next()
{
    return QStringLiteral("AT+NEXT");
}
inline QString Volume(int position)
{
    return QStringLiteral("AT+VOL=") + QString::number(position);
}
inline QString FadeVolume(bool on)
{
    return QStringLiteral("AT+FADEVOL=") + (on ? QStringLiteral("1") : QStringLiteral("0")) +
           QStringLiteral("\r");
}
inline QString Mute(bool on)
{
    return QStringLiteral("AT+MUTE=") + (on ? QStringLiteral("1") : QStringLiteral("0"));
}
inline QString GetConfig()
{
    return QStringLiteral("AT+GCFG=?");
}
// folder: empty for the root, else "/" + folder name.
inline QString Play(int volume, const QString& folder, const QString& file)
{
    return QStringLiteral("AT+PLAY=") + QString::number(volume) + QStringLiteral(",") + folder +
           QStringLiteral(",") + file;
}
inline QString RxBinStop()
{
    return QStringLiteral("AT+RXBINSTOP\r");
}
} // namespace DeviceCmd
