// The window toolkit driven the way the window procedure drives it: mouse and key messages through
// the dispatchers, never through a window's own handlers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/input.h"
#include "core/nztmath.h"
#include "platform/wincodes.h"
#include "render/renderstate.h"
#include "ui/wnd.h"

namespace {

struct Heard {
    uint32_t message;
    CNztWnd* window;
    float a, b, c;
};
std::vector<Heard> gHeard;
uint32_t Record(uint32_t message, CNztWnd* window, float a, float b, float c) {
    gHeard.push_back({message, window, a, b, c});
    return 1;
}
bool HeardMessage(uint32_t message, const CNztWnd* window) {
    for (const Heard& h : gHeard)
        if (h.message == message && h.window == window) return true;
    return false;
}

int gClicks = 0;
uint32_t CountClick(CNztWnd*) {
    ++gClicks;
    return 1;
}

class WndTest : public ::testing::Test {
protected:
    void SetUp() override {
        DestroyAllWnds();
        WndSerial = 0;
        gHeard.clear();
        gClicks = 0;
        ClearKeyStates();
        ApplyScreenSize(RenderState, 800, 600);
    }
    void TearDown() override { DestroyAllWnds(); }

    // A plain top-level window the way CreateWnd leaves it, recording its messages.
    static CNztWnd* Window(float x, float y, float w, float h) {
        CNztWnd* wnd = CreateWnd("w", x, y, w, h, nullptr);
        wnd->eventCallback = Record;
        return wnd;
    }
    static void Sort() {
        if (WndCount > 0) SortWndsByDepth(WndList, 0, static_cast<int32_t>(WndCount) - 1);
    }
    static void Click(int32_t x, int32_t y) {
        DispatchLButtonDownToWnds(x, y, MK_LBUTTON);
        DispatchLButtonUpToWnds(x, y, 0);
    }
    static void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        DispatchLButtonDownToWnds(x0, y0, MK_LBUTTON);
        DispatchMouseMoveToWnds(x1, y1, MK_LBUTTON);
        DispatchLButtonUpToWnds(x1, y1, 0);
    }
};

TEST_F(WndTest, TheTopWindowTakesAPressInTheOverlapAndTheFocus) {
    CNztWnd* below = Window(100, 100, 200, 100);
    CNztWnd* above = Window(150, 120, 200, 100);
    Sort();
    ASSERT_EQ(WndList[0], above);  // the later serial is the higher key

    EXPECT_EQ(DispatchLButtonDownToWnds(200, 150, MK_LBUTTON), 1u);
    EXPECT_EQ(FocusWnd, above);
    EXPECT_EQ(above->hasFocus, 1u);
    EXPECT_EQ(below->hasFocus, 0u);
    EXPECT_TRUE(HeardMessage(WndMsgLButtonDown, above));
    EXPECT_FALSE(HeardMessage(WndMsgLButtonDown, below));
    DispatchLButtonUpToWnds(200, 150, 0);

    // Raising the lower window puts it first after the next sort; it then takes the overlap.
    below->depthKey = 10.0f;
    Sort();
    EXPECT_EQ(WndList[0], below);
    DispatchLButtonDownToWnds(200, 150, MK_LBUTTON);
    EXPECT_EQ(FocusWnd, below);
    EXPECT_EQ(above->hasFocus, 0u);
    DispatchLButtonUpToWnds(200, 150, 0);

    // A press outside every window reaches the world and drops the focus.
    EXPECT_EQ(DispatchLButtonDownToWnds(700, 500, MK_LBUTTON), 0u);
    EXPECT_EQ(FocusWnd, nullptr);
    EXPECT_EQ(below->hasFocus, 0u);
}

