// Game interfaces, inventories and game maps: records and saves, panels and their animations,
// clicks and keys through the window dispatchers, items and markers, and the script commands.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/binio.h"
#include "core/frameclock.h"
#include "core/input.h"
#include "core/paths.h"
#include "datakit/hud.h"
#include "model/mesh.h"
#include "objects/actions.h"
#include "objects/objlookup.h"
#include "objects/objtype.h"
#include "platform/wincodes.h"
#include "render/renderstate.h"
#include "ui/counter.h"
#include "ui/gamemap.h"
#include "ui/gameui.h"
#include "ui/hudactions.h"
#include "ui/inventory.h"
#include "ui/screenmsg.h"
#include "ui/textbox.h"
#include "ui/user_folder.h"
#include "ui/wnd.h"
#include "world/scnobject.h"

namespace {

constexpr int32_t LogAction = ActionFadeMusic;  // runs at once

struct Fired {
    int32_t event;
    float tag;
};
std::vector<Fired> Log;
void LogHandler(EventRecord* r) { Log.push_back({r->Event, r->Value1}); }

// A record that logs event code `event` with `tag`.
EventRecord Logging(int32_t event, float tag) {
    EventRecord r = BlankEventRecord();
    r.Event = event;
    r.Action = LogAction;
    r.Value1 = tag;
    r.CondIndex = -1;
    return r;
}

std::vector<int32_t> Events(float tag) {
    std::vector<int32_t> out;
    for (const Fired& f : Log)
        if (f.tag == tag) out.push_back(f.event);
    return out;
}

EventRecord Command(int32_t action, int32_t index, int32_t sub) {
    EventRecord r = BlankEventRecord();
    r.Action = action;
    r.Param = index;
    r.Param2 = sub;
    r.CondIndex = -1;
    r.TargetKind = 0;
    return r;
}

GameUIRecord Panel(float x, float y, float w, float h, int32_t parent = -1) {
    GameUIRecord r;
    r.parentIndex = parent;
    r.x = x;
    r.y = y;
    r.width = w;
    r.height = h;
    return r;
}

// A 1024 x 768 screen, so that virtual units read back as pixels.
class Hud : public ::testing::Test {
protected:
    void SetUp() override {
        saved = RenderState;
        savedFrame = FrameTiming.frameTime;
        RenderState.screenWidthF = 1024.0f;
        RenderState.screenHeightF = 768.0f;
        Log.clear();
        ResetEventActions();
        InstallHudEvents();
        RegisterEventAction(LogAction, LogHandler);
    }
    void TearDown() override {
        DestroyAllInventories();
        DestroyAllGameMaps();
        DestroyAllCounters();
        DestroyAllGameUIs();
        DestroyAllWnds();
        for (NztScnObject* o : props) o->mesh = nullptr;
        RemoveAllScnObjects();
        ResetEventKindLists();
        ResetEventActions();
        RemoveItemFromInventoriesHook = nullptr;
        GtxTable = GtxTableState{};
        FrameTiming.frameTime = savedFrame;
        RenderState = saved;
        ClearDelayedActions();
        ResetDeferredActions();
        FreeDeferredActionTables();
    }
    // A registered scene object of a model name and set number at (x, 0, z).
    NztScnObject* Prop(const char* model, uint32_t number = 1, float x = 0.0f, float z = 0.0f) {
        meshes.push_back(std::make_unique<NztMesh>());
        NztMesh* m = meshes.back().get();
        std::snprintf(m->Name, sizeof m->Name, "%s", model);
        m->Number = number;
        NztScnObject* o = CreateScnObject(nullptr);
        o->mesh = m;
        o->id = static_cast<int32_t>(props.size()) + 100;
        const float p[3] = {x, 0.0f, z};
        o->SetPosition(p);
        props.push_back(o);
        return o;
    }
    // One drawn frame of a panel as far as its callback sees it.
    static void Drawn(NztGameUI* g) { GameUIWndCallback(WndMsgBeforeBody, g->mainWnd, 0.0f, 0.0f, 0.0f); }
    void SetTexts(std::initializer_list<const char*> texts) {
        GtxTable.entries.assign(texts.size() * GtxEntryBytes, 0);
        size_t i = 0;
        for (const char* t : texts) std::snprintf(&GtxTable.entries[i++ * GtxEntryBytes], GtxEntryBytes, "%s", t);
        GtxTable.count = static_cast<uint32_t>(texts.size());
    }

    NztRenderState saved;
    float savedFrame = 0.0f;
    std::vector<std::unique_ptr<NztMesh>> meshes;
    std::vector<NztScnObject*> props;
};

// ---- records and saves -------------------------------------------------------------------

TEST(HudRecords, GameUIRecordHasItsFieldsWhereTheFileKeepsThem) {
    GameUIRecord r = Panel(1, 2, 3, 4, 7);
    r.textColour = 0xFF112233u;
    r.textIndex = 5;
    std::snprintf(r.name, sizeof r.name, "Top");
    std::snprintf(r.imageName, sizeof r.imageName, "img");
    std::snprintf(r.passOverImageName, sizeof r.passOverImageName, "over");
    std::snprintf(r.pressedImageName, sizeof r.pressedImageName, "down");
    const std::vector<uint8_t> b = datakit::MakeGameUIRecord(r);
    ASSERT_EQ(b.size(), GameUIRecordBytes);
    EXPECT_EQ(b[0], 7);
    EXPECT_EQ(b[48], 0x33);  // blue, green, red
    EXPECT_EQ(b[50], 0x11);
    EXPECT_EQ(b[52], 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[56])), "Top");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[120])), "img");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[376])), "over");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[632])), "down");
    BinReader in(b.data(), b.size());
    GameUIRecord back;
    ASSERT_TRUE(ReadGameUIRecord(in, &back));
    EXPECT_EQ(datakit::MakeGameUIRecord(back), b);
}

TEST(HudRecords, InventoryAndMapRecordsRoundTrip) {
    InventoryRecord inv;
    inv.layout = 2;
    inv.capacity = 3;
    inv.pressGrowth = 9.0f;
    std::snprintf(inv.pressedImageName, sizeof inv.pressedImageName, "p");
    const std::vector<InventoryItemRef> items = {{7, 4}, {0, 0}, {9, 5}};
    std::vector<uint8_t> b = datakit::MakeInventoryRecord(inv, items);
    ASSERT_EQ(b.size(), InventoryRecordBytes + 4 + 3 * 8);
    EXPECT_EQ(b[832], 2);
    EXPECT_EQ(b[840], 3);
    EXPECT_EQ(b[576], 'p');
    BinReader in(b.data(), b.size());
    InventoryRecord back;
    std::vector<InventoryItemRef> list;
    ASSERT_TRUE(ReadInventoryRecord(in, &back));
    ASSERT_TRUE(ReadInventoryItemList(in, &list));
    EXPECT_EQ(datakit::MakeInventoryRecord(back, list), b);

    GameMapRecord m;
    m.worldDepth = 123.0f;
    std::snprintf(m.imageName, sizeof m.imageName, "map");
    b = datakit::MakeGameMapRecord(m);
    ASSERT_EQ(b.size(), GameMapRecordBytes);
    EXPECT_EQ(b[64], 'm');
    BinReader min(b.data(), b.size());
    GameMapRecord mback;
    ASSERT_TRUE(ReadGameMapRecord(min, &mback));
    EXPECT_EQ(mback.worldDepth, 123.0f);
}

