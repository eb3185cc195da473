// The world the character tests run in: every list empty before and after each test, events
// recorded (each answering the count a test sets), the frame at 50 frames a second, and the sample
// hero loadable from a data folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "character/entity.h"
#include "core/frameclock.h"
#include "core/nztmath.h"
#include "core/paths.h"
#include "datakit/mesh.h"
#include "effects/dynobject.h"
#include "model/mesh.h"
#include "model/temp_folder.h"
#include "objects/objtype.h"
#include "objects/registry.h"

struct SentEvent {
    const NztEventObject* object;
    uint32_t code;
    uint32_t first = 0;  // the first parameter
};

inline std::vector<SentEvent>& Sent() {
    static std::vector<SentEvent> sent;
    return sent;
}
inline uint32_t& EventAnswer() {
    static uint32_t answer = 1;
    return answer;
}

// The codes sent to object, in order.
inline std::vector<uint32_t> CodesTo(const NztEventObject* object) {
    std::vector<uint32_t> codes;
    for (const SentEvent& e : Sent())
        if (e.object == object) codes.push_back(e.code);
    return codes;
}

class CharacterWorld : public ::testing::Test {
protected:
    void SetUp() override {
        BuildSinCosTables();
        BuildRandomTable();
        savedTiming = FrameTiming;
        savedAccumulators = FrameAccumulators;
        Clear();
        AllocObjectLists();
        ResetAnimDefaults();
        ObjectServices.sendEvent = [](NztEventObject* o, uint32_t code, uint32_t first, uint32_t, uint32_t) {
            Sent().push_back({o, code, first});
            return EventAnswer();
        };
        FrameTiming.frameTime = 0.02f;
        FrameTiming.frameFactor = 1.0f;
        FrameAccumulators.tickA = 0.5f;
    }
    void TearDown() override {
        Clear();
        FrameTiming = savedTiming;
        FrameAccumulators = savedAccumulators;
    }
    static void Clear() {
        PlayerEntity = nullptr;
        RemoveAllEntities();
        RemoveAllScnObjects();
        DeleteAllCollideObjects();
        DeleteAllDynObjects();
        DeleteAllMeshData();
        DeleteAllAnims();
        FreeTypeTables();
        FreeObjectLists();
        ClearObjectLists();
        ResetObjectHooks();
        ResetCharacterHooks();
        Sent().clear();
        EventAnswer() = 1;
    }
    // The sample models in the test's data folder.
    void UseSampleData() {
        ASSERT_FALSE(temp.path().empty());
        for (const auto& [name, bytes] : datakit::SampleModelFiles())
            ASSERT_TRUE(datakit::WriteModelFile(temp.path() + name, bytes));
        ASSERT_TRUE(SetDataFolder(temp.path().c_str()));
    }
    // A character without a mesh at x, registered, with the life given.
    static NztEntity* Plain(float x = 0.0f) {
        NztEntity* e = CreateEntity(nullptr);
        e->Position[0] = x;
        return e;
    }

    FrameTimingState savedTiming;
    FrameAccumulatorState savedAccumulators;
    TempFolder temp;
};
