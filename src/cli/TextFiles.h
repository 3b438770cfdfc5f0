#pragma once
// Whole text files by name are the core's (runtime/TextFiles.h); the command line's names.

#include "runtime/TextFiles.h"

namespace imconf::cli {

using imconf::CheckWritable;
using imconf::ReadTextFile;
using imconf::WriteTextFile;

}  // namespace imconf::cli
