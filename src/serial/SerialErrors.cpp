#include "serial/SerialErrors.h"

#include <array>

QString SerialError::Name(int code)
{
    static const std::array<const char*, 13> names = {
        "ErrAlreadyOwned",   "ErrAlreadyInUse", "ErrWrongParameter", "ErrPortNotOpen",
        "ErrNoDeviceAnswer", "ErrMaxBuffer",    "ErrTimeout",        "ErrNotRead",
        "ErrFrame",          "ErrOverrun",      "ErrRxOver",         "ErrRxParity",
        "ErrTxFull"};
    if (code < AlreadyOwned || code > TxFull)
        return QString();
    return QString::fromLatin1(names[static_cast<size_t>(code - AlreadyOwned)]);
}
