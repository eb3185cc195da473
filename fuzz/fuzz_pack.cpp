// Reads any bytes as a ".QVz" pack; every entry of an accepted pack is handed out, unpacked and
// looked up again by its path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/binio.h"
#include "core/pack.h"
#include "platform/window.h"

namespace {

void Visit(QvzPackTree& tree, QvzPackFolder& folder, const std::string& path) {
    for (auto& entry : folder.entries) {
        PackBytes bytes;
        bytes = entry->GetData();
        if (bytes.found && bytes.size) (void)bytes.bytes.get()[bytes.size - 1];
        tree.FindFileEntry((path + entry->name).c_str());
    }
    for (const auto& child : folder.children.folders()) Visit(tree, *child, path + child->name + "/");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QvzPackTree tree;
    BinReader in(data, size);
    std::string fault;
    if (!tree.Serialize(in, nullptr, &fault)) return 0;
    for (const auto& root : tree.roots.folders()) Visit(tree, *root, root->name + "/");
    tree.GetFileData("OBJECTS\\Sub/Name");
    // A damaged entry posts a quit; the queue is not read here, so it must not grow without end.
    ClearWindowMessages();
    return 0;
}
