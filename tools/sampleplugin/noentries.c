/* A library that is not a plug-in: it has InitLGp but lacks CreateLGp and DestroyLGp, so the
 * host must refuse it. */
#include "quorvane/plugin.h"

__attribute__((visibility("default"))) void InitLGp(const QvPluginServiceTable* table, QvPluginInfo* info) {
    (void)table;
    info->type = QV_PLUGIN_FRAME_A;
}
