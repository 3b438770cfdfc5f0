// The firmware commands: the upgrade through the bootloader and the image builder.

#include "cli/CommandSet.h"
#include "firmware/Firmware.h"
#include "runtime/FileAccess.h"

#include <filesystem>
#include <memory>
#include <ostream>

namespace imconf::cli {

namespace {

int Upgrade(Session& s, const std::string& image)
{
    Tool& t = s.Start(true);
    TForm1& f = t.form;
    t.dialogs.fileAnswers = {image};
    s.ShowProgress(true);
    return s.Status(s.Run(
                        OperationKind::Upgrade, [&f] { f.CustomItem24Click(); }, kUpgradeGuard),
                    "the firmware upgrade");
}

struct BuildOptions {
    std::string flash;
    std::string eeprom;
    std::string output;
};

int BuildImage(Session& s, const BuildOptions& o)
{
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
    build.add_option("FLASH", o->flash, "the FLASH file, 1 to 14336 bytes")->required();
    build.add_option("EEPROM", o->eeprom, "the EEPROM file, 1 to 512 bytes")->required();
    build.add_option("-o,--output", o->output,
                     "the image file (default: the FLASH file's name without its last four "
                     "characters, followed by _Crypt.hex)");
}

}  // namespace imconf::cli
