#pragma once
// How long the reads after a request are when the adapter may hand the request back (local
// echo). A read normally asks for the reply's length; then an echo comes in pieces of that
// length, and its last piece waits for the line's silence (150 ms) when no reply follows. So
// the echo is read by its own: the whole request's length right after the write once the
// adapter is known to echo, and, before that, the rest of the request after a first read that
// brought a beginning of it on its count. A read starts only when bytes wait, so a longer or
// shorter read never waits for bytes that do not come. Whether the bytes really are the echo
// is the engine's to say (LocalEcho); this only chooses read lengths.
//
// Pure logic; the line calls it under its own lock (the write and the reads run on different
// threads).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace imconf {

class EchoReads {
public:
    // A request is written; `echoKnown` when the adapter is known to echo.
    void Written(std::span<const std::uint8_t> request, bool echoKnown)
    {
        request_.assign(request.begin(), request.end());
        left_ = echoKnown ? request_.size() : 0;
        replyGot_ = 0;
        first_ = true;
    }
    // Length of the next read, for a reply of `expected` bytes.
    std::size_t NextLength(std::size_t expected) const
    {
        if (left_ > 0)
            return left_;
        if (replyGot_ > 0 && replyGot_ < expected)
            return expected - replyGot_;  // the rest of a reply that followed an echo
        return expected;
    }
    // True when the next read is for the echo alone (the adapter is known to echo).
    bool EchoNext() const { return left_ > 0; }
    // A read asked for `asked` bytes and brought `bytes`. True when it brought (a part of) the
    // echo and ended on its count, so that bytes already waiting belong to the next read: a
    // line whose receive event comes only for new bytes reads them at once, or the reply
    // behind the echo would wait for bytes that never come.
    bool Read(std::span<const std::uint8_t> bytes, std::size_t asked)
    {
        const bool first = first_;
        first_ = false;
        if (left_ > 0) {
            left_ = 0;  // the echo's read: what follows is the reply
            return true;
        }
        replyGot_ = 0;
        if (!first || bytes.size() != asked)
            return false;  // not right after the write, or the line fell silent
        const std::size_t n = std::min(bytes.size(), request_.size());
        if (n == 0 || !std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n),
                                  request_.begin()))
            return false;
        if (bytes.size() < request_.size())
            left_ = request_.size() - bytes.size();
        else
            replyGot_ = bytes.size() - request_.size();
        return true;
    }

private:
    std::vector<std::uint8_t> request_;
    std::size_t left_ = 0;      // bytes of the echo the next read is for
    std::size_t replyGot_ = 0;  // reply bytes that came behind a whole echo in the first read
    bool first_ = false;
};

}  // namespace imconf