TEST_F(WndTest, AChildTakesThePressBeforeItsParent) {
    CNztWnd* parent = Window(100, 100, 300, 200);
    CNztWnd_Button* button = CreateButtonWnd("b", nullptr, 10, 10, 80, 30, CountClick, parent, nullptr, nullptr);
    button->eventCallback = Record;
    // Client coordinates start below the parent's caption strip.
    EXPECT_EQ(button->screenLeft, 110.0f);
    EXPECT_EQ(button->screenTop, 126.0f);

    DispatchLButtonDownToWnds(120, 140, MK_LBUTTON);
    EXPECT_EQ(FocusWnd, button);
    EXPECT_FALSE(HeardMessage(WndMsgLButtonDown, parent));
    EXPECT_EQ(button->sunken, 1u);
    // Released elsewhere: the button still had the focus, so the click completes.
    DispatchLButtonUpToWnds(500, 500, 0);
    EXPECT_EQ(button->sunken, 0u);
    EXPECT_EQ(gClicks, 1);
    // Releasing over a window that did not get the press does nothing.
    DispatchLButtonUpToWnds(120, 140, 0);
    EXPECT_EQ(gClicks, 1);
}

TEST_F(WndTest, DraggingStartsOnlyFromTheCaptionStripAndFollowsTheCursor) {
    CNztWnd* w = Window(100, 100, 200, 100);
    // From the body: no drag.
    Drag(150, 160, 250, 260);
    EXPECT_EQ(w->left, 100.0f);
    EXPECT_EQ(w->top, 100.0f);
    // From the caption strip: the window keeps the offset of the press.
    gHeard.clear();
    Drag(150, 108, 250, 158);
    EXPECT_EQ(w->left, 200.0f);
    EXPECT_EQ(w->top, 150.0f);
    EXPECT_EQ(w->screenLeft, 200.0f);
    EXPECT_EQ(w->clientRect[1], 166.0f);
    bool reported = false;
    for (const Heard& h : gHeard)
        if (h.message == WndMsgDragged && h.a == 200.0f && h.b == 150.0f) reported = true;
    EXPECT_TRUE(reported);
}

TEST_F(WndTest, ResizingFromTheGripStopsAtTheMinimumSize) {
    CNztWnd* w = Window(100, 100, 200, 100);
    w->resizable = 1;
    // Bottom-right grip (the caption buttons are off for CreateWnd windows).
    Drag(295, 195, 345, 225);
    EXPECT_EQ(w->width, 250.0f);
    EXPECT_EQ(w->height, 130.0f);
    Drag(345, 225, 0, 0);
    EXPECT_EQ(w->width, 50.0f);
    EXPECT_EQ(w->height, 18.0f);
    EXPECT_EQ(w->screenRight, 150.0f);
}

TEST_F(WndTest, CaptionButtonsRollUpMaximiseAndClose) {
    CNztWnd* w = Window(100, 100, 200, 100);
    w->captionButtons = 1;
    CNztWnd* child = Window(10, 10, 60, 30);
    child->parent = nullptr;
    w->AddChild(child);
    child->parent = w;
    child->UpdateRect();

    Click(300 - 38, 108);  // roll-up
    EXPECT_EQ(w->height, 18.0f);
    Click(300 - 38, 108);
    EXPECT_EQ(w->height, 100.0f);
    Click(300 - 23, 108);  // maximise
    EXPECT_EQ(w->left, 0.0f);
    EXPECT_EQ(w->width, 800.0f);
    EXPECT_EQ(w->height, 600.0f);
    Click(800 - 23, 8);
    EXPECT_EQ(w->left, 100.0f);
    EXPECT_EQ(w->width, 200.0f);

    ASSERT_EQ(WndCount, 2u);
    Click(300 - 8, 108);  // close: the window and its child go, freed once the dispatch ends
    EXPECT_TRUE(HeardMessage(WndMsgDestroyed, w));
    EXPECT_TRUE(HeardMessage(WndMsgDestroyed, child));
    EXPECT_EQ(WndCount, 0u);
    EXPECT_EQ(FocusWnd, nullptr);
}

// A click handler that destroys the window its button sits on, as the menus' buttons do.
CNztWnd* gScreen = nullptr;
uint32_t CloseScreen(CNztWnd*) {
    DestroyWnd(gScreen);
    gScreen = nullptr;
    return 1;
}

