// A numbered save writes a picture and a parameter file side by side; opening the parameter file
// must paint that very picture again, whatever values the keys and random choices left.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "document/dib_doc.h"
#include "document/numbered_files.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace {

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The picture block of a document as the bytes a BMP file holds after its 14-byte header.
std::vector<char> PictureBytes(const CDibDoc& doc) {
    const auto* bytes = reinterpret_cast<const char*>(doc.m_hDIB->Bytes());
    return {bytes, bytes + doc.m_hDIB->Size()};
}

}  // namespace

TEST(ReproducibleSaves, ANumberedParameterFilePaintsThePictureSavedBesideIt) {
    TempDir dir;
    ScriptedPrompts ui;
    g_nFileCounter = 0;
    g_nLastSeedTime = -1;
    CDibDoc doc(ui);
    ASSERT_TRUE(doc.OnNewDocument());
    doc.m_bPathConfirmed = true;
    doc.m_figure.SetNamesFromPath(dir.File("Walk.dat"));
    // Moves as the arrow keys make them (whole pixels of the painted picture) and a random
    // colouring with a random magnification: none of them fits five decimals.
    doc.m_figure.m_dCentreX += 37 * doc.m_figure.m_transform.inverseScale;
    doc.m_figure.m_dCentreY -= 11 * doc.m_figure.m_transform.inverseScale;
    ASSERT_TRUE(doc.RandomColours(true));
    ASSERT_TRUE(ui.messages.empty());

    std::vector<char> saved = ReadBytes(dir.File("Walk1.bmp"));
    ASSERT_EQ(saved.size(), 3240054u);
    ASSERT_EQ(std::vector<char>(saved.begin() + 14, saved.end()), PictureBytes(doc));

    CDibDoc reopened(ui);
    ASSERT_TRUE(reopened.OnOpenDocument(dir.File("Walk1.dat")));
    EXPECT_EQ(reopened.m_figure.m_dMagnExp, doc.m_figure.m_dMagnExp);
    EXPECT_EQ(reopened.m_figure.m_dCentreX, doc.m_figure.m_dCentreX);
    EXPECT_EQ(reopened.m_figure.m_dCentreY, doc.m_figure.m_dCentreY);
    std::vector<char> repainted = PictureBytes(reopened);
    ASSERT_EQ(repainted.size(), saved.size() - 14);
    int differing = 0;
    for (std::size_t i = 0; i < repainted.size(); ++i) differing += repainted[i] != saved[i + 14];
    EXPECT_EQ(differing, 0) << "bytes painted differently from the saved picture";
}
