#include "objects/triggers.h"

#include <cstdlib>
#include <cstring>

#include "core/nztmath.h"
#include "objects/charlinks.h"
#include "objects/objtype.h"
#include "objects/registry.h"

NztEventTrigger** EventTriggerList = nullptr;
uint32_t EventTriggerCount = 0;
namespace {
uint32_t EventTriggerCapacity = 0;

void Transform(const float m[9], const float v[3], float out[3]) {
    // Rows are the axes: a local vector maps to v.x row 0 + v.y row 1 + v.z row 2.
    for (int k = 0; k < 3; ++k) out[k] = v[0] * m[k] + v[1] * m[3 + k] + v[2] * m[6 + k];
}

void Invert3(const float m[9], float out[9]) {
    const float a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
    const float co0 = e * i - f * h, co1 = f * g - d * i, co2 = d * h - e * g;
    const float det = a * co0 + b * co1 + c * co2;
    if (det == 0.0f) {
        std::memcpy(out, IdentityMatrix3, sizeof(float) * 9);
        return;
    }
    const float s = 1.0f / det;
    out[0] = co0 * s;
    out[1] = (c * h - b * i) * s;
    out[2] = (b * f - c * e) * s;
    out[3] = co1 * s;
    out[4] = (a * i - c * g) * s;
    out[5] = (c * d - a * f) * s;
    out[6] = co2 * s;
    out[7] = (b * g - a * h) * s;
    out[8] = (a * e - b * d) * s;
}
}  // namespace

NztEventTrigger::NztEventTrigger() {
    kind = ObjectKindTrigger;
    range = 500.0f;
}

NztEventTrigger::~NztEventTrigger() {
    if (registered) UnregisterTrigger(this);
    FreeKeys();
}

// The key operations live with the other controllers (objects/controller.cpp).

void NztEventTrigger::UpdateBox() {
    const float h[3] = {extents[0] * 0.5f, extents[1] * 0.5f, extents[2] * 0.5f};
    // Corner sign patterns (bit 0 x, bit 1 y, bit 2 z): the minimum and the maximum first.
    static constexpr int Patterns[8] = {0, 7, 1, 2, 3, 4, 5, 6};
    for (int c = 0; c < 8; ++c)
        for (int k = 0; k < 3; ++k) corners[c][k] = (Patterns[c] >> k) & 1 ? h[k] : -h[k];
    radiusSq = h[0] * h[0] + h[1] * h[1] + h[2] * h[2];
    Invert3(orientation, inverseOrientation);
    for (int c = 2; c < 8; ++c) {
        float turned[3];
        Transform(orientation, corners[c], turned);
        std::memcpy(corners[c], turned, sizeof turned);
    }
    for (auto& corner : corners)
        for (int k = 0; k < 3; ++k) corner[k] += Position[k];
}

void NztEventTrigger::SetRotation(const float m[9], bool rebuild) {
    std::memcpy(orientation, m, sizeof orientation);
    if (rebuild) UpdateBox();
}

void NztEventTrigger::SetYaw(int32_t yaw) {
    float turn[9];
    MatrixRotationY(turn, yaw & AngleUnitMask);
    MatrixMultiply3(orientation, orientation, turn);
}

void NztEventTrigger::MoveLocal(const float v[3]) {
    float d[3];
    Transform(orientation, v, d);
    for (int k = 0; k < 3; ++k) Position[k] += d[k];
    UpdateBox();
}

void NztEventTrigger::PlaceAt(const NztBaseObject* object, float distance) {
    if (object == nullptr) return;
    const float* base = object->parent ? object->parent->Position : object->Position;
    for (int k = 0; k < 3; ++k) Position[k] = base[k] + object->rotation[6 + k] * distance;
    carrier = 0;
    carrierPoint = -1;
    UpdateBox();
}

void NztEventTrigger::SetCarrier(NztBaseObject* object, int32_t attachPoint) {
    carrier = EventObjectHandle(object);
    carrierPoint = attachPoint;
}

NztBaseObject* NztEventTrigger::Carrier() const {
    return dynamic_cast<NztBaseObject*>(ResolveEventObject(carrier));
}

NztEventTrigger* CreateEventTrigger() {
    if (EventTriggerCount == EventTriggerCapacity) {
        const uint32_t capacity = EventTriggerCapacity + 10;
        void* grown = std::realloc(EventTriggerList, capacity * sizeof(NztEventTrigger*));
        if (grown == nullptr) std::abort();
        EventTriggerList = static_cast<NztEventTrigger**>(grown);
        for (uint32_t i = EventTriggerCapacity; i < capacity; ++i) EventTriggerList[i] = nullptr;
        EventTriggerCapacity = capacity;
    }
    auto* trigger = new NztEventTrigger;
    EventTriggerList[EventTriggerCount++] = trigger;
    RegisterTrigger(trigger);
    return trigger;
}

