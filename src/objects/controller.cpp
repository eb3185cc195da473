#include "objects/controller.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "core/frameclock.h"
#include "objects/base3d.h"
#include "objects/triggers.h"

namespace {

// realloc that treats running out of memory as the allocation failure it is.
template <typename T>
T* Resize(T* block, int32_t count) {
    void* grown = std::realloc(block, sizeof(T) * static_cast<size_t>(count));
    if (grown == nullptr) throw std::bad_alloc();
    return static_cast<T*>(grown);
}

uint32_t RaiseEvent(NztEventObject& owner, uint32_t code) {
    return ObjectServices.sendEvent(&owner, code, 0, 0, 0);
}

}  // namespace

NztController::NztController() : timeSource(&FrameTiming.frameTime) {}

NztController::~NztController() {
    FreeKeys();
}

NztController::NztController(const NztController& other) {
    *this = other;
}

NztController& NztController::operator=(const NztController& other) {
    if (this == &other) return *this;
    FreeKeys();
    if (other.keyCount > 0) {
        keys = Resize<NztControllerKey>(nullptr, other.keyCount);
        keyStates = Resize<NztControllerKeyState>(nullptr, other.keyCount);
        std::copy(other.keys, other.keys + other.keyCount, keys);
        std::copy(other.keyStates, other.keyStates + other.keyCount, keyStates);
        keyCount = other.keyCount;
    }
    std::copy(other.output, other.output + 3, output);
    timeSource = other.timeSource;
    return *this;
}

void NztController::FreeKeys() {
    std::free(keys);
    std::free(keyStates);
    keys = nullptr;
    keyStates = nullptr;
    keyCount = 0;
}

NztControllerKeyState* NztController::AddKey(const NztControllerKey* key) {
    const int32_t count = keyCount + 1;
    keys = Resize(keys, count);
    keyStates = Resize(keyStates, count);
    keyCount = count;
    NztControllerKey& k = keys[count - 1];
    k = key != nullptr ? *key : NztControllerKey{};
    k.inverseDuration = k.duration == 0.0f ? 1.0f : 1.0f / k.duration;
    NztControllerKeyState& state = keyStates[count - 1];
    state = NztControllerKeyState{};
    state.kind = k.kind;
    return &state;
}

void NztController::DeleteKey(int32_t index) {
    // Callers pass indexes from their own loops, but an event script can name any key: an index
    // outside the list would move memory that is not ours.
    if (index < 0 || index >= keyCount) return;
    const int32_t count = keyCount - 1;
    if (count == 0) {
        FreeKeys();
        return;
    }
    for (int32_t i = index; i < count; ++i) {
        keys[i] = keys[i + 1];
        keyStates[i] = keyStates[i + 1];
    }
    keys = Resize(keys, count);
    keyStates = Resize(keyStates, count);
    keyCount = count;
}

void NztController::ClearKeys() {
    FreeKeys();
}

void NztController::UpdateKeys() {
    const float dt = timeSource != nullptr ? *timeSource : 0.0f;
    for (int32_t i = keyCount - 1; i >= 0; --i) {
        // The owner's DeleteKey may raise an event whose script changes the list.
        if (i >= keyCount) continue;
        const NztControllerKey& key = keys[i];
        NztControllerKeyState& state = keyStates[i];
        if (state.elapsed >= key.duration) {
            DeleteKey(i);
            continue;
        }
        state.elapsed = state.elapsed + dt < key.duration ? state.elapsed + dt : key.duration;
        const float t = key.inverseDuration * state.elapsed;
        output[0] = output[1] = output[2] = 0.0f;
        switch (key.kind) {
            case ControllerKeyMove:
            case ControllerKeyTurn:
            case ControllerKeyMoveLocal:
                for (int axis = 0; axis < 3; ++axis) {
                    state.step[axis] = key.vector[axis] * t - state.accumulated[axis];
                    state.accumulated[axis] += state.step[axis];
                }
                if (key.kind == ControllerKeyTurn) {
                    for (int axis = 0; axis < 3; ++axis) output[axis] = state.step[axis];
                }
                break;
            case ControllerKeyPush:
            case ControllerKeyPushLocal:
                for (int axis = 0; axis < 3; ++axis) state.step[axis] = key.vector[axis] * (1.0f - t);
                break;
            default:
                break;
        }
    }
}

