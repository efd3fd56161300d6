#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QXmlStreamReader>
#include <fstream>
#include <string>

#include "document/dat_file.h"
#include "figure/figure_engine.h"
#include "support/temp_dir.h"

namespace {

QString DataFile(const char* name) {
    return QString(DORVANTA_SOURCE_DIR "/data/") + name;
}

QStringList Lines(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << path.toStdString();
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// The attribute values of every element with the given name in an XML file.
QStringList Attributes(const QString& path, const QString& element, const QString& attribute) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList values;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == element) {
            values << xml.attributes().value(attribute).toString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return values;
}

}  // namespace

TEST(DesktopFiles, LauncherOpensParameterFilesWithTheProgram) {
    const QStringList lines = Lines(DataFile("dorvanta.desktop"));
    EXPECT_EQ(lines.value(0), "[Desktop Entry]");
    EXPECT_TRUE(lines.contains("Exec=dorvanta %f"));
    EXPECT_TRUE(lines.contains("MimeType=application/x-dorvanta-dat;"));
    EXPECT_TRUE(lines.contains("Icon=dorvanta"));
    EXPECT_TRUE(QFile::exists(DataFile("dorvanta.svg")));
}

TEST(DesktopFiles, FileTypeMatchesWhatTheProgramWrites) {
    const QString mime = DataFile("dorvanta-mime.xml");
    EXPECT_EQ(Attributes(mime, "mime-type", "type"), QStringList{"application/x-dorvanta-dat"});
    // No *.dat glob: file managers take a single glob match without looking inside, so it would
    // claim the .dat files of every other program. The heading alone decides.
    EXPECT_EQ(Attributes(mime, "glob", "pattern"), QStringList{});
    const QStringList magic = Attributes(mime, "match", "value");
    ASSERT_EQ(magic.size(), 1);

    // A parameter file the program saves starts with the heading the type looks for.
    TempDir dir;
    FigureEngine figure;
    ASSERT_EQ(SaveDatFile(figure, dir.File("fig.dat")), 0);
    std::ifstream file(dir.File("fig.dat"), std::ios::binary);
    std::string heading(magic[0].size(), '\0');
    file.read(heading.data(), static_cast<std::streamsize>(heading.size()));
    EXPECT_EQ(heading, magic[0].toStdString());
}