TEST_F(WndTest, AWindowDestroyedFromItsOwnHandlerIsFreedAfterTheDispatch) {
    gScreen = Window(100, 100, 300, 200);
    CNztWnd_Button* ok = CreateButtonWnd("ok", nullptr, 10, 10, 80, 30, CloseScreen, gScreen, nullptr, nullptr);
    CreateInfoWnd("label", nullptr, 10, 50, 80, 20, gScreen);
    CNztWnd* other = Window(500, 100, 100, 100);
    ASSERT_EQ(WndCount, 4u);
    // Address sanitizer reports any touch of a freed window here.
    DispatchLButtonDownToWnds(120, 140, MK_LBUTTON);
    EXPECT_EQ(FocusWnd, ok);
    DispatchLButtonUpToWnds(120, 140, 0);
    EXPECT_EQ(gScreen, nullptr);
    ASSERT_EQ(WndCount, 1u);
    EXPECT_EQ(WndList[0], other);
    EXPECT_EQ(FocusWnd, nullptr);
    // The next messages walk a list without the freed windows.
    Click(120, 140);
    DispatchMouseMoveToWnds(550, 150, 0);
    EXPECT_EQ(other->hover, 1u);
}

TEST_F(WndTest, ShowingAndHidingSetTheWholeTreeAndHiddenWindowsTakeNoInput) {
    CNztWnd* w = Window(100, 100, 300, 200);
    CNztWnd_Button* b = CreateButtonWnd("b", nullptr, 10, 10, 80, 30, CountClick, w, nullptr, nullptr);
    w->SetChildrenVisible(0);
    EXPECT_EQ(w->visible, 0u);
    EXPECT_EQ(b->visible, 0u);
    EXPECT_EQ(DispatchLButtonDownToWnds(120, 140, MK_LBUTTON), 0u);
    DispatchLButtonUpToWnds(120, 140, 0);
    EXPECT_EQ(gClicks, 0);
    w->SetChildrenVisible(1);
    EXPECT_EQ(b->visible, 1u);
    Click(120, 140);
    EXPECT_EQ(gClicks, 1);
    w->SetChildrenEnabled(0);
    Click(120, 140);
    EXPECT_EQ(gClicks, 1);
}

TEST_F(WndTest, AnEditWindowTakesTypedTextBackspaceAndTheWheel) {
    auto* edit = new CNztWnd_Edit;
    ASSERT_TRUE(AppendWnd(edit));
    edit->Create(nullptr, 10, 400, 450, 150, nullptr);
    edit->takesKeys = 1;
    edit->fontSize = 12.0f;
    Click(100, 500);
    ASSERT_EQ(FocusWnd, edit);
    // Windows-1252 bytes as the platform layer converts them: "café €".
    for (uint32_t code : {0x63u, 0x61u, 0x66u, 0xE9u, 0x20u, 0x80u}) SendCharToFocusWnd(FocusWnd, code);
    EXPECT_STREQ(edit->lines[edit->inputLine], "caf\xE9 \x80");
    SendCharToFocusWnd(FocusWnd, 8);
    SendCharToFocusWnd(FocusWnd, 8);
    EXPECT_STREQ(edit->lines[edit->inputLine], "caf\xE9");
    for (int i = 0; i < 6; ++i) SendCharToFocusWnd(FocusWnd, 8);  // Backspace on an empty line: nothing
    EXPECT_STREQ(edit->lines[edit->inputLine], "");
    EXPECT_EQ(edit->inputLength, 0u);
    // Enter ends the line even with no command to run it: it stays in the log above a new one.
    for (uint32_t code : {0x68u, 0x69u, 13u}) SendCharToFocusWnd(FocusWnd, code);
    ASSERT_EQ(edit->lineCount, 2u);
    EXPECT_STREQ(edit->lines[0], "hi");
    EXPECT_EQ(edit->inputLine, 1u);
    EXPECT_STREQ(edit->lines[1], "");

    // The wheel scrolls the log and stops there; over a plain window it goes on to the game.
    for (int i = 0; i < 20; ++i) edit->StartNewLine();
    EXPECT_EQ(DispatchMouseWheelToWnds(100, 500, 120), 1u);
    EXPECT_EQ(edit->scroll, 1);
    EXPECT_EQ(DispatchMouseWheelToWnds(100, 500, 120), 1u);
    EXPECT_EQ(DispatchMouseWheelToWnds(100, 500, -120), 1u);
    EXPECT_EQ(edit->scroll, 1);
    Window(600, 100, 100, 100);
    EXPECT_EQ(DispatchMouseWheelToWnds(650, 150, 120), 0u);
    // Keys for the focus window: the game's key tables are cleared so typing drives nothing.
    KeyStates.keys[0x57] = 0x80;
    SendKeyDownToFocusWnd(FocusWnd, 'W');
    EXPECT_EQ(KeyStates.keys[0x57], 0);
}

