#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/input.h"
#include "datakit/cur.h"
#include "platform/wincodes.h"

namespace {

// Stand-ins for world objects: the input code only passes their addresses on.
alignas(16) unsigned char g_objectStorage[3][64];
NztEventObject* const kPicked = reinterpret_cast<NztEventObject*>(g_objectStorage[0]);
NztEventObject* const kPlayer = reinterpret_cast<NztEventObject*>(g_objectStorage[1]);

struct SentEvent {
    NztEventObject* object;
    uint32_t code;
    bool operator==(const SentEvent&) const = default;
};
std::vector<SentEvent> g_sent;
void RecordEvent(NztEventObject* object, uint32_t code) { g_sent.push_back({object, code}); }

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInputHooks();
        ClearKeyStates();
        ClearPadStates();
        std::memset(ActionEnabled, 1, sizeof ActionEnabled);
        CursorClipRect = nullptr;
        CursorPos = LastCursorPos = {0, 0};
        MouseWheelDelta = 0;
        MouseClicked = 0;
        g_sent.clear();
        InputServices.sendEvent = RecordEvent;
    }
    void TearDown() override { ResetInputHooks(); }
};

std::vector<int> SetActions(const uint8_t actions[kGameActionCount]) {
    std::vector<int> set;
    for (int i = 0; i < kGameActionCount; ++i) {
        if (actions[i]) set.push_back(i);
    }
    return set;
}

// ---------------------------------------------------------------------------------------------
// The action table

struct ActionCase {
    const char* name;
    std::vector<uint32_t> keys;
    std::vector<int> buttons = {};
    float x = 0.0f, y = 0.0f;
    uint32_t pov = 0xFFFFFFFFu;
    int32_t cameraMode = 1;
    int disabled = -1;
    std::vector<int> expected = {};
};

