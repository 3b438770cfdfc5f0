#pragma once
// An owned open file (runtime/FileAccess.h), closed when its owner goes.

#include "runtime/FileAccess.h"

namespace imconf {

class UniqueFd {
public:
    explicit UniqueFd(files::FileHandle fd) : fd_(fd) {}
    ~UniqueFd()
    {
        if (fd_ != files::kNoFile)
            files::Close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    files::FileHandle Get() const { return fd_; }
    // Gives the file up without closing it (for a close whose result counts).
    files::FileHandle Release()
    {
        const files::FileHandle fd = fd_;
        fd_ = files::kNoFile;
        return fd;
    }

private:
    files::FileHandle fd_;
};

}  // namespace imconf
