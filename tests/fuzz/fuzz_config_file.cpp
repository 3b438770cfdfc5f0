// The configuration file loader on arbitrary file contents (files come from other people's
// laptops). Besides no crash: a file is either refused with a "field: reason" text or gives a
// model the module takes (at most 32 nodes, at most 24 loops, the nodes as listed), and a file
// taken is written back to a text that loads to the same configuration.

#include "FuzzCheck.h"

#include "config/Catalogue.h"
#include "config/ConfigFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace imconf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const LoadedConfig loaded = ParseConfigText(text);
    if (!loaded.Ok()) {
        FUZZ_CHECK(loaded.Error.find(": ") != std::string::npos);
        return 0;
    }
    const ModuleConfig& config = loaded.Config;
    FUZZ_CHECK(config.Nodes.size() <= kMaxNodes);
    FUZZ_CHECK(loaded.Model.NodeCount == config.Nodes.size());
    std::size_t loops = 0;
    for (std::size_t i = 0; i < config.Nodes.size(); ++i) {
        FUZZ_CHECK(FindDeviceType(config.Nodes[i].Type) != nullptr);
        FUZZ_CHECK(config.Nodes[i].Address >= 1 && config.Nodes[i].Address <= 247);
        FUZZ_CHECK(loaded.Model.NodeTable[i].TypeCode == config.Nodes[i].Type);
        FUZZ_CHECK(loaded.Model.NodeTable[i].Address == config.Nodes[i].Address);
        loops += LoopCountOf(config.Nodes[i].Type);
    }
    FUZZ_CHECK(loops <= kIndicatorCount);
    FUZZ_CHECK(FromModel(loaded.Model) == config);

    const LoadedConfig again = ParseConfigText(WriteConfigText(config, loaded.Origin));
    FUZZ_CHECK(again.Ok());
    FUZZ_CHECK(again.Config == config);
    return 0;
}
