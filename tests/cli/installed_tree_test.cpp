// Installs the build into a temporary DESTDIR, as a package would, and checks the installed
// tree: the programs run from there, the manual pages render and cover every option, the desktop
// files validate, and the thumbnailer works as a file manager runs it. Each validator that is not
// installed skips its check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/tool_run_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kBuildDir = DORVANTA_BINARY_DIR;
const std::string kMimeType = "application/x-dorvanta-dat";

bool ToolAvailable(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The options a program's --help lists: every word that starts with a dash.
std::set<std::string> OptionsIn(const std::string& help) {
    std::set<std::string> options;
    static const std::regex option(R"((?:^|[\s,\[])(--?[A-Za-z?][A-Za-z-]*))");
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
        options.insert((*it)[1]);
    }
    return options;
}

// The value of key in the first group of a desktop-entry style file; "" when absent.
std::string EntryValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "";
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

class InstalledTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RunResult r = Run("DESTDIR=" + Quote(destdir.Path().string()) + " cmake --install " +
                          Quote(kBuildDir) + " --prefix /usr");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    RunResult Run(const std::string& command) { return RunShell(command, work.Path()); }
    // Runs an installed program, found the way a user's shell finds it, without a display (as
    // in a package build), so the desktop program answers from the command line alone.
    RunResult RunInstalled(const std::string& commandLine) {
        return Run("PATH=" + Quote(Usr("bin").string()) +
                   ":\"$PATH\" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                   commandLine);
    }
    fs::path Usr(const std::string& relative) const { return destdir.Path() / "usr" / relative; }
    fs::path Work(const std::string& name) const { return work.Path() / name; }

    // The programs built here, each of which must be installed.
    std::vector<std::string> Programs() const {
        std::vector<std::string> programs = {"dorvanta-render"};
        if (fs::exists(kBuildDir + "/src/dorvanta")) programs.push_back("dorvanta");
        return programs;
    }
    bool DesktopProgramBuilt() const { return Programs().size() == 2; }

    // How many hicolor sizes hold the PNG icon name in context; each must be as large as its
    // folder says.
    int PngIconSizes(const std::string& context, const std::string& name) const {
        int sizes = 0;
        for (const auto& folder : fs::directory_iterator(Usr("share/icons/hicolor"))) {
            const fs::path png = folder.path() / context / (name + ".png");
            if (!fs::exists(png)) continue;
            ++sizes;
            std::optional<PictureDimensions> size = ReadPictureDimensions(png);
            EXPECT_TRUE(size.has_value()) << png;
            const std::string side = std::to_string(size ? size->width : 0);
            EXPECT_EQ(folder.path().filename().string(), side + "x" + side) << png;
        }
        return sizes;
    }

    TempDir destdir;
    TempDir work;
};

TEST_F(InstalledTreeTest, ProgramsRunFromTheTreeAndPrintTheProjectVersion) {
    RunResult render = RunInstalled("dorvanta-render --version");
    EXPECT_EQ(render.status, 0) << render.err;
    EXPECT_EQ(render.out, "dorvanta-render " DORVANTA_VERSION "\n");
    for (const std::string& program : Programs()) {
        ASSERT_TRUE(fs::exists(Usr("bin/" + program))) << program;
        RunResult help = RunInstalled(program + " --help");
        EXPECT_EQ(help.status, 0) << program << help.err;
        // Whatever advertises --version must print the one version of the project.
        if (OptionsIn(help.out).count("--version")) {
            RunResult version = RunInstalled(program + " --version");
            EXPECT_EQ(version.status, 0) << program;
            EXPECT_NE(version.out.find(DORVANTA_VERSION), std::string::npos) << program;
        }
    }
    EXPECT_TRUE(OptionsIn(RunInstalled("dorvanta-render --help").out).count("--version"));
}

