// Files and names that are no valid input, through the window: every one gets its message
// and nothing else happens (nothing sent, nothing written, no hang, no large read).

#include "FaultRig.h"
#include "serial/PortFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <filesystem>
#include <random>
#include <sys/stat.h>

using namespace imconf;
using namespace imconf::faults;
using namespace imconf::testing;

namespace {

const std::vector<std::string> kSizeError{"   : download firmware...",
                                          "   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА."};

struct UpgradeRig : WindowRig {
    UpgradeRig()
    {
        module.SetMode(sim::TMode::Bootloader);
        ports.Set({"COM1"});
        Create();
        form->FormActivate();
    }
    TForm1& F() { return *form; }
    // Chooses `path` in the file dialog of "Firmware Upgrade...".
    void Upgrade(const std::string& path)
    {
        dialogs.fileAnswer = path;
        F().CustomItem24->Click();
    }
    std::string WriteImage(std::size_t size)
    {
        const std::string path = dir.File("fw" + std::to_string(size) + ".hex");
        std::ofstream(path, std::ios::binary) << std::string(size, '\x5A');
        return path;
    }
    // Refused: the lines, nothing sent, the panes as before an upgrade.
    void ExpectRefused(const std::vector<std::string>& lines, const std::string& what)
    {
        EXPECT_EQ(form->TeMemo1.Lines.Items(), lines) << what;
        EXPECT_EQ(state.OperationState, opstate::Idle) << what;
        EXPECT_TRUE(line.Requests().empty()) << what;
        EXPECT_TRUE(form->TeMemo1.Visible()) << what;
        EXPECT_FALSE(form->TeMemo2.Visible()) << what;
        EXPECT_FALSE(form->TeProgressBar1.Visible()) << what;
    }
};

}  // namespace

TEST(BadInput, UpgradeImageOfEverySizeClass)
{
    // Below the header: refused. Header with 0..2048 EEPROM bytes: the transfer starts with
    // page 0 and the bar covers the blocks the file supplies. Beyond 2048: refused.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{14337},
                                   std::size_t{14338 + 2049}, std::size_t{14338 + 100000}}) {
        UpgradeRig rig;
        rig.Upgrade(rig.WriteImage(size));
        rig.ExpectRefused(kSizeError, std::to_string(size) + " bytes");
    }
    struct Accepted {
        std::size_t eeprom;
        int blocks;
    };
    for (const Accepted c : {Accepted{0, 0}, Accepted{1, 1}, Accepted{16, 1}, Accepted{17, 2},
                             Accepted{512, 32}, Accepted{513, 33}, Accepted{2048, 128}}) {
        UpgradeRig rig;
        rig.Upgrade(rig.WriteImage(14338 + c.eeprom));
        EXPECT_EQ(rig.state.OperationState, opstate::Upgrade) << c.eeprom;
        EXPECT_EQ(rig.F().Firmware.EepromBlockCount, c.blocks) << c.eeprom;
        EXPECT_EQ(rig.F().TeProgressBar1.Max(), c.blocks + 29) << c.eeprom;
        ASSERT_EQ(rig.line.Requests().size(), 1u) << c.eeprom;
        EXPECT_EQ(rig.line.Requests()[0].bytes.size(), 515u) << c.eeprom;
    }
}

TEST(BadInput, UpgradeFilesThatCannotBeRead)
{
    {
        UpgradeRig rig;  // a folder
        rig.Upgrade(rig.dir.Path().string());
        rig.ExpectRefused({"   : ERROR - File access denied."}, "folder");
    }
    {
        UpgradeRig rig;  // a FIFO nobody writes to: a blocking open would never return
        const std::string fifo = rig.dir.File("fifo.hex");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const auto start = std::chrono::steady_clock::now();
        rig.Upgrade(fifo);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        rig.ExpectRefused({"   : ERROR - File access denied."}, "FIFO");
    }
    {
        UpgradeRig rig;  // 1 GB, sparse: refused by its size, not read into memory
        const std::string sparse = rig.dir.File("sparse.hex");
        std::ofstream{sparse};
        std::filesystem::resize_file(sparse, std::uintmax_t{1} << 30);
        const std::size_t rssBefore = ResidentBytes();
        const auto start = std::chrono::steady_clock::now();
        rig.Upgrade(sparse);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_LT(ResidentBytes(), rssBefore + (64u << 20));
        rig.ExpectRefused(kSizeError, "sparse");
    }
    {
        UpgradeRig rig;  // a name that is gone by the time it is opened
        rig.Upgrade(rig.dir.File("gone.hex"));
        rig.ExpectRefused({"   : ERROR - File not found."}, "missing");
    }
    if (::geteuid() == 0) {
        std::printf("unreadable upgrade file: skipped, permission bits do not stop root\n");
    } else {
        UpgradeRig rig;
        const std::string path = rig.WriteImage(14338);
        ASSERT_EQ(::chmod(path.c_str(), 0), 0);
        rig.Upgrade(path);
        rig.ExpectRefused({"   : ERROR - File access denied."}, "mode 000");
    }
}

