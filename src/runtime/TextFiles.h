#pragma once
// Whole text files by name (UTF-8 paths on every platform), with the error texts the tool uses.

#include <optional>
#include <string>

namespace imconf {

// The file's bytes into `text`; the error's text when it cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path, std::string& text);

// Creates or overwrites the file with `text`; the error's text on failure.
std::optional<std::string> WriteTextFile(const std::string& path, const std::string& text);

// Whether `path` can be written, found without changing a file that is there: the error's
// text when it cannot.
std::optional<std::string> CheckWritable(const std::string& path);

}  // namespace imconf
