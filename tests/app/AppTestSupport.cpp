#include "AppTestSupport.h"

#include "FreshFolder.h"

namespace imconf::testing {

TempDir::TempDir() : path_(testsupport::MakeFreshFolder("imconf-test-"))
{
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

void RealPortWindow::Start(const std::string& portName, ISerialLine& line,
                           const std::string& description)
{
    ApplyToolPortSettings(port);
    ports.ports = std::vector<SystemPort>{{portName, description}};
    form.emplace(TForm1Environment{loop, state, config, line, dialogs, ports, screen,
                                   dir.File("comports.txt"), dir.Path().string()});
    form->FormCreate();
    form->FormActivate();
}

}  // namespace imconf::testing
