#include "SimOptions.h"

#include "LineTiming.h"
#include "ModbusSlave.h"

#include <charconv>

namespace imconf::sim {

namespace {

std::optional<unsigned long> ParseUnsigned(const std::string& text)
{
    unsigned long value = 0;
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    if (digits.empty())
        return std::nullopt;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc{} || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

}  // namespace

TParsedOptions ParseOptions(const std::vector<std::string>& args)
{
    TParsedOptions parsed;
    TSimOptions& o = parsed.options;
    auto fail = [&](const std::string& what) {
        parsed.error = what;
        return parsed;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        auto number = [&](unsigned long lo, unsigned long hi, unsigned long& out) -> std::string {
            const auto text = value();
            if (!text)
                return arg + " needs a value";
            const auto n = ParseUnsigned(*text);
            if (!n || *n < lo || *n > hi)
                return arg + ": '" + *text + "' is not a number in " + std::to_string(lo) + ".." +
                       std::to_string(hi);
            out = *n;
            return {};
        };
        auto flag = [&]() -> bool { return !inlineValue; };

        unsigned long n = 0;
        std::string problem;
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--address") {
            if (problem = number(1, kMaxSlaveAddress, n); problem.empty())
                o.address = static_cast<std::uint8_t>(n);
        } else if (arg == "--id") {
            if (problem = number(0, 0xFFFF, n); problem.empty())
                o.id = static_cast<std::uint16_t>(n);
        } else if (arg == "--baud") {
            if (problem = number(1, 1'000'000, n); problem.empty()) {
                if (CodeFromBaud(static_cast<unsigned>(n)) == 0)
                    problem = "--baud: the module runs at 1200, 2400, 4800, 9600, 14400, 19200, "
                              "38400 or 57600";
                o.baud = static_cast<unsigned>(n);
            }
        } else if (arg == "--think") {
            if (problem = number(0, 60'000, n); problem.empty())
                o.thinkMs = static_cast<unsigned>(n);
        } else if (arg == "--usb-latency") {
            if (problem = number(0, 1000, n); problem.empty())
                o.usbLatencyMs = static_cast<unsigned>(n);
        } else if (arg == "--net-delay") {
            if (problem = number(0, 10'000, n); problem.empty())
                o.netDelayMs = static_cast<unsigned>(n);
        } else if (arg == "--split") {
            if (problem = number(0, 10'000, n); problem.empty())
                o.splitMs = static_cast<unsigned>(n);
        } else if (arg == "--tcp") {
            const auto text = value();
            if (!text || text->empty())
                problem = "--tcp needs [HOST:]PORT";
            else
                o.tcp = *text;
        } else if (arg == "--seed") {
            if (problem = number(0, 0xFFFFFFFF, n); problem.empty())
                o.seed = static_cast<std::uint32_t>(n);
        } else if (arg == "--bootloader" && flag()) {
            o.bootloader = true;
        } else if (arg == "--no-announce" && flag()) {
            o.announce = false;
        } else if (arg == "--echo" && flag()) {
            o.echo = true;
        } else if (arg == "--pace" && flag()) {
            o.pace = true;
        } else if (arg == "--strict-baud" && flag()) {
            o.strictBaud = true;
        } else if (arg == "--any-baud" && flag()) {
            o.strictBaud = false;
        } else if (arg == "--config" || arg == "--link" || arg == "--name" || arg == "--dump") {
            const auto text = value();
            if (!text || text->empty()) {
                problem = arg + " needs a value";
            } else if (arg == "--config") {
                o.config = *text;
            } else if (arg == "--link") {
                o.link = *text;
            } else if (arg == "--dump") {
                o.dump = *text;
            } else if (text->find('/') != std::string::npos || *text == "." || *text == "..") {
                problem = "--name: a port name, without '/'";
            } else {
                o.name = *text;
            }
        } else if (arg == "--fault" || arg == "--fault-rate") {
            const auto text = value();
            if (!text) {
                problem = arg + " needs a value";
            } else {
                std::string why;
                const auto rule =
                    arg == "--fault" ? ParseFaultEvery(*text, why) : ParseFaultRate(*text, why);
                if (rule)
                    o.faults.push_back(*rule);
                else
                    problem = arg + ": " + why;
            }
        } else if (arg == "--device") {
            const auto text = value();
            const auto colon = text ? text->find(':') : std::string::npos;
            const auto addr =
                colon != std::string::npos ? ParseUnsigned(text->substr(0, colon)) : std::nullopt;
            const auto id =
                colon != std::string::npos ? ParseUnsigned(text->substr(colon + 1)) : std::nullopt;
            if (!addr || !id || *addr < 1 || *addr > kMaxSlaveAddress || *id > 0xFFFF)
                problem = "--device: expected ADDR:ID with ADDR 1..247 and ID 0..65535";
            else
                o.devices.emplace_back(static_cast<std::uint8_t>(*addr),
                                       static_cast<std::uint16_t>(*id));
        } else {
            problem = "unknown option '" + args[i] + "' (see --help)";
        }
        if (!problem.empty())
            return fail(problem);
    }
    return parsed;
}

std::string UsageText(const std::string& program)
{
    return "usage: " + program +
           " [options]\n"
           R"(Serves a simulated indication module on a new pseudo-terminal. The first line on stdout is
the terminal's path; the port is also announced by name (see --name).

Module:
  --address N          Modbus address 1..247 (default 247)
  --id N               identification, register 0 (default 24; e.g. 7 for a foreign device)
  --baud B             module speed: 1200 2400 4800 9600 14400 19200 38400 57600 (default 9600)
  --config FILE        initial registers from FILE ("REGISTER = VALUE" lines, '#' comments);
                       --address, --id and --baud given as well win over the file
  --device ADDR:ID     a further device on the bus (repeatable), e.g. --device 12:7
  --think MS           time before the first reply byte (default 3 ms)
  --bootloader         run the bootloader instead (19200 baud, FLASH/EEPROM frames, ack 07 A5)
  --dump FILE          bootloader store (FLASH 14336 + EEPROM 2048 bytes) written to FILE at
                       exit and after each completed transfer

Line:
  --pace               send reply bytes at the line's nominal speed (10 bits a byte)
  --strict-baud        ignore bytes while the port's speed differs from the module's (default)
  --any-baud           accept bytes at any port speed
  --echo               play an adapter that hands every request back before the reply (a
                       two-wire RS-485 adapter whose receiver stays on while it sends)
  --usb-latency MS     play a USB adapter: bytes to the PC are held and go on every MS
                       milliseconds, or at once when 62 are waiting (16 is the usual timer)
  --fault KIND:N[:ARG]       spoil every Nth reply (repeatable)
  --fault-rate KIND:P[:ARG]  spoil a reply with probability P, 0 < P <= 1 (repeatable)
                       KIND: drop (no reply), crc (bad CRC), short (ARG bytes kept, default
                       half), garbage (ARG random bytes, default the reply's length),
                       late (ARG ms later, default 1000)
  --seed N             seed of the random faults and of the garbage (default 1)

Port:
  --name NAME          announce as NAME in the announced ports folder (default sim<address>)
  --no-announce        do not announce
  --link PATH          also make a symbolic link PATH to the terminal (removed at exit)
  --tcp [HOST:]PORT    serve over TCP instead, as a serial device server does (HOST
                       127.0.0.1 by default, [::1] for IPv6; PORT 0 picks a free one); the
                       first line on stdout is then tcp://HOST:PORT; nothing is announced,
                       and bytes are taken at any port speed; one client at a time
  --net-delay MS       over TCP: each direction waits MS (default 0)
  --split MS           over TCP: every reply leaves in two segments, the second MS later

  -v, --verbose        log every request and reply on stderr
  -h, --help           this text

Stops on SIGINT, SIGTERM or SIGHUP and removes its links.
)";
}

}  // namespace imconf::sim