NztControllerKeyState* AddKeyWithEvents(NztController& controller, NztEventObject& owner,
                                        const NztControllerKey* key) {
    if (controller.keyCount == 0) RaiseEvent(owner, ControllerEventFirstKey);
    return controller.NztController::AddKey(key);
}

void DeleteKeyWithEvents(NztController& controller, NztEventObject& owner, int32_t index) {
    const int32_t before = controller.keyCount;
    controller.NztController::DeleteKey(index);
    if (before != 0 && controller.keyCount == 0) RaiseEvent(owner, ControllerEventKeysEmptied);
}

void ClearKeysWithEvents(NztController& controller, NztEventObject& owner) {
    if (controller.keyCount == 0) return;
    controller.FreeKeys();
    RaiseEvent(owner, ControllerEventKeysEmptied);
}

// ---------------------------------------------------------------------------------------------
// Base objects

NztControllerKeyState* NztBaseObject::AddKey(const NztControllerKey* key) {
    return AddKeyWithEvents(*this, *this, key);
}

void NztBaseObject::DeleteKey(int32_t index) {
    DeleteKeyWithEvents(*this, *this, index);
}

void NztBaseObject::ClearKeys() {
    ClearKeysWithEvents(*this, *this);
}

void NztBaseObject::UpdateKeys() {
    // Objects report running keys on the 0.1 s tick only, so scripts are not flooded every frame.
    if (keyCount != 0 && FrameAccumulators.tickA == 0.0f) RaiseEvent(*this, ControllerEventKeysRunning);
    NztController::UpdateKeys();
}

int32_t NztBaseObject::ApplyControllerKeys() {
    UpdateKeys();
    for (int32_t i = keyCount - 1; i >= 0; --i) {
        const NztControllerKeyState& state = keyStates[i];
        switch (state.kind) {
            case ControllerKeyTurn:
                AddAngles(state.step[0], state.step[1], state.step[2]);
                for (int axis = 0; axis < 3; ++axis) output[axis] = state.step[axis];
                break;
            case ControllerKeyMoveLocal:
            case ControllerKeyPushLocal:
                MoveLocal(state.step);
                break;
            case ControllerKeyMove:
            case ControllerKeyPush:
                for (int axis = 0; axis < 3; ++axis) {
                    if (axisLocks[axis] == 0) Position[axis] += state.step[axis];
                }
                break;
            default:
                break;
        }
    }
    return keyCount != 0 ? 1 : 0;
}

void NztBaseObject::AddDisplacementKey(const NztBaseObject* other) {
    if (followDisplacement == 0 || other == nullptr) return;
    NztControllerKey key;
    key.kind = ControllerKeyPush;
    key.duration = 1.0f;
    key.vector[0] = other->motion[1].x - motion[1].x;
    key.vector[1] = other->motion[1].y - motion[1].y;
    key.vector[2] = other->motion[1].z - motion[1].z;
    AddKey(&key);
}

// ---------------------------------------------------------------------------------------------
// Triggers

NztControllerKeyState* NztEventTrigger::AddKey(const NztControllerKey* key) {
    return AddKeyWithEvents(*this, *this, key);
}

void NztEventTrigger::DeleteKey(int32_t index) {
    DeleteKeyWithEvents(*this, *this, index);
}

void NztEventTrigger::ClearKeys() {
    ClearKeysWithEvents(*this, *this);
}

void NztEventTrigger::UpdateKeys() {
    if (keyCount != 0) RaiseEvent(*this, ControllerEventKeysRunning);
    NztController::UpdateKeys();
}
