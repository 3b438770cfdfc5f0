#pragma once
// The serial component's plain types: speeds, line settings, time-outs, queue sizes, line
// events and the component's error, without the component and its threads.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace imconf {

enum class TBaudRate : std::uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
// Bits per second of a baud rate value; brCustom gives `custom`; a value outside the
// enumeration gives 0.
std::uint32_t BaudRateToInt(TBaudRate rate, std::uint32_t custom = 9600);

enum class TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

// Check enables the input parity check of the device; Replace and ReplaceChar (the character
// put in place of a byte with a parity error) are taken by Windows only, Linux ignores them.
struct TComParity {
    TParityBits Bits = TParityBits::prNone;
    bool Check = false;
    bool Replace = false;
    char ReplaceChar = 0;
};

// On Windows every field goes into the device-control block as it is. On Linux: OutCTSFlow or
// rtsHandshake select hardware (RTS/CTS) flow control, dtrEnable and rtsEnable raise the line,
// XonXoffOut / XonXoffIn select software flow control with XonChar and XoffChar; OutDSRFlow,
// dtrHandshake, rtsToggle, DSRSensitivity and TxContinueOnXoff have no equivalent there and
// are ignored.
struct TComFlowControl {
    bool OutCTSFlow = false;
    bool OutDSRFlow = false;
    TDTRFlowControl ControlDTR = TDTRFlowControl::dtrDisable;
    TRTSFlowControl ControlRTS = TRTSFlowControl::rtsDisable;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool DSRSensitivity = false;
    bool TxContinueOnXoff = false;
    char XonChar = 0x11;
    char XoffChar = 0x13;
};

// Milliseconds. On Windows the driver times reads and writes with these values (a ReadInterval
// of -1 there returns at once, also with no byte). On Linux the component times them itself:
// - a read ends when its count has arrived; ReadInterval > 0 also ends it that long after the
//   last byte once at least one byte came; ReadInterval -1 ends it as soon as at least one byte
//   is there (whatever is there is returned); ReadInterval 0 sets no inter-byte limit;
//   ReadTotalMultiplier x count + ReadTotalConstant, when above 0, limits the whole read
//   (which then may return 0). Without a total limit a read waits for its first byte until it
//   comes or Close aborts it.
// - a write that has not handed all its bytes to the device within
//   WriteTotalMultiplier x count + WriteTotalConstant (no limit when that is 0) fails (on
//   both platforms).
// Negative values (ReadInterval below -1) are refused by Open with code 8.
struct TComTimeouts {
    int ReadInterval = -1;
    int ReadTotalMultiplier = 0;
    int ReadTotalConstant = 0;
    int WriteTotalMultiplier = 100;
    int WriteTotalConstant = 1000;
};

// The driver's queue sizes on Windows. On Linux InputSize bounds the component's own input
// queue (bytes that came while nobody read them; further bytes are dropped, as by a full
// driver queue) and OutputSize has no device call. Sizes of 0 or less are refused by Open
// with code 9.
struct TComBuffer {
    int InputSize = 1024;
    int OutputSize = 1024;
};

enum TComEvent : std::uint16_t {
    evRxChar = 1 << 0,
    evTxEmpty = 1 << 1,
    evRxFlag = 1 << 2,
    evRing = 1 << 3,
    evBreak = 1 << 4,
    evCTS = 1 << 5,
    evDSR = 1 << 6,
    evError = 1 << 7,
    evRLSD = 1 << 8,
    evRx80Full = 1 << 9
};
using TComEvents = std::uint16_t;
constexpr TComEvents kAllComEvents = 0x03FF;

// Whether an open port can carry a request. A port that must first connect (a network port)
// is Connecting after Open until its connection is made (Ready) or cannot be made (Failed);
// a connection lost later is Failed too. A serial port is Ready while it is open.
enum class ComLinkState : std::uint8_t { Ready, Connecting, Failed };

// Error of the serial component. Code and operating-system error number (GetLastError on
// Windows, errno on Linux);
// the message is the code's text followed by " (win error code: N)".
class EComPort : public std::runtime_error {
public:
    EComPort(int code, int osError);
    // `detail`: who holds the port, when that is known (a lock file and its process id);
    // for people, not part of the message.
    EComPort(int code, int osError, std::string detail);
    int Code() const { return code_; }
    int WinCode() const { return osError_; }
    const std::string& Detail() const { return detail_; }

    static const char* CodeText(int code);

private:
    int code_;
    int osError_;
    std::string detail_;
};

namespace comerr {
constexpr int Open = 1;
constexpr int WriteFile = 2;
constexpr int ReadFile = 3;
constexpr int PurgeComm = 5;
constexpr int SetCommState = 7;
constexpr int SetCommTimeouts = 8;
constexpr int SetupComm = 9;
constexpr int ClearCommError = 10;
}  // namespace comerr

}  // namespace imconf
