#include "plugin/pluginhost.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/paths.h"
#include "platform/window.h"
#include "plugin/services.h"

PluginRecord* PluginRecords = nullptr;
int32_t PluginCount = 0;
int32_t* ActivePlugins = nullptr;
int32_t ActivePluginCount = 0;

namespace {

constexpr uint32_t MaxPluginFiles = 5000;

template <typename Fn>
Fn Entry(DynLibHandle module, const char* name) {
    return reinterpret_cast<Fn>(GetDynLibSymbol(module, name));
}

// A heap copy of a string the plug-in filled; the field is forced to end inside its size.
char* CopyInfoString(char* field, size_t bytes) {
    field[bytes - 1] = '\0';
    size_t n = std::strlen(field);
    char* copy = static_cast<char*>(std::calloc(n + 1, 1));
    if (copy) std::memcpy(copy, field, n);
    return copy;
}

void ReleaseRecord(PluginRecord& record) {
    std::free(record.firstString);
    std::free(record.secondString);
    CloseDynLib(record.module);
    record = PluginRecord{};
}

PluginRecord* LiveRecord(int32_t index) {
    if (index < 0 || index >= PluginCount) return nullptr;
    PluginRecord& r = PluginRecords[index];
    return r.module ? &r : nullptr;
}

int32_t Disable(int32_t index) {
    PluginRecord* r = LiveRecord(index);
    if (!r || !r->active || !r->DestroyLGp) return 0;
    r->active = 0;  // before the call: the plug-in may ask for its own removal from inside
    return r->DestroyLGp();
}

void LoadFolderPattern(char (*names)[256], const char* pattern) {
    char folder[QvPathMax];
    // The folder as it is spelt on disk ("PLUGIN/" names it case-insensitively).
    if (!ResolvePath(DataFolder, "PLUGIN/", folder, sizeof folder)) return;
    FileSearchState state;
    FindFiles(&state, folder, pattern, names, MaxPluginFiles, false);
    for (uint32_t i = 0; i < state.count; ++i) LoadPlugin(names[i]);
}

uint32_t CallFrameEntries(QvFrameLGpFn PluginRecord::*entry) {
    if (ActivePluginCount == 0) return 0;
    uint32_t result = 0;
    for (int32_t i = ActivePluginCount - 1; i >= 0; --i) {
        PluginRecord* r = LiveRecord(ActivePlugins[i]);
        if (!r || !r->active || !r->frameCalls || !(r->*entry)) continue;
        QvPluginFrameArgs args{MainWindow};
        result |= static_cast<uint32_t>((r->*entry)(&args));
    }
    return result;
}

}  // namespace

PluginRecord* AllocPluginRecord() {
    auto* grown = static_cast<PluginRecord*>(
        std::realloc(PluginRecords, sizeof(PluginRecord) * (static_cast<size_t>(PluginCount) + 1)));
    if (!grown) return nullptr;
    PluginRecords = grown;
    PluginRecord* r = &PluginRecords[PluginCount++];
    new (r) PluginRecord{};
    return r;
}

int32_t FindPlugin(const char* name) {
    if (!name) return -1;
    for (int32_t i = PluginCount - 1; i >= 0; --i)
        if (strcasecmp(PluginRecords[i].name, name) == 0) return i;
    return -1;
}

int32_t AddActivePlugin(int32_t index) {
    if (index < 0 || index >= PluginCount) return 0;
    auto* grown = static_cast<int32_t*>(
        std::realloc(ActivePlugins, sizeof(int32_t) * (static_cast<size_t>(ActivePluginCount) + 1)));
    if (!grown) return 0;
    ActivePlugins = grown;
    ActivePlugins[ActivePluginCount++] = index;
    return 1;
}

int32_t UnloadPlugin(int32_t index) {
    if (!PluginRecords) {
        PluginCount = 0;
        return 0;
    }
    if (index >= 0 && index < PluginCount) {
        if (PluginRecords[index].module) ReleaseRecord(PluginRecords[index]);
        std::memmove(&PluginRecords[index], &PluginRecords[index + 1],
                     sizeof(PluginRecord) * static_cast<size_t>(PluginCount - index - 1));
        if (PluginCount < 2) {
            std::free(PluginRecords);
            PluginRecords = nullptr;
            PluginCount = 0;
            return 0;
        }
        --PluginCount;
    }
    return PluginCount;
}