// The encoder module is installed where the installed program looks for it, whatever the prefix.
TEST_F(InstalledTreeTest, InstalledRenderWritesAVideoWithTheInstalledEncoder) {
    ASSERT_EQ(RunInstalled("dorvanta-render --save-dat a.dat -o a.bmp").status, 0);
    const RunResult r = RunInstalled(
        "env -u DORVANTA_VIDEO_MODULE dorvanta-render --animate a.dat "
        "a.dat --duration 1s --fps 2 --size 64x48 --quiet -o a.mp4");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(Work("a.mp4")));
}

TEST_F(InstalledTreeTest, ManualPagesRenderWithoutWarningsAndCoverEveryOption) {
    if (!ToolAvailable("man")) GTEST_SKIP() << "man is not installed";
    for (const std::string& program : Programs()) {
        const fs::path page = Usr("share/man/man1/" + program + ".1.gz");
        ASSERT_TRUE(fs::exists(page)) << page;
        RunResult shown =
            Run("MANWIDTH=200 MANPAGER=cat man -E ascii --warnings -l " + Quote(page.string()));
        EXPECT_EQ(shown.status, 0) << program;
        EXPECT_EQ(shown.err, "") << program;
        for (const std::string heading :
             {"\nNAME\n", "\nSYNOPSIS\n", "\nDESCRIPTION\n", "\nFILE KINDS\n", "\nOPTIONS\n",
              "\nEXIT STATUS\n", "\nEXAMPLES\n", "\nSEE ALSO\n"}) {
            EXPECT_NE(shown.out.find(heading), std::string::npos) << program << ":" << heading;
        }
        EXPECT_NE(shown.out.find(DORVANTA_VERSION), std::string::npos) << program;
        const std::set<std::string> options = OptionsIn(RunInstalled(program + " --help").out);
        EXPECT_GE(options.size(), 2u) << program;
        for (const std::string& option : options) {
            EXPECT_TRUE(
                std::regex_search(shown.out, std::regex("(^|[\\s,])" + option + "([\\s,]|$)")))
                << program << "(1) does not describe " << option;
        }
    }
}

TEST_F(InstalledTreeTest, DesktopEntryIconsAndMetainfoFitTogether) {
    if (!DesktopProgramBuilt()) GTEST_SKIP() << "built without the desktop program";
    const fs::path desktop = Usr("share/applications/dorvanta.desktop");
    const fs::path metainfo = Usr("share/metainfo/org.dorvanta.dorvanta.metainfo.xml");
    const std::string entry = ReadFile(desktop);
    ASSERT_FALSE(entry.empty());
    const std::string exec = EntryValue(entry, "Exec");
    EXPECT_TRUE(fs::exists(Usr("bin/" + exec.substr(0, exec.find(' '))))) << exec;
    EXPECT_EQ(EntryValue(entry, "MimeType"), kMimeType + ";");
    const std::string icon = EntryValue(entry, "Icon");
    EXPECT_TRUE(fs::exists(Usr("share/icons/hicolor/scalable/apps/" + icon + ".svg")));
    EXPECT_GE(PngIconSizes("apps", icon), 4);
    const std::string meta = ReadFile(metainfo);
    EXPECT_NE(meta.find("<launchable type=\"desktop-id\">dorvanta.desktop</launchable>"),
              std::string::npos);
    EXPECT_NE(meta.find("<release version=\"" DORVANTA_VERSION "\""), std::string::npos);

    if (ToolAvailable("desktop-file-validate")) {
        RunResult valid = Run("desktop-file-validate " + Quote(desktop.string()));
        EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
        EXPECT_EQ(valid.out, "");
    }
    if (ToolAvailable("appstreamcli")) {
        RunResult valid = Run("appstreamcli validate --no-net " + Quote(metainfo.string()));
        EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
        // The whole tree: the metainfo's launchable must name an installed desktop entry.
        RunResult tree =
            Run("appstreamcli validate-tree --no-net " + Quote(destdir.Path().string()));
        EXPECT_EQ(tree.status, 0) << tree.out << tree.err;
    }
}