TEST(HudRecords, MalformedRecordsAreRefusedAndTextsEndInZero) {
    std::vector<uint8_t> g = datakit::MakeGameUIRecord(Panel(0, 0, 1, 1));
    std::memset(&g[56], 'A', 64);  // name without its zero
    {
        BinReader in(g.data(), g.size());
        GameUIRecord r;
        ASSERT_TRUE(ReadGameUIRecord(in, &r));
        EXPECT_EQ(std::strlen(r.name), 63u);
    }
    struct Cut {
        const char* what;
        std::vector<uint8_t> bytes;
        int which;  // 0 game UI, 1 inventory, 2 item list, 3 map
    };
    std::vector<uint8_t> list = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0};
    std::vector<uint8_t> shortList = {2, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0};
    const Cut cuts[] = {
        {"game UI one byte short", std::vector<uint8_t>(g.begin(), g.end() - 1), 0},
        {"empty game UI", {}, 0},
        {"inventory cut", std::vector<uint8_t>(InventoryRecordBytes - 4, 0), 1},
        {"item count beyond the bytes", list, 2},
        {"item list one entry short", shortList, 2},
        {"map cut", std::vector<uint8_t>(GameMapRecordBytes - 1, 0), 3},
    };
    for (const Cut& c : cuts) {
        SCOPED_TRACE(c.what);
        BinReader in(c.bytes.data(), c.bytes.size());
        GameUIRecord gr;
        InventoryRecord ir;
        GameMapRecord mr;
        std::vector<InventoryItemRef> items;
        bool ok = c.which == 0 ? ReadGameUIRecord(in, &gr)
                : c.which == 1 ? ReadInventoryRecord(in, &ir)
                : c.which == 2 ? ReadInventoryItemList(in, &items)
                               : ReadGameMapRecord(in, &mr);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(items.empty());
    }
}