TEST_F(InputTest, ActionTableFromKeysAndPad) {
    const ActionCase cases[] = {
        {.name = "nothing", .keys = {}},
        {.name = "B", .keys = {'B'}, .expected = {0}},
        {.name = "pad 5", .keys = {}, .buttons = {5}, .expected = {0}},
        {.name = "Shift", .keys = {VK_SHIFT}, .expected = {1, 22}},
        {.name = "pad 7", .keys = {}, .buttons = {7}, .expected = {1}},
        {.name = "Alt", .keys = {VK_MENU}, .expected = {2}},
        {.name = "pad 0", .keys = {}, .buttons = {0}, .expected = {2}},
        {.name = "Space", .keys = {VK_SPACE}, .expected = {3}},
        {.name = "pad 1", .keys = {}, .buttons = {1}, .expected = {3}},
        {.name = "Ctrl", .keys = {VK_CONTROL}, .expected = {4}},
        {.name = "pad 2", .keys = {}, .buttons = {2}, .expected = {4}},
        {.name = "Home", .keys = {VK_HOME}, .expected = {5}},
        {.name = "pad 4", .keys = {}, .buttons = {4}, .expected = {5}},
        {.name = "End", .keys = {VK_END}, .expected = {6}},
        {.name = "pad 6", .keys = {}, .buttons = {6}, .expected = {6}},
        {.name = "Up", .keys = {VK_UP}, .expected = {7}},
        {.name = "Z", .keys = {'Z'}, .expected = {7}},
        {.name = "stick forward", .keys = {}, .y = -0.5f, .expected = {7}},
        {.name = "stick forward, camera mode 0", .keys = {}, .y = -0.5f, .cameraMode = 0},
        {.name = "Up, camera mode 0", .keys = {VK_UP}, .cameraMode = 0, .expected = {7}},
        {.name = "stick back, camera mode 0", .keys = {}, .y = 0.5f, .cameraMode = 0,
         .expected = {8}},
        {.name = "Down", .keys = {VK_DOWN}, .expected = {8}},
        {.name = "S", .keys = {'S'}, .expected = {8}},
        {.name = "Left", .keys = {VK_LEFT}, .expected = {9}},
        {.name = "Q", .keys = {'Q'}, .expected = {9}},
        {.name = "stick left", .keys = {}, .x = -0.3f, .expected = {9}},
        {.name = "Right", .keys = {VK_RIGHT}, .expected = {10}},
        {.name = "D", .keys = {'D'}, .expected = {10}},
        {.name = "stick right", .keys = {}, .x = 0.3f, .expected = {10}},
        {.name = "stick at the threshold", .keys = {}, .x = 0.01f, .y = -0.01f},
        {.name = "stick just past the threshold", .keys = {}, .x = -0.011f, .y = 0.011f,
         .expected = {8, 9}},
        {.name = "Shift Left", .keys = {VK_SHIFT, VK_LEFT}, .expected = {1, 9, 11, 22}},
        {.name = "Shift Q", .keys = {VK_SHIFT, 'Q'}, .expected = {1, 9, 11, 22}},
        {.name = "Shift Right", .keys = {VK_SHIFT, VK_RIGHT}, .expected = {1, 10, 12, 22}},
        {.name = "Shift D", .keys = {VK_SHIFT, 'D'}, .expected = {1, 10, 12, 22}},
        {.name = "pad 7 with Left is no Shift", .keys = {VK_LEFT}, .buttons = {7},
         .expected = {1, 9}},
        {.name = "Shift with the stick left", .keys = {VK_SHIFT}, .x = -1.0f,
         .expected = {1, 9, 22}},
        {.name = "Page Up", .keys = {VK_PRIOR}, .expected = {13}},
        {.name = "Page Down", .keys = {VK_NEXT}, .expected = {14}},
        {.name = "P", .keys = {'P'}, .expected = {15}},
        {.name = "numpad 6", .keys = {VK_NUMPAD6}, .expected = {16}},
        {.name = "hat 9000", .keys = {}, .pov = 9000, .expected = {16}},
        {.name = "hat 9001", .keys = {}, .pov = 9001},
        {.name = "numpad 4", .keys = {VK_NUMPAD4}, .expected = {17}},
        {.name = "hat 27000", .keys = {}, .pov = 27000, .expected = {17}},
        {.name = "hat 4500", .keys = {}, .pov = 4500},
        {.name = "numpad 5", .keys = {VK_NUMPAD5}, .expected = {18}},
        {.name = "pad 3", .keys = {}, .buttons = {3}, .expected = {18}},
        {.name = "Escape", .keys = {VK_ESCAPE}, .expected = {19}},
        {.name = "pad 9", .keys = {}, .buttons = {9}, .expected = {19}},
        {.name = "Ctrl C", .keys = {VK_CONTROL, 'C'}, .expected = {4, 20}},
        {.name = "C alone", .keys = {'C'}},
        {.name = "left mouse button", .keys = {VK_LBUTTON}, .expected = {21}},
        {.name = "right mouse button", .keys = {VK_RBUTTON}, .expected = {23}},
        {.name = "pad buttons without an action", .keys = {}, .buttons = {8, 10, 15}},
        {.name = "Shift disabled", .keys = {VK_SHIFT}, .disabled = 1, .expected = {22}},
        {.name = "forward disabled", .keys = {VK_UP, 'Z'}, .y = -1.0f, .disabled = 7},
        {.name = "right button disabled", .keys = {VK_RBUTTON}, .disabled = 23},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t keys[256] = {};
        for (uint32_t vk : c.keys) keys[vk] = 0x80;
        PadState pad = {};
        for (int b : c.buttons) pad.buttons[b] = 1;
        pad.axes[0] = c.x;
        pad.axes[1] = c.y;
        pad.pov = c.pov;
        uint8_t enabled[kGameActionCount];
        std::memset(enabled, 1, sizeof enabled);
        if (c.disabled >= 0) enabled[c.disabled] = 0;
        uint8_t out[kGameActionCount];
        std::memset(out, 0xCC, sizeof out);
        ComputeGameActions(keys, pad, c.cameraMode, enabled, out);
        EXPECT_EQ(SetActions(out), c.expected);
        for (uint8_t v : out) EXPECT_LE(v, 1);
    }
}

TEST_F(InputTest, OnlyTheHighBitOfAKeyCounts) {
    uint8_t keys[256];
    std::memset(keys, 0x7F, sizeof keys);  // toggled, not down
    PadState pad = {};
    uint8_t out[kGameActionCount];
    ComputeGameActions(keys, pad, 1, ActionEnabled, out);
    EXPECT_EQ(SetActions(out), std::vector<int>{});
}

// ---------------------------------------------------------------------------------------------
// Polling and the double buffers

std::vector<std::array<uint8_t, 256>> g_keyboards;
size_t g_keyboardReads = 0;
void FakeKeyboard(uint8_t table[256]) {
    std::memcpy(table, g_keyboards.at(g_keyboardReads++).data(), 256);
}

