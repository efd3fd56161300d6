// The whole benchmark suite (cases 1 to 8) with the view's key-press render; run it under
// QT_QPA_PLATFORM=offscreen where no display exists.
#include <QApplication>

#include "bench_cases.h"

void RegisterViewCase();
void PrintViewTarget(const SuiteResults& results, std::ostream& out);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterPaintingCases();
    RegisterFileCases();
    RegisterThreadCases();
    RegisterProcessCases();
    RegisterAnimationCases();
    RegisterViewCase();
    RegisterThumbnailCase();
    return RunSuite(argc, argv, [](const SuiteResults& results, std::ostream& out) {
        PrintPaintingTargets(results, out);
        PrintFileTargets(results, out);
        PrintThreadTargets(results, out);
        PrintProcessTargets(results, out);
        PrintAnimationTargets(results, out);
        PrintViewTarget(results, out);
        PrintThumbnailTarget(results, out);
    });
}