TEST(HudSaves, CaptionSavesAreReadOnlyWhenWhole) {
    struct Case {
        const char* what;
        datakit::NuiSpec spec;
        bool ok;
        const char* text;
    };
    const std::string longest(255, 'x');
    const Case cases[] = {
        {"plain", {"Hello", -1, -1}, true, "Hello"},
        {"empty", {"", -1, -1}, true, ""},
        {"255 bytes fill the caption", {longest, -1, -1}, true, longest.c_str()},
        {"256 bytes do not fit", {longest + "y", -1, -1}, false, nullptr},
        {"huge length word", {"abc", 0xFFFFFFFF, -1}, false, nullptr},
        {"length beyond the bytes", {"abc", 10, -1}, false, nullptr},
        {"no length word", {"", -1, 3}, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> b = datakit::MakeNuiSave(c.spec);
        char text[256];
        std::memset(text, '#', sizeof text);
        ASSERT_EQ(ParseGameUIText(b.data(), b.size(), text), c.ok);
        if (c.ok) {
            EXPECT_STREQ(text, c.text);
        } else {
            EXPECT_EQ(text[0], '#');
        }
    }
}

TEST(HudSaves, InventorySavesKeepWholeEntriesUpToTheLimit) {
    struct Case {
        const char* what;
        datakit::IvtSpec spec;
        uint32_t maxNames;
        bool ok;
        size_t names;
    };
    const std::vector<std::string> three = {"C", "B", "A"};
    const Case cases[] = {
        {"three", {1000, three, -1, -1}, 10, true, 3},
        {"limited", {1000, three, -1, -1}, 2, true, 2},
        {"foreign version", {999, three, -1, -1}, 10, false, 0},
        {"count beyond the entries", {1000, three, 1000000, -1}, 10, true, 3},
        {"last entry cut", {1000, three, -1, 8 + 256 * 2 + 100}, 10, true, 2},
        {"header cut", {1000, three, -1, 6}, 10, false, 0},
        {"empty", {1000, {}, -1, -1}, 10, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> b = datakit::MakeIvtSave(c.spec);
        std::vector<std::vector<char>> names;
        ASSERT_EQ(ParseInventorySave(b.data(), b.size(), &names, c.maxNames), c.ok);
        EXPECT_EQ(names.size(), c.names);
        if (c.names > 0) {
            EXPECT_STREQ(names[0].data(), "C");
        }
    }
}

// ---- game interfaces -----------------------------------------------------------------------

TEST_F(Hud, PanelsBuildFromTheirRecordAndLinkByZeroBasedParentIndex) {
    SetTexts({"Zero", "One"});
    GameUIRecord top = Panel(100, 50, 200, 100);
    top.textIndex = 1;
    top.textColour = 0xFFFF8000u;
    top.border = 1;
    NztGameUI* a = CreateGameUI(top);
    NztGameUI* child = CreateGameUI(Panel(10, 10, 20, 20, 0));   // index 0: the first panel
    NztGameUI* loose = CreateGameUI(Panel(0, 0, 20, 20, 4));     // index 4 == count: none
    NztGameUI* self = CreateGameUI(Panel(0, 0, 20, 20, 3));      // names itself
    LinkAllGameUIs();
    ASSERT_NE(a->mainWnd, nullptr);
    EXPECT_STREQ(a->mainWnd->text, "One");
    EXPECT_FLOAT_EQ(a->textColour[0], 1.0f);
    EXPECT_NEAR(a->textColour[1], 0.502f, 0.001f);
    EXPECT_EQ(a->mainWnd->border, 1u);
    EXPECT_EQ(child->mainWnd->parent, a->mainWnd);
    EXPECT_EQ(child->parentIndex, 0);
    EXPECT_FLOAT_EQ(child->mainWnd->screenLeft, 110.0f);
    EXPECT_EQ(loose->parentIndex, -1);
    EXPECT_EQ(loose->mainWnd->parent, nullptr);
    EXPECT_EQ(self->mainWnd->parent, nullptr);  // never its own parent
    EXPECT_EQ(GetGameUI(-1), nullptr);
    EXPECT_EQ(GetGameUI(4), nullptr);

    GameUIRecord back;
    a->FillSceneRecord(&back);
    EXPECT_EQ(datakit::MakeGameUIRecord(back), datakit::MakeGameUIRecord(top));
}

TEST_F(Hud, MoveAnimationEndsExactlyWhateverTheFrameTimes) {
    NztGameUI* g = CreateGameUI(Panel(10, 20, 64, 64));
    GameUIAnimParams move;
    move.kind = GameUIAnimMove;
    move.duration = 2.0f;
    move.start[0] = 100.0f;
    g->StartAnim(move);
    FrameTiming.frameTime = 0.5f;
    for (float expected : {35.0f, 60.0f, 85.0f, 110.0f}) {
        Drawn(g);
        EXPECT_FLOAT_EQ(g->x, expected);
        EXPECT_FLOAT_EQ(g->mainWnd->left, expected);
    }
    EXPECT_EQ(g->animCount, 1);  // 2.0 s is not past the duration yet
    Drawn(g);
    EXPECT_EQ(g->animCount, 0);
    EXPECT_FLOAT_EQ(g->x, 110.0f);
    EXPECT_FLOAT_EQ(g->baseX, 110.0f);

    // Uneven frames end on the same place.
    g->StartAnim(move);
    for (float dt : {0.7f, 0.05f, 0.9f, 1.3f}) {
        FrameTiming.frameTime = dt;
        Drawn(g);
    }
    EXPECT_EQ(g->animCount, 0);
    EXPECT_FLOAT_EQ(g->x, 210.0f);
    EXPECT_FLOAT_EQ(g->y, 20.0f);
}

TEST_F(Hud, RotateScaleFadeAndStop) {
    NztGameUI* g = CreateGameUI(Panel(100, 100, 100, 50));
    NztGameUI* child = CreateGameUI(Panel(10, 10, 20, 20, 0));
    CounterRecord cr;
    cr.kind = 0;
    cr.width = cr.height = 10.0f;
    cr.maximum = 10.0f;
    cr.parentIndex = 0;
    NztCounter* counter = CreateCounter(cr);
    LinkAllGameUIs();
    ASSERT_EQ(counter->mainWnd->parent, g->mainWnd);
    FrameTiming.frameTime = 1.0f;

    GameUIAnimParams rot;
    rot.kind = GameUIAnimRotate;
    rot.duration = 2.0f;
    rot.end[0] = 360.0f;
    g->StartAnim(rot);
    Drawn(g);
    EXPECT_NEAR(g->mainWnd->angle1, 2048.0f, 0.5f);
    EXPECT_NEAR(child->mainWnd->angle1, 2048.0f, 0.5f);
    EXPECT_FLOAT_EQ(g->mainWnd->pivotX, 150.0f);
    Drawn(g);
    Drawn(g);
    EXPECT_EQ(g->mainWnd->angle1, 0.0f);  // a whole turn ends unrotated

    GameUIAnimParams scale;
    scale.kind = GameUIAnimScale;
    scale.duration = 1.0f;
    scale.start[0] = scale.start[1] = 1.0f;
    scale.end[0] = scale.end[1] = 2.0f;
    g->StartAnim(scale);
    Drawn(g);
    Drawn(g);
    EXPECT_FLOAT_EQ(g->width, 200.0f);
    EXPECT_FLOAT_EQ(g->x + g->width / 2, 150.0f);  // the centre stays
    EXPECT_FLOAT_EQ(g->y + g->height / 2, 125.0f);
    EXPECT_FLOAT_EQ(child->width, 40.0f);
    EXPECT_FLOAT_EQ(counter->fullWidth, 20.0f);
    LayoutAllGameUIs();
    EXPECT_FLOAT_EQ(g->width, 100.0f);
    EXPECT_FLOAT_EQ(g->mainWnd->width, 100.0f);
    EXPECT_FLOAT_EQ(g->x, 100.0f);

    GameUIAnimParams fade;
    fade.kind = GameUIAnimFade;
    fade.duration = 0.0f;  // applied at once
    fade.start[0] = 1.0f;
    fade.end[0] = 0.25f;
    g->StartAnim(fade);
    EXPECT_EQ(g->animCount, 0);
    EXPECT_FLOAT_EQ(g->mainWnd->colour[3], 0.25f);
    EXPECT_FLOAT_EQ(child->mainWnd->colour[3], 0.25f);
    EXPECT_FLOAT_EQ(counter->mainWnd->colour[3], 0.25f);

    GameUIAnimParams move;
    move.kind = GameUIAnimMove;
    move.duration = 4.0f;
    move.start[0] = 40.0f;
    g->StartAnim(move);
    Drawn(g);
    g->StartAnim(GameUIAnimParams{});  // kind 0 stops where it is
    EXPECT_EQ(g->animCount, 0);
    Drawn(g);
    EXPECT_FLOAT_EQ(g->x, 110.0f);
}

TEST_F(Hud, AnimationParamsComeFromTheRecordAndWindowlessPanelsDropThem) {
    EventRecord r = Command(ActionSetGameUI, 0, 7);
    r.SetValueI(5, GameUIAnimMove);
    r.SetValueF(3, 1.0f);
    r.SetValueF(6, 8.0f);
    r.SetValueF(7, -4.0f);
    const GameUIAnimParams p = GetUIAnimParams(r);
    EXPECT_EQ(p.kind, GameUIAnimMove);
    EXPECT_EQ(p.duration, 1.0f);
    EXPECT_EQ(p.start[0], 8.0f);
    EXPECT_EQ(p.start[1], -4.0f);

    NztGameUI* g = CreateGameUI(Panel(0, 0, 10, 10));
    SetGameUIAction(&r);
    EXPECT_EQ(g->animCount, 1);
    r.Param2 = 4;  // the window goes
    SetGameUIAction(&r);
    EXPECT_EQ(g->mainWnd, nullptr);
    g->StepAnims();
    EXPECT_EQ(g->animCount, 0);
    ShowGameUI(g);  // nothing to show, nothing fired
    EXPECT_TRUE(Log.empty());
}

TEST_F(Hud, DestroyingAPanelWindowLeavesItsChildrenHiddenAndDetached) {
    NztGameUI* g = CreateGameUI(Panel(0, 0, 100, 100));
    NztGameUI* child = CreateGameUI(Panel(1, 1, 10, 10, 0));
    InventoryRecord ir;
    ir.parentIndex = 0;
    NztInventory* inv = CreateInventory(ir);
    LinkAllGameUIs();
    inv->AddItem(Prop("Key"));
    ASSERT_EQ(inv->slotWnds[0]->parent, g->mainWnd);
    g->DestroyWnd();
    ASSERT_NE(child->mainWnd, nullptr);
    EXPECT_TRUE(IsLiveWnd(child->mainWnd));
    EXPECT_EQ(child->mainWnd->parent, nullptr);
    EXPECT_EQ(child->mainWnd->visible, 0u);
    EXPECT_TRUE(IsLiveWnd(inv->slotWnds[0]));
    EXPECT_EQ(inv->parentWnd, nullptr);
}

TEST_F(Hud, ClicksHoverAndKeysReachThePanelThroughTheDispatchers) {
    NztGameUI* g = CreateGameUI(Panel(100, 100, 200, 50));
    for (int32_t e : {9, 10, 11, 66, 67, 26, 27}) {
        EventRecord r = Logging(e, 1.0f);
        g->AddEventRecord(&r);
    }
    DispatchMouseMoveToWnds(150, 120, 0);
    DispatchMouseMoveToWnds(160, 120, 0);
    DispatchMouseMoveToWnds(500, 500, 0);
    DispatchLButtonDownToWnds(150, 120, 0);
    DispatchLButtonUpToWnds(150, 120, 0);
    DispatchLButtonDownToWnds(500, 500, 0);  // outside: nothing
    DispatchLButtonUpToWnds(500, 500, 0);
    EXPECT_EQ(Events(1.0f), (std::vector<int32_t>{10, 11, 9}));
    Log.clear();

    // An editable caption takes as many typed characters as its maximum length says, at least
    // one and at most what the caption holds; then Enter and Escape.
    EventRecord edit = Command(ActionSetGameUI, 0, 8);
    EventRecord focus = Command(ActionSetGameUI, 0, 19);
    struct Limit {
        float maximum;
        size_t kept;
    };
    for (const Limit& l : {Limit{0.0f, 1}, Limit{1.0f, 1}, Limit{1000.0f, 255}, Limit{4.0f, 4}}) {
        SCOPED_TRACE(l.maximum);
        g->mainWnd->SetText("");
        edit.Value1 = l.maximum;
        SetGameUIAction(&edit);
        EXPECT_EQ(g->mainWnd->readOnlyCaption, 0u);
        EXPECT_EQ(g->mainWnd->takesKeys, 1u);
        SetGameUIAction(&focus);
        ASSERT_EQ(FocusWnd, g->mainWnd);
        for (int i = 0; i < 300; ++i) SendCharToFocusWnd(FocusWnd, static_cast<uint32_t>('a' + i % 5));
        EXPECT_EQ(std::strlen(g->mainWnd->text), l.kept);
    }
    EXPECT_STREQ(g->mainWnd->text, "abcd");
    SendCharToFocusWnd(FocusWnd, 13);
    SetGameUIAction(&focus);
    SendCharToFocusWnd(FocusWnd, 27);
    EXPECT_EQ(Events(1.0f), (std::vector<int32_t>{66, 67}));

    EventRecord readOnly = Command(ActionSetGameUI, 0, 9);
    SetGameUIAction(&readOnly);
    SetGameUIAction(&focus);
    SendCharToFocusWnd(FocusWnd, 'z');
    EXPECT_STREQ(g->mainWnd->text, "abcd");
    Log.clear();
    HideGameUI(g);
    EXPECT_EQ(g->mainWnd->visible, 0u);
    ShowGameUI(g);
    EXPECT_EQ(Events(1.0f), (std::vector<int32_t>{27, 26}));
}

TEST_F(Hud, CaptionsMoveBetweenPanelsAndFollowTheTextTable) {
    SetTexts({"Alpha", "Beta"});
    GameUIRecord r = Panel(0, 0, 10, 10);
    r.textIndex = 0;
    NztGameUI* a = CreateGameUI(r);
    NztGameUI* b = CreateGameUI(Panel(0, 0, 10, 10));
    EventRecord give = Command(ActionSetGameUI, 0, 11);
    give.TargetKind = ObjectKindGameUI;
    give.TargetId = 1;
    SetGameUIAction(&give);
    EXPECT_STREQ(b->mainWnd->text, "Alpha");
    EXPECT_EQ(b->textIndex, -1);
    EventRecord set = Command(ActionSetGameUI, 0, 10);
    set.SetValueI(5, 1);
    SetGameUIAction(&set);
    EXPECT_STREQ(a->mainWnd->text, "Beta");
    set.SetValueI(5, 2);  // outside the table
    SetGameUIAction(&set);
    EXPECT_STREQ(a->mainWnd->text, "");
    a->textIndex = 1;
    RefreshGameUITexts();
    EXPECT_STREQ(a->mainWnd->text, "Beta");
    EXPECT_STREQ(b->mainWnd->text, "");  // index -1 empties on a reload
}

TEST_F(Hud, ScriptIndexesOutsideTheListsDoNothing) {
    CreateGameUI(Panel(5, 5, 10, 10));
    for (int32_t index : {-1, 1}) {
        EventRecord r = Command(ActionSetGameUI, index, 5);
        r.Value1 = 99.0f;
        SetGameUIAction(&r);
        EXPECT_FLOAT_EQ(GameUIList[0]->x, 5.0f);
        EventRecord inv = Command(ActionInventoryCommand, index, 2);
        InventoryCommandAction(&inv);
        EventRecord map = Command(ActionGameMapCommand, index, 7);
        GameMapCommandAction(&map);
        EventRecord counter = Command(ActionSetObjectValue, index, 0);
        SetObjectValueAction(&counter);
    }
    EventRecord r = Command(ActionSetGameUI, 0, 5);
    r.Value1 = 99.0f;
    r.Value2 = 7.0f;
    SetGameUIAction(&r);
    EXPECT_FLOAT_EQ(GameUIList[0]->x, 99.0f);
    EXPECT_FLOAT_EQ(GameUIList[0]->baseY, 7.0f);
    EXPECT_FLOAT_EQ(GameUIList[0]->mainWnd->top, 7.0f);
    EXPECT_EQ(GetEventActionHandler(ActionSetGameUI), SetGameUIAction);
    EXPECT_EQ(GetEventObjectName(GameUIList[0]), std::string(GameUIList[0]->name));
}

TEST_F(Hud, ScreenMessagesShowTheirPanelByItsZeroBasedIndex) {
    NztGameUI* first = CreateGameUI(Panel(0, 0, 10, 10));
    NztGameUI* second = CreateGameUI(Panel(0, 0, 10, 10));
    EventRecord shown = Logging(26, 7.0f);
    first->AddEventRecord(&shown);
    shown.Value1 = 8.0f;
    second->AddEventRecord(&shown);
    HideGameUI(first);
    HideGameUI(second);
    const float colour[4] = {1, 1, 1, 1};
    ShowScreenMessage("hi", colour, 0, 1.0f, 0, 0, 0, 1, 0);
    EXPECT_EQ(first->mainWnd->visible, 1u);
    EXPECT_EQ(second->mainWnd->visible, 0u);
    ShowScreenMessage("there", colour, 2, 1.0f, 0, 0, 0, 1, 0);  // one past the last: no panel
    EXPECT_EQ(Events(7.0f).size(), 1u);
    EXPECT_TRUE(Events(8.0f).empty());
    ResetScreenMessages();
}

TEST_F(Hud, AResizeLaysEveryHudObjectOutAgain) {
    // A 4:3 screen twice the grid, and wide ones, where a length scaled by the wrong side shows.
    for (auto [width, height] : {std::pair{2048.0f, 1536.0f}, std::pair{1920.0f, 1080.0f}, std::pair{2560.0f, 1080.0f}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        RenderState.screenWidthF = 1024.0f;
        RenderState.screenHeightF = 768.0f;
        NztGameUI* g = CreateGameUI(Panel(100, 50, 200, 40));
        NztGameUI* child = CreateGameUI(Panel(10, 5, 20, 20, 0));
        LinkAllGameUIs();
        InventoryRecord ir;
        ir.x = 10.0f;
        ir.y = 700.0f;
        ir.layout = 2;  // top to bottom: the spacing goes by the height
        NztInventory* inv = CreateInventory(ir);
        inv->AddItem(Prop("A"));
        inv->AddItem(Prop("B"));
        GameMapRecord mr;
        mr.x = 800.0f;
        mr.y = 0.0f;
        mr.width = mr.height = 200.0f;
        NztGameMap* m = CreateGameMap(mr);
        m->AddMarker(nullptr, 0, 0, 0, 10, 10, 0.5f, 0.5f, 1, "", "centre");
        RenderState.screenWidthF = width;
        RenderState.screenHeightF = height;
        const float x = width / 1024.0f, y = height / 768.0f;
        LayoutGameScreens();
        EXPECT_FLOAT_EQ(g->mainWnd->screenLeft, 100.0f * x);
        EXPECT_FLOAT_EQ(g->mainWnd->screenTop, 50.0f * y);
        EXPECT_FLOAT_EQ(g->mainWnd->width, 200.0f * x);
        EXPECT_FLOAT_EQ(g->mainWnd->height, 40.0f * y);
        EXPECT_FLOAT_EQ(child->mainWnd->screenLeft, 110.0f * x);
        EXPECT_FLOAT_EQ(child->mainWnd->screenTop, 55.0f * y);
        EXPECT_FLOAT_EQ(inv->slotWnds[0]->screenLeft, 10.0f * x);
        EXPECT_FLOAT_EQ(inv->slotWnds[0]->inflate, -5.0f * x);  // not the selected one
        EXPECT_FLOAT_EQ(inv->slotWnds[1]->inflate, 0.0f);
        EXPECT_FLOAT_EQ(inv->slotWnds[0]->screenTop, 700.0f * y);
        EXPECT_FLOAT_EQ(inv->slotWnds[1]->screenTop, (700.0f + 64.0f + 4.0f) * y);
        EXPECT_FLOAT_EQ(inv->slotWnds[0]->width, 64.0f * x);
        EXPECT_FLOAT_EQ(inv->slotWnds[0]->height, 64.0f * y);
        EXPECT_FLOAT_EQ(m->mapWnd->screenLeft, 800.0f * x);
        EXPECT_FLOAT_EQ(m->mapWnd->height, 200.0f * y);
        EXPECT_FLOAT_EQ(m->markers[0].window->width, 10.0f * x);
        EXPECT_FLOAT_EQ(m->markers[0].window->height, 10.0f * y);
        EXPECT_FLOAT_EQ(m->markers[0].window->screenLeft, (800.0f + 95.0f) * x);
        DestroyAllInventories();
        DestroyAllGameMaps();
        DestroyAllGameUIs();
        DestroyAllWnds();
    }
}

class HudFiles : public WithUserFolder<Hud> {};

TEST_F(HudFiles, CaptionSaveAndLoad) {
    SetTexts({"Stored"});
    GameUIRecord r = Panel(0, 0, 10, 10);
    r.textIndex = 0;
    NztGameUI* g = CreateGameUI(r);
    g->SaveText("name");
    EXPECT_EQ(std::filesystem::file_size(folder + "USER/name.nui"), 4u + 6u);
    g->SetGtxText(-1);
    g->LoadText("name");
    EXPECT_STREQ(g->mainWnd->text, "Stored");
    EXPECT_EQ(g->textIndex, -1);

    struct Case {
        const char* what;
        datakit::NuiSpec spec;
    };
    const Case refused[] = {
        {"empty save keeps the caption", {"", -1, -1}},
        {"too long", {std::string(300, 'L'), -1, -1}},
        {"short file", {"abc", 50, -1}},
    };
    g->textIndex = 0;
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(datakit::WriteNuiSave(folder + "USER/bad.nui", c.spec));
        g->LoadText("bad");
        EXPECT_STREQ(g->mainWnd->text, "Stored");
        EXPECT_EQ(g->textIndex, 0);
    }
    for (const char* name : {"../x", "a/b", "", ".."}) {
        g->SaveText(name);
        g->LoadText(name);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "USER"), {}), 2);
    // Stored bytes that begin with a zero are a caption too: an empty one.
    ASSERT_TRUE(datakit::WriteNuiSave(folder + "USER/zero.nui", {std::string("\0ab", 3), -1, -1}));
    g->LoadText("zero");
    EXPECT_STREQ(g->mainWnd->text, "");
    EXPECT_EQ(g->textIndex, -1);
    g->DestroyWnd();
    g->SaveText("gone");  // no caption, nothing written
    EXPECT_FALSE(std::filesystem::exists(folder + "USER/gone.nui"));
}