TEST_F(InputTest, PollKeyboardKeepsThisAndThePreviousTick) {
    g_keyboards.assign(3, {});
    g_keyboards[0][VK_RBUTTON] = 0x80;
    g_keyboards[0][VK_ESCAPE] = 0x80;
    g_keyboards[1][VK_ESCAPE] = 0x80;
    g_keyboardReads = 0;
    InputServices.getKeyboardState = FakeKeyboard;
    PadStates.current->buttons[1] = 1;  // the pad's Space

    EXPECT_EQ(PollKeyboard(), 1);  // right button down: the result is action 23
    EXPECT_EQ(SetActions(KeyStates.actions), (std::vector<int>{3, 19, 23}));
    EXPECT_EQ(SetActions(KeyStates.previousActions), std::vector<int>{});

    EXPECT_EQ(PollKeyboard(), 0);
    EXPECT_EQ(SetActions(KeyStates.actions), (std::vector<int>{3, 19}));
    EXPECT_EQ(SetActions(KeyStates.previousActions), (std::vector<int>{3, 19, 23}));
    EXPECT_EQ(KeyStates.previousKeys[VK_RBUTTON], 0x80);
    EXPECT_EQ(KeyStates.keys[VK_RBUTTON], 0);
    EXPECT_NE(KeyStates.keys, KeyStates.previousKeys);

    PadStates.current->buttons[1] = 0;
    EXPECT_EQ(PollKeyboard(), 0);  // Escape released: down before, up now
    EXPECT_EQ(KeyStates.previousActions[kActionEscape], 1);
    EXPECT_EQ(KeyStates.actions[kActionEscape], 0);

    ClearKeyStates();
    EXPECT_EQ(KeyStates.keys, KeyStates.keyTables[0]);
    EXPECT_EQ(KeyStates.previousKeys, KeyStates.keyTables[1]);
    EXPECT_EQ(KeyStates.actions, KeyStates.actionTables[0]);
    EXPECT_EQ(KeyStates.previousActions, KeyStates.actionTables[1]);
    for (const auto& table : KeyStates.keyTables) {
        for (uint8_t v : table) ASSERT_EQ(v, 0);
    }
    for (const auto& table : KeyStates.actionTables) {
        for (uint8_t v : table) ASSERT_EQ(v, 0);
    }
}

TEST_F(InputTest, DisablingAnActionClearsItAtOnce) {
    KeyStates.actions[kActionForward] = 1;
    SetActionEnabled(kActionForward, false);
    EXPECT_EQ(ActionEnabled[kActionForward], 0);
    EXPECT_EQ(KeyStates.actions[kActionForward], 0);
    SetActionEnabled(kActionForward, true);
    EXPECT_EQ(ActionEnabled[kActionForward], 1);

    uint8_t before[kGameActionCount];
    std::memcpy(before, ActionEnabled, sizeof before);
    for (uint32_t bad : {24u, 255u, 0xFFFFFFFFu}) SetActionEnabled(bad, false);
    EXPECT_EQ(std::memcmp(before, ActionEnabled, sizeof before), 0);
}

TEST_F(InputTest, PadBuffersSwap) {
    PadState* first = PadStates.current;
    PollJoysticks();  // no pad: only the swap happens
    EXPECT_EQ(PadStates.previous, first);
    EXPECT_NE(PadStates.current, first);
    SwapPadBuffers();
    EXPECT_EQ(PadStates.current, first);
}

// ---------------------------------------------------------------------------------------------
// Mouse look: the delta and the wrap at the edges

struct FakeMouse {
    CursorPoint pos = {0, 0};
    std::optional<CursorPoint> warped;
    int32_t desktopW = 1280, desktopH = 1024;
} g_mouse;

bool FakeGetCursor(int32_t* x, int32_t* y) {
    *x = g_mouse.pos.x;
    *y = g_mouse.pos.y;
    return true;
}
void FakeSetCursor(int32_t x, int32_t y) {
    g_mouse.pos = {x, y};
    g_mouse.warped = CursorPoint{x, y};
}
void FakeDesktop(int32_t* w, int32_t* h) {
    *w = g_mouse.desktopW;
    *h = g_mouse.desktopH;
}

class MouseTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        g_mouse = {};
        InputServices.getCursorPos = FakeGetCursor;
        InputServices.setCursorPos = FakeSetCursor;
        InputServices.getDesktopSize = FakeDesktop;
    }
};

