// Runs the registered benchmarks and prints, after Google Benchmark's own lines, one table: the
// median of every case beside the median of the straightforward implementation on the same input
// and their ratio, followed by the target checks of the suite.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>

// Benchmarks named "<case>/engine" and "<case>/reference" share one row of the table; a case
// without a reference shows only its own time.
inline constexpr char kEngineSuffix[] = "/engine";
inline constexpr char kReferenceSuffix[] = "/reference";

// Milliseconds per iteration, -1 when not run. CPU time counts every thread of the process: on a
// loaded machine it is the better estimate of the time on an idle one (for a painting on two
// threads an upper bound), so the ratios and targets use it.
struct CaseMedians {
    double engineMs = -1.0;  // real time
    double engineCpuMs = -1.0;
    double referenceMs = -1.0;
    double referenceCpuMs = -1.0;
    std::string note;  // the engine's counters, e.g. shapes or peak memory
};

// Rows in the order their benchmarks were registered.
class SuiteResults {
  public:
    CaseMedians& Row(const std::string& label);
    const CaseMedians* Find(const std::string& label) const;
    void PrintTable(std::ostream& out) const;

  private:
    std::map<std::string, CaseMedians> m_rows;
    std::map<std::string, int> m_order;
};

// Initialises Google Benchmark with argv (repetitions default to 5, aggregates only), runs every
// registered benchmark, prints the table and then calls targets to print the target checks.
int RunSuite(int argc, char** argv,
             const std::function<void(const SuiteResults&, std::ostream&)>& targets);

// "met" / "NOT met" lines for the target checks.
void PrintTarget(std::ostream& out, const std::string& what, bool measured, bool met,
                 const std::string& detail);
