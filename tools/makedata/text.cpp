// The sample world's text table, "TEXT/Default.Gtx", which the game loads at start. Entry numbers
// are what event records name; '#' breaks a line in a text box.
#include <filesystem>
#include <string>

#include "datakit/gtx.h"
#include "sample.h"

bool WriteSampleText(const std::string& datasFolder) {
    datakit::GtxSpec table;
    table.entries = {
        "Welcome to Quorvane",
        "Press Ctrl+C to open the console",
        "The gate is locked.#Find the key.",
        "Level complete!",
        "Caf\xE9 ouvert#Open caf\xE9#Offenes Caf\xE9",
    };
    const std::filesystem::path path = std::filesystem::path(datasFolder) / "TEXT" / "Default.Gtx";
    return datakit::WriteGtx(path.string(), table);
}
