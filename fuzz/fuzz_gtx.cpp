// Text tables over arbitrary bytes: a table is read whole or not at all, every entry ends in a
// zero, and text boxes opened on any index of it stay within their records.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/nztfile.h"
#include "ui/textbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    NztFile stream;
    stream.OpenMemory(data, static_cast<uint32_t>(size));
    const int read = ReadGtxTable(stream, "fuzz.Gtx");
    stream.Close();
    if (read == 0 && 4 + uint64_t{GtxTable.count} * GtxEntryBytes > size) __builtin_trap();
    if (GtxTable.entries.size() != uint64_t{GtxTable.count} * GtxEntryBytes) __builtin_trap();
    for (uint32_t i = 0; i < GtxTable.count; ++i) {
        if (strnlen(GtxEntry(i), GtxEntryBytes) == GtxEntryBytes) __builtin_trap();
    }
    if (*GtxEntry(-1) != '\0' || *GtxEntry(GtxTable.count) != '\0') __builtin_trap();

    ClearTextBoxes();
    TextBoxRequest request{};
    request.duration = 1.0f;
    request.autoSize = 1;
    for (int32_t index : {0, 1, static_cast<int32_t>(GtxTable.count) - 1}) {
        request.textIndex = index;
        const int32_t box = OpenTextBox(nullptr, &request);
        if (box < 0) __builtin_trap();
        const TextBox& b = TextBoxes[box];
        if (b.lineCount == 0 || b.lineCount > MaxTextLines) __builtin_trap();
        for (uint32_t l = 0; l < b.lineCount; ++l) {
            if (b.lines[l].text < b.text || b.lines[l].text >= b.text + sizeof b.text) __builtin_trap();
        }
    }
    ClearTextBoxes();
    FreeGtxTable();
    return 0;
}
