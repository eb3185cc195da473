// Reading event records from bytes in every file layout, and the upgrades of older versions.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "datakit/eventrecord.h"
#include "objects/eventrecord.h"

namespace {

datakit::EventRecordSpec Spec() {
    datakit::EventRecordSpec s;
    s.args[0] = 0xDEADBEEF;  // a pointer of another run: never kept
    s.action = 9;
    s.event = 12;
    s.min = 1.5f;
    s.max = 2.5f;
    s.state = 1.0f;
    s.delay = 0.25f;
    s.targetId = 4;
    s.targetKind = 5;
    s.value1 = 3.0f;
    s.param = 2;
    s.paramName = "Door";
    s.param2 = 1;
    s.text = "Open";
    s.text2 = "Second";
    s.shortName = "Pin";
    s.values[12] = 0x40000000u;  // 2.0
    return s;
}

std::vector<EventRecord> Parse(const std::vector<uint8_t>& bytes, uint32_t version, uint32_t count,
                               int32_t ownerKind = 4, float counterValue = 0.0f) {
    std::vector<EventRecord> out;
    size_t used = 0;
    EXPECT_TRUE(ParseEventRecords(bytes.data(), bytes.size(), version, count, ownerKind, counterValue, out, &used));
    EXPECT_EQ(used, bytes.size());
    return out;
}

TEST(EventRecordTest, EveryLayoutReadsToTheSameRecord) {
    struct Case {
        uint32_t version;
        size_t bytes;
        float min, max;
    };
    const Case cases[] = {{10248, 940, 0.0f, 0.0f}, {10251, 940, 0.0f, 0.0f}, {10252, 944, 1.5f, 0.0f},
                          {10253, 948, 1.5f, 2.5f}, {10262, 948, 1.5f, 2.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        const std::vector<uint8_t> bytes = datakit::MakeEventRecords({Spec(), Spec()}, c.version);
        ASSERT_EQ(bytes.size(), 2 * c.bytes);
        EXPECT_EQ(EventRecordFileBytes(c.version), c.bytes);
        const std::vector<EventRecord> records = Parse(bytes, c.version, 2);
        ASSERT_EQ(records.size(), 2u);
        const EventRecord& r = records[1];
        EXPECT_EQ(r.Arg0, 0u);
        EXPECT_EQ(r.Action, 9);
        EXPECT_EQ(r.Event, 12);
        EXPECT_EQ(r.Min, c.min);
        EXPECT_EQ(r.Max, c.max);
        EXPECT_EQ(r.Delay, 0.25f);
        EXPECT_EQ(r.TargetKind, 5);
        EXPECT_STREQ(r.ParamName, "Door");
        EXPECT_EQ(r.Param2, 1);
        EXPECT_STREQ(r.Text, "Open");
        EXPECT_STREQ(r.Text2, "Second");
        EXPECT_STREQ(r.ShortName, "Pin");
        EXPECT_EQ(r.ValueF(12), 2.0f);
    }
    // Today's layout is the record byte for byte, apart from the arguments.
    datakit::EventRecordSpec s = Spec();
    s.args[0] = 0;
    const std::vector<uint8_t> bytes = datakit::MakeEventRecords({s});
    const EventRecord r = Parse(bytes, 10262, 1)[0];
    EXPECT_EQ(std::memcmp(&r, bytes.data(), sizeof r), 0);
}

TEST(EventRecordTest, CounterOwnersTakeTheirValueAsMissingMinimum) {
    const std::vector<uint8_t> bytes = datakit::MakeEventRecords({Spec()}, 10250);
    EXPECT_EQ(Parse(bytes, 10250, 1, 12, 42.0f)[0].Min, 42.0f);
    EXPECT_EQ(Parse(bytes, 10250, 1, 12, 42.0f)[0].Max, 0.0f);
    EXPECT_EQ(Parse(bytes, 10250, 1, 4, 42.0f)[0].Min, 0.0f);
}

TEST(EventRecordTest, MalformedInput) {
    const std::vector<uint8_t> good = datakit::MakeEventRecords({Spec(), Spec()});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        uint32_t version, count;
    };
    const Case cases[] = {
        {"version too old", good, 10247, 1},
        {"version too new", good, 10263, 1},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), 10262, 2},
        {"count beyond the bytes", good, 10262, 3},
        {"huge count", good, 10262, 0xFFFFFFFFu},
        {"no bytes", {}, 10262, 1},
    };
    for (const Case& c : cases) {
        std::vector<EventRecord> out(1);
        EXPECT_FALSE(ParseEventRecords(c.bytes.data(), c.bytes.size(), c.version, c.count, 4, 0.0f, out)) << c.name;
        EXPECT_EQ(out.size(), 1u) << c.name;  // nothing appended
    }
    std::vector<EventRecord> none;
    EXPECT_TRUE(ParseEventRecords(nullptr, 0, 10262, 0, 4, 0.0f, none));
    EXPECT_TRUE(none.empty());

    // Text fields without an end are cut at their last byte.
    datakit::EventRecordSpec s = Spec();
    s.terminateTexts = false;
    const EventRecord r = Parse(datakit::MakeEventRecords({s}), 10262, 1)[0];
    EXPECT_EQ(std::strlen(r.ParamName), 255u);
    EXPECT_EQ(std::strlen(r.Text), 255u);
    EXPECT_EQ(std::strlen(r.Text2), 255u);
    EXPECT_EQ(std::strlen(r.ShortName), 31u);
}

