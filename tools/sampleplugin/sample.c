/* The sample plug-in: a frame plug-in that keeps a log of the host's calls, answers the frame
 * calls with values a caller may set, and remembers the keys it saw. It draws nothing, so in the
 * game it leaves every frame to the engine. */
#include <string.h>

#include "quorvane/plugin.h"

#define EXPORT __attribute__((visibility("default")))

static const QvPluginServiceTable* services;
static int32_t ownIndex = -1;
static char callLog[256];
static uint32_t lastKeys[2]; /* message, key of the last MessageLGp */
static int32_t manageAnswer;
static int32_t renderAnswer;

/* One letter per entry call, dropped once the log is full. */
static void Note(char c) {
    size_t n = strlen(callLog);
    if (n + 1 < sizeof callLog) callLog[n] = c;
}

EXPORT void InitLGp(const QvPluginServiceTable* table, QvPluginInfo* info) {
    Note('I');
    services = table;
    ownIndex = info->index;
    info->type = QV_PLUGIN_FRAME_A;
    info->frameCalls = 1;
    strcpy(info->first, "Sample");
    strcpy(info->second, "frame");
    /* A table of another version or size: stay loaded, use nothing of it. */
    if (!table || table->version != QV_PLUGIN_API_VERSION || table->count < QV_PLUGIN_SERVICE_COUNT) {
        services = 0;
        Note('!');
        return;
    }
    /* Greets the player: a white message in the middle of the screen, held 6 seconds, then faded. */
    if (services->ShowScreenMessage)
        services->ShowScreenMessage("Quorvane sample world#Ctrl+C opens the console", 1.0f, 1.0f, 1.0f, 1.0f, 6, 0, 0, 1,
                                    0, 0);
}

EXPORT int32_t CreateLGp(void) {
    Note('C');
    return 11;
}

EXPORT int32_t DestroyLGp(void) {
    Note('D');
    return 22;
}

EXPORT void MessageLGp(uint32_t code, intptr_t param1, intptr_t param2, int32_t a, int32_t b, int32_t c) {
    (void)param1;
    (void)a;
    (void)b;
    (void)c;
    Note('K');
    lastKeys[0] = code;
    lastKeys[1] = (uint32_t)param2;
}

EXPORT int32_t ManageLGp(QvPluginFrameArgs* args) {
    (void)args;
    Note('M');
    return manageAnswer;
}

EXPORT int32_t RenderLGp(QvPluginFrameArgs* args) {
    (void)args;
    Note('R');
    return renderAnswer;
}

/* For the host's tests: read and steer the plug-in from outside. */
EXPORT const char* SampleCallLog(void) { return callLog; }
EXPORT int32_t SampleIndex(void) { return ownIndex; }
EXPORT const QvPluginServiceTable* SampleServices(void) { return services; }
EXPORT uint32_t SampleLastKey(int32_t which) { return lastKeys[which & 1]; }
EXPORT void SampleSetAnswers(int32_t manage, int32_t render) {
    manageAnswer = manage;
    renderAnswer = render;
}
/* Asks the host, through service slot 2, to disable this plug-in. */
EXPORT int32_t SampleDisableSelf(void) {
    return services ? services->DispatchRequest(ownIndex, QV_PLUGIN_REQ_DISABLE_SELF) : 0;
}
