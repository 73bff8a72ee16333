#pragma once
// The usual console table, and each benchmark's median run (in the benchmark's own time unit, or
// as Value converts it, by its name and arguments) for the ratios a program prints after it.
//
// RunAlternating runs every benchmark once, in the order they are registered, round after round:
// A B A B …, so that on a machine whose load drifts neither side of a ratio has all its runs
// first. The medians are taken over the rounds.

#include <benchmark/benchmark.h>

#include <algorithm>
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
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[Key(run)].push_back(Value(run));
    }
    // `rounds` runs of every benchmark the filter selects, alternating; then the medians.
    void RunAlternating(int rounds = 5) {
        for (int r = 0; r < rounds; ++r)
            benchmark::RunSpecifiedBenchmarks(this);
        for (auto& [name, values] : times_) {
            std::sort(values.begin(), values.end());
            const size_t n = values.size();
            medians[name] = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
        }
    }

protected:
    static std::string Key(const Run& run) {
        const auto& n = run.run_name;
        return n.function_name + (n.args.empty() ? "" : "/" + n.args);
    }
    virtual double Value(const Run& run) const { return run.GetAdjustedRealTime(); }

private:
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace kel
