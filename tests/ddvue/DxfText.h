#pragma once
// Small DXF drawings written out group by group, for tests that need exact
// control over what the file holds.

#include <string>
#include <utility>
#include <vector>

namespace dxftext {

using Groups = std::vector<std::pair<int, std::string>>;

struct Style {
    std::string eol = "\r\n";
    bool padCodes = true;  // "  0" rather than "0"
};

inline std::string write(const Groups& groups, const Style& style = {})
{
    std::string out;
    for (const auto& [code, value] : groups) {
        std::string c = std::to_string(code);
        if (style.padCodes && c.size() < 3) c.insert(0, 3 - c.size(), ' ');
        out += c + style.eol + value + style.eol;
    }
    return out;
}

inline Groups header(const std::string& acadver = "AC1015", const std::string& codepage = "ANSI_1252")
{
    return {{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, acadver},     {9, "$DWGCODEPAGE"},
            {3, codepage},  {9, "$HANDSEED"}, {5, "100"}, {0, "ENDSEC"}};
}

inline Groups layerTable(const Groups& layers)
{
    Groups g = {{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {70, "2"}};
    g.insert(g.end(), layers.begin(), layers.end());
    g.insert(g.end(), {{0, "ENDTAB"}, {0, "ENDSEC"}});
    return g;
}

inline Groups section(const std::string& name, const Groups& content)
{
    Groups g = {{0, "SECTION"}, {2, name}};
    g.insert(g.end(), content.begin(), content.end());
    g.push_back({0, "ENDSEC"});
    return g;
}

inline Groups join(std::initializer_list<Groups> parts)
{
    Groups g;
    for (const auto& p : parts) g.insert(g.end(), p.begin(), p.end());
    return g;
}

// A drawing with two layers, a block with two attribute definitions, a TEXT,
// an INSERT with two ATTRIBs and an MTEXT in model space.
inline Groups titleBlockDrawing(const std::string& acadver = "AC1015")
{
    return join({
        header(acadver),
        layerTable({{0, "LAYER"}, {5, "10"}, {2, "0"}, {70, "0"}, {62, "7"}, {6, "CONTINUOUS"},
                    {0, "LAYER"}, {5, "11"}, {2, "Notes"}, {70, "0"}, {62, "-3"}, {6, "CONTINUOUS"}}),
        section("BLOCKS",
                {{0, "BLOCK"}, {5, "20"}, {8, "0"}, {2, "TB"}, {70, "2"}, {10, "0"}, {20, "0"}, {30, "0"}, {3, "TB"},
                 {0, "ATTDEF"}, {5, "21"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {40, "2.5"}, {1, ""},
                 {3, "Sheet?"}, {2, "SHEET"}, {70, "0"},
                 {0, "ATTDEF"}, {5, "22"}, {8, "0"}, {10, "0"}, {20, "5"}, {30, "0"}, {40, "2.5"}, {1, "X"},
                 {3, "Fixed"}, {2, "FIXED"}, {70, "2"},
                 {0, "ENDBLK"}, {5, "23"}, {8, "0"}}),
        section("ENTITIES",
                {{0, "TEXT"}, {5, "30"}, {8, "Notes"}, {10, "1.5"}, {20, "2"}, {30, "0"}, {40, "2.5"}, {1, "Hello"},
                 {0, "INSERT"}, {5, "31"}, {8, "0"}, {66, "1"}, {2, "TB"}, {10, "10"}, {20, "20"}, {30, "0"},
                 {0, "ATTRIB"}, {5, "32"}, {8, "0"}, {10, "10"}, {20, "20"}, {30, "0"}, {40, "2.5"}, {1, "A-101"},
                 {2, "SHEET"}, {70, "0"},
                 {0, "ATTRIB"}, {5, "33"}, {8, "0"}, {10, "10"}, {20, "25"}, {30, "0"}, {40, "2.5"}, {1, "Rev B"},
                 {2, "REV"}, {70, "0"},
                 {0, "SEQEND"}, {5, "34"}, {8, "0"},
                 {0, "MTEXT"}, {5, "35"}, {8, "Notes"}, {10, "0"}, {20, "5"}, {30, "0"}, {40, "2.5"}, {41, "100"},
                 {1, "First\\PSecond"}, {7, "Standard"}}),
        {{0, "EOF"}},
    });
}

}  // namespace dxftext
