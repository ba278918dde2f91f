#include "ratio_reporter.h"

#include <cstdio>

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// KIND/CASE -> CASE
std::string CaseOf(const std::string& name) {
    return name.substr(name.find('/') + 1);
}

std::string KindOf(const std::string& name) {
    return name.substr(0, name.find('/'));
}

} // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) {
            ++failures_;
            continue;
        }
        // With repetitions the median stands for the benchmark; without, its one run does.
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type != Run::RT_Iteration && !median) {
            continue;
        }
        // The name as registered, without "/real_time" or "/repeats:N".
        const std::string& name = run.run_name.function_name;
        if (results_.count(name) != 0 && !median) {
            continue; // a later repetition: its median comes with the aggregates
        }
        Result result;
        result.nanoseconds =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
        for (const auto& [counter, value] : run.counters) {
            result.counters[counter] = value.value;
        }
        if (results_.count(name) == 0) {
            order_.push_back(name);
        }
        results_[name] = result;
    }
}

const RatioReporter::Result* RatioReporter::Find(const std::string& name) const {
    const auto found = results_.find(name);
    return found == results_.end() ? nullptr : &found->second;
}

void RatioReporter::PrintTokenizerTable(std::ostream& out) const {
    out << "| line | bytes | tokens | SplitCommandLine | per byte | delimiter scan | per byte "
           "| split / scan |\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const std::string& name : order_) {
        const Result* scan = Find("Scan/" + CaseOf(name));
        if (KindOf(name) != "Split" || scan == nullptr) {
            continue;
        }
        const Result& split = results_.at(name);
        const double bytes = split.counters.at("line_bytes");
        out << "| " << CaseOf(name).substr(0, CaseOf(name).find('/')) << " | "
            << Format("%.0f", bytes) << " | " << Format("%.0f", split.counters.at("tokens"))
            << " | " << Format("%.0f ns", split.nanoseconds) << " | "
            << Format("%.2f ns", split.nanoseconds / bytes) << " | "
            << Format("%.0f ns", scan->nanoseconds) << " | "
            << Format("%.2f ns", scan->nanoseconds / bytes) << " | "
            << Format("%.1f", split.nanoseconds / scan->nanoseconds) << " |\n";
    }
}
