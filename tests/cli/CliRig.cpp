#include "CliRig.h"

#include "FreshFolder.h"

namespace imconf::testing {

namespace {

class RigHost : public cli::ToolHost {
public:
    explicit RigHost(CliRig& rig, const std::string& folder)
        : tool_(cli::ToolParts{
              .Loop = rig.loop,
              .Line = rig.line,
              .Ports = rig.ports,
              .Run = [&rig](const std::function<bool()>& done,
                            Micros limit) { return rig.loop.RunUntil(done, limit); },
              .ExecutableDir = folder,
              .PortFileName = folder + "/comports.txt",
          })
    {
    }
    cli::Tool& Get() override { return tool_; }

private:
    cli::Tool tool_;
};

}  // namespace

int CliRig::Run(const std::vector<std::string>& args)
{
    std::ostringstream o;
    std::ostringstream e;
    const int code = cli::RunCli(
        args, cli::CliIo{o, e, false, [] { return std::string("2026-01-02T03:04:05Z"); }},
        [this] { return std::make_unique<RigHost>(*this, "."); });
    out = o.str();
    err = e.str();
    return code;
}

ScratchDir::ScratchDir() : path(testsupport::MakeFreshFolder("imconf-cli-test-"))
{
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace imconf::testing
