#pragma once

#include <QString>
#include <cstdint>

// The actions of the bootloader component, in their fixed order.
enum TMBaction : std::uint8_t
{
    _none = 0,
    _check_bls = 1,
    _upload = 2,
    _wifi_list = 3
};

// What the BLS reports about itself.
struct TBLSINFO
{
    qint32 PageSize = 0;
    QString Microcontroller;
    QString F_CPU;
    QString BLSAddress;
    QString BLSVer;
};

// One WiFi serial module found by a search.
struct TWIFIitem
{
    QString IP;
    QString Port;
    QString UDP_TCP;
    QString cln_srv;
    QString Baudrate;
    QString Name;
};

// The header fields a worker and the component cut from the owner header.
struct TBootHeader
{
    QString hinfo = QStringLiteral("i");
    QString hstart = QStringLiteral("&");
    QString hstop = QStringLiteral("*");
    QString hpage;
    QString hadr;
    bool bOwnHeader = false;

    // Defaults for an empty header; otherwise five fields cut at ",".
    static TBootHeader Parse(const QString& header);
};

// Notice codes from the bootloader worker to its component.
namespace BootNotice {
constexpr int Progress = 1125;
constexpr int InfoBLS = 1126;
constexpr int Status = 1127;
constexpr int UploadOK = 1128;
constexpr int UploadStart = 1129;
constexpr int Finished = 1130;
constexpr int WiFiList = 1131;
constexpr int WiFiCheck = 1132;
constexpr int ActionStatus = 1133;
constexpr int Action = 1134;
} // namespace BootNotice