struct WrapCase {
    const char* name;
    bool clip;
    CursorPoint last, now;
    CursorPoint delta;
    std::optional<CursorPoint> warp;
    int32_t desktopW = 1280, desktopH = 1024;
};

TEST_F(MouseTest, DeltaAndWrap) {
    static const ScreenRect window = {100, 50, 740, 530};
    const WrapCase cases[] = {
        {"inside the window", true, {300, 200}, {310, 195}, {10, -5}, std::nullopt},
        {"right edge", true, {735, 200}, {739, 200}, {4, 0}, CursorPoint{101, 200}},
        {"past the right edge", true, {735, 200}, {745, 200}, {10, 0}, CursorPoint{101, 200}},
        {"left edge", true, {103, 200}, {100, 200}, {-3, 0}, CursorPoint{738, 200}},
        {"top edge", true, {300, 52}, {300, 50}, {0, -2}, CursorPoint{300, 528}},
        {"bottom edge", true, {300, 520}, {300, 529}, {0, 9}, CursorPoint{300, 51}},
        {"corner", true, {730, 520}, {739, 529}, {9, 9}, CursorPoint{101, 51}},
        {"one inside the right edge", true, {700, 200}, {738, 200}, {38, 0}, std::nullopt},
        {"desktop left", false, {2, 500}, {0, 500}, {-2, 0}, CursorPoint{1278, 500}},
        {"desktop right", false, {1270, 500}, {1279, 500}, {9, 0}, CursorPoint{1, 500}},
        {"desktop top", false, {500, 3}, {500, 0}, {0, -3}, CursorPoint{500, 1022}},
        {"desktop bottom", false, {500, 1000}, {500, 1023}, {0, 23}, CursorPoint{500, 1}},
        {"desktop size unknown", false, {5, 5}, {0, 0}, {-5, -5}, std::nullopt, 0, 0},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.name);
        CursorClipRect = c.clip ? &window : nullptr;
        g_mouse.desktopW = c.desktopW;
        g_mouse.desktopH = c.desktopH;
        g_mouse.warped.reset();
        LastCursorPos = c.last;
        g_mouse.pos = c.now;
        int32_t dx = 0, dy = 0;
        ReadMouseDelta(&dx, &dy);
        EXPECT_EQ(dx, c.delta.x);
        EXPECT_EQ(dy, c.delta.y);
        ASSERT_EQ(g_mouse.warped.has_value(), c.warp.has_value());
        CursorPoint expectedLast = c.warp ? *c.warp : c.now;
        if (c.warp) {
            EXPECT_EQ(g_mouse.warped->x, c.warp->x);
            EXPECT_EQ(g_mouse.warped->y, c.warp->y);
        }
        EXPECT_EQ(LastCursorPos.x, expectedLast.x);
        EXPECT_EQ(LastCursorPos.y, expectedLast.y);
        EXPECT_EQ(CursorPos.x, expectedLast.x);
        EXPECT_EQ(CursorPos.y, expectedLast.y);
    }
}

TEST_F(MouseTest, PushingAgainstAnEdgeKeepsReportingTheSameMove) {
    static const ScreenRect window = {100, 50, 740, 530};
    CursorClipRect = &window;
    g_mouse.pos = LastCursorPos = {600, 300};
    int wraps = 0;
    for (int frame = 0; frame < 400; ++frame) {
        g_mouse.pos.x += 7;  // the hand keeps moving right
        g_mouse.pos.y -= 3;  // and a little up
        g_mouse.warped.reset();
        int32_t dx = 0, dy = 0;
        ReadMouseDelta(&dx, &dy);
        ASSERT_EQ(dx, 7) << "frame " << frame;
        ASSERT_EQ(dy, -3) << "frame " << frame;
        ASSERT_GT(g_mouse.pos.x, window.left);
        ASSERT_LT(g_mouse.pos.x, window.right - 1);
        if (g_mouse.warped) ++wraps;
    }
    EXPECT_GT(wraps, 2);
}

// ---------------------------------------------------------------------------------------------
// Mouse buttons and the wheel

struct Dispatched {
    int calls = 0;
    uint32_t flags = 0;
    int32_t x = 0, y = 0, delta = 0;
    int32_t answer = 0;
} g_dispatch;
struct Picked {
    int calls = 0;
    int32_t x = 0, y = 0;
    NztEventObject* answer = nullptr;
} g_pick;
NztEventObject* g_wheelTarget = nullptr;

