#include "document/file_names.h"

#include <gtest/gtest.h>

#include "document/dib_doc.h"

TEST(FileKindOf, KnowsTheThreeExtensionsInAnyCase) {
    EXPECT_EQ(FileKindOf("x.JPG"), FILE_KIND_JPG);
    EXPECT_EQ(FileKindOf("x.jpg"), FILE_KIND_JPG);
    EXPECT_EQ(FileKindOf("picture.Bmp"), FILE_KIND_BMP);
    EXPECT_EQ(FileKindOf("FIG.DAT"), FILE_KIND_DAT);
    EXPECT_EQ(FileKindOf("C:\\my.dir\\a.dat"), FILE_KIND_DAT);
}

TEST(FileKindOf, RefusesOtherAndCompoundExtensions) {
    EXPECT_EQ(FileKindOf("x.jpeg"), FILE_KIND_OTHER);
    EXPECT_EQ(FileKindOf("a.b.dat"), FILE_KIND_OTHER);  // only the first "." counts
    EXPECT_EQ(FileKindOf("archive.tar.dat"), FILE_KIND_OTHER);
    EXPECT_EQ(FileKindOf("noextension"), FILE_KIND_OTHER);
    EXPECT_EQ(FileKindOf(""), FILE_KIND_OTHER);
    EXPECT_EQ(FileKindOf("C:\\dir.bmp\\file"), FILE_KIND_OTHER);  // a dot in the folder only
}

TEST(FileNames, SplitAWindowsPathAtTheLastSeparator) {
    const std::string path = "C:\\my.dir\\a.dat";
    EXPECT_EQ(FileTitleOf(path), "a");
    EXPECT_EQ(DirectoryOf(path), "C:\\my.dir\\");
    EXPECT_EQ(ExtensionOf(path), "dat");
    EXPECT_EQ(StripAtFirstDot(path), "C:\\my.dir\\a");
}

TEST(FileNames, TreatTheDriveColonAsASeparator) {
    EXPECT_EQ(DirectoryOf("C:fig.dat"), "C:");
    EXPECT_EQ(FileTitleOf("C:fig.dat"), "fig");
}

TEST(FileNames, SplitPathsOfThisPlatformAtSlashes) {
    const std::string path = "/tmp/my.dir/fig.2.dat";
    EXPECT_EQ(DirectoryOf(path), "/tmp/my.dir/");
    EXPECT_EQ(FileTitleOf(path), "fig");
    EXPECT_EQ(ExtensionOf(path), "2.dat");
    EXPECT_EQ(StripAtFirstDot(path), "/tmp/my.dir/fig");
}

TEST(FileNames, WithoutADotTheWholeNameIsTheTitle) {
    EXPECT_EQ(FileTitleOf("C:\\work\\Spiral"), "Spiral");
    EXPECT_EQ(ExtensionOf("C:\\work\\Spiral"), "");
    EXPECT_EQ(StripAtFirstDot("C:\\w.x\\Spiral"), "C:\\w.x\\Spiral");
    EXPECT_EQ(DirectoryOf("Spiral.dat"), "");
    EXPECT_EQ(FileTitleOf(""), "");
}

TEST(FileNames, PartsJoinToThePathAgain) {
    for (std::string path : {"C:\\my.dir\\a.dat", "a.b.c", "/x/y:z\\w.jpg", ".bmp", "d:\\.dat"}) {
        EXPECT_EQ(DirectoryOf(path) + FileTitleOf(path) + "." + ExtensionOf(path), path) << path;
    }
}