void DeleteEventTrigger(int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= EventTriggerCount) return;
    NztEventTrigger* trigger = EventTriggerList[index];
    // Out of the list first, so that nothing run by the release finds it there.
    for (uint32_t i = static_cast<uint32_t>(index); i + 1 < EventTriggerCount; ++i) EventTriggerList[i] = EventTriggerList[i + 1];
    EventTriggerList[--EventTriggerCount] = nullptr;
    if (trigger == nullptr) return;
    UnregisterTrigger(trigger);
    trigger->ClearEvents();
    delete trigger;
}

void DeleteAllEventTriggers() {
    while (EventTriggerCount > 0) DeleteEventTrigger(static_cast<int32_t>(EventTriggerCount) - 1);
    std::free(EventTriggerList);
    EventTriggerList = nullptr;
    EventTriggerCapacity = 0;
}

NztEventTrigger* FindEventTrigger(int32_t id, int32_t kind) {
    if (id == -1 || kind != ObjectKindTrigger) return nullptr;
    for (uint32_t i = EventTriggerCount; i-- > 0;)
        if (EventTriggerList[i] && EventTriggerList[i]->id == id) return EventTriggerList[i];
    return nullptr;
}

void ActivateTrigger(NztEventTrigger* trigger) {
    if (trigger == nullptr || trigger->registered) return;
    RegisterTrigger(trigger);
    trigger->UpdateEvents();
}

int32_t TestTriggerObjects(NztEventTrigger* t, const float p[3]) {
    const uint32_t self = t->Handle();
    if (NztBaseObject* carrier = t->Carrier()) {
        float pointRotation[9];
        if (t->carrierPoint < 0) {
            std::memcpy(t->Position, carrier->Position, sizeof t->Position);
            std::memcpy(pointRotation, IdentityMatrix3, sizeof pointRotation);
        } else {
            carrier->GetPointPosition(t->carrierPoint, t->Position);
            carrier->GetPointRotation(t->carrierPoint, pointRotation);
        }
        MatrixMultiply3(pointRotation, t->orientation, carrier->rotation);
        t->UpdateBox();
    } else if (t->carrier != 0) {
        t->carrier = 0;  // the carrier is gone
    }
    if (t->keyCount > 0) {
        t->UpdateKeys();
        if (ResolveEventObject(self) != t) return 0;
        for (int32_t i = 0; i < t->keyCount; ++i) {
            const NztControllerKeyState& s = t->keyStates[i];
            switch (s.kind) {
                case ControllerKeyMove:
                case ControllerKeyPush:
                    for (int k = 0; k < 3; ++k) t->Position[k] += s.step[k];
                    break;
                case ControllerKeyTurn: {
                    float turn[9];
                    MatrixFromEuler(turn, s.step[0] * 0.0015339808f, s.step[1] * 0.0015339808f,
                                    s.step[2] * 0.0015339808f);
                    MatrixMultiply3(t->orientation, t->orientation, turn);
                    break;
                }
                default: {
                    float d[3];
                    Transform(t->orientation, s.step, d);
                    for (int k = 0; k < 3; ++k) t->Position[k] += d[k];
                    break;
                }
            }
            t->UpdateBox();
        }
    }
    float d[3] = {p[0] - t->Position[0], p[1] - t->Position[1], p[2] - t->Position[2]};
    bool inside = d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < t->radiusSq;
    if (inside) {
        float q[3];
        Transform(t->inverseOrientation, d, q);
        for (int k = 0; k < 3 && inside; ++k) {
            const float v = t->Position[k] + q[k];
            inside = v >= t->corners[0][k] - 0.1f && v <= t->corners[1][k] + 0.1f;
        }
    }
    if (inside) {
        if (t->zoneState == -1 || t->zoneState == 11) {
            t->zoneState = 9;
            t->SendEvent(9, 0, 0, 0);
        } else {
            t->zoneState = 10;
            t->SendEvent(10, 0, 0, 0);
        }
        return 1;
    }
    if (t->zoneState == 9 || t->zoneState == 10) {
        t->zoneState = 11;
        t->SendEvent(11, 0, 0, 0);
    } else {
        t->zoneState = -1;
    }
    return 0;
}

uint32_t UpdateRegisteredTriggers() {
    if (PlayerEntity == nullptr) return 0;
    uint32_t inside = 0;
    for (int32_t i = TriggerRegistry.count; i-- > 0;) {
        if (i >= TriggerRegistry.count) continue;
        auto* t = static_cast<NztEventTrigger*>(static_cast<NztEventObject*>(TriggerRegistry.objects[i]));
        const NztCollideObject* player = CharacterObject(PlayerEntity);
        if (t == nullptr || player == nullptr) continue;
        const float p[3] = {player->Position[0], player->Position[1], player->Position[2]};
        inside += static_cast<uint32_t>(TestTriggerObjects(t, p));
    }
    return inside;
}

uint32_t BroadcastToRegisteredTriggers(uint32_t code) {
    uint32_t handled = 0;
    for (int32_t i = TriggerRegistry.count; i-- > 0;) {
        if (i >= TriggerRegistry.count) continue;
        auto* t = static_cast<NztEventTrigger*>(static_cast<NztEventObject*>(TriggerRegistry.objects[i]));
        if (t != nullptr && t->zoneState == 10) handled += t->SendEvent(code, 0, 0, 0);
    }
    return handled;
}
