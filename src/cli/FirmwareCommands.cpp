// The firmware commands: the upgrade through the bootloader and the image builder.

#include "cli/CommandSet.h"
#include "firmware/Firmware.h"
#include "modbus/Text.h"
#include "runtime/FileAccess.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

namespace imconf::cli {

namespace {

std::string Hex4(std::uint16_t value)
{
    return ByteToHex(static_cast<std::uint8_t>(value >> 8)) +
           ByteToHex(static_cast<std::uint8_t>(value & 0xFF));
}

int Upgrade(Session& s, const std::string& image)
{
    // A damaged image is refused before the port is touched; --force sends it anyway (the
    // window's question is answered yes).
    auto loaded = std::make_unique<FirmwareImage>();
    PresetForLoad(*loaded);
    if (LoadUpgradeImage(image, *loaded).Outcome == LoadOutcome::Loaded &&
        !FlashCrcMatches(*loaded) && !s.Options().force) {
        return s.FileError(image, "damaged: the file carries the CRC " + Hex4(loaded->ImageCrc) +
                                      ", its FLASH part gives " + Hex4(FlashCrc(*loaded)) +
                                      "; nothing was sent (--force sends it all the same)");
    }
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    t.dialogs.answerYes = s.Options().force;
    t.dialogs.fileAnswers = {image};
    if (!t.line.SpeedSwitchable())
        return s.Fail(status::Port, "port " + t.line.Port() +
                                        ": the upgrade switches the line to 19200 baud, which a "
                                        "network port cannot (its speed is the device server's "
                                        "setting); nothing was sent");
    s.ShowProgress(true);
    return s.Status(s.Run(
                        OperationKind::Upgrade, [&f] { f.CustomItem24Click(); }, kUpgradeGuard),
                    "the firmware upgrade");
}

// Why a FLASH or EEPROM file of the builder cannot be used; nothing when it can.
std::optional<std::string> InputRefusal(const std::string& path, const char* part,
                                        std::size_t limit)
{
    const BuilderInput input = ReadBuilderInput(path, limit);
    const std::string file = path + " (" + std::to_string(input.FileSize) + " bytes)";
    switch (input.Status) {
    case InputStatus::Ready: return std::nullopt;
    case InputStatus::FileError: return path + ": " + input.Error;
    case InputStatus::WrongSize:
        return file + ": the " + part + " file must hold 1 to " + std::to_string(limit) +
               " bytes, or be Intel HEX text";
    case InputStatus::NotHex:
        return file + ": a text file, but not Intel HEX (every line a record ':LLAAAATT...CC'); "
                      "give the compiler's .hex output or the plain bytes";
    case InputStatus::BadHex:
        return file + ": bad Intel HEX for the " + part + ": " +
               DescribeHexError(*input.Hex, limit);
    }
    return file + ": cannot be used";
}

struct BuildOptions {
    std::string flash;
    std::string eeprom;
    std::string output;
};

int BuildImage(Session& s, const BuildOptions& o)
{
    // The inputs are read here first, so that a refusal names the file, its size and why.
    if (auto refusal = InputRefusal(o.flash, "FLASH", kFlashSize))
        return s.Fail(status::Usage, *refusal + "; no image made");
    if (auto refusal = InputRefusal(o.eeprom, "EEPROM", kMaxBuilderEeprom))
        return s.Fail(status::Usage, *refusal + "; no image made");
    Tool& t = s.Start(false);
    TForm1& f = t.form;
    const std::string made = BuilderOutputName(o.flash);
    t.dialogs.fileAnswers = {o.flash, o.eeprom};
    f.HandleEvent([&f] { f.CustomItem27Click(); });
    std::error_code error;
    if (!std::filesystem::exists(files::PathFromUtf8(made), error)) {
        s.Messages();  // the builder's own reason, when it gave one
        return s.Fail(status::Usage,
                      "no image made: the FLASH file must hold 1 to " + std::to_string(kFlashSize) +
                          " bytes and the EEPROM file 1 to " + std::to_string(kMaxBuilderEeprom));
    }
    std::string output = made;
    if (!o.output.empty() && o.output != made) {
        std::filesystem::rename(files::PathFromUtf8(made), files::PathFromUtf8(o.output), error);
        if (error) {
            std::filesystem::copy_file(files::PathFromUtf8(made), files::PathFromUtf8(o.output),
                                       std::filesystem::copy_options::overwrite_existing, error);
            if (error)
                return s.FileError(o.output, error.message());
            std::filesystem::remove(files::PathFromUtf8(made), error);
        }
        output = o.output;
    }
    s.result["file"] = output;
    if (s.Chatty())
        s.Io().out << output << "\n";
    return status::Done;
}

}  // namespace

void AddFirmwareCommands(CommandSet& commands)
{
    auto image = std::make_shared<std::string>();
    commands
        .Add("upgrade",
             "upgrade the firmware through the bootloader (the module must run its bootloader, "
             "at 19200 baud)",
             [image](Session& s) { return Upgrade(s, *image); })
        .add_option("IMAGE", *image, "the upgrade image (.hex)")
        ->required();

    auto o = std::make_shared<BuildOptions>();
    CLI::App& build =
        commands.Add("build-image", "make an upgrade image from a FLASH file and an EEPROM file",
                     [o](Session& s) { return BuildImage(s, *o); });
    build.add_option("FLASH", o->flash, "the FLASH file: Intel HEX, or 1 to 14336 bytes")
        ->required();
    build.add_option("EEPROM", o->eeprom, "the EEPROM file: Intel HEX, or 1 to 512 bytes")
        ->required();
    build.add_option("-o,--output", o->output,
                     "the image file (default: the FLASH file's name without its last four "
                     "characters, followed by _Crypt.hex)");
}

}  // namespace imconf::cli
