#include "suite_table.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

namespace {

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

double Milliseconds(double value, benchmark::TimeUnit unit) {
    return value * 1e3 / benchmark::GetTimeUnitMultiplier(unit);
}

std::string Format(double ms) {
    if (ms < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, ms < 1.0 ? "%.3f ms" : ms < 100.0 ? "%.2f ms" : "%.0f ms", ms);
    return text;
}

// Google Benchmark's console lines, and the medians collected for the table.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    explicit TableReporter(SuiteResults& results) : m_results(results) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single) continue;
            Record(run);
        }
    }

  private:
    void Record(const Run& run) {
        const std::string& name = run.run_name.function_name;
        const double real = Milliseconds(run.GetAdjustedRealTime(), run.time_unit);
        const double cpu = Milliseconds(run.GetAdjustedCPUTime(), run.time_unit);
        if (EndsWith(name, kReferenceSuffix)) {
            CaseMedians& row =
                m_results.Row(name.substr(0, name.size() - std::strlen(kReferenceSuffix)));
            row.referenceMs = real;
            row.referenceCpuMs = cpu;
            return;
        }
        const std::string label = EndsWith(name, kEngineSuffix)
                                      ? name.substr(0, name.size() - std::strlen(kEngineSuffix))
                                      : name;
        CaseMedians& row = m_results.Row(label);
        row.engineMs = real;
        row.engineCpuMs = cpu;
        row.note.clear();
        for (const auto& [key, counter] : run.counters) {
            char text[64];
            std::snprintf(text, sizeof text, "%s%s=%.4g", row.note.empty() ? "" : " ", key.c_str(),
                          counter.value);
            row.note += text;
        }
    }

    SuiteResults& m_results;
};

}  // namespace

CaseMedians& SuiteResults::Row(const std::string& label) {
    m_order.emplace(label, static_cast<int>(m_order.size()));
    return m_rows[label];
}

const CaseMedians* SuiteResults::Find(const std::string& label) const {
    const auto it = m_rows.find(label);
    return it == m_rows.end() || it->second.engineMs < 0 ? nullptr : &it->second;
}

void SuiteResults::PrintTable(std::ostream& out) const {
    std::vector<std::pair<int, std::string>> order;
    for (const auto& [label, index] : m_order) order.emplace_back(index, label);
    std::sort(order.begin(), order.end());
    std::size_t width = 4;
    for (const auto& entry : order) width = std::max(width, entry.second.size());
    char line[512];
    std::snprintf(line, sizeof line, "%-*s %11s %11s %13s %13s %9s  %s", static_cast<int>(width),
                  "case", "median", "median CPU", "straightfwd.", "str. CPU", "CPU ratio", "notes");
    out << '\n' << line << '\n' << std::string(std::strlen(line) + 10, '-') << '\n';
    for (const auto& [index, label] : order) {
        const CaseMedians& row = m_rows.at(label);
        std::string ratio = "-";
        if (row.engineCpuMs > 0 && row.referenceCpuMs > 0) {
            char text[32];
            std::snprintf(text, sizeof text, "%.1fx", row.referenceCpuMs / row.engineCpuMs);
            ratio = text;
        }
        std::snprintf(line, sizeof line, "%-*s %11s %11s %13s %13s %9s  %s",
                      static_cast<int>(width), label.c_str(), Format(row.engineMs).c_str(),
                      Format(row.engineCpuMs).c_str(), Format(row.referenceMs).c_str(),
                      Format(row.referenceCpuMs).c_str(), ratio.c_str(), row.note.c_str());
        out << line << '\n';
    }
}

void PrintTarget(std::ostream& out, const std::string& what, bool measured, bool met,
                 const std::string& detail) {
    out << (measured ? (met ? "  met      " : "  NOT met  ") : "  not run  ") << what;
    if (measured) out << "  (" << detail << ")";
    out << '\n';
}

int RunSuite(int argc, char** argv,
             const std::function<void(const SuiteResults&, std::ostream&)>& targets) {
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions.data(), aggregates.data()});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    SuiteResults results;
    TableReporter reporter(results);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    results.PrintTable(std::cout);
    std::cout << "\nTargets, judged on the CPU medians (wall-clock medians in brackets):\n";
    targets(results, std::cout);
    return 0;
}
