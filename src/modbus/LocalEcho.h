#pragma once
// Local echo: a two-wire RS-485 adapter that leaves its receiver on while it sends hands every
// request back before the reply. LocalEcho follows the bytes received after each request and
// takes the echo out of them, so that what is left is what a line without echo would have
// brought. It needs no setting: bytes that begin with the exact request just sent are its
// echo, and once one whole echo has come the port is known to echo.
//
// On a line that has not shown an echo yet nothing is held up: received bytes that stop
// matching the request go on at once, exactly as they came. Bytes that match a beginning of the
// request are held until the request is complete (an echo) or the match fails (they were the
// reply); if neither happens before the response time runs out, Release gives them back as the
// reply. A request whose reply is as long as itself (a function-6 write, whose reply repeats
// the request) cannot be told from its own echo: on a line not known to echo its first copy is
// the reply, and a second copy right behind it proves the echo and is dropped.
//
// Pure logic: no clock, no port. The engine feeds it on the loop's thread.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace imconf {

class LocalEcho {
public:
    // What a block of received bytes comes to.
    struct Taken {
        // True when `reply` is to be stored as the reply received so far (from byte 0).
        bool store = false;
        std::vector<std::uint8_t> reply;
        // True when the reply may end now; false while a reply that follows an echo is still
        // short of its length and its last read ended on the count asked for.
        bool complete = false;
        // True the first time a whole echo came on this port.
        bool detected = false;
    };

    // A request went out; its reply is `expectedLength` bytes long. Ends what was held for
    // the previous request.
    void Sent(std::span<const std::uint8_t> request, std::size_t expectedLength);
    // Bytes as one read brought them, in order; `endedOnCount` when the read got all it asked
    // for (more bytes may be on their way), false when the line fell silent.
    Taken Take(std::span<const std::uint8_t> bytes, bool endedOnCount);
    // The response time ran out: bytes held as a beginning of the echo that never came whole
    // were the reply after all. Empty when nothing is held.
    std::vector<std::uint8_t> Release();
    // Another port: nothing is known of it.
    void Forget() { *this = LocalEcho{}; }

    // The port's adapter echoes (until a request comes back without its echo).
    bool Known() const { return known_; }

private:
    enum class Phase : std::uint8_t {
        Matching,  // comparing the bytes with the request: its echo may be coming
        Copy,      // the reply equal to the request was passed on: its copy may follow
        Reply,     // the echo was dropped: what follows is the reply
        Plain,     // no echo for this request: bytes go on as they come
    };
    void WholeCopy(std::vector<std::uint8_t>& plain, Taken& taken);

    std::vector<std::uint8_t> request_;
    std::size_t expected_ = 0;
    Phase phase_ = Phase::Plain;
    std::size_t matched_ = 0;          // bytes of the request matched (and held) so far
    std::vector<std::uint8_t> reply_;  // the reply after a dropped echo, so far
    bool known_ = false;
    bool announced_ = false;
};

}  // namespace imconf
