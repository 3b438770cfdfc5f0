#pragma once
// The configuration file is the core's (config/ConfigFile.h), so the window opens it too; the
// command line keeps its names for it.

#include "config/ConfigFile.h"

namespace imconf::cli {

using imconf::DescribeModel;
using imconf::Differences;
using imconf::FromModel;
using imconf::kFormatName;
using imconf::kFormatVersion;
using imconf::LoadConfigFile;
using imconf::LoadedConfig;
using imconf::ModuleConfig;
using imconf::ParseConfigText;
using imconf::ReadOrigin;
using imconf::ToModel;
using imconf::WriteConfigText;

}  // namespace imconf::cli
