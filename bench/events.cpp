// A broadcast over a large world: 10,000 objects with 8 records each, one event that matches one
// record in ten, then the frame's deferred run. Reports matched records per second.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "objects/actions.h"
#include "objects/events.h"
#include "objects/objlookup.h"

namespace {

constexpr int ObjectCount = 10000;
constexpr int RecordsPerObject = 8;
constexpr uint32_t Code = 77;

std::vector<std::unique_ptr<NztEventObject>> World;
int64_t Ran = 0;

void CountHandler(EventRecord*) { ++Ran; }

void BuildWorld() {
    World.clear();
    ResetEventActions();
    RegisterEventAction(ActionFadeMusic, CountHandler);  // at once
    RegisterEventAction(ActionPlayMusic, CountHandler);  // after the frame
    int serial = 0;
    for (int i = 0; i < ObjectCount; ++i) {
        auto o = std::make_unique<NztEventObject>();
        o->kind = ObjectKindCounter;
        o->id = i;
        for (int j = 0; j < RecordsPerObject; ++j, ++serial) {
            EventRecord r = BlankEventRecord();
            r.CondIndex = -1;
            r.Event = serial % 10 == 0 ? static_cast<int32_t>(Code) : 200 + j;
            r.Action = serial % 20 == 0 ? ActionPlayMusic : ActionFadeMusic;
            o->AddEventRecord(&r);
        }
        World.push_back(std::move(o));
    }
    EventKindList list;
    list.count = [] { return static_cast<int32_t>(World.size()); };
    list.at = [](int32_t i) { return World[static_cast<size_t>(i)].get(); };
    SetEventKindList(ObjectKindCounter, list);
}

void BM_BroadcastAndDeferredRun(benchmark::State& state) {
    BuildWorld();
    int64_t matched = 0;
    for (auto _ : state) {
        BroadcastEvent(Code);
        RunDeferredActions();
        matched += ObjectCount * RecordsPerObject / 10;
    }
    state.counters["matched/s"] = benchmark::Counter(static_cast<double>(matched), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(Ran);
    ResetEventKindLists();
    World.clear();
    FreeDeferredActionTables();
}
BENCHMARK(BM_BroadcastAndDeferredRun)->Unit(benchmark::kMillisecond);

// The walk alone: one event that no record names.
void BM_BroadcastNoMatch(benchmark::State& state) {
    BuildWorld();
    for (auto _ : state) BroadcastEvent(Code + 1);
    state.counters["records/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * ObjectCount * RecordsPerObject, benchmark::Counter::kIsRate);
    ResetEventKindLists();
    World.clear();
}
BENCHMARK(BM_BroadcastNoMatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
