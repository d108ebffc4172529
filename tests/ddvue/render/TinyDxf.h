#pragma once
// Small drawings written out group by group, for tests that need exactly
// the entities they look at.

#include "ddvue/DDVueEngine.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tinydxf {

// One record's groups, as (code, value) pairs.
using Groups = std::vector<std::pair<int, std::string>>;

inline std::string num(double v)
{
    std::string s = std::to_string(v);
    return s;
}

class Drawing {
public:
    // A layer: color (negative: off), flags (1 frozen), linetype, lineweight.
    Drawing& layer(const std::string& name, int color = 7, int flags = 0, const std::string& linetype = "CONTINUOUS",
                   int lineweight = -3)
    {
        layers_.push_back({{0, "LAYER"}, {5, handle()}, {2, name}, {70, std::to_string(flags)},
                           {62, std::to_string(color)}, {6, linetype}, {370, std::to_string(lineweight)}});
        return *this;
    }
    // A linetype: its elements' lengths (a gap negative, a dot 0).
    Drawing& linetype(const std::string& name, const std::vector<double>& elements)
    {
        Groups g{{0, "LTYPE"}, {5, handle()}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbLinetypeTableRecord"},
                 {2, name}, {70, "0"}, {3, ""}, {72, "65"}, {73, std::to_string(elements.size())}};
        double total = 0;
        for (double e : elements) total += e < 0 ? -e : e;
        g.push_back({40, num(total)});
        for (double e : elements) {
            g.push_back({49, num(e)});
            g.push_back({74, "0"});
        }
        linetypes_.push_back(g);
        return *this;
    }
    // A header variable with its value's group code.
    Drawing& header(const std::string& name, int code, const std::string& value)
    {
        header_.push_back({{9, name}, {code, value}});
        return *this;
    }
    // A block definition with its base point and entities; `flags` 4 and a
    // path make it an external reference.
    Drawing& block(const std::string& name, std::vector<Groups> entities, double bx = 0, double by = 0, int flags = 0,
                   const std::string& path = std::string())
    {
        Groups head{{0, "BLOCK"}, {5, handle()}, {8, "0"}, {2, name}, {70, std::to_string(flags)},
                    {10, num(bx)},  {20, num(by)}, {30, "0"}};
        if (!path.empty()) head.push_back({1, path});
        blocks_.push_back(head);
        for (auto& e : entities) {
            blocks_.push_back(withHandle(e));
            blockHandles_[name].push_back(last_);
        }
        blocks_.push_back({{0, "ENDBLK"}, {5, handle()}, {8, "0"}});
        return *this;
    }
    // An entity of model space (or of paper space, with 67 = 1 among its groups).
    Drawing& add(Groups entity)
    {
        entities_.push_back(withHandle(entity));
        return *this;
    }
    // The handle the last added record got.
    const std::string& lastHandle() const { return last_; }
    // The handles of a block's entities, in order.
    const std::vector<std::string>& blockHandles(const std::string& block) { return blockHandles_[block]; }

    std::string text() const
    {
        std::string out;
        auto put = [&](const Groups& g) {
            for (auto& [code, value] : g) out += std::to_string(code) + "\n" + value + "\n";
        };
        put({{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {9, "$HANDSEED"}, {5, "FFFF"}});
        for (auto& h : header_) put(h);
        put({{0, "ENDSEC"}, {0, "SECTION"}, {2, "TABLES"}});
        if (!linetypes_.empty()) {
            put({{0, "TABLE"}, {2, "LTYPE"}, {70, std::to_string(linetypes_.size())}});
            for (auto& l : linetypes_) put(l);
            put({{0, "ENDTAB"}});
        }
        put({{0, "TABLE"}, {2, "LAYER"}, {70, std::to_string(layers_.size() + 1)}});
        put({{0, "LAYER"}, {5, "10"}, {2, "0"}, {70, "0"}, {62, "7"}, {6, "CONTINUOUS"}});
        for (auto& l : layers_) put(l);
        put({{0, "ENDTAB"}, {0, "ENDSEC"}, {0, "SECTION"}, {2, "BLOCKS"}});
        for (auto& b : blocks_) put(b);
        put({{0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"}});
        for (auto& e : entities_) put(e);
        put({{0, "ENDSEC"}, {0, "EOF"}});
        return out;
    }

    QString save(const QString& folder, const QString& name) const
    {
        QString path = QDir(folder).filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(QByteArray::fromStdString(text()));
        return path;
    }

private:
    std::string handle() { return last_ = toHex(next_++); }
    static std::string toHex(int v)
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", v);
        return buf;
    }
    Groups withHandle(Groups g)
    {
        g.insert(g.begin() + 1, {5, handle()});
        return g;
    }

    int next_ = 0x100;
    std::string last_;
    std::vector<Groups> layers_, blocks_, entities_, linetypes_, header_;
    std::map<std::string, std::vector<std::string>> blockHandles_;
};

// Entities.
inline Groups line(double x0, double y0, double x1, double y1, const std::string& layer = "0", int color = 256)
{
    return {{0, "LINE"}, {8, layer}, {62, std::to_string(color)}, {10, num(x0)}, {20, num(y0)}, {30, "0"},
            {11, num(x1)}, {21, num(y1)}, {31, "0"}};
}
inline Groups circle(double x, double y, double r, const std::string& layer = "0")
{
    return {{0, "CIRCLE"}, {8, layer}, {10, num(x)}, {20, num(y)}, {30, "0"}, {40, num(r)}};
}
inline Groups point(double x, double y, const std::string& layer = "0", int color = 256)
{
    return {{0, "POINT"}, {8, layer}, {62, std::to_string(color)}, {10, num(x)}, {20, num(y)}, {30, "0"}};
}
inline Groups insert(const std::string& block, double x, double y, double sx = 1, double sy = 1, double rot = 0,
                     const std::string& layer = "0", int color = 256)
{
    return {{0, "INSERT"}, {8, layer}, {62, std::to_string(color)}, {2, block}, {10, num(x)}, {20, num(y)},
            {30, "0"},     {41, num(sx)}, {42, num(sy)}, {50, num(rot)}};
}
inline Groups text(const std::string& value, double x, double y, double h, int hjust = 0, int vjust = 0,
                   const std::string& layer = "0")
{
    return {{0, "TEXT"},    {8, layer},  {10, num(x)},  {20, num(y)},   {30, "0"},
            {40, num(h)},   {1, value},  {72, std::to_string(hjust)},   {11, num(x)},
            {21, num(y)},   {31, "0"},   {73, std::to_string(vjust)}};
}
inline Groups mtext(const std::string& value, double x, double y, double h, int attach = 1, double width = 0)
{
    return {{0, "MTEXT"}, {8, "0"}, {10, num(x)}, {20, num(y)}, {30, "0"}, {40, num(h)}, {41, num(width)},
            {71, std::to_string(attach)}, {1, value}};
}

inline Groups attrib(const std::string& tag, const std::string& value, double x, double y, double h)
{
    return {{0, "ATTRIB"}, {8, "0"}, {10, num(x)}, {20, num(y)}, {30, "0"}, {40, num(h)}, {1, value}, {2, tag},
            {70, "0"}};
}
inline Groups seqend() { return {{0, "SEQEND"}, {8, "0"}}; }

// Opens drawing text with an engine.
inline bool open(ddvue::DDVueEngine& engine, const QString& path)
{
    QString p = path;
    return engine.OpenDrawing(p);
}

}  // namespace tinydxf
