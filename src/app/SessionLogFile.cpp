#include "app/SessionLogFile.h"

#include "runtime/FileAccess.h"
#include "runtime/FileErrors.h"
#include "runtime/LogSystem.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace imconf {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefix = "imconf-";
constexpr std::string_view kSuffix = ".log";

// "2026-12-10" as a day count; nothing for any other text.
std::optional<std::chrono::sys_days> ParseDay(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    const auto number = [](std::string_view digits, auto& value) {
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return ec == std::errc{} && end == digits.data() + digits.size();
    };
    if (!number(text.substr(0, 4), y) || !number(text.substr(5, 2), m) ||
        !number(text.substr(8, 2), d))
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{y}, std::chrono::month{m},
                                           std::chrono::day{d}};
    if (!date.ok())
        return std::nullopt;
    return std::chrono::sys_days{date};
}

}  // namespace

SessionLogFile::SessionLogFile(std::string folder, std::string path, Failure onFailure)
    : folder_(std::move(folder)),
      path_(std::move(path)),
      onFailure_(std::move(onFailure))
{
}

SessionLogFile SessionLogFile::Daily(std::string folder, Failure onFailure)
{
    return SessionLogFile(std::move(folder), {}, std::move(onFailure));
}

SessionLogFile SessionLogFile::Single(std::string path, Failure onFailure)
{
    return SessionLogFile({}, std::move(path), std::move(onFailure));
}

std::string SessionLogFile::DayFileName(const std::string& day)
{
    return std::string(kPrefix) + day + std::string(kSuffix);
}

void SessionLogFile::Fail(const std::string& path, const std::string& reason)
{
    failed_ = true;
    file_.close();
    if (told_ || !onFailure_)
        return;
    told_ = true;
    onFailure_("the session log cannot be written: " + path + ": " + reason +
               "; going on without it");
}

bool SessionLogFile::Open(const std::string& day)
{
    if (folder_.empty()) {
        if (file_.is_open() || failed_)
            return !failed_;
    } else {
        if (day == openDay_)
            return !failed_;
        file_.close();
        openDay_ = day;
        failed_ = false;
        std::error_code error;
        fs::create_directories(files::PathFromUtf8(folder_), error);
        if (error) {
            Fail(folder_, error.message());
            return false;
        }
        path_ = files::Utf8FromPath(files::PathFromUtf8(folder_) / DayFileName(day));
    }
    errno = 0;
    file_.open(files::PathFromUtf8(path_), std::ios::out | std::ios::app | std::ios::binary);
    if (!file_.is_open()) {
        Fail(path_, errno != 0 ? FileErrorText(errno) : "cannot be opened");
        return false;
    }
    return true;
}

void SessionLogFile::Write(const std::string& day, const std::string& lines)
{
    if (!Open(day))
        return;
    file_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    file_.flush();
    if (!file_)
        Fail(path_, FileErrorText(errno != 0 ? errno : EIO));
}

void PruneLogFolder(const std::string& folder, const std::string& today, int keptDays,
                    std::uint64_t maxBytes)
{
    const auto todayDays = ParseDay(today);
    if (!todayDays)
        return;
    struct DayFile {
        std::chrono::sys_days day;
        fs::path path;
        std::uint64_t size;
    };
    std::vector<DayFile> dayFiles;
    std::error_code error;
    for (fs::directory_iterator it(files::PathFromUtf8(folder), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = files::Utf8FromPath(it->path().filename());
        if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix) ||
            name.size() != kPrefix.size() + 10 + kSuffix.size())
            continue;
        const auto day = ParseDay(std::string_view(name).substr(kPrefix.size(), 10));
        std::error_code sizeError;
        const std::uint64_t size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
        if (!day || sizeError)
            continue;
        dayFiles.push_back({*day, it->path(), size});
    }
    std::sort(dayFiles.begin(), dayFiles.end(),
              [](const DayFile& a, const DayFile& b) { return a.day < b.day; });
    std::uint64_t total = 0;
    for (const DayFile& file : dayFiles)
        total += file.size;
    for (const DayFile& file : dayFiles) {
        const bool tooOld = file.day < *todayDays - std::chrono::days{keptDays};
        if (!tooOld && (total <= maxBytes || file.day >= *todayDays))
            continue;
        std::error_code removeError;
        if (fs::remove(file.path, removeError))
            total -= file.size;
    }
}

namespace {

std::string Now()
{
    return LocalTimeStamp(std::chrono::system_clock::now());
}

}  // namespace

FormLogFile::FormLogFile(TForm1& form, SessionLogFile file)
    : file_(std::move(file)),
      log_(form, file_, Now)
{
}

std::unique_ptr<FormLogFile> StartWindowLog(TForm1& form, const std::optional<std::string>& folder,
                                            const SessionLogFile::Failure& onFailure)
{
    if (!folder) {
        if (onFailure)
            onFailure("the session log has no folder: the system names no home folder; going on "
                      "without it");
        return nullptr;
    }
    PruneLogFolder(*folder, Now().substr(0, 10));
    return std::make_unique<FormLogFile>(form, SessionLogFile::Daily(*folder, onFailure));
}

}  // namespace imconf
