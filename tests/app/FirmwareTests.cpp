// Firmware upgrade through the simulator's bootloader and the image builder, in virtual time.

#include "../firmware/HexText.h"
#include "AppTestSupport.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iterator>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

const std::vector<std::string> kAbortLines{"   : firmware upgrade...",
                                           "   : ОШИБКА: Нет ответа от пульта.",
                                           "   : ? -> Перезапустить пульт в режиме загрузчика;",
                                           "   :   -> Проверить настройки COM порта;"};

std::vector<std::uint8_t> ImageFile(std::size_t eeprom)
{
    std::vector<std::uint8_t> bytes(14338 + eeprom);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 13) ^ (i >> 9));
    return bytes;
}

struct Rig : WindowRig {
    explicit Rig(bool bootloader = true)
    {
        if (bootloader)
            module.SetMode(sim::TMode::Bootloader);
        ports.Set({"COM1"});
        Create();
        form->FormActivate();
    }
    TForm1& F() { return *form; }
    std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = dir.File(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    void Upgrade(const std::vector<std::uint8_t>& file)
    {
        dialogs.fileAnswer = WriteFile("fw.hex", file);
        F().CustomItem24->Click();
    }
    bool RunToIdle(Micros limit = 120s)
    {
        return loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
            },
            limit);
    }
    std::vector<std::string> Trace() const { return form->TeMemo1.Lines.Items(); }
};

}  // namespace

TEST(FirmwareUpgrade, WithoutEepromPartSendsThirtyFramesAndCompletes)
{
    Rig rig;
    std::vector<int> positions;
    rig.F().TeProgressBar1.Subscribe([&] {
        if (positions.empty() || positions.back() != rig.F().TeProgressBar1.Position())
            positions.push_back(rig.F().TeProgressBar1.Position());
    });
    const auto file = ImageFile(0);
    rig.Upgrade(file);
    ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(rig.dialogs.fileRequests[0].Title, "    OPEN");
    EXPECT_EQ(rig.dialogs.fileRequests[0].FileName, " -> ВЫБЕРИТЕ ФАЙЛ С ПРОШИВКОЙ...");
    EXPECT_EQ(rig.dialogs.fileRequests[0].Filter, "hex файлы|*.hex");
    EXPECT_EQ(rig.dialogs.fileRequests[0].InitialDir, rig.dir.Path().string());
    EXPECT_EQ(rig.state.OperationState, opstate::Upgrade);
    EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br19200);
    EXPECT_EQ(rig.F().TeProgressBar1.Max(), 29);
    EXPECT_EQ(rig.F().TeMemo2.Lines.Items(), std::vector<std::string>{"   : download firmware..."});
    ASSERT_TRUE(rig.RunToIdle());

    ASSERT_EQ(rig.line.Requests().size(), 30u);
    EXPECT_EQ(rig.line.Requests()[0].bytes.size(), 515u);
    EXPECT_EQ(rig.line.Requests()[28].bytes.size(), 19u);
    EXPECT_EQ(rig.line.Requests()[28].bytes[16], 31);
    EXPECT_EQ(rig.line.Requests()[29].bytes,
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0x1B}));
    std::vector<int> expected;
    for (int p = 1; p <= 29; ++p)
        expected.push_back(p);
    EXPECT_EQ(positions, expected);

    EXPECT_EQ(rig.Trace(), (std::vector<std::string>{"   : firmware upgrade...", "   : OK."}));
    EXPECT_TRUE(rig.F().TeMemo1.Visible());
    EXPECT_FALSE(rig.F().TeMemo2.Visible());
    EXPECT_FALSE(rig.F().TeProgressBar1.Visible());
    EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : А = 247; Baud = 9600");
    EXPECT_TRUE(rig.module.Bootloader().Complete());
    EXPECT_TRUE(
        std::equal(file.begin(), file.begin() + 14336, rig.module.Bootloader().Flash().begin()));
    const auto& eeprom = rig.module.Bootloader().Eeprom();
    EXPECT_EQ(eeprom[496], 0xFF);
    EXPECT_EQ(eeprom[506], file[14336]);
    EXPECT_EQ(eeprom[507], file[14337]);
    EXPECT_FALSE(rig.line.Connected());
}

