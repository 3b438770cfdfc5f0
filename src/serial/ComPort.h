#pragma once
// Serial port component: one port opened exclusively, raw 8N1 line settings, a blocking
// write with a time-out, a read that ends on count or on 150 ms of silence after a byte,
// and a monitoring thread that reports received characters.
//
// Threads. Open, Close, Write and the setters belong to the user-interface thread; Read and
// InputCount are also called on the monitoring thread, from the receive handler. Close may be
// called while another thread waits in Read or Write (that call then raises its error), and
// from inside the receive handler itself. The settings fields are read by Open (and by
// SetBaudRate while open); changing them while the port is open has no effect before the next
// open. OnRxChar must not be replaced while the port is open.

#include "serial/ComTypes.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace imconf {

class TCustomComPort;
class TComThread;

// Operating-system side of the component (one per platform).
class ComDevice;

class TCustomComPort {
public:
    using RxCharHandler = std::function<void(TCustomComPort& sender, int count)>;

    TCustomComPort();
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // Settings. Port: on Windows the device \\.\<name> (e.g. COM3). On Linux a name without
    // '/' names a device in /dev (or a port announced by a simulator when /dev has no such
    // name); a name with '/' is a path.
    const std::string& Port() const { return port_; }
    // The same name does nothing; a new name is stored and, if the port is open, the port is
    // closed and opened again under it (errors of that open propagate).
    void SetPort(const std::string& name);
    TBaudRate BaudRate() const { return baudRate_; }
    // An unchanged value does nothing; a new one is stored and, if the port is open, applied
    // at once (code 7 when the device does not take it), otherwise at the next open.
    void SetBaudRate(TBaudRate rate);
    std::uint32_t CustomBaudRate() const { return customBaudRate_; }
    // The speed of brCustom; applied at once when the port is open with brCustom.
    void SetCustomBaudRate(std::uint32_t bitsPerSecond);

    TDataBits DataBits = TDataBits::dbEight;
    TStopBits StopBits = TStopBits::sbOneStopBit;  // sbOne5StopBits: as two (1.5 with 5 bits)
    TComParity Parity;
    TComFlowControl FlowControl;
    TComTimeouts Timeouts;
    TComBuffer Buffer;
    // The line events the monitoring thread waits for. Only evRxChar is reported on Linux;
    // without it the monitoring thread reports nothing there.
    TComEvents Events = kAllComEvents;
    // Events are always delivered on the monitoring thread (smNone).
    TSyncMethod SyncMethod = TSyncMethod::smNone;
    bool DiscardNull = false;  // Windows only; ignored on Linux
    char EventChar = 0;        // Windows only; ignored on Linux
    RxCharHandler OnRxChar;

    bool Connected() const { return connected_.load(); }
    // Whether the open port can carry a request (ComTypes.h): a network port is Connecting
    // after Open until its monitoring thread has made the connection. Failed while closed.
    ComLinkState LinkState();

    // Holding the port for one operation of several uses. While held, Close ends only the
    // current use: reads and writes in progress are aborted and the monitoring thread stops as
    // at a real close, but the device stays open with its marks, so that no other program can
    // take the port in between; Connected() is false. The next Open discards the input that
    // came meanwhile, applies the settings and starts the monitoring thread again (a device
    // that vanished meanwhile is closed and opened afresh). SetHeld(false), a new port name
    // and the destructor close a device kept this way.
    void SetHeld(bool held);
    bool Held() const;
    // True while a device is kept open between two uses.
    bool Kept() const;

    // Operations. Open: nothing if open; code 1 when the device cannot be opened (missing,
    // in use, not a terminal), 9, 7 or 8 when the settings are refused (the port then stays
    // closed). Close: nothing if closed; aborts reads and writes in progress (they raise code
    // 3 / 2), stops the monitoring thread, closes the device; code 5 when the abort cannot be
    // signalled.
    void Open();
    void Close();
    // Returns count, or raises code 2 (also when the write time-out runs out or Close aborts).
    int Write(const void* buffer, int count);
    // Returns 0..count bytes (see TComTimeouts); raises code 3 (also when Close aborts it).
    int Read(void* buffer, int count);
    // Bytes received and not yet read; code 10 on failure.
    int InputCount();

protected:
    // Slots of Open and Close, called with the component's lock held: an override must not
    // call the operations above.
    // Opens the device named by Port (exclusively; code 1) and discards its stale input.
    virtual void CreateHandle();
    // Discards the device's queues and closes it.
    virtual void DestroyHandle();
    // Buffer sizes (code 9), then line settings (code 7), then time-outs (code 8).
    virtual void ApplySettings();

private:
    friend class TComThread;
    enum class State : std::uint8_t { Closed, Open, Closing };
    class DeviceUse;

    // Called on the monitoring thread when characters came in and `count` (> 0) bytes are
    // waiting; calls OnRxChar. Not virtual: the thread runs until the destructor of this
    // class has closed the port, when a derived part is already gone.
    void RxChar(int count);
    void ApplyLineSettings();
    // Closes the device kept between two uses, if any. Lock held, port closed.
    void DropKept();

    std::string port_ = "COM1";
    TBaudRate baudRate_ = TBaudRate::br9600;
    std::uint32_t customBaudRate_ = 9600;
    std::atomic<bool> connected_{false};

    // Guards everything below; never held while waiting for the device or the thread.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Closed;
    int users_ = 0;  // Read / Write / InputCount calls using device_
    std::unique_ptr<ComDevice> device_;
    std::unique_ptr<TComThread> thread_;
    bool held_ = false;
    std::unique_ptr<ComDevice> kept_;  // the device kept open between two uses
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

}  // namespace imconf
