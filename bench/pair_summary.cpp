#include "pair_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Microseconds below a millisecond either way, milliseconds from there.
std::string Time(double seconds) {
    return std::fabs(seconds) >= 1e-3 ? Format("%.2f ms", seconds * 1e3)
                                      : Format("%.1f us", seconds * 1e6);
}

} // namespace

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double rank = q * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double weight = rank - static_cast<double>(below);
    return values[below] + (values[above] - values[below]) * weight;
}

PairSummary Summarise(const std::string& scenario, const std::vector<PairTimes>& pairs) {
    std::vector<double> ratios, differences, startUps, copies;
    for (const PairTimes& pair : pairs) {
        ratios.push_back(pair.startUpSeconds / pair.copySeconds);
        differences.push_back(pair.startUpSeconds - pair.copySeconds);
        startUps.push_back(pair.startUpSeconds);
        copies.push_back(pair.copySeconds);
    }
    PairSummary summary;
    summary.scenario = scenario;
    summary.pairs = pairs.size();
    summary.ratioMedian = Quantile(ratios, 0.5);
    summary.ratioLowerQuartile = Quantile(ratios, 0.25);
    summary.ratioUpperQuartile = Quantile(ratios, 0.75);
    summary.beyondCopySeconds = Quantile(differences, 0.5);
    summary.startUpSeconds = Quantile(startUps, 0.5);
    summary.copySeconds = Quantile(copies, 0.5);
    return summary;
}

std::string SummaryLine(const PairSummary& summary) {
    return "startup/copy " + summary.scenario + ": median " + Format("%.2f", summary.ratioMedian) +
           " (quartiles " + Format("%.2f", summary.ratioLowerQuartile) + "-" +
           Format("%.2f", summary.ratioUpperQuartile) + ", " + std::to_string(summary.pairs) +
           " pairs), " + Time(summary.beyondCopySeconds) + " beyond the copy";
}

void PrintStartUpTable(const std::vector<PairSummary>& summaries, std::ostream& out) {
    out << "| scenario | pairs | InitModule to launch click queued | bare copy "
           "| start-up / copy | quartiles | beyond the copy |\n"
        << "|---|---:|---:|---:|---:|---:|---:|\n";
    for (const PairSummary& summary : summaries) {
        out << "| " << summary.scenario << " | " << summary.pairs << " | "
            << Time(summary.startUpSeconds) << " | " << Time(summary.copySeconds) << " | "
            << Format("%.2f", summary.ratioMedian) << " | "
            << Format("%.2f", summary.ratioLowerQuartile) << "-"
            << Format("%.2f", summary.ratioUpperQuartile) << " | "
            << Time(summary.beyondCopySeconds) << " |\n";
    }
}
