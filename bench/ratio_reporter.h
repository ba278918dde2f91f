// A console reporter that also keeps every result, and afterwards prints the tokenizer beside
// its baseline, a plain scan, as a Markdown table with their ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Benchmarks are named KIND/CASE; a Split/CASE result is paired with Scan/CASE.
    void PrintTokenizerTable(std::ostream& out) const;
    // False when a benchmark reported an error (its message was printed with it).
    bool AllSucceeded() const { return failures_ == 0; }

private:
    struct Result {
        double nanoseconds = 0; // real time per iteration
        std::map<std::string, double> counters;
    };
    const Result* Find(const std::string& name) const;

    std::vector<std::string> order_;
    std::map<std::string, Result> results_;
    int failures_ = 0;
};
