#include "ui/counter.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "core/binio.h"
#include "core/paths.h"
#include "datakit/counter.h"
#include "datakit/datakit.h"
#include "effects/sky.h"
#include "game/frame.h"
#include "render/renderstate.h"
#include "ui/gameui.h"
#include "ui/user_folder.h"
#include "ui/wnd.h"

namespace {

constexpr uint32_t BeforeDraw = 3;
constexpr uint32_t LButtonDown = 100;
constexpr uint32_t MouseMove = 109;

CounterRecord Record(uint32_t kind, float minimum = 0.0f, float maximum = 100.0f) {
    CounterRecord r;
    r.kind = kind;
    r.x = 10.0f;
    r.y = 20.0f;
    r.width = 200.0f;
    r.height = 40.0f;
    r.minimum = minimum;
    r.maximum = maximum;
    return r;
}

// Screen of 1024 x 768: virtual units are pixels, so window geometry reads back unscaled.
class Counters : public ::testing::Test {
protected:
    void SetUp() override {
        saved = RenderState;
        RenderState.screenWidthF = 1024.0f;
        RenderState.screenHeightF = 768.0f;
    }
    void TearDown() override {
        DestroyAllCounters();
        DestroyAllWnds();
        RenderState = saved;
    }
    NztRenderState saved;
};

TEST_F(Counters, RecordRoundTripsThroughBytesAndTheCounter) {
    CounterRecord r = Record(2, 5.0f, 80.0f);
    r.value = 20.0f;
    r.parentIndex = -1;
    r.textShadow = 1;
    r.textColour = 0xFF336699u;
    r.digitCount = 4;
    std::snprintf(r.name, sizeof r.name, "%s", "Score");
    std::snprintf(r.imageName, sizeof r.imageName, "%s", "bar");
    std::vector<uint8_t> bytes;
    BinWriter out(bytes);
    WriteCounterRecord(out, r);
    ASSERT_EQ(bytes.size(), CounterRecordBytes);
    EXPECT_EQ(bytes[48], 0x99);  // blue first
    EXPECT_EQ(bytes[50], 0x33);

    BinReader in(bytes.data(), bytes.size());
    CounterRecord back;
    ASSERT_TRUE(ReadCounterRecord(in, &back));
    NztCounter* c = CreateCounter(back);
    ASSERT_NE(c, nullptr);
    c->SetValue(40.0f);  // a half-filled bar still saves its full size

    CounterRecord saved;
    c->FillSceneRecord(&saved);
    std::vector<uint8_t> again;
    BinWriter out2(again);
    r.value = 40.0f;
    WriteCounterRecord(out2, saved);
    bytes.clear();
    BinWriter out3(bytes);
    WriteCounterRecord(out3, r);
    EXPECT_EQ(again, bytes);

    BinReader shortIn(bytes.data(), CounterRecordBytes - 1);
    EXPECT_FALSE(ReadCounterRecord(shortIn, &back));
}

TEST_F(Counters, MaximumIsKeptAboveTheMinimum) {
    struct Case {
        float minimum, maximum, wantMaximum, wantInverse;
    } cases[] = {
        {0.0f, 0.5f, 1.0f, 1.0f},
        {10.0f, 5.0f, 11.0f, 1.0f / 11.0f},
        {0.0f, 250.0f, 250.0f, 1.0f / 250.0f},
        {-1.0f, 0.0f, 0.0f, 1.0f},  // no division by a zero maximum
        {-3e38f, 1e-40f, 1e-40f, 1.0f},  // nor an inverse that overflows
        {std::numeric_limits<float>::quiet_NaN(), 4.0f, 4.0f, 0.25f},
    };
    for (const Case& k : cases) {
        NztCounter* c = CreateCounter(Record(2, k.minimum, k.maximum));
        EXPECT_EQ(c->maximum, k.wantMaximum) << k.minimum << " " << k.maximum;
        EXPECT_EQ(c->maximum2, k.wantMaximum);
        EXPECT_FLOAT_EQ(c->inverseMaximum, k.wantInverse);
    }
}

TEST_F(Counters, SetValueClampsAndTheMinimumWinsWhenBoundsCross) {
    NztCounter* c = CreateCounter(Record(0));
    c->SetValue(500.0f);
    EXPECT_EQ(c->value, 100.0f);
    EXPECT_STREQ(c->textWnd->label, "100");
    c->SetValue(-3.0f);
    EXPECT_EQ(c->value, 0.0f);
    c->SetValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(c->value, 100.0f);
    c->minimum = 50.0f;
    c->maximum = 10.0f;
    c->SetValue(30.0f);
    EXPECT_EQ(c->value, 50.0f);
}

TEST_F(Counters, SmoothingEasesOneStepPerDrawnFrame) {
    NztCounter* c = CreateCounter(Record(0));
    c->smoothing = 0.1f;
    c->SetValue(100.0f);
    EXPECT_FLOAT_EQ(c->value, 10.0f);
    EXPECT_EQ(c->target, 100.0f);
    const float expected[] = {19.0f, 27.1f, 34.39f};
    for (float want : expected) {
        CounterWndCallback(BeforeDraw, c->mainWnd, 0, 0, 0);
        EXPECT_NEAR(c->value, want, 1e-3f);
    }
    for (int frame = 0; frame < 200 && c->value != 100.0f; ++frame) CounterWndCallback(BeforeDraw, c->mainWnd, 0, 0, 0);
    EXPECT_EQ(c->value, 100.0f);
}

TEST_F(Counters, DigitsFollowTheDigitCount) {
    struct Case {
        uint32_t digits;
        float value;
        const char* built;  // shown on creation: truncated
        const char* set;    // shown after SetValue: rounded
    } cases[] = {
        {3, 7.0f, "007", "007"},
        {0, 7.0f, "7", "7"},
        {0, 2.7f, "2", "3"},
        {2, 2.7f, "03", "03"},
        {12, 7.0f, "7", "7"},
    };
    for (const Case& k : cases) {
        CounterRecord r = Record(1);
        r.digitCount = k.digits;
        r.value = k.value;
        NztCounter* c = CreateCounter(r);
        EXPECT_STREQ(c->textWnd->label, k.built) << k.digits << " " << k.value;
        c->value = 0.0f;
        c->SetValue(k.value);
        EXPECT_STREQ(c->textWnd->label, k.set) << k.digits << " " << k.value;
    }
}

// The screens the layouts are checked on: the grid's own, and a wide one where a length scaled by
// the wrong side of the screen shows.
struct Screen {
    float width, height;
};
constexpr Screen kScreens[] = {{1024.0f, 768.0f}, {1920.0f, 1080.0f}};

TEST_F(Counters, WindowsOfEachKind) {
    for (const Screen& screen : kScreens) {
        SCOPED_TRACE(screen.width);
        RenderState.screenWidthF = screen.width;
        RenderState.screenHeightF = screen.height;
        const float x = screen.width / 1024.0f, y = screen.height / 768.0f;
        NztCounter* digits = CreateCounter(Record(1));
        EXPECT_FLOAT_EQ(digits->mainWnd->width, 400.0f * x);  // image and text side by side
        EXPECT_FLOAT_EQ(digits->mainWnd->height, 40.0f * y);
        EXPECT_FLOAT_EQ(digits->textWnd->left, 200.0f * x);
        EXPECT_EQ(digits->textWnd->parent, digits->mainWnd);
        EXPECT_EQ(digits->mainWnd->colour[3], 0.0f);
        EXPECT_FLOAT_EQ(digits->mainWnd->left, 10.0f * x);
        EXPECT_FLOAT_EQ(digits->mainWnd->top, 20.0f * y);

        RenderState.screenWidthF = screen.width / 2;  // half as wide: x lengths halve on the next layout
        LayoutAllCounters();
        EXPECT_FLOAT_EQ(digits->mainWnd->left, 5.0f * x);
        EXPECT_FLOAT_EQ(digits->mainWnd->width, 200.0f * x);
        EXPECT_FLOAT_EQ(digits->mainWnd->top, 20.0f * y) << "y lengths stay";
        EXPECT_FLOAT_EQ(digits->mainWnd->height, 40.0f * y);
        DestroyAllCounters();
        DestroyAllWnds();
    }
}

TEST_F(Counters, GaugesFillTowardsTheirDirection) {
    for (const Screen& screen : kScreens) {
        SCOPED_TRACE(screen.width);
        RenderState.screenWidthF = screen.width;
        RenderState.screenHeightF = screen.height;
        const float x = screen.width / 1024.0f, y = screen.height / 768.0f;
        NztCounter* up = CreateCounter(Record(3));
        up->SetValue(50.0f);
        EXPECT_FLOAT_EQ(up->imageWnd->height, 20.0f * y);
        EXPECT_FLOAT_EQ(up->imageWnd->top, 20.0f * y);
        EXPECT_FLOAT_EQ(up->imageWnd->width, 200.0f * x);

        NztCounter* left = CreateCounter(Record(4));
        left->SetValue(25.0f);
        EXPECT_FLOAT_EQ(left->imageWnd->width, 50.0f * x);
        EXPECT_FLOAT_EQ(left->imageWnd->left, 150.0f * x);
        EXPECT_FLOAT_EQ(left->imageWnd->height, 40.0f * y);
        left->Resize();
        EXPECT_FLOAT_EQ(left->imageWnd->width, 50.0f * x);
        EXPECT_FLOAT_EQ(left->imageWnd->left, 150.0f * x);

        NztCounter* right = CreateCounter(Record(2));
        right->SetMaximum(50.0f);
        right->SetValue(25.0f);
        EXPECT_FLOAT_EQ(right->imageWnd->width, 100.0f * x);
        DestroyAllCounters();
        DestroyAllWnds();
    }
}

TEST_F(Counters, NeedleTurnsAndFollowsADraggedPointer) {
    NztCounter* c = CreateCounter(Record(6, 0.0f, 400.0f));
    c->SetValue(100.0f);
    EXPECT_FLOAT_EQ(c->imageWnd->angle2, 1024.0f);

    CounterWndCallback(LButtonDown, c->mainWnd, 100.0f, 5.0f, 1.0f);
    EXPECT_EQ(c->value, 100.0f);  // not interactive yet
    c->interactive = 1;
    CounterWndCallback(LButtonDown, c->mainWnd, 100.0f, 5.0f, 1.0f);
    EXPECT_FLOAT_EQ(c->value, 200.0f);
    CounterWndCallback(MouseMove, c->mainWnd, 100.0f, 35.0f, 3.0f);  // more than the left button
    EXPECT_FLOAT_EQ(c->value, 200.0f);
    CounterWndCallback(MouseMove, c->mainWnd, 100.0f, 35.0f, 1.0f);  // straight below: a full turn
    EXPECT_FLOAT_EQ(c->value, 400.0f);

    c->mainWnd->SetSize(0.0f, 0.0f);
    CounterWndCallback(MouseMove, c->mainWnd, 1.0f, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(c->value, 400.0f);
}

TEST_F(Counters, PointerMapsAlongTheBar) {
    struct Case {
        uint32_t kind;
        float x, y, want;
    } cases[] = {
        {2, 50.0f, 0.0f, 25.0f},
        {3, 0.0f, 10.0f, 75.0f},
        {4, 50.0f, 0.0f, 75.0f},
        {5, 0.0f, 10.0f, 25.0f},
    };
    for (const Case& k : cases) {
        NztCounter* c = CreateCounter(Record(k.kind));
        c->interactive = 1;
        c->SetValue(1.0f);
        CounterWndCallback(LButtonDown, c->mainWnd, k.x, k.y, 1.0f);
        EXPECT_FLOAT_EQ(c->value, k.want) << k.kind;
    }
}

TEST_F(Counters, DisabledOrWindowlessCountersHoldStill) {
    NztCounter* c = CreateCounter(Record(2));
    c->SetValue(30.0f);
    c->Disable();
    EXPECT_EQ(c->imageWnd->enabled, 0u);
    c->SetValue(60.0f);
    c->SetMinimum(5.0f);
    c->SetMaximum(500.0f);
    EXPECT_EQ(c->value, 30.0f);
    EXPECT_EQ(c->minimum, 0.0f);
    EXPECT_EQ(c->maximum, 100.0f);
    c->Enable();
    c->SetMinimum(40.0f);
    EXPECT_EQ(c->minimum, 40.0f);
    EXPECT_EQ(c->value, 30.0f);  // bounds changes do not re-clamp
    c->SetMinimum(400.0f);
    EXPECT_EQ(c->minimum, 100.0f);
    c->DivideMinimum(0.0f);
    EXPECT_EQ(c->minimum, 100.0f);
    c->SetMaximum(20.0f);
    EXPECT_EQ(c->maximum, 100.0f);  // not above the minimum: the minimum
    EXPECT_EQ(c->inverseMaximum, 1.0f);

    const uint32_t windows = WndCount;
    c->DestroyWnds();
    EXPECT_EQ(WndCount, windows - 2);
    EXPECT_EQ(c->mainWnd, nullptr);
    c->SetValue(10.0f);
    c->Show();
    c->Place();
    EXPECT_EQ(c->value, 30.0f);
    EXPECT_EQ(GetCounter(0), c);
    EXPECT_EQ(GetCounter(1), nullptr);
    EXPECT_EQ(GetCounter(-1), nullptr);
}

TEST_F(Counters, SourcesTickWhenTheIntervalIsDue) {
    NztCounter* c = CreateCounter(Record(0));
    c->step = 3.0f;
    c->interval = 0.5f;
    const float savedTime = FrameTiming.frameTime;
    const float savedZone = ZoneValue;
    FrameTiming.frameTime = 0.2f;
    for (int frame = 0; frame < 6; ++frame) CounterWndCallback(BeforeDraw, c->mainWnd, 0, 0, 0);
    EXPECT_EQ(c->value, 6.0f);  // readings on the third and sixth frames

    c->source = 6;
    ZoneValue = 42.0f;
    c->elapsed = 0.5f;
    CounterWndCallback(BeforeDraw, c->mainWnd, 0, 0, 0);
    EXPECT_EQ(c->value, 42.0f);
    FrameTiming.frameTime = savedTime;
    ZoneValue = savedZone;
}

TEST_F(Counters, ParentIndexOutsideTheGameUIListIsTopLevel) {
    for (int32_t index : {-1, 0, 3, -7}) {
        CounterRecord r = Record(0);
        r.parentIndex = index;
        NztCounter* c = CreateCounter(r);
        EXPECT_EQ(c->parentIndex, -1) << index;
        EXPECT_EQ(c->parentWnd, nullptr);
        EXPECT_EQ(c->mainWnd->parent, nullptr);
    }
}

TEST(CounterSave, ParseAcceptsOnlyAWholeCurrentSave) {
    struct Case {
        datakit::CounterSaveSpec spec;
        bool ok;
    } cases[] = {
        {{1000, 12.5f, -1}, true},
        {{999, 12.5f, -1}, false},
        {{1000, 12.5f, 6}, false},
        {{1000, 12.5f, 0}, false},
        {{1000, std::numeric_limits<float>::infinity(), -1}, false},
        {{1000, std::numeric_limits<float>::quiet_NaN(), -1}, false},
    };
    for (const Case& k : cases) {
        const std::vector<uint8_t> bytes = datakit::MakeCounterSave(k.spec);
        float v = -1.0f;
        EXPECT_EQ(ParseCounterSave(bytes.data(), bytes.size(), &v), k.ok) << k.spec.version << " " << k.spec.keepBytes;
        if (k.ok) {
            EXPECT_EQ(v, k.spec.value);
        }
    }
}

class CounterFiles : public WithUserFolder<Counters> {};

TEST_F(CounterFiles, SaveLoadAndDelete) {
    NztCounter* c = CreateCounter(Record(0));
    c->SetValue(64.0f);
    c->SaveValue("lap");
    ASSERT_TRUE(std::filesystem::exists(folder + "USER/lap.cnt"));
    EXPECT_EQ(std::filesystem::file_size(folder + "USER/lap.cnt"), CounterSaveBytes);
    c->SetValue(1.0f);
    EXPECT_EQ(c->LoadValue("lap"), 1u);
    EXPECT_EQ(c->value, 64.0f);

    ASSERT_TRUE(datakit::WriteCounterSave(folder + "USER/old.cnt", {999, 7.0f, -1}));
    EXPECT_EQ(c->LoadValue("old"), 0u);
    EXPECT_EQ(c->LoadValue("missing"), 0u);
    EXPECT_EQ(c->value, 64.0f);

    DeleteCounterSave("lap");
    EXPECT_FALSE(std::filesystem::exists(folder + "USER/lap.cnt"));
    DeleteCounterSave("lap");  // already gone: nothing

    c->Disable();  // read, but a frozen counter keeps its value
    ASSERT_TRUE(datakit::WriteCounterSave(folder + "USER/new.cnt", {1000, 9.0f, -1}));
    EXPECT_EQ(c->LoadValue("new"), 1u);
    EXPECT_EQ(c->value, 64.0f);
}

TEST_F(CounterFiles, SaveNamesArePlainNames) {
    NztCounter* c = CreateCounter(Record(0));
    ASSERT_TRUE(datakit::WriteCounterSave(folder + "escape.cnt", {1000, 9.0f, -1}));
    for (const char* name : {"../escape", "..", "a/b", "a\\b", "", "c:x"}) {
        c->SaveValue(name);
        EXPECT_EQ(c->LoadValue(name), 0u) << name;
        DeleteCounterSave(name);
    }
    EXPECT_TRUE(std::filesystem::exists(folder + "escape.cnt"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "USER"), {}), 0);
}

}  // namespace
