#include "game/hooks.h"

#include <gtest/gtest.h>

#include "audio/music.h"
#include "camera/camera.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "game/frame.h"
#include "objects/registry.h"
#include "ui/panel.h"
#include "world/framepass.h"

namespace {

// What the lower floors call up through is the game's once start-up installed it, and a test that
// put fakes into input gets the game's half back on reset.
TEST(EngineHooks, LowerFloorsReachTheGameOnceInstalled) {
    InstallEngineHooks();

    // The video player hands back to the run mode it interrupted.
    RunMode = {RunModeVideo, RunModeEditor};
    FrameFunction = VideoFrame;
    ASSERT_NE(RunModeChanger, nullptr);
    RunModeChanger(RunMode.previous);
    EXPECT_EQ(RunMode.current, RunModeEditor);
    EXPECT_EQ(FrameFunction, &EditorFrame);
    RunMode = RunModeState{};
    FrameFunction = GameFrame;

    // The pad's forward action reads the camera's current mode, also after a test's fakes.
    const int32_t savedMode = CameraMode;
    InputServices.cameraMode = [] { return 7; };
    ResetInputHooks();
    for (int32_t mode : {0, 1, 3}) {
        CameraMode = mode;
        EXPECT_EQ(InputServices.cameraMode(), mode) << mode;
    }
    CameraMode = savedMode;
    // Without a player the wheel has nobody to tell.
    EXPECT_EQ(InputServices.wheelTarget(), nullptr);

    EXPECT_NE(MusicEventSender, nullptr);
    EXPECT_EQ(ObjectBarsDrawer, &DrawObjectBars);
}

}  // namespace
