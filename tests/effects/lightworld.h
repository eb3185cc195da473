// What the light tests share: a world with the object lists allocated and the camera at the
// origin, emptied and restored after each test.
#pragma once

#include <gtest/gtest.h>

#include "camera/camera.h"
#include "effects/dynobject.h"
#include "effects/gamelight.h"
#include "effects/light.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/renderstate.h"

class LightWorld : public ::testing::Test {
protected:
    void SetUp() override {
        savedRender = RenderState;
        AllocObjectLists();
        MainCamera.eye = {0.0f, 0.0f, 0.0f};
    }
    void TearDown() override {
        DeleteAllGameLights();
        DeleteAllDynObjects();
        DeleteAllLights();
        FreeObjectLists();
        MainCamera.eye = {0.0f, 0.0f, 0.0f};
        RenderState = savedRender;
    }
    // Whether the light stands in the near-light list.
    static bool Near(const NztLight* light) {
        for (int32_t i = 0; i < NearLightRegistry.count; ++i)
            if (NearLightRegistry.objects[i] == light) return true;
        return false;
    }

    NztRenderState savedRender;
};
