#include "AppTestSupport.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <stdexcept>

namespace imconf::testing {

TempDir::TempDir()
{
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::mt19937_64 rng(std::random_device{}() ^
                        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path dir = base / ("imconf-test-" + std::to_string(rng()));
        if (std::filesystem::create_directory(dir)) {
            path_ = dir;
            return;
        }
    }
    throw std::runtime_error("no fresh temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& content) const
{
    std::ofstream out(path_ / name, std::ios::binary);
    out << content;
}

TForm1& WindowRig::Create(bool formCreate)
{
    form.emplace(TForm1Environment{loop, state, config, line, dialogs, ports, screen, PortFile(),
                                   dir.Path().string()});
    if (formCreate)
        form->FormCreate();
    return *form;
}

std::vector<std::string> WindowRig::PortCaptions() const
{
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < form->PORT1->Count(); ++i)
        captions.push_back(form->PORT1->Item(i).Caption());
    return captions;
}

std::vector<std::string> WindowRig::CheckedPorts() const
{
    std::vector<std::string> checked;
    for (std::size_t i = 0; i < form->PORT1->Count(); ++i) {
        if (form->PORT1->Item(i).Checked())
            checked.push_back(form->PORT1->Item(i).Caption());
    }
    return checked;
}

void RealPortWindow::Start(const std::string& portName, ISerialLine& line, const std::string& description)
{
    port.Timeouts.ReadInterval = 150;
    ports.ports = std::vector<SystemPort>{{portName, description}};
    form.emplace(TForm1Environment{loop, state, config, line, dialogs, ports, screen, dir.File("comports.txt"),
                                   dir.Path().string()});
    form->FormCreate();
    form->FormActivate();
}

}  // namespace imconf::testing
