#pragma once
// A pseudo-terminal pair for the serial component's tests: the component opens the slave
// side by its path, the test plays the far end of the line on the master side.

#include <cstdint>
#include <string>
#include <string_view>

namespace imconf::test {

// The slave's line settings as the master side sees them.
struct SlaveModes {
    std::uint32_t speed = 0;
    int dataBits = 0;
    bool twoStopBits = false, parity = false, rtsCts = false, hangupOnClose = false;
    bool localLine = false, receiver = false;
    bool canonical = false, echo = false, signals = false, crToNl = false;
    bool outputProcessing = false, xonXoffOut = false, xonXoffIn = false;
};

class PtyPair {
public:
    PtyPair();  // the slave starts in raw mode
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    void Send(std::string_view bytes);  // writes everything to the master side
    // Reads from the master side until `want` bytes came or `timeoutMs` passed.
    std::string Receive(std::size_t want, int timeoutMs);
    void CloseMaster();

    SlaveModes Modes() const;
    // Puts the slave in cooked mode with echo, flow control, hang-up on close, two stop bits
    // and 38400 baud: everything the component must undo.
    void MakeCooked();
    void SetSpeed(std::uint32_t baud);

private:
    int master_ = -1;
    std::string slavePath_;
};

// CPU time the whole process has used, in seconds.
double ProcessCpuSeconds();

}  // namespace imconf::test