TEST_F(InstalledTreeTest, FileTypeClaimsDorvantaFilesAndNoOtherDatFiles) {
    const std::string mime = ReadFile(Usr("share/mime/packages/dorvanta.xml"));
    EXPECT_NE(mime.find("<mime-type type=\"" + kMimeType + "\">"), std::string::npos);
    // Its label and icon, as a file manager shows them: the icon is installed in every size of
    // the program's icon and as SVG.
    EXPECT_NE(mime.find("<comment>Dorvanta figure</comment>"), std::string::npos);
    std::smatch icon;
    ASSERT_TRUE(std::regex_search(mime, icon, std::regex(R"re(<icon name="([^"]+)"/>)re")));
    const fs::path hicolor = Usr("share/icons/hicolor");
    EXPECT_TRUE(fs::exists(hicolor / "scalable/mimetypes" / (icon[1].str() + ".svg")));
    const auto folders = std::distance(fs::directory_iterator(hicolor), fs::directory_iterator());
    EXPECT_GE(folders, 5);
    EXPECT_EQ(PngIconSizes("mimetypes", icon[1].str()), folders - 1);  // all but "scalable"
    std::smatch magic;
    ASSERT_TRUE(std::regex_search(
        mime, magic, std::regex(R"re(<match type="string" value="([^"]+)" offset="0"/>)re")));
    ASSERT_EQ(RunInstalled("dorvanta-render --save-dat fig.dat").status, 0);
    EXPECT_EQ(ReadFile(Work("fig.dat")).rfind(magic[1].str(), 0), 0u);

    // What a file manager sees, with only the installed type in its database.
    if (!ToolAvailable("update-mime-database") || !ToolAvailable("gio")) {
        GTEST_SKIP() << "update-mime-database or gio is not installed";
    }
    ASSERT_EQ(Run("update-mime-database " + Quote(Usr("share/mime").string())).status, 0);
    std::ofstream(Work("other.dat")) << "Another program's numbers\n1 2 3\n";
    fs::create_directory(Work("home"));
    auto contentType = [&](const std::string& name) {
        return Run("XDG_DATA_HOME=" + Quote(Work("home").string()) +
                   " XDG_DATA_DIRS=" + Quote(Usr("share").string()) +
                   " gio info -a standard::content-type " + Quote(Work(name).string()))
            .out;
    };
    EXPECT_NE(contentType("fig.dat").find(kMimeType), std::string::npos);
    EXPECT_EQ(contentType("other.dat").find(kMimeType), std::string::npos);
}

// One release, one date: the manual pages and the AppStream releases take theirs from the
// newest changelog entry, which names the project's version. One licence in every file.
TEST_F(InstalledTreeTest, ReleaseDateAndLicenceAgreeInEveryFile) {
    const std::string unzip = "zcat " + Quote(Usr("share/doc/dorvanta/changelog.gz").string());
    const std::string changelog = Run(unzip).out;
    ASSERT_EQ(changelog.rfind("dorvanta (" DORVANTA_VERSION ") ", 0), 0u) << changelog;
    std::smatch trailer;
    ASSERT_TRUE(std::regex_search(changelog, trailer, std::regex("\n -- [^\n]*>  ([^\n]+)\n")));
    const std::string date = Run("date -u -d " + Quote(trailer[1].str()) + " +%F").out;
    ASSERT_EQ(date.size(), 11u) << trailer[1];
    const std::string iso = date.substr(0, 10);
    if (ToolAvailable("dpkg-parsechangelog")) {
        RunResult parsed =
            Run(unzip + " > changelog && dpkg-parsechangelog -l changelog -S Version");
        EXPECT_EQ(parsed.out, DORVANTA_VERSION "\n") << parsed.err;
        EXPECT_EQ(parsed.err, "");
    }
    for (const std::string& program : Programs()) {
        const std::string page =
            Run("zcat " + Quote(Usr("share/man/man1/" + program + ".1.gz").string())).out;
        EXPECT_NE(
            page.find(".TH " + std::string(program == "dorvanta" ? "DORVANTA" : "DORVANTA-RENDER") +
                      " 1 \"" + iso + "\""),
            std::string::npos)
            << program;
    }

    // MIT: the licence text in LICENSE, the package's machine-readable copyright file and the
    // AppStream metainfo.
    const std::string licence = ReadFile(DORVANTA_SOURCE_DIR "/LICENSE");
    ASSERT_NE(licence.find("Copyright (c) 2026 The Dorvanta developers\n"), std::string::npos);
    const std::size_t permission = licence.find("Permission is hereby granted");
    ASSERT_NE(permission, std::string::npos);
    const std::string copyright = ReadFile(Usr("share/doc/dorvanta/copyright"));
    EXPECT_EQ(
        copyright.rfind(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0),
        0u);
    EXPECT_NE(copyright.find("\nCopyright: 2026 The Dorvanta developers\nLicense: Expat\n"),
              std::string::npos);
    // The stand-alone licence paragraph holds LICENSE's text, indented, "." for empty lines.
    const std::size_t paragraph = copyright.find("\n\nLicense: Expat\n");
    ASSERT_NE(paragraph, std::string::npos);
    std::string text = copyright.substr(paragraph + 17);
    ReplaceAll(text, "\n .\n", "\n\n");
    ReplaceAll(text, "\n ", "\n");
    EXPECT_EQ(text.substr(1), licence.substr(permission));
    if (DesktopProgramBuilt()) {
        const std::string meta = ReadFile(Usr("share/metainfo/org.dorvanta.dorvanta.metainfo.xml"));
        EXPECT_NE(meta.find("<release version=\"" DORVANTA_VERSION "\" date=\"" + iso + "\"/>"),
                  std::string::npos);
        EXPECT_NE(meta.find("<project_license>MIT</project_license>"), std::string::npos);
        EXPECT_NE(meta.find("<metadata_license>MIT</metadata_license>"), std::string::npos);
    }
}

TEST_F(InstalledTreeTest, ThumbnailerPaintsDatFilesAsAFileManagerRunsIt) {
    const std::string thumbnailer = ReadFile(Usr("share/thumbnailers/dorvanta.thumbnailer"));
    ASSERT_EQ(thumbnailer.rfind("[Thumbnailer Entry]\n", 0), 0u);
    EXPECT_TRUE(fs::exists(Usr("bin/" + EntryValue(thumbnailer, "TryExec"))));
    EXPECT_EQ(EntryValue(thumbnailer, "MimeType"), kMimeType + ";");
    ASSERT_EQ(RunInstalled("dorvanta-render --save-dat fig.dat").status, 0);
    std::ofstream(Work("broken.dat"), std::ios::binary) << "Dorvanta Version 4.0\r\n";

    // File managers put the size, the input and the output in place of %s, %i and %o.
    auto thumbnail = [&](const std::string& input, const std::string& output) {
        std::string exec = EntryValue(thumbnailer, "Exec");
        ReplaceAll(exec, "%s", "256");
        ReplaceAll(exec, "%i", Quote(Work(input).string()));
        ReplaceAll(exec, "%o", Quote(Work(output).string()));
        return RunInstalled(exec);
    };
    RunResult good = thumbnail("fig.dat", "thumb.png");
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(ReadFile(Work("thumb.png")).rfind("\x89PNG\r\n\x1a\n", 0), 0u);
    std::optional<PictureDimensions> size = ReadPictureDimensions(Work("thumb.png"));
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, 256);
    EXPECT_EQ(size->height, 192);

    RunResult bad = thumbnail("broken.dat", "broken.png");
    EXPECT_NE(bad.status, 0);
    EXPECT_FALSE(fs::exists(Work("broken.png")));
}

// Xfce's thumbnail service (tumbler) creates an empty output file, runs the thumbnailer and reads
// that file back: its own daemon, on a private session bus, finds the installed thumbnailer
// through XDG_DATA_DIRS and stores the thumbnail in its cache.
TEST_F(InstalledTreeTest, TumblerStoresTheThumbnailerPicture) {
    // The bus starts the daemon on the first call, as a desktop session does. The handle is typed:
    // gdbus cannot look the signature up while the daemon is still starting.
    const fs::path service = "/usr/share/dbus-1/services/org.xfce.Tumbler.Thumbnailer1.service";
    if (!fs::exists(service) || !ToolAvailable("dbus-run-session") || !ToolAvailable("gdbus")) {
        GTEST_SKIP() << "tumbler, dbus-run-session or gdbus is not installed";
    }
    ASSERT_EQ(RunInstalled("dorvanta-render --save-dat fig.dat").status, 0);
    fs::create_directories(Work("home"));
    const std::string uri = "file://" + Work("fig.dat").string();
    const std::string queue =
        "gdbus call --session --dest org.freedesktop.thumbnails.Thumbnailer1 --object-path "
        "/org/freedesktop/thumbnails/Thumbnailer1 --method "
        "org.freedesktop.thumbnails.Thumbnailer1.Queue \"['" +
        uri + "']\" \"['" + kMimeType + "']\" normal default 'uint32 0' >/dev/null";
    // Waits up to 30 s for the thumbnail; the daemon ends with the bus.
    const std::string wait =
        "for i in $(seq 300); do ls cache/thumbnails/normal/*.png >/dev/null 2>&1 && break; "
        "sleep 0.1; done";
    const std::string home = Quote(Work("home").string());
    RunResult r =
        RunInstalled("HOME=" + home + " XDG_DATA_HOME=" + home +
                     " XDG_CACHE_HOME=" + Quote(Work("cache").string()) +
                     " XDG_DATA_DIRS=" + Quote(Usr("share").string()) +
                     ":/usr/share dbus-run-session -- sh -c " + Quote(queue + "; " + wait));
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path folder = Work("cache/thumbnails/normal");
    ASSERT_TRUE(fs::exists(folder)) << r.err;
    ASSERT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << r.err;
    std::optional<PictureDimensions> size =
        ReadPictureDimensions(fs::directory_iterator(folder)->path());
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->width, 128);  // tumbler's "normal" size
    EXPECT_EQ(size->height, 96);
}

TEST_F(InstalledTreeTest, BashCompletionOffersEveryOptionAndFilesByKind) {
    if (!ToolAvailable("bash")) GTEST_SKIP() << "bash is not installed";
    for (const char* name :
         {"a.dat", "b.bmp", "c.jpg", "d.pov", "e.txt", "f.png", "g.svg", "h.mp4", "i.webm"}) {
        std::ofstream(Work(name)) << "";
    }
    const std::string script = Usr("share/bash-completion/completions/dorvanta-render").string();
    // The words typed so far, the last one being completed; the offers, sorted, one a line.
    auto complete = [&](const std::string& words) {
        return Run("bash -c " + Quote("source " + Quote(script) + "; COMP_WORDS=(dorvanta-render " +
                                      words + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); " +
                                      "_dorvanta_render; printf '%s\\n' \"${COMPREPLY[@]}\" | "
                                      "sort"))
            .out;
    };
    const std::string offered = complete("-");
    for (const std::string& option : OptionsIn(RunInstalled("dorvanta-render --help").out)) {
        EXPECT_NE(offered.find(option + "\n"), std::string::npos) << option;
    }
    EXPECT_EQ(complete("''"), "a.dat\nb.bmp\nc.jpg\nf.png\ng.svg\n");
    EXPECT_EQ(complete("-o ''"), "b.bmp\nc.jpg\nf.png\ng.svg\nh.mp4\ni.webm\n");
    EXPECT_EQ(complete("--ease l"), "linear\n");
    EXPECT_EQ(complete("--stroke h"), "hairline\n");
    EXPECT_EQ(complete("fig.dat --save-dat ''"), "a.dat\n");
    EXPECT_EQ(complete("--pov ''"), "d.pov\n");
    EXPECT_EQ(complete("--order ''"), "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n");
}

}  // namespace
