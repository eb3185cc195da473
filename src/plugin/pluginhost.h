// The plug-in host: loads the plug-in libraries of the data folder's PLUGIN/ folder, hands each
// the service table, and calls them on key messages, once per frame, on demand from event
// actions and at shutdown. Everything runs on the main thread.
//
// Records are never removed while the program runs (only one that failed to load, before anyone
// saw its index), so the index a plug-in gets at load time stays valid until UnloadAllPlugins.
#pragma once

#include <cstdint>

#include "platform/dynlib.h"
#include "quorvane/plugin.h"

struct PluginRecord {
    DynLibHandle module = nullptr;  // null: slot not loaded
    char name[256] = {};            // file name without folder and extension
    int32_t type = 0;
    int32_t index = 0;
    int32_t frameCalls = 0;
    int32_t active = 0;
    char* firstString = nullptr;   // types 1 to 3 only
    char* secondString = nullptr;  // types 1 to 3 only
    QvCreateLGpFn CreateLGp = nullptr;
    QvDestroyLGpFn DestroyLGp = nullptr;
    QvMessageLGpFn MessageLGp = nullptr;
    QvUnusedLGpFn ImportLGp = nullptr;        // types 1 to 3 only
    QvUnusedLGpFn ExportLGp = nullptr;        // types 1 to 3 only
    QvUnusedLGpFn InitDialogLGp = nullptr;    // types 5 and 6 only
    QvUnusedLGpFn UpdateDialogLGp = nullptr;  // types 5 and 6 only
    QvUnusedLGpFn SaveLGp = nullptr;
    QvUnusedLGpFn LoadLGp = nullptr;
    QvFrameLGpFn ManageLGp = nullptr;  // types 5 and 6 only
    QvFrameLGpFn RenderLGp = nullptr;  // types 5 and 6 only
};

extern PluginRecord* PluginRecords;
extern int32_t PluginCount;
// Record indexes of the type 5 and 6 plug-ins, in load order: only these get frame calls.
extern int32_t* ActivePlugins;
extern int32_t ActivePluginCount;

// Loads every "*.QVm" and then every "*.QVg" of <data folder>PLUGIN/; answers the record count.
int32_t LoadAllPlugins();
// Loads the plug-in library at this full path: 1 taken in, 0 refused (one stderr line when the
// library itself is at fault). A name already loaded (case-insensitive) is refused silently.
int32_t LoadPlugin(const char* path);
PluginRecord* AllocPluginRecord();
// Index of the last record of this name (case-insensitive), or -1.
int32_t FindPlugin(const char* name);
int32_t AddActivePlugin(int32_t index);
// Each answers the result of the entry it called, or 0 when it called none.
int32_t EnablePlugin(const char* name);
int32_t DisablePlugin(const char* name);
int32_t DisablePluginAt(int32_t index);
// Key-down and key-up messages of the main window, to every enabled plug-in, last loaded first.
void ForwardMessageToPlugins(uint32_t message, uint32_t key);
// Per-frame calls of the enabled frame plug-ins; the OR of their answers (non-zero: the plug-in
// takes over the frame's game update resp. drawing).
uint32_t ManagePlugins();
uint32_t RenderPlugins();
// Drops one record without calling DestroyLGp; answers the new count.
int32_t UnloadPlugin(int32_t index);
// DestroyLGp of every loaded plug-in, then everything is released; answers 1.
int32_t UnloadAllPlugins();