// ---- inventories ---------------------------------------------------------------------------

TEST_F(Hud, SlotsAreLaidOutInTheirDirection) {
    InventoryRecord r;
    r.x = 900.0f;
    r.y = 300.0f;
    r.slotWidth = 64.0f;
    r.slotHeight = 32.0f;
    r.spacing = 4.0f;
    struct Case {
        uint32_t layout;
        float x, y;
    };
    for (const Case& c : {Case{0, 1036, 300}, Case{1, 764, 300}, Case{2, 900, 372}, Case{3, 900, 228}}) {
        r.layout = c.layout;
        NztInventory* inv = CreateInventory(r);
        float px, py;
        inv->SlotPosition(2, &px, &py);
        EXPECT_FLOAT_EQ(px, c.x) << c.layout;
        EXPECT_FLOAT_EQ(py, c.y) << c.layout;
    }
    NztInventory* inv = InventoryList[1];
    for (const char* m : {"A", "B", "C"}) inv->AddItem(Prop(m));
    inv->Layout();
    EXPECT_FLOAT_EQ(inv->slotWnds[2]->screenLeft, 764.0f);
    EXPECT_FLOAT_EQ(inv->slotWnds[0]->inflate, -5.0f);
    EXPECT_FLOAT_EQ(inv->slotWnds[2]->inflate, 0.0f);  // the newest is selected
    EXPECT_EQ(CurrentInventory, InventoryList[3]);
}

