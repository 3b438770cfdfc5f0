#pragma once
// The settings of the Windows side of the serial component as the communications functions
// take them (kept apart for tests; the device itself lives in ComDeviceWin32.cpp).

#include "serial/ComDevice.h"

#include <windows.h>

namespace imconf::win32 {

// The device-control block of `line`: binary mode, every flag not set by the settings off,
// XON and XOFF limits a quarter of the input buffer. Raises code 7 for a value outside its
// enumeration.
DCB MakeDcb(const ComLineSettings& line);

// The driver's time-outs; -1 is MAXDWORD. False for other negative values.
bool MakeTimeouts(const TComTimeouts& timeouts, COMMTIMEOUTS& out);

// Line events of the component and of the communications functions.
DWORD ToWindowsMask(TComEvents events);
TComEvents FromWindowsMask(DWORD mask);

}  // namespace imconf::win32
