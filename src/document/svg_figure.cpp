// The figure an SVG export carries in its <metadata>: the parameter text, byte for byte, as the
// text of one element of our own namespace. Each byte stands for the character of the same
// number (so Windows-1252 comments survive whatever their bytes); CR is written as a character
// reference, which XML readers keep, and a text with control bytes XML cannot hold is written in
// base64 instead.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "document/svg_export.h"
#include "picture/safe_file.h"

namespace {

constexpr char kNamespace[] = "urn:x-dorvanta:figure";
// A carried figure lies near the start of the file; a file without one is not read to its end.
constexpr std::size_t kSearchLimit = std::size_t{16} << 20;
constexpr int kMaxSide = 1 << 30;
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// XML 1.0 holds no control character but tab, line feed and carriage return.
bool XmlHolds(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
    });
}

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '\r' || (byte >= 0x7f && byte < 0xa0)) {
            out += "&#" + std::to_string(byte) + ";";
        } else if (byte >= 0xa0) {  // the character of this number, in UTF-8
            out += static_cast<char>(0xc0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3f));
        } else {
            out += c;
        }
    }
    return out;
}

std::string Base64(std::string_view text) {
    std::string out;
    for (std::size_t n = 0; n < text.size(); n += 3) {
        std::uint32_t group = 0;
        const std::size_t count = std::min<std::size_t>(3, text.size() - n);
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < count ? static_cast<unsigned char>(text[n + k]) : 0);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= count ? kBase64[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
    std::string out;
    std::uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=' || c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        const char* at = std::strchr(kBase64, c);
        if (at == nullptr || c == '\0') return std::nullopt;
        group = group << 6 | static_cast<std::uint32_t>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((group >> bits) & 0xff);
        }
    }
    return out;
}

// The character at text[at] (a reference, or UTF-8) as the byte it stands for; advances at.
std::optional<char> NextByte(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead == '&') {
        const std::size_t end = text.find(';', at);
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view name = text.substr(at + 1, end - at - 1);
        at = end + 1;
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        for (const auto& [entity, byte] : kNamed) {
            if (name == entity) return byte;
        }
        if (name.size() < 2 || name[0] != '#') return std::nullopt;
        const bool hex = name[1] == 'x';
        unsigned value = 256;
        const char* first = name.data() + (hex ? 2 : 1);
        const auto [end2, ec] =
            std::from_chars(first, name.data() + name.size(), value, hex ? 16 : 10);
        if (ec != std::errc() || end2 != name.data() + name.size() || value > 255) {
            return std::nullopt;
        }
        return static_cast<char>(value);
    }
    ++at;
    if (lead < 0x80) return static_cast<char>(lead);
    // Two-byte UTF-8 of a character up to U+00FF.
    if ((lead & 0xfe) != 0xc2 || at >= text.size()) return std::nullopt;
    const auto trail = static_cast<unsigned char>(text[at++]);
    if ((trail & 0xc0) != 0x80) return std::nullopt;
    return static_cast<char>((lead & 0x03) << 6 | (trail & 0x3f));
}

// The bytes of element content: text, references and CDATA sections, no other markup.
std::optional<std::string> ContentBytes(std::string_view content) {
    std::string out;
    for (std::size_t at = 0; at < content.size();) {
        if (content.compare(at, 9, "<![CDATA[") == 0) {
            const std::size_t end = content.find("]]>", at);
            if (end == std::string_view::npos) return std::nullopt;
            for (std::size_t inner = at + 9; inner < end;) {
                if (content[inner] == '&') {  // not a reference inside CDATA
                    out += '&';
                    ++inner;
                    continue;
                }
                const auto byte = NextByte(content.substr(0, end), inner);
                if (!byte) return std::nullopt;
                out += *byte;
            }
            at = end + 3;
            continue;
        }
        if (content[at] == '<') return std::nullopt;
        const auto byte = NextByte(content, at);
        if (!byte) return std::nullopt;
        out += *byte;
    }
    return out;
}

// The value of attribute name in a start tag, quoted either way.
std::optional<std::string_view> AttributeOf(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos;
         at = tag.find(name, at + 1)) {
        const bool starts = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\n' ||
                                       tag[at - 1] == '\t' || tag[at - 1] == '\r');
        std::size_t eq = at + name.size();
        while (eq < tag.size() && (tag[eq] == ' ' || tag[eq] == '\n')) ++eq;
        if (!starts || eq + 1 >= tag.size() || tag[eq] != '=') continue;
        std::size_t open = eq + 1;
        while (open < tag.size() && (tag[open] == ' ' || tag[open] == '\n')) ++open;
        if (open >= tag.size() || (tag[open] != '"' && tag[open] != '\'')) continue;
        const std::size_t close = tag.find(tag[open], open + 1);
        if (close == std::string_view::npos) return std::nullopt;
        return tag.substr(open + 1, close - open - 1);
    }
    return std::nullopt;
}