TEST_F(Hud, AddingRemovingAndSelectingFireTheirEvents) {
    InventoryRecord r;
    r.capacity = 2;
    NztInventory* inv = CreateInventory(r);
    for (int32_t e = 0; e <= 8; ++e) {
        EventRecord rec = Logging(e, 2.0f);
        inv->AddEventRecord(&rec);
    }
    NztScnObject* a = Prop("A");
    NztScnObject* b = Prop("B");
    inv->AddItem(a);
    inv->AddItem(a);  // already held
    inv->AddItem(b);
    EXPECT_EQ(Events(2.0f), (std::vector<int32_t>{0, 0, 7}));
    EXPECT_EQ(inv->itemCount, 2);
    EXPECT_EQ(inv->selected, 1);
    EXPECT_EQ(FocusWnd, inv->slotWnds[1]);
    inv->SelectSlot(-3);
    EXPECT_EQ(inv->selected, 0);
    inv->SelectSlot(99);
    EXPECT_EQ(inv->selected, 1);
    EXPECT_EQ(inv->slotWnds[1]->spinAllowed, 1u);
    EXPECT_EQ(inv->slotWnds[0]->spinAllowed, 0u);
    Log.clear();
    EXPECT_EQ(inv->SelectPrevious(), 0);
    EXPECT_EQ(inv->SelectNext(), 1);
    EXPECT_EQ(inv->RemoveItem(2), 0);
    EXPECT_EQ(inv->RemoveItem(1), 1);
    EXPECT_EQ(inv->RemoveItem(0), 1);
    EXPECT_EQ(Events(2.0f), (std::vector<int32_t>{4, 3, 1, 1, 8}));
    EXPECT_EQ(inv->selected, 0);
    EXPECT_TRUE(inv->slotWnds.empty());
}

uint8_t gKeyboard[256] = {};
void ReadFakeKeyboard(uint8_t table[256]) { std::memcpy(table, gKeyboard, sizeof gKeyboard); }

