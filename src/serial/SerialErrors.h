#pragma once

#include <QString>

// Error numbers of the serial port object: the conditions below keep these
// codes, which texts and callers rely on; anything else is an errno.
namespace SerialError {
constexpr int AlreadyOwned = 9991;
constexpr int AlreadyInUse = 9992;
constexpr int WrongParameter = 9993;
constexpr int PortNotOpen = 9994;
constexpr int NoDeviceAnswer = 9995;
constexpr int MaxBuffer = 9996;
constexpr int Timeout = 9997;
constexpr int NotRead = 9998;
constexpr int Frame = 9999;
constexpr int Overrun = 10000;
constexpr int RxOver = 10001;
constexpr int RxParity = 10002;
constexpr int TxFull = 10003;

// "ErrTimeout" for 9997; empty outside 9991..10003.
QString Name(int code);
} // namespace SerialError