bool IntAttribute(std::string_view tag, std::string_view name, int low, int high, int& value) {
    const auto text = AttributeOf(tag, name);
    if (!text) return false;
    int parsed = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), parsed);
    if (ec != std::errc() || end != text->data() + text->size() || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

// The prefix the document binds to our namespace ("dorvanta" as written; another program saving
// the file again may choose its own).
std::optional<std::string> PrefixOf(std::string_view text) {
    for (const char quote : {'"', '\''}) {
        const std::string uri = std::string(1, quote) + kNamespace + quote;
        const std::size_t at = text.find(uri);
        if (at == std::string_view::npos) continue;
        std::size_t eq = at;
        while (eq > 0 && text[eq - 1] == ' ') --eq;
        if (eq == 0 || text[eq - 1] != '=') continue;
        const std::size_t xmlns = text.rfind("xmlns:", eq);
        if (xmlns == std::string_view::npos) continue;
        std::string prefix(text.substr(xmlns + 6, eq - 1 - xmlns - 6));
        prefix.erase(prefix.find_last_not_of(' ') + 1);
        if (!prefix.empty()) return prefix;
    }
    return std::nullopt;
}

}  // namespace

std::string SvgFigureMetadata(const SvgFigure& figure) {
    const bool plain = XmlHolds(figure.parameterText);
    std::string text = "<metadata id=\"dorvanta-figure\"><dorvanta:figure xmlns:dorvanta=\"" +
                       std::string(kNamespace) + "\" width=\"" + std::to_string(figure.width) +
                       "\" height=\"" + std::to_string(figure.height) + "\"";
    if (figure.order >= 0) text += " order=\"" + std::to_string(figure.order) + "\"";
    if (!plain) text += " encoding=\"base64\"";
    text += ">";
    text += plain ? Escaped(figure.parameterText) : Base64(figure.parameterText);
    return text + "</dorvanta:figure></metadata>\n";
}

bool ParseSvgFigure(std::string_view text, SvgFigure& figure) {
    const auto prefix = PrefixOf(text);
    if (!prefix) return false;
    const std::string open = "<" + *prefix + ":figure", close = "</" + *prefix + ":figure>";
    std::size_t start = text.find(open);
    while (start != std::string_view::npos && start + open.size() < text.size() &&
           std::string_view(" \t\r\n>").find(text[start + open.size()]) == std::string_view::npos) {
        start = text.find(open, start + 1);
    }
    if (start == std::string_view::npos) return false;
    const std::size_t tagEnd = text.find('>', start);
    const std::size_t end = text.find(close, start);
    if (tagEnd == std::string_view::npos || end == std::string_view::npos || end < tagEnd) {
        return false;
    }
    const std::string_view tag = text.substr(start, tagEnd - start);
    SvgFigure read;
    if (!IntAttribute(tag, "width", 1, kMaxSide, read.width) ||
        !IntAttribute(tag, "height", 1, kMaxSide, read.height)) {
        return false;
    }
    if (AttributeOf(tag, "order") && !IntAttribute(tag, "order", 0, 9, read.order)) return false;
    const std::string_view content = text.substr(tagEnd + 1, end - tagEnd - 1);
    const auto encoding = AttributeOf(tag, "encoding");
    const auto bytes =
        encoding && *encoding == "base64" ? FromBase64(content) : ContentBytes(content);
    if (!bytes || (encoding && *encoding != "base64")) return false;
    read.parameterText = *bytes;
    figure = std::move(read);
    return true;
}

bool ReadSvgFigure(const std::string& path, SvgFigure& figure, std::string& reason) {
    std::FILE* file = OpenForReadingWithoutWaiting(path);
    if (file == nullptr) {
        reason = "cannot read " + path;
        return false;
    }
    // Read block by block until the carrying element has ended.
    std::string text;
    char block[65536];
    bool found = false;
    while (!found && text.size() < kSearchLimit) {
        const std::size_t count = std::fread(block, 1, sizeof block, file);
        if (count == 0) break;
        const std::size_t from = text.size() > 16 ? text.size() - 16 : 0;
        text.append(block, count);
        found = text.find(":figure>", from) != std::string::npos && ParseSvgFigure(text, figure);
    }
    std::fclose(file);
    if (!found) reason = path + " is an SVG without a Dorvanta figure";
    return found;
}
