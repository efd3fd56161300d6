// The cases of the benchmark suite, registered in the order of the table.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "suite_table.h"

// Cases 1 to 5: paintings by the engine and by the literal painter of the figure tests.
void RegisterPaintingCases();
// Cases 6 and 7: BMP, JPEG and PNG files, the parameter file and the POV-Ray text.
void RegisterFileCases();
// The checks of the painting targets (cases 1, 3, 4 and 5).
void PrintPaintingTargets(const SuiteResults& results, std::ostream& out);
// The checks of the picture files against cjpeg, djpeg and convert, and of dorvanta-render's PNG
// against its BMP (case 6).
void PrintFileTargets(const SuiteResults& results, std::ostream& out);
// Case 9: a file manager's thumbnail of the default figure, and its check.
void RegisterThumbnailCase();
void PrintThumbnailTarget(const SuiteResults& results, std::ostream& out);
// Case 11: paintings by bands with one and with two threads.
void RegisterThreadCases();
// The checks of the thread targets (case 11).
void PrintThreadTargets(const SuiteResults& results, std::ostream& out);
// Case 12: dorvanta-render as whole processes (threads, fixed costs, PNG against BMP posters).
void RegisterProcessCases();
void PrintProcessTargets(const SuiteResults& results, std::ostream& out);
// Case 13: animations (an animated PNG, the painting of a video's frames, the H.264 export).
void RegisterAnimationCases();
void PrintAnimationTargets(const SuiteResults& results, std::ostream& out);

// Runs a program (its path first) to its end: the CPU seconds and the peak memory it used, or
// nothing when it cannot start or fails.
struct ProcessUsage {
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};
std::optional<ProcessUsage> RunMeasured(const std::vector<std::string>& words);

// Runs a command-line tool to its end; false when it cannot start or fails.
bool RunTool(const std::vector<std::string>& words);