int32_t LoadPlugin(const char* path) {
    char name[256];
    if (!path || !GetPathFileName(name, path)) return 0;
    if (FindPlugin(name) >= 0) return 0;
    PluginRecord* r = AllocPluginRecord();
    if (!r) return 0;
    std::memcpy(r->name, name, sizeof name);
    const int32_t index = PluginCount - 1;
    // The loader maps what the headers promise; a cut or damaged file must not get that far.
    if (const char* fault = CheckDynLibFile(path)) {
        std::fprintf(stderr, "plugin: %s: not a loadable library (%s)\n", path, fault);
        UnloadPlugin(index);
        return 0;
    }
    DynLibHandle module = OpenDynLib(path);
    if (!module) {
        std::fprintf(stderr, "plugin: %s: cannot load (%s)\n", path, DynLibError());
        UnloadPlugin(index);
        return 0;
    }
    r->module = module;
    auto init = Entry<QvInitLGpFn>(module, "InitLGp");
    auto create = Entry<QvCreateLGpFn>(module, "CreateLGp");
    auto destroy = Entry<QvDestroyLGpFn>(module, "DestroyLGp");
    if (!init || !create || !destroy) {
        std::fprintf(stderr, "plugin: %s: lacks InitLGp, CreateLGp or DestroyLGp\n", path);
        UnloadPlugin(index);
        return 0;
    }
    auto message = Entry<QvMessageLGpFn>(module, "MessageLGp");
    auto import = Entry<QvUnusedLGpFn>(module, "ImportLGp");
    auto exportFn = Entry<QvUnusedLGpFn>(module, "ExportLGp");
    auto initDialog = Entry<QvUnusedLGpFn>(module, "InitDialogLGp");
    auto updateDialog = Entry<QvUnusedLGpFn>(module, "UpdateDialogLGp");
    auto save = Entry<QvUnusedLGpFn>(module, "SaveLGp");
    auto load = Entry<QvUnusedLGpFn>(module, "LoadLGp");
    auto manage = Entry<QvFrameLGpFn>(module, "ManageLGp");
    auto render = Entry<QvFrameLGpFn>(module, "RenderLGp");

    QvPluginInfo info;
    std::memset(&info, 0, sizeof info);
    info.index = index;
    init(&PluginServices, &info);

    r = &PluginRecords[index];  // services called from InitLGp never move the array, but be safe
    r->index = index;
    r->type = info.type;
    r->frameCalls = info.frameCalls;
    r->CreateLGp = create;
    r->DestroyLGp = destroy;
    r->MessageLGp = message;
    r->SaveLGp = save;
    r->LoadLGp = load;
    switch (info.type) {
    case QV_PLUGIN_IMPORT_A:
    case QV_PLUGIN_IMPORT_B:
    case QV_PLUGIN_IMPORT_C:
        r->firstString = CopyInfoString(info.first, sizeof info.first);
        r->secondString = CopyInfoString(info.second, sizeof info.second);
        r->ImportLGp = import;
        r->ExportLGp = exportFn;
        break;
    case QV_PLUGIN_FRAME_A:
    case QV_PLUGIN_FRAME_B:
        AddActivePlugin(index);
        r = &PluginRecords[index];
        r->InitDialogLGp = initDialog;
        r->UpdateDialogLGp = updateDialog;
        r->ManageLGp = manage;
        r->RenderLGp = render;
        break;
    default:
        break;
    }
    return 1;
}

int32_t LoadAllPlugins() {
    auto* names = static_cast<char(*)[256]>(std::calloc(MaxPluginFiles, 256));
    if (!names) return PluginCount;
    PluginCount = 0;
    LoadFolderPattern(names, "*.QVm");
    LoadFolderPattern(names, "*.QVg");
    std::free(names);
    return PluginCount;
}

int32_t EnablePlugin(const char* name) {
    PluginRecord* r = LiveRecord(FindPlugin(name));
    if (!r || r->active || !r->CreateLGp) return 0;
    r->active = 1;
    return r->CreateLGp();
}

int32_t DisablePlugin(const char* name) { return Disable(FindPlugin(name)); }

int32_t DisablePluginAt(int32_t index) { return Disable(index); }

void ForwardMessageToPlugins(uint32_t message, uint32_t key) {
    for (int32_t i = PluginCount - 1; i >= 0; --i) {
        PluginRecord* r = LiveRecord(i);
        if (r && r->active && r->MessageLGp) r->MessageLGp(message, 0, static_cast<intptr_t>(key), 0, 0, 0);
    }
}

uint32_t ManagePlugins() { return CallFrameEntries(&PluginRecord::ManageLGp); }

uint32_t RenderPlugins() { return CallFrameEntries(&PluginRecord::RenderLGp); }

int32_t UnloadAllPlugins() {
    for (int32_t i = PluginCount - 1; i >= 0; --i) {
        if (!PluginRecords[i].module) continue;
        if (PluginRecords[i].DestroyLGp) PluginRecords[i].DestroyLGp();
        ReleaseRecord(PluginRecords[i]);
    }
    std::free(PluginRecords);
    PluginRecords = nullptr;
    PluginCount = 0;
    std::free(ActivePlugins);
    ActivePlugins = nullptr;
    ActivePluginCount = 0;
    return 1;
}