TEST(FirmwareUpgrade, CommandPressedDuringTheTransferGoesOutWhenItEnds)
{
    Rig rig;
    rig.Upgrade(ImageFile(0));
    ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.F().Engine.TransactionInFlight(); }, 1s));
    rig.F().Sound_ButtClick();  // postponed: a frame waits for its acknowledgement
    ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.state.OperationState == opstate::Idle; }, 60s));
    rig.loop.Advance(1s);  // the command goes out and, in the bootloader, times out
    const auto& sent = rig.line.Requests();
    ASSERT_EQ(sent.size(), 31u);
    EXPECT_EQ(sent.back().bytes,
              (std::vector<std::uint8_t>{0xF7, 0x06, 0x00, 0x24, 0xA5, 0x5A, 0x26, 0x3C}));
    EXPECT_EQ(sent.back().baud, 9600u) << "after the port speed is restored";
    EXPECT_EQ(rig.state.CommandDeferred, 0);
    // Nothing is left over to go out in the middle of a later operation.
    rig.module.SetMode(sim::TMode::Modbus);
    rig.F().TeButton5.Click();
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.line.Requests().size(), 35u);
    for (std::size_t i = 31; i < 35; ++i)
        EXPECT_EQ(rig.line.Requests()[i].bytes[1], 0x03);
}

TEST(FirmwareUpgrade, WholeImageArrivesAsTheFileHoldsIt)
{
    Rig rig;
    const auto file = ImageFile(512 + 100);
    rig.Upgrade(file);
    ASSERT_TRUE(rig.RunToIdle(300s));
    ASSERT_EQ(rig.Trace().back(), "   : OK.");
    EXPECT_EQ(rig.line.Requests().size(), 30u + 39u);
    const auto& flash = rig.module.Bootloader().Flash();
    const auto& eeprom = rig.module.Bootloader().Eeprom();
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 14336, flash.begin()));
    for (std::size_t i = 0; i < 612; ++i) {
        const std::uint8_t want =
            (i >= 506 && i < 512) ? file[14336 + (i - 506) % 2] : file[14338 + i];
        ASSERT_EQ(eeprom[i], want) << i;
    }
    for (std::size_t i = 612; i < 624; ++i)
        EXPECT_EQ(eeprom[i], 0xFF) << i;
}

TEST(FirmwareUpgrade, ModuleNotInItsBootloaderAbortsAfterSixTimeouts)
{
    Rig rig(false);
    rig.F().BR_38400->Click();  // the user's speed comes back afterwards
    rig.Upgrade(ImageFile(0));
    std::vector<std::string> panels;
    rig.F().StatusBar1.Subscribe([&] { panels.push_back(rig.F().StatusBar1.PanelText(2)); });
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.line.Requests().size(), 6u);
    for (const auto& r : rig.line.Requests())
        EXPECT_EQ(r.bytes[512], 0) << "page 0 every time";
    EXPECT_EQ(rig.Trace(), kAbortLines);
    EXPECT_NE(std::find(panels.begin(), panels.end(), "UPGRADE PROCESS : ОШИБКИ -> 05"),
              panels.end());
    EXPECT_NE(std::find(panels.begin(), panels.end(), "UPGRADE PROCESS : ОШИБКИ -> 06"),
              panels.end());
    EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br38400);
    EXPECT_EQ(rig.F().StatusBar1.PanelText(2), "DEVICE : А = 247; Baud = 38400");
    EXPECT_FALSE(rig.F().TeProgressBar1.Visible());
}

