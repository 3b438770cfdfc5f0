// imconf-modbus-peer: a Modbus RTU slave built on libmodbus, with the indication module's
// register map, for tests that want a Modbus implementation other than our own on the far
// side of the line.
//
// It opens a pseudo-terminal, prints the slave side's path as its first line on stdout and
// serves the master side with libmodbus (modbus_receive / modbus_reply over a holding-register
// mapping 0x0000..0x0160). Around modbus_reply it adds what the module does and a plain
// mapping does not:
//   - registers outside the module's map (3..34, 37..255) answer exception 02, values the
//     module refuses (address 0 or above 247, speed code outside 1..8, block other than 0 or
//     255, sound off other than 0xA55A, node count above 32) answer exception 03;
//   - a new address or speed takes effect once its echo has been sent;
//   - requests that arrive at another line speed than the module's get no reply.
//
// stderr: one line per request: "OK ...", "IGNORED ..." (another slave's address) or
// "REJECT ..." (libmodbus could not receive or parse it, answered it with an exception, or
// the module refused it). On SIGTERM, SIGINT or SIGHUP it prints on stdout the registers
// ("R <register> <value>", decimal), "soundoff <n>", "accepted <n>", "rejected <n>", "END"
// and exits with 0.

#include "PeerLine.h"

#include <modbus/modbus.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRegisters = 0x0161;  // 0x0000..0x0160
constexpr std::uint16_t kAddressReg = 0x0001;
constexpr std::uint16_t kSpeedReg = 0x0002;
constexpr std::uint16_t kBlockReg = 0x0023;
constexpr std::uint16_t kSoundOffReg = 0x0024;
constexpr std::uint16_t kLinkFirst = 0x0100;
constexpr std::uint16_t kNodeCountReg = 0x0120;
constexpr std::uint16_t kNodeTypesFirst = 0x0121;
constexpr std::uint16_t kNodeAddressesFirst = 0x0141;
constexpr std::uint16_t kLast = 0x0160;
constexpr unsigned kSpeeds[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600};

int gWake = -1;

void OnSignal(int)
{
    const char c = 1;
    if (gWake >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(gWake, &c, 1);
    }
}

bool InMap(unsigned r)
{
    return r == 0 || r == kAddressReg || r == kSpeedReg || r == kBlockReg || r == kSoundOffReg ||
           (r >= kLinkFirst && r <= kLast);
}

// 0 when the module takes `value` in register `r`, else the exception code.
int CheckWrite(unsigned r, unsigned value)
{
    if (r == 0 || !InMap(r))
        return MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
    bool ok = true;
    switch (r) {
    case kAddressReg: ok = value >= 1 && value <= 247; break;
    case kSpeedReg: ok = value >= 1 && value <= 8; break;
    case kBlockReg: ok = value == 0 || value == 255; break;
    case kSoundOffReg: ok = value == 0xA55A; break;
    case kNodeCountReg: ok = value <= 32; break;
    default: break;
    }
    return ok ? 0 : MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
}

unsigned Be16(const std::uint8_t* p)
{
    return (unsigned{p[0]} << 8) | p[1];
}

// The module's own checks of a request that libmodbus has received; 0 when it passes.
// Requests whose structure is wrong are left to modbus_reply, which answers them itself.
int CheckRequest(const std::uint8_t* req, int length)
{
    const unsigned function = req[1];
    const unsigned first = Be16(req + 2);
    if (function == MODBUS_FC_READ_HOLDING_REGISTERS && length == 8) {
        const unsigned count = Be16(req + 4);
        if (count < 1 || count > MODBUS_MAX_READ_REGISTERS)
            return 0;
        for (unsigned r = first; r < first + count; ++r)
            if (!InMap(r))
                return MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
    } else if (function == MODBUS_FC_WRITE_SINGLE_REGISTER && length == 8) {
        return CheckWrite(first, Be16(req + 4));
    } else if (function == MODBUS_FC_WRITE_MULTIPLE_REGISTERS && length >= 9) {
        const unsigned quantity = Be16(req + 4);
        const unsigned bytes = req[6];
        if (quantity < 1 || quantity > MODBUS_MAX_WRITE_REGISTERS || bytes != 2 * quantity ||
            length != static_cast<int>(9 + bytes))
            return 0;
        for (unsigned i = 0; i < quantity; ++i)
            if (const int code = CheckWrite(first + i, Be16(req + 7 + 2 * i)); code != 0)
                return code;
    }
    return 0;
}

std::string Hex(const std::uint8_t* bytes, int length)
{
    std::string out;
    char buffer[4];
    for (int i = 0; i < length; ++i) {
        std::snprintf(buffer, sizeof buffer, "%02X ", bytes[i]);
        out += buffer;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > max || text[0] == '-')
        return false;
    out = static_cast<unsigned>(value);
    return true;
}

