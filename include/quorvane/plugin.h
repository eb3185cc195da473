/* The plug-in interface of Quorvane: what a plug-in library exports and the table of services the
 * host hands it. Plain C so that plug-ins may be written in C or C++.
 *
 * A plug-in is a shared library named "<Name>.QVm" or "<Name>.QVg" in the data folder's PLUGIN/
 * folder. It must export InitLGp, CreateLGp and DestroyLGp under the names below; every other entry is
 * optional. The host calls, in this order: InitLGp once after loading (hand it the services, fill
 * the info block), CreateLGp when the plug-in is enabled, MessageLGp for key messages while it is
 * enabled, ManageLGp and RenderLGp once per frame while it is enabled (frame types only),
 * DestroyLGp when it is disabled and once more at shutdown.
 *
 * The service table never changes its slot order; new services are only ever appended, with a
 * new QV_PLUGIN_API_VERSION. A plug-in checks `version` and `count` before using a slot. */
#ifndef QUORVANE_PLUGIN_H
#define QUORVANE_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Version 2: service 54 takes its hold time (seconds) and position as floats. */
#define QV_PLUGIN_API_VERSION 2u
#define QV_PLUGIN_SERVICE_COUNT 55u

/* Plug-in types reported through QvPluginInfo.type. Any other value is kept and handled like
 * QV_PLUGIN_PLAIN. */
#define QV_PLUGIN_IMPORT_A 1
#define QV_PLUGIN_IMPORT_B 2
#define QV_PLUGIN_IMPORT_C 3
#define QV_PLUGIN_PLAIN 4
#define QV_PLUGIN_FRAME_A 5
#define QV_PLUGIN_FRAME_B 6

/* Message codes that reach MessageLGp: (code, param1, param2, 0, 0, 0). */
#define QV_PLUGIN_MSG_KEYDOWN 0x0100u /* param1 0, param2 the virtual key */
#define QV_PLUGIN_MSG_KEYUP 0x0101u   /* param1 0, param2 the virtual key */
#define QV_PLUGIN_MSG_EVENT 2025u     /* param1 points at QV_PLUGIN_EVENT_WORDS words, valid during the call */
#define QV_PLUGIN_EVENT_WORDS 11

/* Request codes of the DispatchPluginRequest service (slot 2). */
#define QV_PLUGIN_REQ_RUN_FRAME 1025u     /* run the current frame function once */
#define QV_PLUGIN_REQ_DISABLE_SELF 1026u  /* param: the index InitLGp was given */
#define QV_PLUGIN_REQ_RELOAD_SPELLS 1027u
#define QV_PLUGIN_REQ_MAKE_GL_CURRENT 1028u

/* Object kinds of the lookups by id. */
#define QV_PLUGIN_KIND_SCNOBJECT 4
#define QV_PLUGIN_KIND_ENTITY 5

/* Mode codes of SvcOpenFile. */
#define QV_PLUGIN_FILE_RB 1
#define QV_PLUGIN_FILE_WB 2
#define QV_PLUGIN_FILE_RPB 3
#define QV_PLUGIN_FILE_WPB 4
#define QV_PLUGIN_FILE_RT 5
#define QV_PLUGIN_FILE_WT 6
#define QV_PLUGIN_FILE_RPT 7
#define QV_PLUGIN_FILE_WPT 8

/* Filled by the plug-in in InitLGp; zeroed by the host before the call. */
typedef struct QvPluginInfo {
    int32_t index;       /* host: the plug-in's record index, valid for the whole run */
    int32_t type;        /* plug-in: one of the QV_PLUGIN_* types */
    int32_t frameCalls;  /* plug-in: non-zero to get ManageLGp/RenderLGp each frame */
    char first[256];     /* plug-in: NUL-terminated (kept by the host for types 1 to 3) */
    char second[32];     /* plug-in: NUL-terminated (kept by the host for types 1 to 3) */
} QvPluginInfo;

typedef struct QvPluginFrameArgs {
    void* mainWindow;
} QvPluginFrameArgs;

/* Record of SvcGetScnObjectInfo / SvcGetEntityInfo. */
typedef struct QvPluginObjectInfo {
    int32_t id;
    uint32_t word;       /* a word of the object record */
    uint32_t meshWord0;  /* first word of the mesh */
    uint32_t meshWord1;  /* second word of the mesh */
    int32_t attachCount;
    char animFolder[256];
} QvPluginObjectInfo;

/* Record of SvcGetScnObjectEntry / SvcGetEntityEntry. */
typedef struct QvPluginAttachInfo {
    int32_t anchor;
    char name[256];
} QvPluginAttachInfo;

/* A user property of an object. */
typedef struct QvUserProperty {
    char name[256];
    int32_t intValue;
    float floatValue;
} QvUserProperty;