int32_t FakeDispatchButton(uint32_t flags, int32_t x, int32_t y) {
    ++g_dispatch.calls;
    g_dispatch.flags = flags;
    g_dispatch.x = x;
    g_dispatch.y = y;
    return g_dispatch.answer;
}
int32_t FakeDispatchWheel(int32_t x, int32_t y, int32_t delta) {
    ++g_dispatch.calls;
    g_dispatch.x = x;
    g_dispatch.y = y;
    g_dispatch.delta = delta;
    return g_dispatch.answer;
}
NztEventObject* FakePick(int32_t x, int32_t y) {
    ++g_pick.calls;
    g_pick.x = x;
    g_pick.y = y;
    return g_pick.answer;
}
NztEventObject* FakeWheelTarget() { return g_wheelTarget; }

class MouseButtonTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        g_dispatch = {};
        g_pick = {};
        g_wheelTarget = nullptr;
        InputServices.dispatchLButtonDown = FakeDispatchButton;
        InputServices.dispatchLButtonDblClk = FakeDispatchButton;
        InputServices.dispatchMouseWheel = FakeDispatchWheel;
        InputServices.pickEntityOnRay = FakePick;
        InputServices.wheelTarget = FakeWheelTarget;
    }
};

struct ClickCase {
    const char* name;
    bool doubleClick;
    int32_t windowAnswer;
    NztEventObject* picked;
    int32_t result;
    int picks;
    std::vector<SentEvent> events;
};

TEST_F(MouseButtonTest, LeftButtonGoesToAWindowElseToThePickedObject) {
    const ClickCase cases[] = {
        {"press on a window", false, 7, kPicked, 7, 0, {}},
        {"press on an object", false, 0, kPicked, 0, 1, {{kPicked, 62}}},
        {"press on nothing", false, 0, nullptr, 0, 1, {}},
        {"double-click on a window", true, 1, kPicked, 1, 0, {}},
        {"double-click on an object", true, 0, kPicked, 0, 1, {{kPicked, 63}}},
        {"double-click on nothing", true, 0, nullptr, 0, 1, {}},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_dispatch = {};
        g_pick = {};
        g_sent.clear();
        MouseClicked = 0;
        g_dispatch.answer = c.windowAnswer;
        g_pick.answer = c.picked;
        int32_t result = c.doubleClick ? OnMouseDoubleClick(MK_LBUTTON, 321, 123)
                                       : OnMouseButtonDown(MK_LBUTTON, 321, 123);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(MouseClicked, 1);
        EXPECT_EQ(g_dispatch.calls, 1);
        EXPECT_EQ(g_dispatch.flags, MK_LBUTTON);
        EXPECT_EQ(g_dispatch.x, 321);
        EXPECT_EQ(g_dispatch.y, 123);
        EXPECT_EQ(g_pick.calls, c.picks);
        if (c.picks) {
            EXPECT_EQ(g_pick.x, 321);
            EXPECT_EQ(g_pick.y, 123);
        }
        EXPECT_EQ(g_sent, c.events);
    }
}

struct WheelCase {
    const char* name;
    int32_t windowAnswer;
    NztEventObject* target;
    int32_t delta;
    std::vector<SentEvent> events;
    int32_t storedDelta;
};

TEST_F(MouseButtonTest, WheelGoesToAWindowElseToThePlayer) {
    constexpr int32_t kUntouched = 12345;
    const WheelCase cases[] = {
        {"taken by a window", 1, kPlayer, WHEEL_DELTA, {}, kUntouched},
        {"forward", 0, kPlayer, WHEEL_DELTA, {{kPlayer, 64}}, WHEEL_DELTA},
        {"back two notches", 0, kPlayer, -2 * WHEEL_DELTA, {{kPlayer, 65}}, -2 * WHEEL_DELTA},
        {"the ridden character gets it", 0, kPicked, WHEEL_DELTA, {{kPicked, 64}}, WHEEL_DELTA},
        {"no player", 0, nullptr, -WHEEL_DELTA, {}, -WHEEL_DELTA},
        {"no turn", 0, kPlayer, 0, {}, 0},
    };
    for (const WheelCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_dispatch = {};
        g_sent.clear();
        MouseWheelDelta = kUntouched;
        g_dispatch.answer = c.windowAnswer;
        g_wheelTarget = c.target;
        OnMouseWheel(40, 60, c.delta);
        EXPECT_EQ(g_dispatch.calls, 1);
        EXPECT_EQ(g_dispatch.delta, c.delta);
        EXPECT_EQ(g_dispatch.x, 40);
        EXPECT_EQ(g_dispatch.y, 60);
        EXPECT_EQ(g_sent, c.events);
        EXPECT_EQ(MouseWheelDelta, c.storedDelta);
    }
}

