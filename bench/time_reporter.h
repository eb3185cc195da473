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
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration)
                times_[name] = run.GetAdjustedRealTime();
        }
    }

 protected:
    // The times by function name: the medians when the runs are repeated (--benchmark_repetitions=5),
    // else those of the single runs; a benchmark that did not run reads as 0.
    std::map<std::string, double>& Times() { return medians_.empty() ? times_ : medians_; }

 private:
    std::map<std::string, double> times_, medians_;
};