// The keypad keys through the keyboard read of each frame: each acts once on its press, however
// many frames it is held.
TEST_F(Hud, KeypadActsOnTheCurrentInventoryOnceAPress) {
    NztInventory* inv = CreateInventory(InventoryRecord{});
    std::vector<NztScnObject*> items;
    for (const char* m : {"A", "B", "C"}) {
        items.push_back(Prop(m));
        EventRecord used = Logging(35, 3.0f + static_cast<float>(items.size()));  // 4, 5, 6
        items.back()->AddEventRecord(&used);
        inv->AddItem(items.back());
    }
    for (int32_t e : {2, 3, 4}) {
        EventRecord r = Logging(e, 1.0f);
        inv->AddEventRecord(&r);
    }
    ASSERT_EQ(inv->selected, 2);
    std::memset(gKeyboard, 0, sizeof gKeyboard);
    std::memset(ActionEnabled, 1, sizeof ActionEnabled);
    InputServices.getKeyboardState = ReadFakeKeyboard;
    ClearKeyStates();
    auto hold = [](uint32_t key, int frames) {
        for (int i = 0; i <= frames; ++i) {
            gKeyboard[key] = i < frames ? 0x80 : 0;  // let go in the last frame
            PollKeyboard();
            HandleInventoryKeys();
        }
    };
    struct Step {
        uint32_t key;
        int frames;
        int32_t selected;
        std::vector<int32_t> inventoryEvents;
        float itemUsed;  // tag of the item whose use fired, 0 for none
    };
    const Step steps[] = {
        {VK_NUMPAD4, 6, 1, {4}, 0.0f},  // previous
        {VK_NUMPAD4, 1, 0, {4}, 0.0f},  // a one-frame tap counts
        {VK_NUMPAD6, 6, 1, {3}, 0.0f},  // next
        {VK_NUMPAD5, 6, 1, {2}, 5.0f},  // use: item B
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::to_string(s.key) + " for " + std::to_string(s.frames) + " frames");
        Log.clear();
        hold(s.key, s.frames);
        EXPECT_EQ(inv->selected, s.selected);
        EXPECT_EQ(Events(1.0f), s.inventoryEvents);
        for (float tag : {4.0f, 5.0f, 6.0f}) EXPECT_EQ(Events(tag).size(), tag == s.itemUsed ? 1u : 0u) << tag;
    }
    ResetInputHooks();
    ClearKeyStates();
}

TEST_F(Hud, ClickingASlotSelectsAndUsesItsItem) {
    InventoryRecord r;
    r.x = 100.0f;
    r.y = 100.0f;
    NztInventory* inv = CreateInventory(r);
    NztScnObject* a = Prop("A");
    inv->AddItem(a);
    inv->AddItem(Prop("B"));
    EventRecord used = Logging(35, 5.0f);
    a->AddEventRecord(&used);
    ASSERT_EQ(inv->selected, 1);
    // Slot 0 lies at 100..164; the unselected slot is drawn smaller but clicks the same.
    DispatchLButtonDownToWnds(130, 130, 0);
    DispatchLButtonUpToWnds(130, 130, 0);
    EXPECT_EQ(Events(5.0f).size(), 1u);
    EXPECT_EQ(inv->selected, 0);
}

TEST_F(Hud, OnlyItemsWithPointerRecordsCanBeDragged) {
    InventoryRecord r;
    r.x = 100.0f;
    r.y = 100.0f;
    r.pressGrowth = 10.0f;
    NztInventory* inv = CreateInventory(r);
    NztScnObject* plain = Prop("Plain");
    NztScnObject* drag = Prop("Drag");
    NztScnObject* target = Prop("Target");
    EventRecord pointer = Logging(36, 6.0f);
    pointer.CondKind = ObjectKindScn;
    pointer.CondIndex = target->id;
    drag->AddEventRecord(&pointer);
    inv->AddItem(plain);
    inv->AddItem(drag);
    EXPECT_EQ(inv->slotWnds[0]->eventCallback, nullptr);
    EXPECT_EQ(inv->slotWnds[0]->movable, 0u);
    EXPECT_EQ(inv->slotWnds[1]->eventCallback, InventorySlotCallback);
    EXPECT_EQ(inv->slotWnds[1]->movable, 1u);

    int hits = 0;
    EventPointerHitTest = [](NztEventObject*) -> int32_t { return 1; };
    CNztWnd* w = inv->slotWnds[1];
    DispatchLButtonDownToWnds(200, 130, 0);
    EXPECT_EQ(inv->frameWnd->visible, 1u);
    EXPECT_FLOAT_EQ(w->width, 74.0f);  // grown by the press
    DispatchMouseMoveToWnds(260, 150, 0);
    EXPECT_GT(w->screenLeft, 200.0f);  // dragged
    hits = static_cast<int>(ResolveEventObject(drag->pointedObject) == target);
    EXPECT_EQ(hits, 1);
    DispatchLButtonUpToWnds(260, 150, 0);
    EXPECT_EQ(inv->frameWnd->visible, 0u);
    EventPointerHitTest = nullptr;
}

// A pressed slot grows by its press growth scaled by the screen's width, across and down alike,
// and moves back by half of it in pixels.
TEST_F(Hud, APressedSlotGrowsByTheWidthScaleOnAnyScreen) {
    for (auto [width, height] : {std::pair{1024.0f, 768.0f}, std::pair{1920.0f, 1080.0f}}) {
        SCOPED_TRACE(width);
        RenderState.screenWidthF = width;
        RenderState.screenHeightF = height;
        const float x = width / 1024.0f, y = height / 768.0f;
        InventoryRecord r;
        r.x = 100.0f;
        r.y = 100.0f;
        r.pressGrowth = 10.0f;
        NztInventory* inv = CreateInventory(r);
        NztScnObject* drag = Prop("Drag");
        EventRecord pointer = Logging(36, 6.0f);
        drag->AddEventRecord(&pointer);
        inv->AddItem(drag);
        CNztWnd* w = inv->slotWnds[0];
        ASSERT_EQ(w->eventCallback, InventorySlotCallback);
        const auto cx = static_cast<int32_t>(w->screenLeft + w->width / 2);
        const auto cy = static_cast<int32_t>(w->screenTop + w->height / 2);
        DispatchLButtonDownToWnds(cx, cy, 0);
        EXPECT_FLOAT_EQ(w->width, 74.0f * x);
        EXPECT_FLOAT_EQ(w->height, 64.0f * y + 10.0f * x);
        EXPECT_FLOAT_EQ(w->left, 100.0f * x - 5.0f);
        EXPECT_FLOAT_EQ(w->top, 100.0f * y - 5.0f);
        DispatchLButtonUpToWnds(cx, cy, 0);
        DestroyAllInventories();
        DestroyAllWnds();
    }
}