// ---------------------------------------------------------------------------------------------
// Cursor files

datakit::CurImage TestImage(int32_t w, int32_t h, int bitCount, uint32_t seed) {
    datakit::CurImage im;
    im.width = w;
    im.height = h;
    im.hotX = w / 2;
    im.hotY = h - 1;
    im.bitCount = bitCount;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t v = (static_cast<uint32_t>(x * 37 + y * 101) ^ seed) * 2654435761u;
            uint32_t p;
            if (bitCount == 1) {
                p = (v >> 7) % 3 == 0 ? 0u : ((v >> 9) & 1 ? 0xFFFFFFFFu : 0xFF000000u);
            } else if (bitCount == 24) {
                p = (v >> 7) % 5 == 0 ? 0u : (0xFF000000u | (v & 0xFFFFFFu));
            } else {
                p = (v >> 7) % 5 == 0 ? 0u : v;
                if (p >> 24 == 0) p = 0;  // alpha 0 is transparent whatever the colour
            }
            im.pixels.push_back(p);
        }
    }
    return im;
}

TEST(CursorFile, DecodesWhatTheWriterWrites) {
    struct Case {
        const char* name;
        int32_t w, h;
        int bitCount;
    } cases[] = {
        {"32-bit", 32, 32, 32}, {"32-bit narrow", 5, 9, 32},   {"24-bit", 13, 7, 24},
        {"monochrome", 32, 32, 1}, {"monochrome odd width", 17, 3, 1}, {"largest", 256, 256, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        datakit::CurImage im = TestImage(c.w, c.h, c.bitCount, 7);
        std::vector<uint8_t> file = datakit::WriteCur({im});
        CursorImage out;
        const char* fault = nullptr;
        ASSERT_TRUE(DecodeCursorFile(file.data(), file.size(), &out, &fault)) << fault;
        EXPECT_EQ(out.width, c.w);
        EXPECT_EQ(out.height, c.h);
        EXPECT_EQ(out.hotX, im.hotX);
        EXPECT_EQ(out.hotY, im.hotY);
        EXPECT_EQ(out.pixels, im.pixels);
    }
}

TEST(CursorFile, OldStyle32BitImageTakesItsMask) {
    // Alpha all zero: the mask decides what shows.
    datakit::CurImage im = TestImage(8, 8, 24, 3);  // opaque colours and fully clear pixels
    im.bitCount = 32;
    std::vector<uint8_t> file = datakit::WriteCur({im});
    // Clear the alpha bytes the writer stored, leaving the mask as it is.
    const size_t colour = 22 + 40;
    for (size_t i = 0; i < 64; ++i) file[colour + i * 4 + 3] = 0;
    CursorImage out;
    const char* fault = nullptr;
    ASSERT_TRUE(DecodeCursorFile(file.data(), file.size(), &out, &fault)) << fault;
    EXPECT_EQ(out.pixels, im.pixels);
}

TEST(CursorFile, PicksTheImageNearest32Pixels) {
    datakit::CurImage small = TestImage(16, 16, 32, 1);
    datakit::CurImage medium = TestImage(32, 32, 1, 2);
    datakit::CurImage large = TestImage(48, 48, 32, 3);
    datakit::CurImage alsoMedium = TestImage(32, 32, 32, 4);
    std::vector<uint8_t> file = datakit::WriteCur({small, large, medium, alsoMedium});
    CursorImage out;
    const char* fault = nullptr;
    ASSERT_TRUE(DecodeCursorFile(file.data(), file.size(), &out, &fault)) << fault;
    EXPECT_EQ(out.pixels, medium.pixels);
}

TEST(CursorFile, HotspotOutsideTheImageIsPulledIn) {
    datakit::CurImage im = TestImage(16, 8, 32, 5);
    im.hotX = 40;
    im.hotY = 9;
    std::vector<uint8_t> file = datakit::WriteCur({im});
    CursorImage out;
    const char* fault = nullptr;
    ASSERT_TRUE(DecodeCursorFile(file.data(), file.size(), &out, &fault)) << fault;
    EXPECT_EQ(out.hotX, 15);
    EXPECT_EQ(out.hotY, 7);
}

void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& f, size_t at, uint16_t v) {
    f[at] = static_cast<uint8_t>(v);
    f[at + 1] = static_cast<uint8_t>(v >> 8);
}

