#pragma once
// How programs on Linux tell each other that a terminal is in use, and our part in it.
//
// Three marks are usual: the terminal's exclusive flag (TIOCEXCL; the kernel turns away later
// openers, except those with CAP_SYS_ADMIN), an advisory lock on the open terminal (flock) and
// a lock file LCK..<name> in /var/lock holding the holder's process id as ten ASCII digits and
// a newline. The serial component refuses a terminal that carries any of them and sets all
// three while it holds one (the lock file only where the folder lets it write). A program that
// opens a terminal without any mark cannot be seen.
//
// A lock file counts as another program's while the process it names runs and was already
// running when the file was written (process ids are reused); one without a readable process id
// (empty, garbage, a link, a FIFO, unreadable) counts only while it is fresh, a few seconds
// after it was written, since its writer may be writing it right now. Any other lock file is
// stale and is replaced. Our own is written whole in one step (a private file in the same
// folder, linked to the lock name). A folder that cannot be used is like one where no lock
// file can be made: the port is used without one.
//
// Lock file names: /dev/ttyUSB0 -> LCK..ttyUSB0; below /dev every '/' becomes '_', so the
// pseudo-terminal /dev/pts/3 is LCK..pts_3; a device node elsewhere gives its base name.

#include <string>

namespace imconf::linuxtty {

// The folder of the lock files: the one last set, otherwise the environment variable
// IMCONF_LOCK_DIR when it is set and not empty (the test runs point it at a scratch folder),
// otherwise /var/lock. Set it before any port is opened.
void SetLockFolder(std::string folder);
std::string LockFolder();

// "LCK..<name>" for the terminal at `devicePath`.
std::string LockFileName(const std::string& devicePath);

// The marks this process set on one open terminal.
class PortMarks {
public:
    // Refuses the terminal open as `fd` when another program marked it, then sets our marks.
    // `path` is the path it was opened by (used for the lock file's name when the kernel does
    // not tell the device's own path). Returns 0, EBUSY when the terminal is held, or the error
    // of the advisory lock. On failure nothing of ours is left set.
    int Take(int fd, const std::string& path);
    // Clears the marks Take set, and no others; the advisory lock goes with the descriptor.
    void Release(int fd);
    // After Take refused the terminal for a lock file: the file and the process id in it.
    const std::string& Refusal() const { return refusal_; }

private:
    // Makes our lock file unless a running program has one; 0 or EBUSY.
    int TakeLockFile(const std::string& file);

    bool exclusive_ = false;  // we set the exclusive flag
    std::string lockFile_;    // the lock file we wrote, if any
    std::string refusal_;
};

}  // namespace imconf::linuxtty