int Usage(const char* why)
{
    std::fprintf(
        stderr,
        "imconf-modbus-peer: %s\n"
        "usage: imconf-modbus-peer [--address N] [--baud B] [--id N] [--set REG=V[,V...]]...\n"
        "  --address N   Modbus address 1..247 (default 247)\n"
        "  --baud B      1200 2400 4800 9600 14400 19200 38400 57600 (default 9600)\n"
        "  --id N        identification, register 0 (default 24)\n"
        "  --set R=V,..  registers R, R+1, ... of the map hold V, ... at start\n",
        why);
    return 2;
}

class Peer {
public:
    Peer(int master, std::string device, unsigned address, unsigned baud, modbus_mapping_t* map)
        : master_(master),
          device_(std::move(device)),
          address_(address),
          baud_(baud),
          map_(map)
    {
        NewContext();
    }
    ~Peer()
    {
        if (ctx_ != nullptr)
            modbus_free(ctx_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Ok() const { return ctx_ != nullptr; }

    // Serves requests until the wake descriptor becomes readable.
    void Run(int wake)
    {
        for (;;) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {wake, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                std::perror("imconf-modbus-peer: poll");
                return;
            }
            if (fds[1].revents != 0)
                return;
            if (fds[0].revents & POLLIN)
                ServeOne();
            else if (fds[0].revents & (POLLHUP | POLLERR))
                ::usleep(10'000);  // not expected while our own slave descriptor is open
        }
    }

    void Dump() const
    {
        for (unsigned r = 0; r <= kLast; ++r)
            if (InMap(r))
                std::printf("R %u %u\n", r, unsigned{map_->tab_registers[r]});
        std::printf("soundoff %u\naccepted %u\nrejected %u\nEND\n", soundOffs_, accepted_,
                    rejected_);
        std::fflush(stdout);
    }

private:
    // A fresh context: libmodbus takes the request after one for another slave for that
    // slave's reply and swallows it; on a line where nobody else answers that would be our
    // next request, so a new context starts each time.
    void NewContext()
    {
        if (ctx_ != nullptr)
            modbus_free(ctx_);
        ctx_ = modbus_new_rtu(device_.c_str(), static_cast<int>(baud_), 'N', 8, 1);
        if (ctx_ == nullptr)
            return;
        modbus_set_socket(ctx_, master_);
        modbus_set_slave(ctx_, static_cast<int>(address_));
        modbus_set_response_timeout(ctx_, 0, 20'000);
        modbus_set_byte_timeout(ctx_, 0, 300'000);
    }

    void Reject(const std::string& why, const std::uint8_t* req, int length)
    {
        ++rejected_;
        std::fprintf(stderr, "REJECT %s: %s\n", why.c_str(), Hex(req, length).c_str());
    }

    void ServeOne()
    {
        std::uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH] = {};
        const int length = modbus_receive(ctx_, req);
        if (length == 0) {
            std::fprintf(stderr, "IGNORED for slave %u\n", unsigned{req[0]});
            NewContext();
            return;
        }
        if (length < 0) {
            const int error = errno;
            Reject(std::string("modbus_receive: ") + modbus_strerror(error), req, 8);
            NewContext();
            return;
        }
        if (req[0] == MODBUS_BROADCAST_ADDRESS) {
            Reject("broadcast", req, length);
            return;
        }
        const unsigned speed = peer::LineSpeed(master_);
        if (speed != baud_) {
            Reject("sent at " + std::to_string(speed) + " baud, the module listens at " +
                       std::to_string(baud_),
                   req, length);
            return;
        }
        if (const int code = CheckRequest(req, length); code != 0) {
            modbus_reply_exception(ctx_, req, static_cast<unsigned>(code));
            Reject("refused by the module, exception " + std::to_string(code), req, length);
            return;
        }
        const int sent = modbus_reply(ctx_, req, length, map_);
        if (sent < 0) {
            Reject(std::string("modbus_reply: ") + modbus_strerror(errno), req, length);
            return;
        }
        if (sent == 5) {  // address, function | 0x80, code, CRC: libmodbus refused it
            Reject("modbus_reply answered exception " + std::to_string(unsigned{req[1]}), req,
                   length);
            return;
        }
        ++accepted_;
        std::fprintf(stderr, "OK %s\n", Hex(req, length).c_str());
        AfterEcho(req);
    }

    // A write's echo has left: the module's address and speed change now.
    void AfterEcho(const std::uint8_t* req)
    {
        const unsigned function = req[1];
        if (function != MODBUS_FC_WRITE_SINGLE_REGISTER &&
            function != MODBUS_FC_WRITE_MULTIPLE_REGISTERS)
            return;
        const unsigned first = Be16(req + 2);
        const unsigned count = function == MODBUS_FC_WRITE_SINGLE_REGISTER ? 1 : Be16(req + 4);
        auto covers = [&](unsigned r) { return r >= first && r < first + count; };
        if (covers(kSoundOffReg)) {
            ++soundOffs_;
            map_->tab_registers[kSoundOffReg] = 0;  // a command: it reads 0
        }
        if (covers(kSpeedReg))
            baud_ = kSpeeds[map_->tab_registers[kSpeedReg] - 1];
        if (covers(kAddressReg))
            address_ = map_->tab_registers[kAddressReg];
        if (covers(kSpeedReg) || covers(kAddressReg))
            NewContext();
    }

    int master_;
    std::string device_;
    unsigned address_;
    unsigned baud_;
    modbus_mapping_t* map_;
    modbus_t* ctx_ = nullptr;
    unsigned accepted_ = 0;
    unsigned rejected_ = 0;
    unsigned soundOffs_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    unsigned address = 247;
    unsigned baud = 9600;
    unsigned id = 24;
    std::vector<std::pair<unsigned, std::vector<unsigned>>> sets;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return Usage(("missing value after " + option).c_str());
        const std::string value = argv[++i];
        if (option == "--address") {
            if (!ParseNumber(value, 247, address) || address == 0)
                return Usage("the address must be 1..247");
        } else if (option == "--baud") {
            bool known = false;
            if (ParseNumber(value, 57600, baud))
                for (unsigned s : kSpeeds)
                    known = known || s == baud;
            if (!known)
                return Usage("unknown speed");
        } else if (option == "--id") {
            if (!ParseNumber(value, 0xFFFF, id))
                return Usage("the identification must be 0..65535");
        } else if (option == "--set") {
            const std::size_t eq = value.find('=');
            unsigned reg = 0;
            if (eq == std::string::npos || !ParseNumber(value.substr(0, eq), kLast, reg))
                return Usage("--set takes REG=V[,V...] with REG in the map");
            std::vector<unsigned> values;
            std::size_t start = eq + 1;
            for (;;) {
                const std::size_t comma = value.find(',', start);
                unsigned v = 0;
                if (!ParseNumber(value.substr(start, comma - start), 0xFFFF, v))
                    return Usage("--set values are 0..65535");
                values.push_back(v);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
            for (std::size_t k = 0; k < values.size(); ++k) {
                const unsigned r = reg + static_cast<unsigned>(k);
                if (!InMap(r) || (r != 0 && CheckWrite(r, values[k]) != 0))
                    return Usage("--set writes outside the module's map or a value it refuses");
            }
            sets.emplace_back(reg, std::move(values));
        } else {
            return Usage(("unknown option " + option).c_str());
        }
    }

    modbus_mapping_t* map = modbus_mapping_new_start_address(0, 0, 0, 0, 0, kRegisters, 0, 0);
    if (map == nullptr)
        return Usage("cannot allocate the mapping");
    std::uint16_t* regs = map->tab_registers;
    regs[0] = static_cast<std::uint16_t>(id);
    regs[kAddressReg] = static_cast<std::uint16_t>(address);
    for (unsigned k = 0; k < 8; ++k)
        if (kSpeeds[k] == baud)
            regs[kSpeedReg] = static_cast<std::uint16_t>(k + 1);
    for (unsigned i = 0; i < 32; ++i) {
        regs[kLinkFirst + i] = static_cast<std::uint16_t>(i);
        regs[kNodeTypesFirst + i] = 0x00FF;
        regs[kNodeAddressesFirst + i] = 0x00FF;
    }
    for (const auto& [reg, values] : sets)
        for (std::size_t k = 0; k < values.size(); ++k)
            regs[reg + k] = static_cast<std::uint16_t>(values[k]);
    address = regs[kAddressReg];

    // The slave side stays open here for the whole run, so the master never sees a hang-up
    // when the program under test closes its port.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("imconf-modbus-peer: pseudo-terminal");
        return 1;
    }
    const char* name = ::ptsname(master);
    if (name == nullptr) {
        std::perror("imconf-modbus-peer: ptsname");
        return 1;
    }
    const std::string slavePath = name;
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !peer::SetRawLine(slave, baud)) {
        std::perror(("imconf-modbus-peer: " + slavePath).c_str());
        return 1;
    }

    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::perror("imconf-modbus-peer: pipe");
        return 1;
    }
    gWake = wake[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);

    int rc = 0;
    {
        Peer peer(master, slavePath, address, baud, map);
        if (!peer.Ok()) {
            std::perror("imconf-modbus-peer: modbus_new_rtu");
            rc = 1;
        } else {
            std::printf("%s\n", slavePath.c_str());
            std::fflush(stdout);
            peer.Run(wake[0]);
            peer.Dump();
        }
    }
    gWake = -1;
    modbus_mapping_free(map);
    ::close(wake[0]);
    ::close(wake[1]);
    ::close(slave);
    ::close(master);
    return rc;
}
