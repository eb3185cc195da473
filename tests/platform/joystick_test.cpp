// Game pads, driven through SDL's virtual joysticks so that the real joystick path is exercised.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cmath>
#include <cstring>

#include "core/input.h"
#include "platform/joystick.h"

namespace {

TEST(JoystickUnits, AxisValuesBecomeThousandths) {
    const struct {
        int16_t sdl;
        int32_t device;
    } cases[] = {
        {0, 0},     {32767, 1000}, {-32767, -1000}, {-32768, -1000}, {16384, 500},
        {295, 9},   {360, 11},     {-295, -9},      {16, 0},         {17, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(JoystickAxisToDevice(c.sdl), c.device) << c.sdl;
}

TEST(JoystickUnits, HatBecomesHundredthsOfADegree) {
    const struct {
        uint8_t sdl;
        uint32_t pov;
    } cases[] = {
        {SDL_HAT_CENTERED, 0xFFFFFFFFu}, {SDL_HAT_UP, 0},         {SDL_HAT_RIGHTUP, 4500},
        {SDL_HAT_RIGHT, 9000},           {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000},
        {SDL_HAT_LEFTDOWN, 22500},       {SDL_HAT_LEFT, 27000},   {SDL_HAT_LEFTUP, 31500},
        {SDL_HAT_UP | SDL_HAT_DOWN, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) EXPECT_EQ(JoystickHatToPov(c.sdl), c.pov) << int{c.sdl};
}

// The SDL value that a pad reporting `device` thousandths would give.
int16_t SdlAxis(int32_t device) {
    return static_cast<int16_t>(std::lround(device * 32767.0 / 1000.0));
}

class PadTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test holds the joystick subsystem itself so that it can make virtual pads.
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        ClearPadStates();
        ClearKeyStates();
        std::memset(ActionEnabled, 1, sizeof ActionEnabled);
        InputServices.getKeyboardState = [](uint8_t table[256]) { std::memset(table, 0, 256); };
    }
    void TearDown() override {
        if (handle_) SDL_JoystickClose(handle_);
        ShutdownInput();
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        ResetInputHooks();
    }
    // Attaches a virtual pad and keeps a handle of the test's own to move its controls.
    void Attach(int axes, int buttons, int hats) {
        int index =
            SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
        ASSERT_GE(index, 0) << SDL_GetError();
        handle_ = SDL_JoystickOpen(index);
        ASSERT_NE(handle_, nullptr) << SDL_GetError();
    }
    // Hands the queued device events to the joystick layer, as the event pump does.
    static int PumpDeviceEvents() {
        int handled = 0;
        SDL_Event e;
        while (SDL_PollEvent(&e)) handled += JoystickHandleEvent(e) ? 1 : 0;
        return handled;
    }
    SDL_Joystick* handle_ = nullptr;
};

TEST_F(PadTest, ReadsAxesHatAndButtons) {
    Attach(7, 16, 1);
    ASSERT_EQ(InitInput(), 0);
    ASSERT_TRUE(JoystickIsOpen());
    const int32_t device[7] = {9, 11, -9, -11, 1000, -1000, 500};
    for (int i = 0; i < 7; ++i) SDL_JoystickSetVirtualAxis(handle_, i, SdlAxis(device[i]));
    SDL_JoystickSetVirtualHat(handle_, 0, SDL_HAT_RIGHT);
    SDL_JoystickSetVirtualButton(handle_, 3, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(handle_, 15, SDL_PRESSED);

    PollJoysticks();
    const PadState& pad = *PadStates.current;
    const float expected[7] = {0.0f, 0.011f, 0.0f, -0.011f, 1.0f, -1.0f, 0.5f};
    for (int i = 0; i < 7; ++i) EXPECT_FLOAT_EQ(pad.axes[i], expected[i]) << "axis " << i;
    EXPECT_EQ(pad.pov, 9000u);
    for (int b = 0; b < 16; ++b) EXPECT_EQ(pad.buttons[b], (b == 3 || b == 15) ? 1 : 0) << b;

    // The pad feeds the action table: the hat right is action 16, button 3 action 18; the stick's
    // y of 0.011 is past the 0.01 threshold (back), its x of 0.009 reads as rest.
    PollKeyboard();
    EXPECT_EQ(KeyStates.actions[kActionPad6], 1);
    EXPECT_EQ(KeyStates.actions[kActionPad5], 1);
    EXPECT_EQ(KeyStates.actions[kActionBack], 1);
    EXPECT_EQ(KeyStates.actions[kActionLeft], 0);
    EXPECT_EQ(KeyStates.actions[kActionRight], 0);
}

TEST_F(PadTest, MissingControlsReadAsRest) {
    Attach(2, 4, 0);
    ASSERT_EQ(InitInput(), 0);
    for (int b = 0; b < 4; ++b) SDL_JoystickSetVirtualButton(handle_, b, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(handle_, 1, SdlAxis(-600));
    std::memset(PadStates.buffers, 0xAB, sizeof PadStates.buffers);
    PollJoysticks();
    const PadState& pad = *PadStates.current;
    EXPECT_FLOAT_EQ(pad.axes[0], 0.0f);
    EXPECT_FLOAT_EQ(pad.axes[1], -0.6f);
    for (int i = 2; i < 7; ++i) EXPECT_EQ(pad.axes[i], 0.0f) << i;
    EXPECT_EQ(pad.pov, 0xFFFFFFFFu);
    for (int b = 0; b < 16; ++b) EXPECT_EQ(pad.buttons[b], b < 4 ? 1 : 0) << b;
}

TEST_F(PadTest, PulledOutPadKeepsItsValuesOnceThenReleases) {
    Attach(7, 16, 1);
    ASSERT_EQ(InitInput(), 0);
    SDL_JoystickSetVirtualAxis(handle_, 1, SdlAxis(-800));
    SDL_JoystickSetVirtualButton(handle_, 2, SDL_PRESSED);
    PollJoysticks();
    PollJoysticks();  // both buffers hold the pushed stick
    PadState before[2];
    std::memcpy(before, PadStates.buffers, sizeof before);

    SDL_JoystickClose(handle_);
    handle_ = nullptr;
    ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0);
    // Unreadable: one attempt, the values stay.
    EXPECT_EQ(ReadPadState(PadStates.current), 0);
    EXPECT_EQ(std::memcmp(before, PadStates.buffers, sizeof before), 0);

    // The removal event closes the pad; the next poll lets go of everything it held.
    EXPECT_GT(PumpDeviceEvents(), 0);
    EXPECT_FALSE(JoystickIsOpen());
    PollJoysticks();
    for (const PadState& pad : PadStates.buffers) {
        EXPECT_EQ(pad.axes[1], 0.0f);
        EXPECT_EQ(pad.buttons[2], 0);
    }
    PollKeyboard();
    EXPECT_EQ(KeyStates.actions[kActionForward], 0);
    EXPECT_EQ(KeyStates.actions[kActionCtrl], 0);
}

TEST_F(PadTest, PadPluggedInWhileRunningIsOpened) {
    ASSERT_EQ(InitInput(), 0);
    EXPECT_FALSE(JoystickIsOpen());
    PollJoysticks();  // no pad: nothing read, nothing crashes
    EXPECT_EQ(PadStates.current->buttons[0], 0);

    Attach(7, 16, 1);
    EXPECT_GT(PumpDeviceEvents(), 0);
    ASSERT_TRUE(JoystickIsOpen());
    SDL_JoystickSetVirtualButton(handle_, 0, SDL_PRESSED);
    PollJoysticks();
    EXPECT_EQ(PadStates.current->buttons[0], 1);
}

TEST_F(PadTest, SecondPadTakesOverWhenTheFirstGoes) {
    Attach(7, 16, 1);
    SDL_Joystick* first = handle_;
    handle_ = nullptr;
    Attach(7, 16, 1);
    ASSERT_EQ(InitInput(), 0);
    SDL_JoystickSetVirtualButton(handle_, 5, SDL_PRESSED);  // only the second pad's button
    PollJoysticks();
    EXPECT_EQ(PadStates.current->buttons[5], 0);  // the first pad is the one in use

    SDL_JoystickClose(first);
    ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0);
    PumpDeviceEvents();
    ASSERT_TRUE(JoystickIsOpen());
    PollJoysticks();
    EXPECT_EQ(PadStates.current->buttons[5], 1);
}

}  // namespace
