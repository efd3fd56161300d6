#include "support/svg_reader.h"

#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '-' || c == '_' ||
           c == '.';
}

// Reads the attributes of a start tag from text[at] up to ">" or "/>"; false when malformed.
bool ReadAttributes(const std::string& text, std::size_t& at,
                    std::map<std::string, std::string>& attributes, bool& empty) {
    while (at < text.size()) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        if (text.compare(at, 2, "/>") == 0) {
            empty = true;
            at += 2;
            return true;
        }
        if (at < text.size() && text[at] == '>') {
            empty = false;
            ++at;
            return true;
        }
        const std::size_t start = at;
        while (at < text.size() && IsNameChar(text[at])) ++at;
        if (at == start || at + 1 >= text.size() || text[at] != '=' || text[at + 1] != '"') {
            return false;
        }
        const std::string key = text.substr(start, at - start);
        const std::size_t close = text.find('"', at + 2);
        if (close == std::string::npos) return false;
        const std::string value = text.substr(at + 2, close - at - 2);
        if (value.find_first_of("<&") != std::string::npos) return false;
        if (!attributes.emplace(key, value).second) return false;  // duplicate attribute
        at = close + 1;
    }
    return false;
}

}  // namespace

SvgDocument ReadSvg(const std::string& text) {
    SvgDocument doc;
    std::vector<std::pair<std::string, int>> open;  // element name, layer it opened (or -1)
    std::size_t at = 0;
    auto fail = [&doc, &at](const std::string& why) {
        doc.error = why + " at byte " + std::to_string(at);
        return doc;
    };
    bool rootSeen = false;
    while (true) {
        const std::size_t lt = text.find('<', at);
        if (lt == std::string::npos) break;
        if (open.empty() && text.find_first_not_of(" \r\n\t", at) < lt) return fail("text outside");
        at = lt;
        if (text.compare(at, 2, "<?") == 0 || text.compare(at, 4, "<!--") == 0) {
            const std::string end = text[at + 1] == '?' ? "?>" : "-->";
            const std::size_t close = text.find(end, at);
            if (close == std::string::npos) return fail("unclosed declaration");
            at = close + end.size();
            continue;
        }
        if (text.compare(at, 2, "</") == 0) {
            const std::size_t close = text.find('>', at);
            if (close == std::string::npos || open.empty()) return fail("stray end tag");
            if (text.substr(at + 2, close - at - 2) != open.back().first) {
                return fail("end tag does not match " + open.back().first);
            }
            open.pop_back();
            at = close + 1;
            continue;
        }
        ++at;
        const std::size_t start = at;
        while (at < text.size() && IsNameChar(text[at])) ++at;
        if (at == start) return fail("bad tag");
        if (open.empty() && rootSeen) return fail("second root");
        rootSeen = true;
        SvgElement element;
        element.name = text.substr(start, at - start);
        bool empty = false;
        if (!ReadAttributes(text, at, element.attributes, empty)) return fail("bad attributes");
        for (auto it = open.rbegin(); it != open.rend(); ++it) {
            if (it->second >= 0) {
                element.layer = it->second;
                break;
            }
        }
        int layer = -1;
        if (element.name == "g" && element.Attribute("inkscape:groupmode") == "layer") {
            layer = static_cast<int>(doc.layers.size());
            doc.layers.push_back(element.Attribute("inkscape:label"));
        }
        doc.elements.push_back(element);
        if (!empty) open.emplace_back(element.name, layer);
    }
    if (!open.empty()) return fail("unclosed " + open.back().first);
    if (!rootSeen) return fail("no root");
    doc.wellFormed = true;
    return doc;
}

std::vector<std::vector<SvgPoint>> PathPoints(const std::string& d, std::string* commands) {
    std::vector<std::vector<SvgPoint>> paths;
    std::string normalised;
    for (char c : d) {
        if (std::isalpha(static_cast<unsigned char>(c))) {
            if (commands) commands->push_back(c);
            normalised += ' ';
            normalised += c;
            normalised += ' ';
        } else {
            normalised += c == ',' ? ' ' : c;
        }
    }
    std::istringstream in(normalised);
    std::string token;
    while (in >> token) {
        if (token == "Z") {
            if (!paths.empty() && !paths.back().empty()) paths.back().push_back(paths.back()[0]);
            continue;
        }
        SvgPoint p;
        if (!(in >> p.x >> p.y)) break;
        if (token == "M") paths.emplace_back();
        if (!paths.empty()) paths.back().push_back(p);
    }
    return paths;
}

int RunCommand(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool ProgramAvailable(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}