TEST(FirmwareUpgrade, FailuresAreCountedUntilAnAcknowledgementAndRetryTheSameStep)
{
    Rig rig;
    int frame = 0;
    // Frames 0..2 (page 0) and frame 29 + 3 (the first EEPROM block) are lost once.
    rig.line.Intercept = [&](std::span<const std::uint8_t>) -> std::optional<sim::TReply> {
        const int n = frame++;
        if (n < 3 || n == 28 + 3)
            return sim::TReply{};
        return std::nullopt;
    };
    std::vector<std::string> panels;
    rig.F().StatusBar1.Subscribe([&] { panels.push_back(rig.F().StatusBar1.PanelText(2)); });
    rig.Upgrade(ImageFile(64));
    ASSERT_TRUE(rig.RunToIdle());
    EXPECT_EQ(rig.Trace().back(), "   : OK.");
    const std::vector<std::string> counted(panels.begin(), panels.begin() + 4);
    EXPECT_EQ(counted, (std::vector<std::string>{
                           "UPGRADE PROCESS : ОШИБКИ -> 01", "UPGRADE PROCESS : ОШИБКИ -> 02",
                           "UPGRADE PROCESS : ОШИБКИ -> 03", "UPGRADE PROCESS : ОШИБКИ -> 01"}));
    const auto& r = rig.line.Requests();
    ASSERT_EQ(r.size(), 3u + 30u + 4u + 1u);
    EXPECT_EQ(r[31].bytes.size(), 19u) << "the lost EEPROM block";
    EXPECT_EQ(r[32].bytes, r[31].bytes) << "is sent again, not a page";
    // Retries wait for the sequencer's tick after the time-out.
    EXPECT_GE(r[1].writtenAt - r[0].writtenAt, Micros(1000ms));
}

TEST(FirmwareUpgrade, PortThatCannotBeOpenedStopsTheUpgrade)
{
    for (bool atBlock : {false, true}) {
        Rig rig;
        rig.F().PORT1->Item(0).SetCaption("ttyUSB7");
        rig.line.SetPort("ttyUSB7");
        if (!atBlock)
            rig.line.OpenError = ENOENT;
        rig.Upgrade(ImageFile(32));
        if (atBlock) {
            // While page 27 waits for its acknowledgement, the adapter goes away.
            ASSERT_TRUE(rig.loop.RunUntil([&] { return rig.line.Requests().size() == 28; }, 60s));
            rig.line.OpenError = ENOENT;
        }
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.Trace(),
                  (std::vector<std::string>{"   : firmware upgrade...",
                                            "   : ОСТАНОВЛЕНО - ОШИБКА ОТКРЫТИЯ ПОРТА ttyUSB7"}))
            << atBlock;
        EXPECT_EQ(rig.state.OperationState, opstate::Idle);
        EXPECT_TRUE(rig.F().TeMemo1.Visible());
        EXPECT_FALSE(rig.F().TeMemo2.Visible());
        EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br9600) << "back to the speed the menu shows";
        rig.loop.Advance(5s);
        EXPECT_EQ(rig.line.Requests().size(), atBlock ? 28u : 0u);
    }
}

TEST(FirmwareUpgrade, LoaderMessagesAndRefusals)
{
    {
        Rig rig;
        rig.Upgrade(std::vector<std::uint8_t>(14337, 0));
        EXPECT_EQ(rig.Trace(), (std::vector<std::string>{"   : download firmware...",
                                                         "   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА."}));
        EXPECT_EQ(rig.state.OperationState, opstate::Idle);
        EXPECT_TRUE(rig.line.Requests().empty());
    }
    {
        Rig rig;
        rig.Upgrade(ImageFile(2049));
        EXPECT_EQ(rig.Trace().back(), "   : ОШИБКА: НЕВЕРНЫЙ РАЗМЕР ФАЙЛА.");
    }
    {
        Rig rig;
        rig.dialogs.fileAnswer = rig.dir.File("missing.hex");
        rig.F().CustomItem24->Click();
        EXPECT_EQ(rig.Trace(), std::vector<std::string>{"   : ERROR - File not found."});
        EXPECT_EQ(rig.state.OperationState, opstate::Idle);
    }
    {
        Rig rig;  // cancelled: nothing at all
        rig.F().CustomItem24->Click();
        EXPECT_EQ(rig.Trace(), (std::vector<std::string>{"TX :", "RX :"}));
    }
    for (std::uint8_t op :
         {std::uint8_t{2}, std::uint8_t{7}, std::uint8_t{250}, std::uint8_t{254}}) {
        Rig rig;
        rig.state.OperationState = op;
        rig.dialogs.fileAnswer = rig.WriteFile("fw.hex", ImageFile(0));
        rig.F().CustomItem24->Click();
        rig.F().CustomItem27Click();
        EXPECT_TRUE(rig.dialogs.fileRequests.empty()) << int(op);
    }
}

