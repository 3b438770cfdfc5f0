// A configuration file opened into the window, as the command line reads it.

#include "app/Form1.h"
#include "config/ConfigFile.h"

namespace imconf {

bool TForm1::OpenConfigFile(const std::string& path)
{
    LoadedConfig file = LoadConfigFile(path);
    if (!file.Ok()) {
        dialogs_.ShowError(path + ": " + file.Error);
        return false;
    }
    Config = file.Model;
    TePageControl1.SetActivePageIndex(0);
    ShowTables();
    showTablesOnActivation_ = true;
    return true;
}

void TForm1::ShowTables()
{
    ShowNodeList();
    for (std::size_t i = 0; i < Config.LinkTable.size(); ++i)
        ShowLinkEntry(i);
}

}  // namespace imconf