TEST(CursorFile, MalformedFilesAreRefused) {
    // One monochrome 16x16 image: directory entry at 6, bitmap at 22, palette at 62.
    const std::vector<uint8_t> good = datakit::WriteCur({TestImage(16, 16, 1, 9)});
    constexpr size_t entry = datakit::kCurDirEntry;
    constexpr size_t bmp = 22;
    ASSERT_EQ(good.size(), bmp + 40 + 8 + 16 * 4 + 16 * 4);
    struct Case {
        const char* name;
        void (*damage)(std::vector<uint8_t>&);
        const char* fault;
    } cases[] = {
        {"reserved word set", [](auto& f) { Put16(f, 0, 1); }, "not a cursor file"},
        {"neither cursor nor icon", [](auto& f) { Put16(f, 2, 3); }, "not a cursor file"},
        {"no images", [](auto& f) { Put16(f, 4, 0); }, "no images"},
        {"more images than the directory holds", [](auto& f) { Put16(f, 4, 0xFFFF); },
         "truncated image directory"},
        {"image past the end", [](auto& f) { Put32(f, entry + 12, 0xFFFFFF00u); },
         "image data outside the file"},
        {"offset and size wrap 32 bits",
         [](auto& f) { Put32(f, entry + 8, 0xFFFFFFFFu), Put32(f, entry + 12, 0xFFFFFFFFu); },
         "image data outside the file"},
        {"size one byte too large",
         [](auto& f) { Put32(f, entry + 8, static_cast<uint32_t>(f.size() - 22 + 1)); },
         "image data outside the file"},
        {"size one byte too small",
         [](auto& f) { Put32(f, entry + 8, static_cast<uint32_t>(f.size() - 22 - 1)); },
         "image data truncated"},
        {"size smaller than the bitmap header", [](auto& f) { Put32(f, entry + 8, 20); },
         "truncated bitmap header"},
        {"PNG image",
         [](auto& f) {
             const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
             std::memcpy(&f[bmp], png, 8);
         },
         "PNG images are not supported"},
        {"short header", [](auto& f) { Put32(f, bmp, 12); }, "bad bitmap header size"},
        {"header larger than the image", [](auto& f) { Put32(f, bmp, 100000); },
         "bad bitmap header size"},
        {"zero width", [](auto& f) { Put32(f, bmp + 4, 0); }, "bad image size"},
        {"negative width", [](auto& f) { Put32(f, bmp + 4, 0xFFFFFFF0u); }, "bad image size"},
        {"too wide", [](auto& f) { Put32(f, bmp + 4, 257); }, "bad image size"},
        {"odd height", [](auto& f) { Put32(f, bmp + 8, 31); }, "bad image size"},
        {"zero height", [](auto& f) { Put32(f, bmp + 8, 0); }, "bad image size"},
        {"top-down height", [](auto& f) { Put32(f, bmp + 8, static_cast<uint32_t>(-32)); },
         "bad image size"},
        {"too tall", [](auto& f) { Put32(f, bmp + 8, 514); }, "bad image size"},
        {"taller than the data", [](auto& f) { Put32(f, bmp + 8, 64); }, "image data truncated"},
        {"wider than the data", [](auto& f) { Put32(f, bmp + 4, 64); }, "image data truncated"},
        {"16-bit", [](auto& f) { Put16(f, bmp + 14, 16); }, "unsupported bit depth"},
        {"2-bit", [](auto& f) { Put16(f, bmp + 14, 2); }, "unsupported bit depth"},
        {"more colours than the palette can hold", [](auto& f) { Put32(f, bmp + 32, 3); },
         "palette too large"},
        {"colour index past the palette", [](auto& f) { Put32(f, bmp + 32, 1); },
         "colour index outside the palette"},
        {"run-length compressed", [](auto& f) { Put32(f, bmp + 16, 1); },
         "compressed bitmaps are not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> file = good;
        c.damage(file);
        CursorImage out;
        out.width = -7;
        const char* fault = nullptr;
        EXPECT_FALSE(DecodeCursorFile(file.data(), file.size(), &out, &fault));
        EXPECT_STREQ(fault, c.fault);
        EXPECT_EQ(out.width, -7);  // nothing written on failure
    }
}

TEST(CursorFile, EveryTruncationIsRefused) {
    for (int bitCount : {1, 32}) {
        const std::vector<uint8_t> good = datakit::WriteCur({TestImage(9, 5, bitCount, 4)});
        for (size_t n = 0; n < good.size(); ++n) {
            std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
            CursorImage out;
            const char* fault = nullptr;
            ASSERT_FALSE(DecodeCursorFile(cut.data(), cut.size(), &out, &fault))
                << bitCount << "-bit cut at " << n;
        }
    }
}

// ImageMagick writes icon files on its own; its decoding of them is the reference.
class CursorFileFromImageMagick : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qv_cur_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path dir_;
};