TEST_F(WndTest, EditRecallCopiesEarlierLinesAndPagesScroll) {
    auto* edit = new CNztWnd_Edit;
    ASSERT_TRUE(AppendWnd(edit));
    edit->Create(nullptr, 10, 10, 450, 50, nullptr);
    edit->fontSize = 10.0f;
    for (const char* line : {"one", "two", "three", "four"}) {
        edit->SetInputLine(line);
        edit->StartNewLine();
    }
    ASSERT_EQ(edit->lineCount, 5u);
    struct Case {
        uint32_t key;
        bool control;
        const char* input;
        int32_t scroll;
    };
    const Case cases[] = {
        {VK_UP, true, "four", 0},    // Control+Up: the line above the input line
        {VK_UP, true, "three", 0},   // twice: two above
        {VK_DOWN, true, "four", 0},  // back down one
        {VK_UP, false, "four", 1},   // Up alone scrolls back one line
        {VK_PRIOR, true, "four", 5}, // Control+Page Up: the oldest lines
        {VK_NEXT, true, "four", 0},  // Control+Page Down: the newest
    };
    for (const Case& c : cases) {
        KeyStates.keys[VK_CONTROL] = c.control ? 0x80 : 0;
        edit->OnKeyDown(c.key);
        EXPECT_STREQ(edit->lines[edit->inputLine], c.input) << c.key;
        EXPECT_EQ(edit->scroll, c.scroll) << c.key;
    }
}

TEST_F(WndTest, ASliderFollowsTheThumbToBothEndsAndTheWheelByOnePixel) {
    CNztWnd* parent = Window(0, 0, 400, 200);
    parent->captionHeight = 0.0f;
    parent->titleBar = parent->movable = 0;
    CNztWnd_Slider* s = CreateSliderWnd("Volume", 100, 80, 200, 20, CountClick, nullptr, nullptr, parent);
    s->notifyOnChange = 1;
    EXPECT_EQ(s->lowestThumb, 12.0f);
    EXPECT_EQ(s->highestThumb, 188.0f);
    // Pressing at client x 100: (100 - 12) x 100 / 176 = 50.
    DispatchLButtonDownToWnds(200, 100, MK_LBUTTON);
    EXPECT_EQ(FocusWnd, s);
    EXPECT_FLOAT_EQ(s->value, 50.0f);
    DispatchMouseMoveToWnds(-50, 100, MK_LBUTTON);
    EXPECT_FLOAT_EQ(s->value, 0.0f);
    EXPECT_EQ(gClicks, 1);  // a change notification per move
    DispatchMouseMoveToWnds(700, 100, MK_LBUTTON);
    EXPECT_FLOAT_EQ(s->value, 100.0f);
    DispatchLButtonUpToWnds(700, 100, 0);
    EXPECT_EQ(s->tracking, 0u);
    EXPECT_EQ(DispatchMouseWheelToWnds(150, 100, -120), 1u);
    EXPECT_FLOAT_EQ(s->thumbPosition, 187.0f);
    // The label above it is a window of the same parent.
    EXPECT_EQ(parent->childCount, 2u);
}

TEST_F(WndTest, EditableCaptionsHoldAtMost255Characters) {
    CNztWnd_Button* b = CreateButtonWnd("", nullptr, 10, 10, 80, 30, nullptr, nullptr, nullptr, nullptr);
    b->readOnlyCaption = 0;
    b->captionCapacity = 100000;  // whatever the word says, the field holds 255 and a zero
    Click(20, 20);
    ASSERT_EQ(FocusWnd, b);
    b->takesKeys = 1;
    for (int i = 0; i < 400; ++i) SendCharToFocusWnd(FocusWnd, 'x');
    EXPECT_EQ(std::strlen(b->text), 255u);
    SendCharToFocusWnd(FocusWnd, 13);  // Enter gives the focus up
    EXPECT_EQ(FocusWnd, nullptr);

    std::string longText(1000, 'y');
    b->SetText(longText.c_str());
    EXPECT_EQ(std::strlen(b->text), 255u);
    b->readOnlyCaption = 1;
    SetFocusWnd(b);
    SendCharToFocusWnd(FocusWnd, 8);
    EXPECT_EQ(std::strlen(b->text), 255u);
}

