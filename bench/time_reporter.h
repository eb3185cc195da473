// A console reporter that keeps every benchmark's real time for a closing comparison line.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TimeKeepingReporter : public benchmark::ConsoleReporter {
 public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[name] = run.GetAdjustedRealTime();
                cpuMedians_[name] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Iteration) {
                times_[name] = run.GetAdjustedRealTime();
                cpuTimes_[name] = run.GetAdjustedCPUTime();
            }
        }
    }

 protected:
    // The times by function name: the medians when the runs are repeated (--benchmark_repetitions=5),
    // else those of the single runs; a benchmark that did not run reads as 0.
    std::map<std::string, double>& Times() { return medians_.empty() ? times_ : medians_; }
    // The same for the CPU times of the benchmark's thread: on a loaded machine, where the real
    // times also count the waits for a core, these keep the ratios steadier.
    std::map<std::string, double>& CpuTimes() { return cpuMedians_.empty() ? cpuTimes_ : cpuMedians_; }

 private:
    std::map<std::string, double> times_, medians_, cpuTimes_, cpuMedians_;
};

// The whole of a benchmark program's run: its benchmarks, printed through the given reporter.
template <class Reporter>
void RunBenchmarksWith(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