TEST_F(Hud, RemovedItemsStayReachableAndDestroyedItemsLeaveTheirSlot) {
    NztInventory* inv = CreateInventory(InventoryRecord{});
    NztScnObject* a = Prop("Lamp", 2);
    NztScnObject* b = Prop("Rope");
    ASSERT_EQ(a->registered, 1);
    EventRecord take = Command(ActionInventoryCommand, 0, 0);
    take.TargetKind = ObjectKindScn;
    take.TargetId = a->id;
    InventoryCommandAction(&take);
    ASSERT_EQ(inv->itemCount, 1);
    EXPECT_EQ(a->registered, 0);  // out of the world
    NztScnObject* twin = Prop("lamp", 2);  // same model: found by FindItem
    EventRecord give = Command(ActionInventoryCommand, 0, 1);
    give.TargetKind = ObjectKindScn;
    give.TargetId = twin->id;
    InventoryCommandAction(&give);
    EXPECT_EQ(inv->itemCount, 0);
    EXPECT_EQ(IndexOfScnObject(a), 0);  // kept in its list, not freed
    EXPECT_EQ(FindSceneObject(ObjectKindScn, a->id), a);
    InventoryCommandAction(&take);
    ASSERT_EQ(inv->itemCount, 1);
    ActivateObject(a);  // back in the world: out of the slot
    EXPECT_EQ(a->registered, 1);
    EXPECT_EQ(inv->itemCount, 0);

    inv->AddItem(b);
    const uint32_t handle = b->Handle();
    b->mesh = nullptr;
    props.erase(std::find(props.begin(), props.end(), b));
    RemoveScnObject(b);
    ASSERT_EQ(ResolveEventObject(handle), nullptr);
    DropLostInventoryItems();
    EXPECT_EQ(inv->itemCount, 0);
    EXPECT_TRUE(inv->slotWnds.empty());
}

TEST_F(Hud, IconsReplaceTheModelWhenAsked) {
    InventoryRecord r;
    r.useIcons = 1;
    NztInventory* inv = CreateInventory(r);
    inv->AddItem(Prop("OBJECTS/Crate"));  // no icon file: the model is shown
    EXPECT_EQ(inv->icons[0], 0u);
    EXPECT_EQ(inv->slotWnds[0]->showModel, 1u);
    EXPECT_EQ(inv->slotWnds[0]->spinning, 1u);
    EXPECT_EQ(inv->slotWnds[0]->shownObject, props[0]);
}

TEST_F(HudFiles, InventorySaveWritesTheLastSlotFirstAndLoadStopsAtCapacity) {
    InventoryRecord r;
    r.capacity = 3;
    NztInventory* inv = CreateInventory(r);
    inv->Save("empty");
    EXPECT_FALSE(std::filesystem::exists(folder + "USER/empty.ivt"));
    for (const char* m : {"A", "B", "C"}) {
        NztScnObject* o = Prop(m);
        DeactivateObjectForInventory(o);
        inv->AddItem(o);
    }
    inv->Save("bag");
    EXPECT_EQ(std::filesystem::file_size(folder + "USER/bag.ivt"), 8u + 3 * 256u);
    EXPECT_EQ(datakit::MakeIvtSave({1000, {"C", "B", "A"}, -1, -1}).size(), 8u + 3 * 256u);

    NztInventory* other = CreateInventory(r);
    for (const char* m : {"A", "B", "C", "D"}) Prop(m);  // registered twins in the world
    other->Load("bag");
    ASSERT_EQ(other->itemCount, 3);
    EXPECT_STREQ(static_cast<NztScnObject*>(other->Item(0))->mesh->Name, "C");
    EXPECT_STREQ(static_cast<NztScnObject*>(other->Item(2))->mesh->Name, "A");

    ASSERT_TRUE(datakit::WriteIvtSave(folder + "USER/many.ivt", {1000, {"D", "D2", "D3", "D4"}, -1, -1}));
    for (const char* m : {"D2", "D3", "D4"}) Prop(m);
    NztInventory* small = CreateInventory(r);
    small->Load("many");
    EXPECT_EQ(small->itemCount, 3);

    struct Case {
        const char* what;
        datakit::IvtSpec spec;
    };
    for (const Case& c : {Case{"foreign", {999, {"D"}, -1, -1}}, Case{"cut", {1000, {"D"}, -1, 5}},
                          Case{"unknown model", {1000, {"Nothing"}, -1, -1}}}) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(datakit::WriteIvtSave(folder + "USER/bad.ivt", c.spec));
        NztInventory* fresh = CreateInventory(r);
        fresh->Load("bad");
        EXPECT_EQ(fresh->itemCount, 0);
    }
    DeleteInventoryFile("bag");
    EXPECT_FALSE(std::filesystem::exists(folder + "USER/bag.ivt"));
}

