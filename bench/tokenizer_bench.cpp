// SplitCommandLine on lines of 16 to 4,095 bytes, with few and with many tokens, beside a
// plain scan of the same bytes for the three delimiters: the least any tokenizer must do.
#include "bench_registry.h"
#include "request/command_line.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A line of exactly `length` bytes: words alternating bare and quoted in pairs,
// `word "word word" word "word word" ...`, cut at `length`.
std::string MakeLine(std::size_t length, const std::string& word) {
    std::string line;
    for (bool quoted = false; line.size() < length; quoted = !quoted) {
        line += quoted ? "\"" + word + " " + word + "\" " : word + " ";
    }
    line.resize(length);
    return line;
}

std::int32_t CountTokens(const std::string& line) {
    std::vector<char> buffer(line.c_str(), line.c_str() + line.size() + 1);
    char** tokens = nullptr;
    const std::int32_t count = SplitCommandLine(buffer.data(), tokens, 0);
    ReleaseTokens(tokens, count);
    return count;
}

void Report(benchmark::State& state, const std::string& line) {
    const auto bytes = static_cast<std::int64_t>(line.size());
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["line_bytes"] = static_cast<double>(bytes);
    state.counters["tokens"] = CountTokens(line);
    // Seconds per byte: flat across lengths when the cost is linear.
    state.counters["per_byte"] = benchmark::Counter(static_cast<double>(bytes),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

// The line is copied into the work buffer on each iteration, as the module does, since the
// split cuts it in place; the scan copies it too, so the two differ only in their work.
void Split(benchmark::State& state, const std::string& line) {
    std::vector<char> buffer(line.size() + 1);
    for (auto _ : state) {
        std::memcpy(buffer.data(), line.c_str(), line.size() + 1);
        char** tokens = nullptr;
        const std::int32_t count = SplitCommandLine(buffer.data(), tokens, 0);
        benchmark::DoNotOptimize(tokens);
        ReleaseTokens(tokens, count);
    }
    Report(state, line);
}

void Scan(benchmark::State& state, const std::string& line) {
    std::vector<char> buffer(line.size() + 1);
    for (auto _ : state) {
        std::memcpy(buffer.data(), line.c_str(), line.size() + 1);
        std::size_t delimiters = 0;
        for (const char* byte = buffer.data(); *byte != '\0'; ++byte) {
            delimiters += *byte == ' ' || *byte == '\t' || *byte == '"';
        }
        benchmark::DoNotOptimize(delimiters);
        benchmark::ClobberMemory();
    }
    Report(state, line);
}

} // namespace

void RegisterTokenizerBenchmarks() {
    for (std::size_t length : {16, 64, 256, 1024, 4095}) {
        // Few tokens: four words a quarter of the line long. Many: one-letter words.
        for (const auto& [label, word] :
             {std::pair<std::string, std::string>{
                  "few", std::string(std::max<std::size_t>(length / 4, 1), 'a')},
              std::pair<std::string, std::string>{"many", "a"}}) {
            const std::string line = MakeLine(length, word);
            const std::string name = label + "/" + std::to_string(length);
            benchmark::RegisterBenchmark(("Split/" + name).c_str(), Split, line);
            benchmark::RegisterBenchmark(("Scan/" + name).c_str(), Scan, line);
        }
    }
}
