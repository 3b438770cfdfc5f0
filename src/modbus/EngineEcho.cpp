// The transaction engine's side of local echo: which port the echo knowledge is about, what
// the line is told, the held bytes given back at the response time-out, and the trace line.

#include "modbus/Engine.h"

#include <algorithm>

namespace imconf {

void TransactionEngine::FollowEchoPort()
{
    if (port_.Port() == echoPort_)
        return;
    echoPort_ = port_.Port();
    echo_.Forget();
    echoNotice_ = false;
    FollowEcho(false);
}

void TransactionEngine::FollowEcho(bool detected)
{
    if (detected)
        echoNotice_ = true;
    if (echo_.Known() != lineEchoes_) {
        lineEchoes_ = echo_.Known();
        port_.ExpectEcho(lineEchoes_);
    }
}

void TransactionEngine::ReleaseHeldEcho()
{
    const std::vector<std::uint8_t> held = echo_.Release();
    FollowEcho(false);
    if (held.empty())
        return;
    const std::size_t length = std::min(held.size(), s_.FrameBuffer.size());
    std::copy_n(held.begin(), length, s_.FrameBuffer.begin());
    s_.RxLength = static_cast<std::uint16_t>(length);
}

void TransactionEngine::ShowEchoNotice()
{
    if (!echoNotice_)
        return;
    echoNotice_ = false;
    trace_.ShowLine(kEchoLine);
}

}  // namespace imconf
