// The key controller: a list of timed keys that move or turn the owner over time. Each key spreads
// a vector (a translation or three angle increments) over a duration in seconds, or gives a push
// that fades to nothing over the duration. Base objects, characters, scene objects, triggers,
// lights and the camera carry one; the owner's update runs the keys once per frame.
//
// Main thread only.
#pragma once

#include <cstdint>

// What a key does with its vector; the step of a frame is worked out with
// t = elapsed / duration after the advance.
enum : uint32_t {
    ControllerKeyMove = 0,       // vector x t - accumulated: a world translation
    ControllerKeyTurn = 1,       // the same as pitch, yaw, roll increments (angle units)
    ControllerKeyPush = 2,       // vector x (1 - t): a world push fading to zero
    ControllerKeyMoveLocal = 3,  // as kind 0, along the owner's own axes
    ControllerKeyPushLocal = 4,  // as kind 2, along the owner's own axes
};

// Events the controller parts of event objects raise on their owner.
inline constexpr uint32_t ControllerEventFirstKey = 23;  // a key added to an empty list
inline constexpr uint32_t ControllerEventKeysRunning = 24;
inline constexpr uint32_t ControllerEventKeysEmptied = 25;

// 24 bytes, as callers hand it to AddKey.
struct NztControllerKey {
    uint32_t kind = ControllerKeyMove;
    float duration = 0.0f;         // seconds
    float inverseDuration = 0.0f;  // set by AddKey: 1 / duration, 1.0 for a duration of exactly 0
    float vector[3] = {0.0f, 0.0f, 0.0f};
};

// 32 bytes, parallel to the keys.
struct NztControllerKeyState {
    uint32_t kind = ControllerKeyMove;
    float elapsed = 0.0f;                       // seconds run so far, at most the duration
    float step[3] = {0.0f, 0.0f, 0.0f};         // what to apply this frame
    float accumulated[3] = {0.0f, 0.0f, 0.0f};  // steps applied so far (kinds 0, 1, 3)
};

class NztEventObject;

class NztController {
public:
    // The time source starts at the global frame time.
    NztController();
    // Frees the key arrays that a release left behind.
    virtual ~NztController();
    // Copies own their key arrays.
    NztController(const NztController& other);
    NztController& operator=(const NztController& other);

    // Appends a copy of the key (kind 0, duration 0, zero vector when null) and a fresh state;
    // answers the new state, which stays valid until the list changes.
    virtual NztControllerKeyState* AddKey(const NztControllerKey* key);
    // Removes key index and its state; an index outside the list does nothing.
    virtual void DeleteKey(int32_t index);
    virtual void ClearKeys();
    // Advances every key by the time source and works out its step. Keys whose time had already
    // run out are removed first, through DeleteKey (so an owner's version runs).
    virtual void UpdateKeys();

    int32_t keyCount = 0;
    NztControllerKey* keys = nullptr;            // keyCount records, malloc'd; null when empty
    NztControllerKeyState* keyStates = nullptr;  // keyCount records, malloc'd; null when empty
    float output[3] = {0.0f, 0.0f, 0.0f};        // angle step of the last turning key processed
    const float* timeSource = nullptr;           // seconds to advance the keys by; null advances nothing

    // Both arrays freed, count 0, no event (what a release does).
    void FreeKeys();
};

// The event-raising versions that event objects with a controller part use: 23 when a key is added
// to an empty list, 25 when the list becomes empty.
NztControllerKeyState* AddKeyWithEvents(NztController& controller, NztEventObject& owner,
                                        const NztControllerKey* key);
void DeleteKeyWithEvents(NztController& controller, NztEventObject& owner, int32_t index);
void ClearKeysWithEvents(NztController& controller, NztEventObject& owner);
