// imconf-screens: pictures of the window's two tabs with a sample configuration, for the
// user guide. Usage: imconf-screens FOLDER  (writes master.png and slave.png there)

#include "app/Form1.h"
#include "qt/Look.h"
#include "qt/MainWindow.h"
#include "qt/QtDialogs.h"
#include "qt/QtEventLoop.h"
#include "serial/SystemPorts.h"

#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <string>

using namespace imconf;

namespace {

// A line that is never opened: the pictures show an edited configuration, no traffic.
class IdleLine : public ISerialLine {
public:
    void Open() override { throw EComPort(comerr::Open, 2); }
    void Close() override {}
    void Write(const std::uint8_t*, std::size_t) override {}
    bool Connected() const override { return false; }
    TBaudRate BaudRate() const override { return rate_; }
    void SetBaudRate(TBaudRate rate) override { rate_ = rate; }
    std::string Port() const override { return port_; }
    void SetPort(const std::string& name) override { port_ = name; }
    void ExpectReply(std::uint8_t, std::uint64_t) override {}
    void SetBlockHandler(BlockHandler) override {}

private:
    TBaudRate rate_ = TBaudRate::br9600;
    std::string port_ = "COM1";
};

class SamplePorts : public ISystemPortList {
public:
    std::optional<std::vector<SystemPort>> Read() override
    {
        return std::vector<SystemPort>{{"COM1", "module simulator"}, {"ttyUSB0", "USB-RS485 adapter"}};
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: imconf-screens FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    qtui::ApplyLook(app);
    QtEventLoop loop;
    ProgramState state;
    ConfigModel config;
    IdleLine line;
    QtDialogs dialogs;
    QtScreen screen;
    SamplePorts ports;
    TForm1 form(TForm1Environment{loop, state, config, line, dialogs, ports, screen, "comports.txt", "."});
    form.FormCreate();
    MainWindow window(form);
    window.show();
    form.FormActivate();

    int result = 0;
    // After the window's first activation (which sets the grids up) the sample
    // configuration is edited in as a user would.
    QTimer::singleShot(500, &window, [&] {
    // A sample configuration, edited as a user would.
        for (std::uint8_t type : {std::uint8_t{22}, std::uint8_t{8}, std::uint8_t{9}})
            form.AddNodeClick(type);
        config.NodeTable[1].Address = 12;
        form.NodesGrid.ClickCell(0, 1);
        form.ShowNodeList();
        const std::uint16_t entries[] = {0x0000, 0x0001, 0x0205, 0x1205, 0x2205, 0x0A07, 0x0010, 0x4203};
        for (std::size_t i = 0; i < std::size(entries); ++i) {
            config.LinkTable[i] = entries[i];
            form.ShowLinkEntry(i);
        }
        for (std::size_t i = std::size(entries); i < config.LinkTable.size(); ++i)
            form.ShowLinkEntry(i);
        form.LINK_Grid.ClickCell(1, 4);
        result |= window.grab().save(folder + "/master.png", "PNG") ? 0 : 1;
        form.TePageControl1.SetActivePageIndex(1);
        if (auto* tabs = window.findChild<QTabWidget*>("TePageControl1"))
            tabs->setCurrentIndex(1);
        QTimer::singleShot(300, &window, [&] {
            result |= window.grab().save(folder + "/slave.png", "PNG") ? 0 : 1;
            QCoreApplication::exit(result);
        });
    });
    return QApplication::exec();
}