TEST(ImageBuilder, BuildsRefusesAndCleansUp)
{
    Rig rig;
    auto build = [&](const std::vector<std::uint8_t>& flash,
                     std::optional<std::vector<std::uint8_t>> eeprom,
                     const std::string& name = "module.bin") {
        rig.dialogs.fileAnswers.clear();
        rig.dialogs.fileAnswers.push_back(rig.WriteFile(name, flash));
        if (eeprom)
            rig.dialogs.fileAnswers.push_back(rig.WriteFile("eeprom.hex", *eeprom));
        else
            rig.dialogs.fileAnswers.push_back(std::nullopt);
        rig.F().CustomItem27Click();
    };
    const std::string output = rig.dir.File("module_Crypt.hex");

    build(std::vector<std::uint8_t>(14336, 0x42), std::vector<std::uint8_t>(512, 0x17));
    ASSERT_TRUE(std::filesystem::exists(output));
    EXPECT_EQ(std::filesystem::file_size(output), 14850u);
    EXPECT_EQ(rig.dialogs.fileRequests[0].Title, "    OPEN HEX FILE OF FLASH");
    EXPECT_EQ(rig.dialogs.fileRequests[1].FileName, " -> ВЫБЕРИТЕ ФАЙЛ EEPROM");
    FirmwareImage loaded;
    PresetForLoad(loaded);
    ASSERT_EQ(LoadUpgradeImage(output, loaded).Outcome, LoadOutcome::Loaded);
    EXPECT_EQ(loaded.EepromBlockCount, 32);

    build(std::vector<std::uint8_t>(1000, 0x42), std::vector<std::uint8_t>(16, 1));
    PresetForLoad(loaded);
    ASSERT_EQ(LoadUpgradeImage(output, loaded).Outcome, LoadOutcome::Loaded);
    EXPECT_EQ(loaded.FlashImage[999], 0x42);
    EXPECT_EQ(loaded.FlashImage[1000], 0xFF);
    EXPECT_EQ(loaded.ImageCrc, Crc16(loaded.FlashImage.data(), 14336));
    EXPECT_EQ(rig.Trace(), (std::vector<std::string>{"TX :", "RX :"}))
        << "a build writes no message";

    for (auto refused :
         {std::make_pair(
              std::vector<std::uint8_t>(14337, 1),
              std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>(16, 1))),
          std::make_pair(std::vector<std::uint8_t>(100, 1),
                         std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{})),
          std::make_pair(
              std::vector<std::uint8_t>(100, 1),
              std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>(513, 1))),
          std::make_pair(std::vector<std::uint8_t>(100, 1),
                         std::optional<std::vector<std::uint8_t>>())}) {
        build(std::vector<std::uint8_t>(100, 1), std::vector<std::uint8_t>(16, 1));
        ASSERT_TRUE(std::filesystem::exists(output));
        build(refused.first, refused.second);
        EXPECT_FALSE(std::filesystem::exists(output)) << refused.first.size();
        EXPECT_EQ(rig.Trace(), (std::vector<std::string>{"TX :", "RX :"}));
    }

    build(std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(16, 1));
    EXPECT_EQ(rig.Trace(), std::vector<std::string>{"   : ERROR - Read beyond end of file."});
}

namespace {

struct Outcomes : OperationObserver {
    std::vector<OperationOutcome> ended;
    void OperationEnded(const OperationOutcome& outcome) override { ended.push_back(outcome); }
};

std::string Hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

}  // namespace