TEST_F(HudFiles, InventoryLoadTakesEveryKnownNameWhateverUnknownNamesComeFirst) {
    struct Case {
        int32_t capacity;
        std::vector<std::string> stored;
        std::vector<std::string> held;  // slot order
    };
    const Case cases[] = {
        {3, {"Nothing", "A", "B", "C"}, {"A", "B", "C"}},
        {2, {"X", "Y", "A", "B"}, {"A", "B"}},
        {2, {"A", "Nothing", "B", "C"}, {"A", "B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored[0] + " first, capacity " + std::to_string(c.capacity));
        for (const char* m : {"A", "B", "C"}) Prop(m);  // registered, each load takes its own
        ASSERT_TRUE(datakit::WriteIvtSave(folder + "USER/mixed.ivt", {1000, c.stored, -1, -1}));
        InventoryRecord r;
        r.capacity = c.capacity;
        NztInventory* inv = CreateInventory(r);
        inv->Load("mixed");
        std::vector<std::string> held;
        for (int32_t i = 0; i < inv->itemCount; ++i) held.emplace_back(static_cast<NztScnObject*>(inv->Item(i))->mesh->Name);
        EXPECT_EQ(held, c.held);
    }
}

TEST_F(Hud, SceneItemListFillsTheInventory) {
    NztInventory* inv = CreateInventory(InventoryRecord{});
    NztScnObject* a = Prop("A");
    inv->AddItem(a);
    const std::vector<InventoryItemRef> refs = inv->ItemRefs();
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_EQ(refs[0].id, uint32_t(a->id));
    EXPECT_EQ(refs[0].kind, uint32_t(ObjectKindScn));
    NztInventory* loaded = CreateInventory(InventoryRecord{});
    AddInventoryItems(loaded, {{uint32_t(Prop("B")->id), 4}, {0, 0}, {555, 4}, {uint32_t(a->id), 7}});
    EXPECT_EQ(loaded->itemCount, 1);
}

// ---- game maps -----------------------------------------------------------------------------

GameMapRecord Map200() {
    GameMapRecord r;
    r.width = r.height = 200.0f;
    r.x = r.y = 0.0f;
    return r;
}

TEST_F(Hud, MarkersSitOnTheirWorldPlace) {
    NztGameMap* m = CreateGameMap(Map200());
    EXPECT_EQ(CurrentGameMap, m);
    m->AddMarker(nullptr, 0, 2500.0f, -5000.0f, 10.0f, 10.0f, 0.5f, 0.5f, 1.0f, "pin", "Home");
    ASSERT_EQ(m->markerCount, 1);
    EXPECT_FLOAT_EQ(m->markers[0].window->left, 145.0f);
    EXPECT_FLOAT_EQ(m->markers[0].window->top, -5.0f);
    EXPECT_EQ(m->markers[0].window->parent, m->mapWnd);
    m->SetPos(50.0f, 60.0f);
    EXPECT_FLOAT_EQ(m->markers[0].window->screenLeft, 195.0f);

    const std::string forty(40, 'n');
    m->AddMarker(nullptr, 0, 0, 0, 4, 4, 0, 0, 1, "pin", forty.c_str());
    EXPECT_EQ(std::strlen(m->markers[1].name), 31u);
    m->RemoveMarker(forty.c_str());
    EXPECT_EQ(m->markerCount, 2);
    m->RemoveMarker(forty.substr(0, 31).c_str());
    EXPECT_EQ(m->markerCount, 1);

    m->AddMarker(nullptr, 0, 0, 0, 4, 4, 0, 0, 1, "pin", "home");  // same name, added last
    CNztWnd* newest = m->markers[1].window;
    m->RemoveMarker("HOME");
    ASSERT_EQ(m->markerCount, 1);
    EXPECT_NE(m->markers[0].window, newest);
    m->ClearMarkers();
    EXPECT_EQ(m->markerCount, 0);
    EXPECT_EQ(m->mapWnd->childCount, 0u);
}

TEST_F(Hud, FollowedMarkersMoveTurnAndForgetDestroyedObjects) {
    NztGameMap* m = CreateGameMap(Map200());
    NztScnObject* hero = Prop("Hero", 1, 0.0f, 0.0f);
    m->AddMarker(hero, 1, 0, 0, 10, 10, 0.5f, 0.5f, 1, "pin", "hero");
    GameMapWndCallback(WndMsgDrawStart, m->mapWnd, 0, 0, 0);
    CNztWnd* w = m->markers[0].window;
    EXPECT_FLOAT_EQ(w->left, 95.0f);
    EXPECT_NEAR(w->angle2, 2048.0f, 0.01f);  // facing its first direction: half a turn
    const float p[3] = {5000.0f, 0.0f, 2500.0f};
    hero->SetPosition(p);
    const float quarter[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};  // a quarter turn about the vertical
    hero->SetRotation(quarter);
    GameMapWndCallback(WndMsgDrawStart, m->mapWnd, 0, 0, 0);
    EXPECT_FLOAT_EQ(w->left, 195.0f);
    EXPECT_FLOAT_EQ(w->top, 145.0f);
    EXPECT_NEAR(std::fabs(w->angle2 - 2048.0f), 1024.0f, 1.0f);

    hero->mesh = nullptr;
    props.erase(std::find(props.begin(), props.end(), hero));
    RemoveScnObject(hero);
    GameMapWndCallback(WndMsgDrawStart, m->mapWnd, 0, 0, 0);
    EXPECT_EQ(m->markers[0].object, 0u);  // forgotten
    EXPECT_FLOAT_EQ(w->left, 195.0f);     // where it last was
}

TEST_F(Hud, MapCommandsNameMarkersByTheirShortName) {
    NztGameMap* m = CreateGameMap(Map200());
    NztScnObject* crate = Prop("Crate", 1, -2500.0f, 0.0f);
    EventRecord add = Command(ActionGameMapCommand, 0, 5);
    std::snprintf(add.Text2, sizeof add.Text2, "pin");
    std::snprintf(add.ShortName, sizeof add.ShortName, "crate");
    add.TargetKind = ObjectKindScn;
    add.TargetId = crate->id;
    add.SetValueF(3, 10.0f);
    add.SetValueF(4, 10.0f);
    add.SetValueF(6, 0.0f);
    add.SetValueF(7, 0.0f);
    add.SetValueF(9, 0.5f);
    struct Case {
        int32_t mode;
        uint32_t follows;
    };
    for (const Case& c : {Case{1, 0}, Case{2, 1}}) {
        add.SetValueI(5, c.mode);
        GameMapCommandAction(&add);
        EXPECT_EQ(m->markers[m->markerCount - 1].object != 0, c.follows != 0);
        EXPECT_FLOAT_EQ(m->markers[m->markerCount - 1].window->left, 50.0f);
    }
    add.SetValueI(5, 0);
    add.SetValueF(0, 5000.0f);
    add.SetValueF(2, 0.0f);
    GameMapCommandAction(&add);
    EXPECT_FLOAT_EQ(m->markers[2].window->left, 200.0f);
    EXPECT_FLOAT_EQ(m->markers[2].window->colour[3], 0.5f);
    add.TargetId = 9999;  // no object: nothing for modes 1 and 2
    add.SetValueI(5, 2);
    GameMapCommandAction(&add);
    EXPECT_EQ(m->markerCount, 3);

    EventRecord image = Command(ActionGameMapCommand, 0, 9);
    std::snprintf(image.ShortName, sizeof image.ShortName, "crate");
    std::snprintf(image.Text2, sizeof image.Text2, "other");
    GameMapCommandAction(&image);  // a missing image: no texture, nothing breaks
    EventRecord remove = Command(ActionGameMapCommand, 0, 6);
    std::snprintf(remove.ShortName, sizeof remove.ShortName, "CRATE");
    std::snprintf(remove.Text2, sizeof remove.Text2, "pin");
    GameMapCommandAction(&remove);
    EXPECT_EQ(m->markerCount, 2);
    EXPECT_NE(m->markers[1].object, 0u);  // the newest of the three named so, fixed at 5000, went
    EXPECT_FLOAT_EQ(m->markers[1].window->left, 50.0f);
    EventRecord hide = Command(ActionGameMapCommand, 0, 1);
    GameMapCommandAction(&hide);
    EXPECT_EQ(m->mapWnd->visible, 0u);
    EXPECT_EQ(m->markers[0].window->visible, 0u);
    EventRecord opacity = Command(ActionGameMapCommand, 0, 4);
    opacity.Value1 = 0.3f;
    GameMapCommandAction(&opacity);
    EXPECT_FLOAT_EQ(m->mapWnd->colour[3], 0.3f);
    EXPECT_STREQ(GetEventObjectName(m), "");
}

TEST_F(Hud, CounterCommandsChangeValuesAndBounds) {
    CounterRecord cr;
    cr.kind = 0;
    cr.width = cr.height = 10.0f;
    cr.maximum = 100.0f;
    NztCounter* c = CreateCounter(cr);
    NztCounter* other = CreateCounter(cr);
    other->SetValue(0.0f);
    struct Case {
        int32_t sub;
        float v;
        bool useOther;
        float expected;
    };
    const Case cases[] = {
        {0, 10.0f, false, 10.0f}, {1, 5.0f, false, 15.0f},  {2, 2.0f, false, 30.0f},
        {7, 0.0f, true, 30.0f},   {4, 0.0f, true, 30.0f},   {0, 500.0f, false, 100.0f},
    };
    for (const Case& k : cases) {
        EventRecord r = Command(ActionSetObjectValue, 0, k.sub);
        r.Value1 = k.v;
        if (k.useOther) {
            r.TargetKind = ObjectKindCounter;
            r.TargetId = 1;
        }
        SetObjectValueAction(&r);
        EXPECT_FLOAT_EQ(c->value, k.expected) << k.sub;
    }
    EventRecord step = Command(ActionSetObjectValue, 0, 8);
    step.Value1 = 0.0f;
    c->source = 1;
    SetObjectValueAction(&step);
    EXPECT_EQ(c->source, 0u);
    EventRecord max = Command(ActionSetObjectValue, 0, 51);
    max.Value1 = 50.0f;
    SetObjectValueAction(&max);
    EXPECT_FLOAT_EQ(c->maximum, 50.0f);
    EventRecord smooth = Command(ActionSetObjectValue, 0, 60);
    smooth.Value1 = 1.0f;
    SetObjectValueAction(&smooth);
    EXPECT_EQ(c->smoothing, 0.0f);
}

}  // namespace
