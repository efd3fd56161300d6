// Splitting of file paths into directory, title and extension, as every file operation of the
// document uses it. Separators are "\" and ":" as in the stored paths, and "/" on this platform.
// Only the first "." of the file-name part counts, so "a.b.dat" has the extension "b.dat".
#pragma once

#include <string>

// Everything up to and including the last separator; empty when there is none.
std::string DirectoryOf(const std::string& path);
// The file-name part up to its first "."; the whole file-name part when it has none.
std::string FileTitleOf(const std::string& path);
// The text after the first "." of the file-name part; empty when it has none.
std::string ExtensionOf(const std::string& path);
// The path without the "." that begins the extension and everything after it.
std::string StripAtFirstDot(const std::string& path);
// FILE_KIND_BMP, FILE_KIND_DAT, FILE_KIND_JPG, FILE_KIND_PNG or FILE_KIND_SVG by the extension
// (any case), else FILE_KIND_OTHER.
int FileKindOf(const std::string& path);
// The same by the text after the last "." of the file-name part ("out.v2.png" is a PNG).
int FileKindOfLastExtension(const std::string& path);
