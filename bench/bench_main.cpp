// The core benchmark suite (cases 1 to 7), without Qt.
#include "bench_cases.h"

int main(int argc, char** argv) {
    RegisterPaintingCases();
    RegisterFileCases();
    RegisterThreadCases();
    return RunSuite(argc, argv, [](const SuiteResults& results, std::ostream& out) {
        PrintPaintingTargets(results, out);
        PrintFileTargets(results, out);
        PrintThreadTargets(results, out);
    });
}
