#pragma once
// The operating-system side of the serial component: one open port device. One
// implementation per platform (ComDeviceLinux.cpp, ComDeviceWin32.cpp); the component and its
// monitoring thread see only this interface.
//
// Threads. The settings, Cancel and Purge are called on the user-interface thread; Read,
// InputCount and the monitoring calls on the monitoring thread as well (Read from the receive
// handler). Cancel may be called while another thread waits in Read, Write or WaitEvents.

#include "serial/ComPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace imconf {

// The line settings of one device-control block, as the component holds them.
struct ComLineSettings {
    std::uint32_t baud = 9600;
    TDataBits dataBits = TDataBits::dbEight;
    TStopBits stopBits = TStopBits::sbOneStopBit;
    TComParity parity;
    TComFlowControl flow;
    bool discardNull = false;
    char eventChar = 0;
    int inputSize = 1024;  // the XON and XOFF limits are a quarter of it
};

// Operating-system error numbers the component itself reports.
struct ComOsErrors {
    int aborted;  // a request ended by Close
    int notOpen;  // a request on a port that is not open
};
const ComOsErrors& ComOsError();

class ComDevice {
public:
    virtual ~ComDevice() = default;

    // Buffer sizes (code 9), line settings (code 7), time-outs (code 8).
    virtual void SetBuffers(const TComBuffer& buffer) = 0;
    virtual void SetLine(const ComLineSettings& line) = 0;
    virtual void SetTimeouts(const TComTimeouts& timeouts) = 0;

    virtual int Read(void* buffer, int count) = 0;         // code 3
    virtual int Write(const void* buffer, int count) = 0;  // code 2
    virtual int InputCount() = 0;                          // code 10

    // Aborts every read and write in progress and makes every later one fail. Returns 0, or
    // the operating-system error number when the abort could not be given (code 5).
    virtual int Cancel() = 0;
    // Discards the device's queues; errors are ignored (a vanished device has nothing left).
    virtual void Purge() = 0;
    // After Cancel and the end of the monitoring thread, on a device the component keeps open
    // between two uses: makes reads, writes and monitoring work again. Returns 0, or an
    // error number when the device can no longer be used (it has vanished).
    virtual int Resume() = 0;

    // Monitoring thread. StartMonitoring sets the event mask; WaitEvents blocks until line
    // events of the mask come and returns them (never 0), or returns 0 when the stop signal
    // was given or the wait itself failed; EndMonitoring clears the mask and discards the
    // queues. StopMonitoring gives the stop signal, from any thread.
    virtual void StartMonitoring(TComEvents mask) = 0;
    virtual TComEvents WaitEvents() = 0;
    virtual void EndMonitoring() = 0;
    virtual void StopMonitoring() = 0;
    // InputCount for the monitoring thread: 0 instead of an error.
    virtual int InputCountNoThrow() = 0;

    // Any thread. A device that connects (a network port) makes its connection on the
    // monitoring thread, so that Open never waits for the network.
    virtual ComLinkState LinkState() const { return ComLinkState::Ready; }
};

// Opens the port called `name` exclusively for reading and writing; code 1 when it cannot be
// opened (missing, in use, not a serial device). On Linux a bare name means /dev/<name> (or a
// port a program announced under that name) and a name with '/' is a path; on Windows the
// device is \\.\<name>. A network port name ("tcp://HOST:PORT", serial/NetworkPortName.h)
// gives a network device on every platform; a malformed one raises code 1.
std::unique_ptr<ComDevice> OpenComDevice(const std::string& name);

// The network device for a name in the network port's form (code 1 when it is malformed):
// it connects on its monitoring thread, giving up after `connectLimitMs`.
inline constexpr int kNetworkConnectLimitMs = 3000;
std::unique_ptr<ComDevice> OpenNetworkDevice(const std::string& name,
                                             int connectLimitMs = kNetworkConnectLimitMs);

}  // namespace imconf