EventRecord Upgraded(uint32_t version, int32_t ownerKind, void (*edit)(EventRecord&)) {
    EventRecord r = BlankEventRecord();
    edit(r);
    UpgradeEventRecord(r, ownerKind, version);
    return r;
}

TEST(EventRecordTest, Upgrades) {
    // Step 3 then step 4 each lower a large second integer of action 32.
    EventRecord r = Upgraded(10251, 4, [](EventRecord& e) { e.Action = 32, e.Param2 = 20; });
    EXPECT_EQ(r.Param2, 11);
    // Disabled in step 3 and left alone afterwards.
    r = Upgraded(10250, 4, [](EventRecord& e) {
        e.Action = 32, e.Param2 = 9;
        std::strcpy(e.Text, "Old");
    });
    EXPECT_EQ(r.Action, 0);
    EXPECT_EQ(r.Param2, 9);
    EXPECT_STREQ(r.Text2, "This Event is unavailable now: Old");
    // One event change at most for game interfaces.
    EXPECT_EQ(Upgraded(10254, 13, [](EventRecord& e) { e.Event = 11; }).Event, 26);
    EXPECT_EQ(Upgraded(10254, 4, [](EventRecord& e) { e.Event = 11; }).Event, 11);
    // Step 4: subtraction of the record state becomes addition of the negated value.
    r = Upgraded(10253, 4, [](EventRecord& e) { e.Action = 70, e.Param2 = 2, e.Value1 = 3.0f; });
    EXPECT_EQ(r.Param2, 1);
    EXPECT_EQ(r.Value1, -3.0f);
    EXPECT_STREQ(r.Text, "Add");
    // Later steps.
    EXPECT_EQ(Upgraded(10256, 4, [](EventRecord& e) { e.Action = 47, e.SetValueF(10, 5.0f); }).ValueF(10), 0.0f);
    EXPECT_EQ(Upgraded(10257, 4, [](EventRecord& e) { e.Action = 64, e.Param = 10, e.Param2 = 3; }).Param2, 4);
    r = Upgraded(10258, 4, [](EventRecord& e) { e.Action = 28, e.Param = 9, e.SetValueF(7, 1.0f); });
    int32_t word;
    std::memcpy(&word, r.ShortName, 4);
    EXPECT_EQ(word, -1);
    EXPECT_EQ(r.ValueF(7), 0.0f);
    EXPECT_EQ(Upgraded(10259, 4, [](EventRecord& e) { e.Action = 60, e.Param2 = 5; }).Param2, 0);
    EXPECT_EQ(Upgraded(10260, 4, [](EventRecord& e) { e.Action = 44, e.Param2 = 1; }).Param2, 2);
    EXPECT_EQ(Upgraded(10261, 4, [](EventRecord& e) { e.Action = 33, e.Param2 = 8; }).Value1, 256.0f);
    EXPECT_EQ(Upgraded(10248, 4, [](EventRecord& e) { e.Action = 17, e.SetValueF(12, 4.0f); }).ValueF(12), 0.0f);
    EXPECT_STREQ(Upgraded(10250, 4, [](EventRecord& e) { e.Action = 34, e.Param2 = 1; }).Text, "Del Object");
    // Today's records never change.
    r = Upgraded(10262, 13, [](EventRecord& e) { e.Action = 33, e.Param2 = 8, e.Event = 11; });
    EXPECT_EQ(r.Value1, 0.0f);
    EXPECT_EQ(r.Event, 11);
}

// The renumbering steps add one to a stored number; at the extremes of a stored int they stay
// defined (the sanitizer build stops on a signed overflow) and keep the number.
TEST(EventRecordTest, UpgradeStepsStayDefinedAtExtremeNumbers) {
    EXPECT_EQ(Upgraded(10260, 4, [](EventRecord& e) { e.Action = 44, e.Param2 = INT32_MAX; }).Param2, INT32_MAX);
    EXPECT_EQ(Upgraded(10257, 4, [](EventRecord& e) {
                  e.Action = 64, e.Param = 10, e.Param2 = INT32_MAX;
              }).Param2, INT32_MAX);
    EXPECT_EQ(Upgraded(10251, 4, [](EventRecord& e) { e.Action = 32, e.Param2 = INT32_MIN; }).Param2, INT32_MIN);
    EXPECT_EQ(Upgraded(10252, 4, [](EventRecord& e) { e.Action = 32, e.Param2 = INT32_MIN; }).Param2, INT32_MIN);
}

}  // namespace