TEST_F(CursorFileFromImageMagick, DecodesAsImageMagickDoes) {
    struct Case {
        const char* name;
        const char* options;
        int bitCount;
    } cases[] = {
        {"32-bit with alpha",
         "-size 20x10 gradient:red-blue -alpha on -channel A -fx \"i<5?0:(j+1)/10\" +channel", 32},
        {"32-bit opaque", "-size 24x24 gradient:yellow-navy", 32},
        {"monochrome", "-size 19x7 gradient:red-blue -colors 2 -type palette", 1},
        {"16 colours", "-size 20x10 gradient:red-blue -colors 12 -type palette", 4},
        {"256 colours", "-size 20x10 xc: +noise Random -colors 100 -type palette", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path cur = dir_ / "x.cur";
        const std::filesystem::path rgba = dir_ / "x.rgba";
        std::string make = std::string("convert ") + c.options + " " + cur.string();
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        std::string dump = "convert " + cur.string() + " -depth 8 rgba:" + rgba.string();
        ASSERT_EQ(std::system(dump.c_str()), 0) << dump;
        std::vector<uint8_t> file = ReadAll(cur);
        ASSERT_GT(file.size(), 40u);
        const size_t image = file[18] | file[19] << 8 | file[20] << 16 | size_t{file[21]} << 24;
        ASSERT_LT(image + 15, file.size());
        EXPECT_EQ(file[image + 14], c.bitCount) << "ImageMagick chose another bit depth";
        std::vector<uint8_t> reference = ReadAll(rgba);

        CursorImage out;
        const char* fault = nullptr;
        ASSERT_TRUE(DecodeCursorFile(file.data(), file.size(), &out, &fault)) << fault;
        ASSERT_EQ(reference.size(), out.pixels.size() * 4);
        EXPECT_EQ(out.hotX, out.width / 2);  // an icon file: the centre
        EXPECT_EQ(out.hotY, out.height / 2);
        int mismatches = 0;
        for (size_t i = 0; i < out.pixels.size(); ++i) {
            const uint8_t* r = &reference[i * 4];
            uint32_t want = static_cast<uint32_t>(r[3]) << 24 |
                            static_cast<uint32_t>(r[0]) << 16 | static_cast<uint32_t>(r[1]) << 8 |
                            r[2];
            uint32_t got = out.pixels[i];
            if (r[3] == 0) {  // the colour under alpha 0 does not matter
                want = 0;
                if (got >> 24 == 0) got = 0;
            }
            if (want != got && ++mismatches < 5) {
                ADD_FAILURE() << "pixel " << i << ": want " << std::hex << want << " got " << got;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// LoadCursorFile without a display: names and files it refuses leave the cursors alone

TEST(LoadCursorFile, RefusesWithoutTouchingTheCursors) {
    CursorHandle sentinelFile = reinterpret_cast<CursorHandle>(uintptr_t{0x1000});
    CursorHandle sentinelCurrent = reinterpret_cast<CursorHandle>(uintptr_t{0x2000});
    FileCursor = sentinelFile;
    CurrentCursor = sentinelCurrent;
    const std::string longName(300, 'a');
    const char* names[] = {nullptr,       "",          "../x.cur",       "a/b.cur",
                           "a\\b.cur",    "..",        "x..cur",         longName.c_str(),
                           "missing.cur"};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_FALSE(LoadCursorFile(name));
        EXPECT_EQ(FileCursor, sentinelFile);
        EXPECT_EQ(CurrentCursor, sentinelCurrent);
    }
    FileCursor = nullptr;
    CurrentCursor = nullptr;
}

}  // namespace