typedef struct QvPluginServiceTable {
    uint32_t version; /* QV_PLUGIN_API_VERSION of the host */
    uint32_t count;   /* number of service slots that follow */
    /* 0 */ void* (*GetMainWindow)(void);
    /* 1 */ const char* (*GetBaseFolder)(void);
    /* 2 */ int32_t (*DispatchRequest)(intptr_t param, uint32_t code);
    /* 3 */ void (*PumpMessages)(void);
    /* 4 */ int32_t (*IsKeyDown)(uint32_t key);
    /* 5 */ void (*Reserved5)(void);
    /* 6 */ intptr_t (*Identity)(intptr_t x);
    /* 7 */ void* (*Malloc)(size_t size);
    /* 8 */ void* (*Realloc)(void* block, size_t size);
    /* 9 */ void (*Free)(void* block);
    /* 10 */ void (*FillBytes)(void* dest, uint32_t value, size_t count);
    /* 11 */ void (*FillWords)(void* dest, uint32_t value, size_t count);
    /* 12 */ void (*FillDwords)(void* dest, uint32_t value, size_t count);
    /* 13 */ void (*FillFloats)(void* dest, float value, size_t count);
    /* 14 */ int32_t (*RandomInt)(int32_t minimum, int32_t maximum);
    /* 15 */ float (*RandomFloat)(float minimum, float maximum);
    /* 16 */ int32_t (*FileExists)(const char* path);
    /* 17 */ void* (*OpenFile)(const char* path, uint32_t mode);
    /* 18 */ int32_t (*CloseFile)(void* file);
    /* 19 */ int32_t (*SeekFile)(void* file, int32_t offset, int32_t origin);
    /* 20 */ size_t (*ReadFile)(void* file, void* buffer, size_t count);
    /* 21 */ size_t (*WriteFile)(void* file, const void* buffer, size_t count);
    /* 22-25: out receives at most 256 bytes */
    /* 22 */ void (*GetPathFolder)(const char* path, char* out);
    /* 23 */ void (*GetPathFileName)(const char* path, char* out);
    /* 24 */ void (*GetPathFileNameExt)(const char* path, char* out);
    /* 25 */ void (*GetPathExtension)(const char* path, char* out);
    /* 26: path is a 256-byte buffer */
    /* 26 */ void (*SetPathExtension)(char* path, const char* extension);
    /* 27 */ int32_t (*GetFileSize)(const char* path);
    /* 28 */ void (*MakePathFolders)(const char* path);
    /* 29 */ void* (*LoadWholeFile)(const char* path);
    /* 30 */ int32_t (*FindScnObjectByModel)(const char* mesh);
    /* 31 */ int32_t (*FindEntityByModel)(const char* mesh);
    /* 32 */ int32_t (*FindEntityByName)(const char* name);
    /* 33 */ void (*GetScnObjectInfo)(int32_t index, QvPluginObjectInfo* out);
    /* 34 */ void (*GetEntityInfo)(int32_t index, QvPluginObjectInfo* out);
    /* 35 */ void (*GetScnObjectEntry)(int32_t index, int32_t attach, QvPluginAttachInfo* out);
    /* 36 */ void (*GetEntityEntry)(int32_t index, int32_t attach, QvPluginAttachInfo* out);
    /* 37 */ void (*ActivateObject)(int32_t id, int32_t kind);
    /* 38 */ void (*DeactivateObject)(int32_t id, int32_t kind);
    /* 39 */ void (*GetObjectPosition)(int32_t id, int32_t kind, float out[3]);
    /* 40 */ void (*SetObjectPosition)(int32_t id, int32_t kind, const float in[3]);
    /* 41 */ void (*GetObjectQuaternion)(int32_t id, int32_t kind, float out[4]);
    /* 42 */ void (*SetObjectQuaternion)(int32_t id, int32_t kind, const float in[4]);
    /* 43 */ int32_t (*FindEntityProperty)(int32_t entity, const char* name);
    /* 44 */ QvUserProperty* (*GetEntityProperty)(int32_t entity, int32_t property);
    /* 45 */ int32_t (*GetEntityPropertyInt)(int32_t entity, int32_t property);
    /* 46 */ float (*GetEntityPropertyFloat)(int32_t entity, int32_t property);
    /* 47 */ void (*SetEntityPropertyName)(int32_t entity, int32_t property, const char* name);
    /* 48 */ void (*SetEntityPropertyInt)(int32_t entity, int32_t property, int32_t value);
    /* 49 */ void (*SetEntityPropertyFloat)(int32_t entity, int32_t property, float value);
    /* 50 */ void (*CastSpell)(int32_t spell, int32_t list, const float* position); /* position may be null */
    /* 51 */ void (*PlayEntityAnim)(int32_t id, int32_t kind, const char* first, const char* second);
    /* 52 */ int32_t (*PlaySound)(const char* name, uint32_t looping);
    /* 53 */ void (*StopSound)(int32_t slot);
    /* 54 */ void (*ShowScreenMessage)(const char* text, float red, float green, float blue, float alpha,
                                       float holdTime, float x, float y, int32_t shadow, int32_t showGameUI,
                                       int32_t linked);
} QvPluginServiceTable;

/* Entry points, exported with these names. */
typedef void (*QvInitLGpFn)(const QvPluginServiceTable* services, QvPluginInfo* info);
typedef int32_t (*QvCreateLGpFn)(void);
typedef int32_t (*QvDestroyLGpFn)(void);
typedef void (*QvMessageLGpFn)(uint32_t code, intptr_t param1, intptr_t param2, int32_t, int32_t, int32_t);
typedef int32_t (*QvFrameLGpFn)(QvPluginFrameArgs* args);
typedef int32_t (*QvUnusedLGpFn)(void);

#ifdef __cplusplus
}
#endif

#endif
