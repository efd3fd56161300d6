// Reads the SVG files the export writes, for the tests: the elements with their attributes and
// the Inkscape layer each lies in, path data as points, and whether the nesting is sound.
#pragma once

#include <map>
#include <string>
#include <vector>

struct SvgElement {
    std::string name;
    std::map<std::string, std::string> attributes;
    int layer = -1;  // index into SvgDocument::layers of the enclosing layer, -1 outside
    std::string Attribute(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? std::string() : it->second;
    }
};

struct SvgDocument {
    bool wellFormed = false;
    std::string error;
    std::vector<SvgElement> elements;  // in document order, the root first
    std::vector<std::string> layers;   // labels of the layer groups, in document order
};

SvgDocument ReadSvg(const std::string& text);

struct SvgPoint {
    double x = 0.0;
    double y = 0.0;
};
// The subpaths of path data made of M, L and Z (absolute); commands receives every command
// letter met. A closed subpath ends with its first point again.
std::vector<std::vector<SvgPoint>> PathPoints(const std::string& d,
                                              std::string* commands = nullptr);

// Runs a command line; its exit status, or -1 when it did not exit normally.
int RunCommand(const std::string& command);
// True when the program can be found on PATH.
bool ProgramAvailable(const std::string& name);
