#include <vector>

#include "datakit/pack.h"
#include "seeds.h"

namespace {

using datakit::PackFile;
using datakit::PackFolderSpec;

std::vector<uint8_t> Text(const char* s) { return std::vector<uint8_t>(s, s + std::char_traits<char>::length(s)); }

std::vector<std::pair<std::string, fuzzseeds::Bytes>> MakePackSeeds() {
    PackFolderSpec objects{"OBJECTS", {}, {}};
    objects.files.push_back(PackFile("Tree.QVo", Text("a stored tree"), false));
    objects.files.push_back(PackFile("Rock.QVo", Text("a packed rock, packed rock, packed rock"), true));
    PackFolderSpec sub{"Sub", {}, {}};
    sub.files.push_back(PackFile("Name", Text("nested"), true));
    objects.folders.push_back(sub);

    PackFolderSpec forms{"Forms", {}, {}};
    auto wide = PackFile("Wide.bin", Text("w"), false);
    wide.nameForm = datakit::StringForm::Wide;
    wide.timeForm = datakit::TimeForm::Short;
    forms.files.push_back(wide);
    auto dword = PackFile("Dword.bin", Text("d"), true);
    dword.nameForm = datakit::StringForm::Dword;
    forms.files.push_back(dword);

    PackFolderSpec twin{"OBJECTS", {}, {}};
    twin.files.push_back(PackFile("Tree.QVo", Text("second root"), false));

    return {
        {"empty.QVz", datakit::MakePack({})},
        {"objects.QVz", datakit::MakePack({objects})},
        {"forms.QVz", datakit::MakePack({forms})},
        {"twins.QVz", datakit::MakePack({objects, twin})},
    };
}

fuzzseeds::Registration registration("pack", MakePackSeeds);

}  // namespace
