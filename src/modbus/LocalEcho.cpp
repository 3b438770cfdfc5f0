#include "modbus/LocalEcho.h"

namespace imconf {

void LocalEcho::Sent(std::span<const std::uint8_t> request, std::size_t expectedLength)
{
    request_.assign(request.begin(), request.end());
    expected_ = expectedLength;
    phase_ = request_.empty() ? Phase::Plain : Phase::Matching;
    matched_ = 0;
    reply_.clear();
}

void LocalEcho::WholeCopy(std::vector<std::uint8_t>& plain, Taken& taken)
{
    matched_ = 0;
    if (phase_ == Phase::Matching && !known_ && request_.size() == expected_) {
        // The reply itself, or its echo: either way these are the reply's bytes. Go on at once.
        plain.insert(plain.end(), request_.begin(), request_.end());
        phase_ = Phase::Copy;
        return;
    }
    if (phase_ == Phase::Copy) {
        // A second copy of a request-long reply: the reply has already gone on. It proves no
        // echo: a reply held back behind a late one of the same command looks just the same.
        phase_ = Phase::Plain;
        return;
    }
    if (!known_) {
        known_ = true;
        taken.detected = !announced_;
        announced_ = true;
    }
    phase_ = Phase::Reply;
}

LocalEcho::Taken LocalEcho::Take(std::span<const std::uint8_t> bytes, bool endedOnCount)
{
    Taken taken;
    std::vector<std::uint8_t> plain;
    bool replyGrew = false;
    for (const std::uint8_t byte : bytes) {
        switch (phase_) {
        case Phase::Matching:
        case Phase::Copy:
            if (byte == request_[matched_]) {
                if (++matched_ == request_.size())
                    WholeCopy(plain, taken);
                break;
            }
            // Not the echo: what matched so far was received data like any other.
            plain.insert(plain.end(), request_.begin(),
                         request_.begin() + static_cast<std::ptrdiff_t>(matched_));
            plain.push_back(byte);
            matched_ = 0;
            // A request that comes back without its echo: the adapter no longer echoes.
            if (phase_ == Phase::Matching)
                known_ = false;
            phase_ = Phase::Plain;
            break;
        case Phase::Reply:
            reply_.push_back(byte);
            replyGrew = true;
            break;
        case Phase::Plain: plain.push_back(byte); break;
        }
    }
    if (!plain.empty()) {
        // As a line without echo brings it: the block is the reply, and it may end now.
        taken.store = true;
        taken.reply = std::move(plain);
        taken.complete = true;
    } else if (replyGrew) {
        taken.store = true;
        taken.reply = reply_;
        taken.complete = reply_.size() >= expected_ || !endedOnCount;
    }
    return taken;
}

std::vector<std::uint8_t> LocalEcho::Release()
{
    if ((phase_ != Phase::Matching && phase_ != Phase::Copy) || matched_ == 0)
        return {};
    std::vector<std::uint8_t> held(request_.begin(),
                                   request_.begin() + static_cast<std::ptrdiff_t>(matched_));
    matched_ = 0;
    if (phase_ == Phase::Matching)
        known_ = false;
    phase_ = Phase::Plain;
    return held;
}

}  // namespace imconf
