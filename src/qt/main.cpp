// imconf: the configuration tool's main window.

#include "app/ExecutableDir.h"
#include "app/SessionLogFile.h"
#include "runtime/LogSystem.h"
#include "qt/Look.h"
#include "qt/Measure.h"
#include "qt/ToolWindow.h"
#include "runtime/Interrupt.h"

#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: imconf [--no-log] [FILE.json]\n"
    "The configuration tool of the indication module.\n"
    "  FILE.json           open this configuration file: the grids show it as after a read,\n"
    "                      ready to be edited and written to the module\n"
    "  --no-log            keep no session log (by default every request, reply and outcome\n"
    "                      goes into a file a day in ~/.local/state/imconf/log)\n"
    "\n"
    "For the documentation screenshot only:\n"
    "  --screenshot FILE   save a picture of the window to FILE (PNG) and exit\n"
    "  --delay MS          wait MS milliseconds after the window is shown before the\n"
    "                      picture is taken (default 1000)\n"
    "  --help              show this text\n"
    "\n"
    "For scripts/performance.sh only:\n"
    "  --first-paint       print the time from process start to the first paint and exit\n"
    "  --measure SECONDS   the same, then read the configuration, print the read's time and\n"
    "                      the resident memory, stay idle SECONDS (1..600) seconds, print the\n"
    "                      CPU time used meanwhile and exit\n";

struct Options {
    std::optional<QString> file;
    bool noLog = false;
    std::optional<QString> screenshot;
    int delayMs = 1000;
    bool firstPaint = false;
    int measureSeconds = 0;
    QString error;
};

Options ParseOptions(const QStringList& args)
{
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--screenshot" && i + 1 < args.size()) {
            options.screenshot = args[++i];
        } else if (arg == "--no-log") {
            options.noLog = true;
        } else if (!arg.startsWith("-") && !options.file) {
            options.file = arg;
        } else if (arg == "--first-paint") {
            options.firstPaint = true;
        } else if (arg == "--measure" && i + 1 < args.size()) {
            bool ok = false;
            options.measureSeconds = args[++i].toInt(&ok);
            if (!ok || options.measureSeconds < 1 || options.measureSeconds > 600)
                options.error = "bad --measure value: " + args[i];
        } else if (arg == "--delay" && i + 1 < args.size()) {
            bool ok = false;
            const int delay = args[++i].toInt(&ok);
            if (!ok || delay < 0 || delay > 600000)
                options.error = "bad --delay value: " + args[i];
            else
                options.delayMs = delay;
        } else {
            options.error = "unknown option: " + arg;
        }
        if (!options.error.isEmpty())
            break;
    }
    if (options.error.isEmpty() && options.delayMs != 1000 && !options.screenshot)
        options.error = "--delay goes with --screenshot";
    return options;
}

}  // namespace

int main(int argc, char* argv[])
{
    // The help is there without a display too (over a remote shell, say).
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    // SIGTERM, SIGHUP (the session ends) and Ctrl-C in the starting terminal end the loop as
    // closing the window does, so the port and its marks are released. Made before any thread.
    const imconf::InterruptWatch interrupt([] {
        QCoreApplication* instance = QCoreApplication::instance();
        if (instance == nullptr)
            std::_Exit(imconf::kInterruptedStatus);  // nothing open yet
        QMetaObject::invokeMethod(
            instance, [] { QCoreApplication::exit(imconf::kInterruptedStatus); },
            Qt::QueuedConnection);
    });
    QApplication app(argc, argv);
    QApplication::setApplicationName("imconf");

    const Options options = ParseOptions(QApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "imconf: %s\n%s", options.error.toLocal8Bit().constData(), kUsage);
        return 2;
    }

    imconf::qtui::ApplyLook(app);

    using namespace imconf;
    // The real executable's folder, not the working folder: the file dialogs start there both
    // in the build folder and in the install folder.
    qtui::ToolWindow tool(
        ExecutableFolder().value_or(QCoreApplication::applicationDirPath().toStdString()));
    MainWindow& window = tool.Window();
    std::unique_ptr<FormLogFile> log;
    if (!options.noLog)
        log = StartWindowLog(tool.form, DefaultLogFolder(), [](const std::string& text) {
            std::fprintf(stderr, "imconf: %s\n", text.c_str());
        });
    if (options.file)
        tool.form.OpenConfigFile(options.file->toStdString());

    if (options.screenshot) {
        QTimer::singleShot(options.delayMs, &window, [&window, file = *options.screenshot] {
            const bool saved = window.grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "imconf: cannot write %s\n", file.toLocal8Bit().constData());
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    if (options.firstPaint || options.measureSeconds > 0)
        qtui::StartMeasurement(window, tool.form, tool.state, options.measureSeconds);
    // Closing the window ends the program at once: the last window closed quits the loop.
    return QApplication::exec();
}
