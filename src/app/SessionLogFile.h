#pragma once
// The session log's files: one a day in the log folder ("imconf-2026-12-10.log"), or the one
// file named on the command line. Lines are appended through a buffer and handed to the system
// once per call (no sync to the disk), so a transaction costs one write. A file that cannot be
// written is told once (`onFailure`, one line for standard error) and then left alone: the
// tool goes on without its log.

#include "app/SessionLog.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace imconf {

inline constexpr int kLogKeptDays = 90;
inline constexpr std::uint64_t kLogFolderBytes = 50ull * 1024 * 1024;

class SessionLogFile : public LogLines {
public:
    using Failure = std::function<void(const std::string& text)>;

    // One file a day in `folder` (made when missing).
    static SessionLogFile Daily(std::string folder, Failure onFailure);
    // Every day into `path`.
    static SessionLogFile Single(std::string path, Failure onFailure);

    void Write(const std::string& day, const std::string& lines) override;

    // The name of a day's file in a log folder.
    static std::string DayFileName(const std::string& day);

private:
    SessionLogFile(std::string folder, std::string path, Failure onFailure);
    bool Open(const std::string& day);
    void Fail(const std::string& path, const std::string& reason);

    std::string folder_;  // empty: the single file `path_`
    std::string path_;
    Failure onFailure_;
    std::ofstream file_;
    std::string openDay_;
    bool failed_ = false;  // for the rest of openDay_ (a single file: for good)
    bool told_ = false;
};

// Keeps a log folder small, at start: the day files older than `keptDays` before `today` go,
// then the oldest others until the day files hold at most `maxBytes` (today's file stays).
// Other files are never touched; nothing that fails here is an error.
void PruneLogFolder(const std::string& folder, const std::string& today,
                    int keptDays = kLogKeptDays, std::uint64_t maxBytes = kLogFolderBytes);

// A log file following a window, with the time of the system's clock: the windows' day files
// and imconf-cli's --log FILE.
class FormLogFile {
public:
    FormLogFile(TForm1& form, SessionLogFile file);

private:
    SessionLogFile file_;
    WindowSessionLog log_;
};

// The windows' log: the day files in `folder` (the user's log folder), pruned first. Without a
// folder there is no log, and `onFailure` says so.
std::unique_ptr<FormLogFile> StartWindowLog(TForm1& form, const std::optional<std::string>& folder,
                                            const SessionLogFile::Failure& onFailure);

}  // namespace imconf
