#include "seeds.h"

namespace {

fuzzseeds::Bytes Text(const std::string& text) { return fuzzseeds::Bytes(text.begin(), text.end()); }

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakeUserRegSeeds() {
    return {
        {"links.ini", Text("; links of the game\n[HKEY_CURRENT_USER/Software/Quorvane/Links]\n"
                           "Site=https://example.org/?a=b\nManual=Docs/manual.pdf\n")},
        {"escapes.ini", Text("[HKEY_LOCAL_MACHINE\\Software\\Maker]\r\n\\[odd\\=name\\;=two\\nlines \\\\ end\r\n=\r\n")},
        {"merged.ini", Text("[hkey_users//a/]\nx=1\n[HKEY_USERS/A]\nX=2\ny=\n")},
        {"damaged.ini", Text("x=before key\n[HKEY_BOGUS]\n")},
        {"empty.ini", Text("")},
    };
}

fuzzseeds::Registration userregSeeds("userreg", MakeUserRegSeeds);

}  // namespace