TEST(BadInput, PortListFileWithBinaryLongAndUnterminatedLines)
{
    const std::vector<std::string> fileRead{"   : РЕЕСТР - ОШИБКА ДОСТУПА К СПИСКУ COM-ПОРТОВ.",
                                            "   : ЗАПРОС СПИСКА ИЗ ФАЙЛА \"COMPORTS.TXT\".....",
                                            "   : OK."};
    {
        WindowRig rig;  // binary bytes: at most 10 entries, each a clean line of bounded length
        rig.ports.ports.reset();
        std::mt19937 random(99);
        std::string bytes(256 * 1024, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 97 == 0 ? '\n' : random());
        rig.dir.Write("comports.txt", bytes);
        TForm1& form = rig.Create();
        EXPECT_EQ(form.TeMemo1.Lines.Items(), fileRead);
        ASSERT_EQ(form.PORT1->Count(), 10u);
        for (const std::string& caption : rig.PortCaptions()) {
            EXPECT_TRUE(IsValidUtf8(caption));
            EXPECT_LE(caption.size(), 3 * kMaxPortFileLineBytes);
            for (const char ch : caption)
                EXPECT_TRUE(static_cast<unsigned char>(ch) >= 0x20 || ch == '\t');
        }
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{rig.PortCaptions()[0]});
        EXPECT_EQ(rig.line.Port(), rig.PortCaptions()[0]);
        EXPECT_EQ(rig.line.OpenCount(), 0) << "listing a port does not open it";
    }
    {
        WindowRig rig;  // a 1 MB line, CRLF line ends, no line end after the last line
        rig.ports.ports.reset();
        rig.dir.Write("comports.txt", std::string(1 << 20, 'A') + "\r\nCOM3\r\nCOM1");
        TForm1& form = rig.Create();
        EXPECT_EQ(form.TeMemo1.Lines.Items(), fileRead);
        EXPECT_EQ(
            rig.PortCaptions(),
            (std::vector<std::string>{std::string(kMaxPortFileLineBytes, 'A'), "COM3", "COM1"}));
        EXPECT_EQ(rig.CheckedPorts(), std::vector<std::string>{"COM1"});
        // Rebuilt at the next press on the menu bar: the same entries, nothing accumulates.
        form.TeMenuBar1MouseDown();
        EXPECT_EQ(form.PORT1->Count(), 3u);
        EXPECT_EQ(form.TeMemo1.Lines.Items(), fileRead);
    }
}

TEST(BadInput, PortNamesThatAreNoSerialPort)
{
    imconf::testing::TempDir dir;
    const std::string file = dir.File("plain.txt");
    dir.Write("plain.txt", "keep me");
    const std::string fifo = dir.File("port.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fifoReader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifoReader, 0);
    const std::vector<std::string> names{"my port 1",
                                         "COM 1 ",
                                         file,
                                         dir.Path().string(),
                                         dir.Path().string() + "/",
                                         fifo,
                                         "/nonexistent/ttyIMCONF",
                                         "usb/serial/0",
                                         "ttyIMCONF-none",
                                         ""};

    PortWindow w(names[0]);
    w.ports.ports = std::vector<SystemPort>{};
    for (const std::string& name : names)
        w.ports.ports->push_back({name, {}});
    w.F().TeMenuBar1MouseDown();
    ASSERT_EQ(w.F().PORT1->Count(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        SCOPED_TRACE("port name [" + name + "]");
        w.F().PORT1->Item(i).Click();
        ASSERT_EQ(w.port.Port(), name);
        EXPECT_EQ(w.F().StatusBar1.PanelText(0), name);
        const std::string portLine = std::string(kPortErrorLine) + name;

        w.F().Sound_Butt.Click();
        ASSERT_EQ(w.Trace().size(), 3u);
        EXPECT_EQ(w.Trace()[1], "RX :");
        EXPECT_EQ(w.Trace()[2], portLine);
        EXPECT_FALSE(w.F().Engine.TransactionInFlight());

        w.F().TeButton5.Click();
        ASSERT_TRUE(w.RunToIdle(2s));
        EXPECT_EQ(w.Trace(), (std::vector<std::string>{kReadTitle, portLine, kError}));
        EXPECT_FALSE(w.port.Connected());
    }
    EXPECT_EQ(w.line.writes, 0u);
    EXPECT_TRUE(w.dialogs.errors.empty()) << "no general error report";
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "keep me");
    char byte = 0;
    EXPECT_LE(::read(fifoReader, &byte, 1), 0) << "nothing was written into the FIFO";
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path()));
    ::close(fifoReader);
}
