#include "document/file_names.h"

#include <algorithm>
#include <cctype>

#include "document/dib_doc.h"

namespace {

// "/" joins the stored separators so that paths of this platform split the same way.
constexpr const char* kSeparators = "\\:/";

std::size_t FileNameStart(const std::string& path) {
    std::size_t last = path.find_last_of(kSeparators);
    return last == std::string::npos ? 0 : last + 1;
}

// Position of the first "." of the file-name part, or npos.
std::size_t ExtensionDot(const std::string& path) {
    return path.find('.', FileNameStart(path));
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::string lower(a);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == b;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    return path.substr(0, FileNameStart(path));
}

std::string FileTitleOf(const std::string& path) {
    std::size_t start = FileNameStart(path);
    std::size_t dot = ExtensionDot(path);
    return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

std::string ExtensionOf(const std::string& path) {
    std::size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string StripAtFirstDot(const std::string& path) {
    return path.substr(0, ExtensionDot(path));
}

int FileKindOf(const std::string& path) {
    std::string extension = ExtensionOf(path);
    if (EqualsIgnoringCase(extension, "bmp")) return FILE_KIND_BMP;
    if (EqualsIgnoringCase(extension, "dat")) return FILE_KIND_DAT;
    if (EqualsIgnoringCase(extension, "jpg")) return FILE_KIND_JPG;
    if (EqualsIgnoringCase(extension, "png")) return FILE_KIND_PNG;
    if (EqualsIgnoringCase(extension, "svg")) return FILE_KIND_SVG;
    return FILE_KIND_OTHER;
}

int FileKindOfLastExtension(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < FileNameStart(path)) return FILE_KIND_OTHER;
    return FileKindOf(path.substr(dot));
}
