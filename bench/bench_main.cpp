// The core benchmark suite (cases 1 to 7 and 9), without Qt.
#include "bench_cases.h"

int main(int argc, char** argv) {
    RegisterPaintingCases();
    RegisterFileCases();
    RegisterThumbnailCase();
    RegisterThreadCases();
    RegisterProcessCases();
    RegisterAnimationCases();
    return RunSuite(argc, argv, [](const SuiteResults& results, std::ostream& out) {
        PrintPaintingTargets(results, out);
        PrintFileTargets(results, out);
        PrintThumbnailTarget(results, out);
        PrintThreadTargets(results, out);
        PrintProcessTargets(results, out);
        PrintAnimationTargets(results, out);
    });
}
