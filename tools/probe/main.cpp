// imconf-probe: one Modbus read through the serial component, printed as the tool's trace.
// A quick check that a port, its speed and the module at an address answer.

#include "modbus/Crc16.h"
#include "modbus/Frames.h"
#include "modbus/Trace.h"
#include "serial/ComPort.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string port = "sim247";
    unsigned address = 247;
    unsigned baud = 9600;
    unsigned reg = 0;
    unsigned count = 1;
    unsigned timeoutMs = 1000;
};

void Usage()
{
    std::cout << "usage: imconf-probe [--port NAME] [--address N] [--baud B] [--register R]\n"
                 "                    [--count C] [--timeout MS]\n"
                 "Reads C holding registers from R at address N and prints request and reply.\n"
                 "Defaults: --port sim247 --address 247 --baud 9600 --register 0 --count 1.\n";
}

std::optional<unsigned> ParseNumber(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value > 0xFFFFFFFFul)
        return std::nullopt;
    return static_cast<unsigned>(value);
}

std::optional<imconf::TBaudRate> BaudFromInt(unsigned baud)
{
    using imconf::TBaudRate;
    for (int i = 1; i <= static_cast<int>(TBaudRate::br256000); ++i) {
        const auto rate = static_cast<TBaudRate>(i);
        if (imconf::BaudRateToInt(rate) == baud)
            return rate;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage();
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "imconf-probe: " << arg << " needs a value\n";
            return 2;
        }
        const char* value = argv[++i];
        if (arg == "--port") {
            options.port = value;
            continue;
        }
        const auto number = ParseNumber(value);
        if (!number) {
            std::cerr << "imconf-probe: bad number for " << arg << ": " << value << "\n";
            return 2;
        }
        if (arg == "--address" && *number >= 1 && *number <= 247)
            options.address = *number;
        else if (arg == "--baud")
            options.baud = *number;
        else if (arg == "--register" && *number <= 0xFFFF)
            options.reg = *number;
        else if (arg == "--count" && *number >= 1 && *number <= imconf::kMaxRegistersPerRequest)
            options.count = *number;
        else if (arg == "--timeout" && *number <= 60000)
            options.timeoutMs = *number;
        else {
            std::cerr << "imconf-probe: bad option or value: " << arg << " " << value << "\n";
            return 2;
        }
    }
    const auto rate = BaudFromInt(options.baud);
    if (!rate) {
        std::cerr << "imconf-probe: unsupported speed " << options.baud << "\n";
        return 2;
    }

    imconf::TFrameBuffer frame{};
    const std::size_t length = imconf::BuildReadRegisters(
        frame, static_cast<std::uint8_t>(options.address), static_cast<std::uint16_t>(options.reg),
        static_cast<std::uint16_t>(options.count));
    const std::uint8_t expected =
        imconf::ReadReplyLength(static_cast<std::uint16_t>(options.count));

    for (const auto& line : imconf::HexTraceLines(imconf::kTxPrefix, frame.data(), length))
        std::cout << line << "\n";

    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::uint8_t> reply;
    bool done = false;

    imconf::TComPort port;
    port.SetPort(options.port);
    port.SetBaudRate(*rate);
    port.Timeouts.ReadInterval = 150;
    port.OnRxChar = [&](imconf::TCustomComPort& sender, int) {
        std::vector<std::uint8_t> block(expected);
        const int got = sender.Read(block.data(), expected);
        block.resize(static_cast<std::size_t>(got));
        std::lock_guard lock(mutex);
        if (!done) {
            reply = std::move(block);
            done = true;
            arrived.notify_all();
        }
    };
    try {
        port.Open();
        port.Write(frame.data(), static_cast<int>(length));
    } catch (const imconf::EComPort& error) {
        std::cout << "   : ОШИБКА ОТКРЫТИЯ ПОРТА " << options.port << "\n";
        std::cerr << "imconf-probe: " << error.what() << "\n";
        return 1;
    }
    {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, std::chrono::milliseconds(options.timeoutMs), [&] { return done; });
        done = true;  // a late reply is ignored
    }
    port.Close();

    if (reply.empty()) {
        std::cout << "RX :\n   : TIME OUT.\n";
        return 1;
    }
    for (const auto& line : imconf::HexTraceLines(imconf::kRxPrefix, reply.data(), reply.size()))
        std::cout << line << "\n";
    if (!imconf::CrcMatches(reply.data(), reply.size())) {
        std::cout << "   : CRC ERROR.\n";
        return 1;
    }
    if (reply.size() >= 5 && (reply[1] & imconf::fn::ExceptionFlag) != 0) {
        std::cout << "   : exception " << static_cast<int>(reply[2]) << "\n";
        return 1;
    }
    std::cout << "   : ОК.\n";
    for (std::size_t i = 0; 3 + 2 * i + 1 < reply.size() - 2; ++i)
        std::cout << "     register " << options.reg + i << " = "
                  << imconf::ReadBe16(reply.data(), 3 + 2 * i) << "\n";
    return 0;
}