TEST(FirmwareUpgrade, DamagedImageIsSentOnlyWhenTheUserSaysSo)
{
    auto file = ImageFile(0);
    const std::uint16_t given = static_cast<std::uint16_t>(file[14336] | file[14337] << 8);
    const std::uint16_t computed = Crc16(file.data(), 14336);
    ASSERT_NE(given, computed);
    for (const bool yes : {false, true}) {
        Rig rig;
        Outcomes outcomes;
        rig.F().Observers.Add(outcomes);
        rig.dialogs.answerYes = yes;
        rig.Upgrade(file);
        ASSERT_EQ(rig.dialogs.questions.size(), 1u);
        const std::string& question = rig.dialogs.questions[0];
        EXPECT_NE(question.find("fw.hex поврежден"), std::string::npos) << question;
        EXPECT_NE(question.find(Hex4(given)), std::string::npos) << question;
        EXPECT_NE(question.find(Hex4(computed)), std::string::npos) << question;
        if (yes) {
            EXPECT_EQ(rig.state.OperationState, opstate::Upgrade);
            EXPECT_EQ(rig.line.Requests().size(), 1u);
            continue;
        }
        rig.loop.Advance(5s);
        EXPECT_TRUE(rig.line.Requests().empty());
        EXPECT_EQ(rig.state.OperationState, opstate::Idle);
        EXPECT_EQ(rig.line.BaudRate(), TBaudRate::br9600);
        EXPECT_EQ(rig.Trace(),
                  (std::vector<std::string>{"   : download firmware...",
                                            "   : ОШИБКА: НЕВЕРНАЯ КОНТРОЛЬНАЯ СУММА ФАЙЛА."}));
        ASSERT_EQ(outcomes.ended.size(), 1u);
        EXPECT_EQ(outcomes.ended[0].result, OutcomeKind::BadFile);
        rig.F().Observers.Remove(outcomes);
    }
    // A sound image asks nothing.
    file[14336] = static_cast<std::uint8_t>(computed & 0xFF);
    file[14337] = static_cast<std::uint8_t>(computed >> 8);
    Rig rig;
    rig.dialogs.answerYes = false;
    rig.Upgrade(file);
    EXPECT_TRUE(rig.dialogs.questions.empty());
    EXPECT_EQ(rig.state.OperationState, opstate::Upgrade);
}

TEST(ImageBuilder, IntelHexGivesTheImageItsBytesGiveAndBadHexIsRefusedWithItsFile)
{
    Rig rig;
    std::vector<std::uint8_t> flash(1000);
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<std::uint8_t>(i * 5 + 1);
    const std::vector<std::uint8_t> eeprom(100, 0x33);
    const std::string output = rig.dir.File("module_Crypt.hex");
    auto build = [&](const std::string& flashText, const std::string& eepromText) {
        rig.dialogs.fileAnswers = {rig.WriteFile("module.hex", test::BytesOf(flashText)),
                                   rig.WriteFile("eeprom.hex", test::BytesOf(eepromText))};
        rig.F().CustomItem27Click();
        std::ifstream in(output, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    const auto fromBytes = build({flash.begin(), flash.end()}, {eeprom.begin(), eeprom.end()});
    ASSERT_EQ(fromBytes.size(), 14338u + 100u);
    EXPECT_EQ(build(test::HexOf(flash), test::HexOf(eeprom)), fromBytes);
    EXPECT_EQ(rig.Trace(), (std::vector<std::string>{"TX :", "RX :"}));

    // A damaged record: refused with the file, its size and the line; the older output goes.
    std::string bad = test::HexOf(flash);
    char& checksum = bad[bad.find('\n') - 2];  // the first record's checksum, last digit
    checksum = checksum == '0' ? '1' : '0';
    EXPECT_TRUE(build(bad, test::HexOf(eeprom)).empty());
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(rig.Trace(), std::vector<std::string>{"   : ОШИБКА: ФАЙЛ module.hex (" +
                                                    std::to_string(bad.size()) +
                                                    " БАЙТ): СТРОКА 1: НЕВЕРНАЯ КОНТРОЛЬНАЯ "
                                                    "СУММА."});
    // EEPROM data past 512 bytes.
    build(test::HexOf(flash), test::HexRecord(0, 0x1FF, {1, 2}) + test::kHexEnd);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_NE(rig.Trace().back().find("СТРОКА 1: АДРЕС 512 ЗА ПРЕДЕЛАМИ ПАМЯТИ"),
              std::string::npos);
}
