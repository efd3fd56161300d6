// Exports that fail say why: a full disk or a file-size limit names the system's cause, and a
// picture without pixels is not "too large".
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "document/dib_doc.h"
#include "document/poster_file.h"
#include "document/svg_export.h"
#include "figure/band_painting.h"
#include "figure/figure_engine.h"
#include "picture/dib_image.h"
#include "picture/row_sink.h"
#include "support/file_size_limit.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

TEST(FailureCauses, WritesThatRunOutOfRoomNameTheCause) {
    TempDir dir;
    auto figure = std::make_unique<FigureEngine>();
    figure->m_nWidth = 400;
    figure->m_nHeight = 300;
    figure->UpdateTransform();
    const struct {
        std::string name;
        int kind;             // FILE_KIND_SVG goes through the SVG export
        std::string message;  // the path follows the first part
        std::string cause;
    } cases[] = {
        {"poster.bmp", FILE_KIND_BMP, "Failed to write: ", "\nFile too large"},
        {"poster.png", FILE_KIND_PNG, "Failed to write: ", "\nFile too large"},
        {"figure.svg", FILE_KIND_SVG, "Could not write the SVG file ", ": File too large"}};
    for (const auto& c : cases) {
        ScriptedPrompts ui;
        const std::string path = dir.File(c.name);
        bool written = true;
        ASSERT_TRUE(WithFilesLimitedTo(8192, [&] {
            written = c.kind == FILE_KIND_SVG ? SaveSvgFile(*figure, SvgOptions{}, path, ui)
                                              : WritePosterFile(*figure, -1, path, c.kind, 90, "",
                                                                2, ui) == StreamResult::Written;
        }));
        EXPECT_FALSE(written) << c.name;
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message + path + c.cause}) << c.name;
    }
}

TEST(FailureCauses, ABmpPosterOnAFullDiskSaysSo) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
    ScriptedPrompts ui;
    bool written = true;
    {
        BmpRowWriter writer(full, "poster.bmp", 2000, 1000, ui);
        const std::vector<std::uint8_t> row(3 * 2000);
        written = writer.Start();
        for (int r = 0; written && r < 1000; ++r) written = writer.WriteRow(row.data());
        written = written && writer.Finish();
    }
    std::fclose(full);
    EXPECT_FALSE(written);
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Failed to write: poster.bmp\nNo space left on device"});
}

TEST(FailureCauses, APictureWithoutPixelsIsNotTooLarge) {
    const std::string expected = "A picture needs a positive width and height, not 0 x 900.";
    ScriptedPrompts ui;
    DibHandle handle;
    EXPECT_FALSE(DibAllocatePicture(handle, 0, 900, ui));
    auto figure = std::make_unique<FigureEngine>();
    figure->m_nWidth = 0;
    figure->m_nHeight = 900;
    struct NoRows : RowSink {
        bool BottomUp() const override { return true; }
        bool WriteRow(const std::uint8_t*) override { return true; }
    } sink;
    EXPECT_EQ(PaintIntoSink(*figure, -1, sink, 2, ui), StreamResult::Failed);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{expected, expected}));
}
