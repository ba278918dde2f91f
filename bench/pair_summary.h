// The statistics of start-up/copy pairs: per size, the median of the per-pair ratios with its
// quartiles, and the median of the per-pair differences (the time beyond the copy). Ratios and
// differences are taken within each pair first, so that a slow moment of the machine, which
// touches both halves of a pair, cancels out instead of landing in one of the two figures.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct PairTimes {
    double startUpSeconds = 0;
    double copySeconds = 0;
};

struct PairSummary {
    std::string scenario; // "1MiB"
    std::size_t pairs = 0;
    double ratioMedian = 0; // of start-up / copy, pair by pair
    double ratioLowerQuartile = 0;
    double ratioUpperQuartile = 0;
    double beyondCopySeconds = 0; // the median of start-up - copy, pair by pair
    double startUpSeconds = 0;    // the median start-up alone
    double copySeconds = 0;       // the median copy alone
};

// The quantile q (0 to 1) of `values`, interpolated linearly between the two nearest ranks.
// `values` must not be empty.
double Quantile(std::vector<double> values, double q);

PairSummary Summarise(const std::string& scenario, const std::vector<PairTimes>& pairs);

// startup/copy 1MiB: median 1.03 (quartiles 1.01-1.05, 40 pairs), 48.6 us beyond the copy
std::string SummaryLine(const PairSummary& summary);

// The Markdown table of the summaries, one row per scenario size.
void PrintStartUpTable(const std::vector<PairSummary>& summaries, std::ostream& out);