TEST_F(WndTest, TheListGrowsByFiveAndShrinksWhenTenSlotsAreFree) {
    std::vector<CNztWnd*> made;
    for (int i = 0; i < 21; ++i) made.push_back(CreateWnd(nullptr, 0, 0, 10, 10, nullptr));
    EXPECT_EQ(WndCapacity, 25u);
    for (int i = 0; i < 10; ++i) DestroyWnd(made[static_cast<size_t>(i)]);
    EXPECT_EQ(WndCount, 11u);
    EXPECT_EQ(WndCapacity, 19u);  // shrunk once, at 14 windows in 25 slots
    // A window not in the list, and null, are left alone.
    DestroyWnd(nullptr);
    DestroyWnd(made[0]);
    EXPECT_EQ(WndCount, 11u);
}

TEST_F(WndTest, HoverMessagesFollowTheCursorInAndOut) {
    CNztWnd* w = Window(100, 100, 100, 100);
    EXPECT_EQ(DispatchMouseMoveToWnds(150, 150, 0), 1u);
    EXPECT_EQ(DispatchMouseMoveToWnds(160, 150, 0), 1u);
    EXPECT_EQ(DispatchMouseMoveToWnds(300, 150, 0), 0u);
    std::vector<uint32_t> seen;
    for (const Heard& h : gHeard)
        if (h.window == w && h.message >= WndMsgMouseEnter && h.message <= WndMsgMouseMove) seen.push_back(h.message);
    EXPECT_EQ(seen, (std::vector<uint32_t>{WndMsgMouseEnter, WndMsgMouseMove, WndMsgMouseLeave}));
}

}  // namespace

namespace {

// The drawn quad turns by one matrix of the three angles: the second turns it in the screen plane,
// the first tips it about the vertical (its width seen edge-on), the third about the horizontal.
TEST(WndRotation, TheThreeAnglesTurnTheQuadAndTheSecondIsTheInPlaneTurn) {
    BuildSinCosTables();  // the game builds them at start-up
    struct Case {
        const char* what;
        float a1, a2, a3;
        float x, y;  // where the corner 10 pixels right of the pivot lands, from the pivot
        float bx, by;  // where the corner 10 pixels below the pivot lands
    };
    const Case cases[] = {
        {"no turn", 0, 0, 0, 10, 0, 0, 10},
        {"quarter turn in the plane", 0, 1024, 0, 0, 10, -10, 0},
        {"half turn in the plane", 0, 2048, 0, -10, 0, 0, -10},
        {"quarter turn about the vertical: edge-on", 1024, 0, 0, 0, 0, 0, 10},
        {"quarter turn about the horizontal", 0, 0, 1024, 10, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CNztWnd w;
        w.angle1 = c.a1;
        w.angle2 = c.a2;
        w.angle3 = c.a3;
        w.pivotX = 100.0f;
        w.pivotY = 50.0f;
        float corners[4][3] = {{110.0f, 50.0f, 0.0f}, {100.0f, 60.0f, 0.0f}, {100.0f, 50.0f, 0.0f}, {90.0f, 50.0f, 0.0f}};
        w.TurnCorners(corners);
        EXPECT_NEAR(corners[0][0] - 100.0f, c.x, 0.01f);
        EXPECT_NEAR(corners[0][1] - 50.0f, c.y, 0.01f);
        EXPECT_NEAR(corners[1][0] - 100.0f, c.bx, 0.01f);
        EXPECT_NEAR(corners[1][1] - 50.0f, c.by, 0.01f);
        EXPECT_NEAR(corners[2][0], 100.0f, 0.01f);  // the pivot stays
        EXPECT_NEAR(corners[2][1], 50.0f, 0.01f);
    }
}

}  // namespace
