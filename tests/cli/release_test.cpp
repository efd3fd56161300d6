// The release read from the package's changelog: its date for the manual pages, every entry for
// the AppStream releases, and a refusal to configure a version the changelog does not name.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "cli/tool_run_support.h"
#include "support/temp_dir.h"

namespace {

std::string Entry(const std::string& version, const std::string& date) {
    return "dorvanta (" + version + ") unstable; urgency=medium\n\n  * Changes.\n\n" +
           " -- Dorvanta developers <dorvanta@example.org>  " + date + "\n";
}

TEST(ReleaseTest, NewestChangelogEntryGivesTheReleaseOfTheVersion) {
    const std::string older = Entry("4.0", "Tue, 08 Dec 2026 12:00:00 +0000");
    const std::string newer = Entry("4.1", "Mon, 04 Jan 2027 09:30:00 +0100");
    const struct {
        const char* name;
        std::string changelog;
        const char* version;
        int status;
        const char* output;  // what the script prints, or a part of its error
    } cases[] = {
        {"one entry", older, "4.0", 0,
         "2026-12-08\n<release version=\"4.0\" date=\"2026-12-08\"/>\n"},
        {"two entries, newest first", newer + "\n" + older, "4.1", 0,
         "2027-01-04\n<release version=\"4.1\" date=\"2027-01-04\"/>\n"
         "    <release version=\"4.0\" date=\"2026-12-08\"/>\n"},
        {"a new version without its entry", older, "4.1", 1,
         "the newest entry is 4.0, the project is 4.1; add an entry for 4.1"},
        {"an entry without its date", "dorvanta (4.0) unstable; urgency=medium\n", "4.0", 1,
         "every entry needs its head line and its dated trailer"},
        {"an unknown month", Entry("4.0", "Tue, 08 Dez 2026 12:00:00 +0000"), "4.0", 1,
         "unknown month"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::ofstream(dir.Path() / "changelog", std::ios::binary) << c.changelog;
        RunResult r = RunShell(std::string("cmake -DPROJECT_VERSION=") + c.version +
                                   " -DDORVANTA_CHANGELOG=changelog -P " +
                                   Quote(DORVANTA_SOURCE_DIR "/cmake/Release.cmake"),
                               dir.Path());
        EXPECT_EQ(r.status, c.status) << c.name << r.err;
        // CMake breaks long messages into indented lines.
        const std::string error = std::regex_replace(r.err, std::regex("\n +"), " ");
        EXPECT_TRUE(c.status == 0 ? r.err == c.output : error.find(c.output) != std::string::npos)
            << c.name << error;
    }
}

}  // namespace
