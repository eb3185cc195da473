// Plug-in, environment, light, text box and rope actions (types 75 to 81; 79 is the action table's).
#include <cstdio>

#include "character/entity.h"
#include "core/input.h"
#include "core/paths.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "effects/meshdraw.h"
#include "effects/rope.h"
#include "effects/sky.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "plugin/pluginhost.h"
#include "render/projection.h"
#include "render/renderstate.h"
#include "scene/actions.h"
#include "scene/scene.h"
#include "ui/textbox.h"
#include "world/framepass.h"

namespace {

NztBaseObject* SceneOrCharacter(int32_t kind, int32_t id) {
    if (kind == ObjectKindScn) return FindScnObjectById(id);
    if (kind == ObjectKindEntity) return FindEntityById(id);
    return nullptr;
}

// The id and kind of the object an event argument names (0, 0 for none).
void ArgumentObject(uint32_t handle, uint32_t* id, uint32_t* kind) {
    const NztEventObject* object = ResolveEventObject(handle);
    *id = object != nullptr ? static_cast<uint32_t>(object->id) : 0;
    *kind = object != nullptr ? static_cast<uint32_t>(object->kind) : 0;
}

// The scene's sky colours are its own while the sky does not run (its switch is off).
bool FixedSky() { return SkyEnabled == 0; }

bool RopeEnds(const EventRecord& r, NztBaseObject** a, NztBaseObject** b) {
    *a = SceneOrCharacter(r.TargetKind, r.TargetId);
    *b = SceneOrCharacter(r.Target2Kind, r.Target2Id);
    return *a != nullptr && *b != nullptr && (*a)->registered != 0 && (*b)->registered != 0;
}

}  // namespace

void CallPluginAction(EventRecord* r) {
    switch (r->Param2) {
        case 0: EnablePlugin(r->ParamName); break;
        case 1: DisablePlugin(r->ParamName); break;
        case 2: {
            const int32_t index = FindPlugin(r->ParamName);
            if (index < 0 || index >= PluginCount) return;
            const PluginRecord& plugin = PluginRecords[index];
            if (plugin.module == nullptr || plugin.active == 0 || plugin.MessageLGp == nullptr) return;
            uint32_t message[QV_PLUGIN_EVENT_WORDS];
            message[0] = static_cast<uint32_t>(r->Event);
            ArgumentObject(r->Arg1, &message[1], &message[2]);
            ArgumentObject(r->Arg2, &message[3], &message[4]);
            message[5] = static_cast<uint32_t>(r->TargetId);
            message[6] = static_cast<uint32_t>(r->TargetKind);
            message[7] = static_cast<uint32_t>(r->Target2Id);
            message[8] = static_cast<uint32_t>(r->Target2Kind);
            message[9] = static_cast<uint32_t>(r->CondIndex);
            message[10] = static_cast<uint32_t>(r->CondKind);
            plugin.MessageLGp(QV_PLUGIN_MSG_EVENT, reinterpret_cast<intptr_t>(message), 0, 0, 0, 0);
            break;
        }
        default: break;
    }
}

void SetEnvironmentAction(EventRecord* r) {
    switch (r->Param) {
        case 0:
            if (r->Value1 != 0.0f) {
                if (SceneFogSwitch == 0) {
                    SceneFogSwitch = 1;
                    EnableFog();
                }
                SetFogDensity(r->Value1 * 0.001f, r->Value2);
            } else if (SceneFogSwitch != 0) {
                SceneFogSwitch = 0;
                DisableFog();
            }
            break;
        case 1:
            if (r->Param2 == 0) {
                RenderState.fogFollowsSky = 1;
                if (!FixedSky()) SetFogColorToSkyLight(r->Value2);
            } else if (r->Param2 == 1) {
                RenderState.fogFollowsSky = 0;
                const float colour[4] = {r->ValueF(6), r->ValueF(7), r->ValueF(8), r->ValueF(9)};
                SetFogColorRgba(colour, r->Value2);
            }
            break;
        case 2:
            SetTimeOfDayHours(r->Value1);
            // One speed for the whole day.
            DaySpeed = NightSpeed = r->Value2;
            if (!FixedSky()) UpdateSkyColors();
            break;
        case 3:
        case 4: {
            // Scene objects only: a record naming a character leaves the scene object of that id alone.
            if (r->TargetKind != ObjectKindScn) break;
            NztEventObject* object = FindSceneObject(r->TargetKind, r->TargetId);
            if (object == nullptr) break;
            auto* scn = static_cast<NztScnObject*>(object);
            if (r->Param == 3) scn->fadeStart = r->Value1 * 10.0f;
            else scn->fadeFactor = r->Value1;
            break;
        }
        case 5:
            MeshDrawSwitch = r->Param2 == 0 ? 1u : 0u;
            break;
        case 6:
            if (NztBaseObject* object = SceneOrCharacter(r->TargetKind, r->TargetId)) object->shown = r->Param2 == 0;
            break;
        default: break;
    }
}

void SetLightAction(EventRecord* r) {
    if (r->TargetId < 0 || static_cast<uint32_t>(r->TargetId) >= GameLightCount) return;
    NztGameLight* light = GameLightList[r->TargetId];
    if (light == nullptr || light->light == nullptr) return;
    if (r->Param != 0) {
        light->light->Active = 0;
        DeactivateLight(light->light);
    } else {
        light->UpdateDistance();
    }
}

void TextBoxAction(EventRecord* r) {
    NztBaseObject* owner = SceneOrCharacter(r->TargetKind, r->TargetId);
    if (owner == nullptr) {
        if (r->Param == 1) ResetTextBoxes();
        return;
    }
    if (r->Param == 1) {
        ResetObjectTextBoxes(owner);
        return;
    }
    if (r->Param != 0 || owner->visible == 0) return;
    TextBoxRequest request{};
    request.textIndex = r->ValueI(5);
    // An image name that does not fit, or is not a plain name, gives a box without an image.
    if (r->Text[0] != 0 && IsPlainName(r->Text) &&
        !FormatPath(request.imagePath, sizeof request.imagePath, "%s%s.Img", "MAPS/UI/", r->Text))
        request.imagePath[0] = 0;
    request.autoSize = r->ValueF(2) != 0.0f;
    request.duration = r->ValueF(3);
    request.width = r->ValueF(10);
    request.height = r->ValueF(11);
    request.x = r->ValueF(0);
    request.y = r->ValueF(1);
    request.colour[0] = r->ValueF(6);
    request.colour[1] = r->ValueF(7);
    request.colour[2] = r->ValueF(8);
    request.colour[3] = 1.0f;
    OpenTextBox(owner, &request);
}

void BlockInputActionAction(EventRecord* r) {
    if (r->Param < 0 || r->Param >= kGameActionCount) return;
    const uint32_t action = static_cast<uint32_t>(r->Param);
    if (r->Param2 != 0) {
        // Unblocked with its key state cleared, so a key held through the block does not fire.
        SetActionEnabled(action, true);
        if (KeyStates.actions != nullptr) KeyStates.actions[action] = 0;
    } else {
        SetActionEnabled(action, false);
    }
}

void AddRopeLinkAction(EventRecord* r) {
    NztBaseObject *a, *b;
    if (RopeEnds(*r, &a, &b)) CreateRopeLink(a, b, r->Param - 1, r->Param2 - 1, 0, 0);
}

void RemoveRopeLinkAction(EventRecord* r) {
    NztBaseObject *a, *b;
    if (RopeEnds(*r, &a, &b)) RemoveRopeLink(a, r->Param - 1, b, r->Param2 - 1);
}
