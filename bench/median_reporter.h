#pragma once
// The usual console table, keeping each benchmark's median (in the benchmark's own time unit, by
// its function's name) for the ratios a program prints after it.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace kel {

class MedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
};

}  // namespace kel
