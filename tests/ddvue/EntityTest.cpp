// The entity layer: its declared attributes read what ezdxf reads from the
// same groups, on drawings of several versions; reading through it leaves the
// file's bytes alone; changes through it are read back by it and by ezdxf.

#include "TestPaths.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Entity.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <variant>

using namespace ddvue::dxf;

namespace {

using Attr = std::variant<RealAttr, IntAttr, TextAttr, PointAttr>;

// ezdxf's names for the attributes of each type, and the declarations that
// the program reads them through.
const std::map<std::string, Attr>& commonAttrs()
{
    static const std::map<std::string, Attr> m{
        {"layer", def::Entity::layer},           {"color", def::Entity::color},
        {"true_color", def::Entity::trueColor},  {"invisible", def::Entity::invisible},
        {"paperspace", def::Entity::paperSpace}, {"extrusion", def::Entity::extrusion},
    };
    return m;
}

std::map<std::string, Attr> textAttrs()
{
    return {{"text", def::Text::value},       {"insert", def::Text::insert},
            {"align_point", def::Text::alignPoint}, {"height", def::Text::height},
            {"width", def::Text::widthFactor}, {"rotation", def::Text::rotation},
            {"oblique", def::Text::oblique},   {"style", def::Text::style},
            {"text_generation_flag", def::Text::generation}, {"halign", def::Text::halign},
            {"valign", def::Text::valign}};
}

const std::map<std::string, std::map<std::string, Attr>>& typeAttrs()
{
    static const std::map<std::string, std::map<std::string, Attr>> m = [] {
        std::map<std::string, std::map<std::string, Attr>> t;
        t["LINE"] = {{"start", def::Line::start}, {"end", def::Line::end}};
        t["POINT"] = {{"location", def::Point::location}};
        t["CIRCLE"] = {{"center", def::Circle::center}, {"radius", def::Circle::radius}};
        t["ARC"] = {{"center", def::Arc::center}, {"radius", def::Arc::radius},
                    {"start_angle", def::Arc::startAngle}, {"end_angle", def::Arc::endAngle}};
        t["ELLIPSE"] = {{"center", def::Ellipse::center}, {"major_axis", def::Ellipse::majorAxis},
                        {"ratio", def::Ellipse::ratio}, {"start_param", def::Ellipse::startParam},
                        {"end_param", def::Ellipse::endParam}};
        std::map<std::string, Attr> corners{{"vtx0", def::Solid::corner0}, {"vtx1", def::Solid::corner1},
                                            {"vtx2", def::Solid::corner2}, {"vtx3", def::Solid::corner3}};
        t["SOLID"] = t["TRACE"] = corners;
        t["3DFACE"] = corners;
        t["3DFACE"]["invisible"] = def::Face3d::hiddenEdges;
        t["TEXT"] = textAttrs();
        t["ATTRIB"] = textAttrs();
        t["ATTRIB"]["valign"] = def::Attrib::valign;
        t["ATTRIB"]["tag"] = def::Attrib::tag;
        t["ATTRIB"]["flags"] = def::Attrib::flags;
        t["ATTDEF"] = t["ATTRIB"];
        t["MTEXT"] = {{"insert", def::MText::insert},         {"char_height", def::MText::height},
                      {"width", def::MText::width},           {"attachment_point", def::MText::attachment},
                      {"line_spacing_factor", def::MText::lineSpacing}, {"text_direction", def::MText::direction},
                      {"rotation", def::MText::rotation},     {"style", def::MText::style}};
        t["INSERT"] = {{"name", def::Insert::block},          {"insert", def::Insert::insert},
                       {"xscale", def::Insert::xscale},       {"yscale", def::Insert::yscale},
                       {"rotation", def::Insert::rotation},   {"column_count", def::Insert::columns},
                       {"row_count", def::Insert::rows},      {"column_spacing", def::Insert::columnSpacing},
                       {"row_spacing", def::Insert::rowSpacing}};
        t["LWPOLYLINE"] = {{"flags", def::LwPolyline::flags}, {"const_width", def::LwPolyline::constantWidth},
                           {"elevation", def::LwPolyline::elevation}};
        t["POLYLINE"] = {{"flags", def::Polyline::flags},     {"default_start_width", def::Polyline::startWidth},
                         {"default_end_width", def::Polyline::endWidth}, {"m_count", def::Polyline::meshRows},
                         {"n_count", def::Polyline::meshColumns}, {"elevation", def::Polyline::elevation}};
        t["VERTEX"] = {{"location", def::Vertex::location}, {"start_width", def::Vertex::startWidth},
                       {"end_width", def::Vertex::endWidth}, {"bulge", def::Vertex::bulge},
                       {"flags", def::Vertex::flags}};
        t["SPLINE"] = {{"flags", def::Spline::flags}, {"degree", def::Spline::degree}};
        t["LEADER"] = {{"has_arrowhead", def::Leader::arrowhead}};
        t["VIEWPORT"] = {{"center", def::Viewport::center}, {"width", def::Viewport::width},
                         {"height", def::Viewport::height}, {"id", def::Viewport::id}};
        t["DIMENSION"] = {{"geometry", def::Dimension::block}};
        t["LAYER"] = {{"name", def::Layer::name}, {"color", def::Layer::color}, {"flags", def::Layer::flags},
                      {"true_color", def::Layer::trueColor}};
        return t;
    }();
    return m;
}

int codeOf(const Attr& a)
{
    return std::visit([](const auto& x) { return x.code; }, a);
}

bool near(double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b)); }

// Where the layer and ezdxf disagree on one attribute, or "" when they agree.
std::string compare(const EntityView& v, const Attr& attr, const QJsonValue& expected)
{
    if (!v.has(codeOf(attr))) return "the layer finds no group " + std::to_string(codeOf(attr));
    if (auto* a = std::get_if<RealAttr>(&attr)) {
        double got = v.get(*a);
        return near(got, expected.toDouble()) ? "" : "read " + std::to_string(got);
    }
    if (auto* a = std::get_if<IntAttr>(&attr)) {
        std::int64_t got = v.get(*a);
        return got == expected.toInteger() ? "" : "read " + std::to_string(got);
    }
    if (auto* a = std::get_if<TextAttr>(&attr)) {
        std::string got = v.get(*a);
        return got == expected.toString().toStdString() ? "" : "read \"" + got + "\"";
    }
    Point3 p = v.get(std::get<PointAttr>(attr));
    QJsonArray e = expected.toArray();
    bool same = near(p.x, e.at(0).toDouble()) && near(p.y, e.at(1).toDouble()) && near(p.z, e.at(2).toDouble());
    return same ? "" : "read (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.z) + ")";
}

QJsonObject ezdxfFacts(const QStringList& drawings)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{testpaths::sourceDir() + QStringLiteral("/tests/tools/entity_facts.py")} + drawings);
    p.waitForFinished(600000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

void load(Document& doc, const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    QByteArray bytes = f.readAll();
    EXPECT_TRUE(doc.load(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())))) << doc.error();
}

QStringList drawings()
{
    QStringList out;
    for (const char* name : {"sample_R12_ascii.dxf", "sample_R12_binary.dxf", "sample_2000_ascii.dxf",
                             "sample_2004_binary.dxf", "sample_2007_ascii.dxf", "sample_2010_ascii.dxf",
                             "sample_2013_binary.dxf", "sample_2018_ascii.dxf"})
        out << testpaths::corpus(QLatin1String(name));
    QDir more(testpaths::corpus(QStringLiteral("more")));
    for (const QString& name : more.entryList({"*.dxf", "*.DXF"}, QDir::Files)) out << more.filePath(name);
    return out;
}

}  // namespace

// Every attribute ezdxf finds in an entity or layer of the corpus, the layer
// finds in the same group with the same value; and where ezdxf finds none,
// neither does the layer.
TEST(EntityLayer, ReadsWhatEzdxfReads)
{
    QStringList files = drawings();
    QJsonObject all = ezdxfFacts(files);
    ASSERT_EQ(all.size(), files.size()) << "entity_facts.py gave no answer for some drawings";
    std::size_t compared = 0;
    for (const QString& file : files) {
        QJsonObject facts = all.value(file).toObject();
        if (facts.contains(QStringLiteral("error"))) continue;  // ezdxf cannot read it; other tests cover that
        Document doc;
        load(doc, file);
        // Where objects repeat a handle, ezdxf keeps another of them under
        // it than the document does: a handle names different objects.
        bool repeated = std::any_of(doc.repairs().begin(), doc.repairs().end(), [](const std::string& r) {
            return r.find("the handle of an earlier one") != std::string::npos;
        });
        if (repeated) continue;
        for (auto it = facts.begin(); it != facts.end(); ++it) {
            QJsonObject entry = it.value().toObject();
            std::string type = entry.value(QStringLiteral("type")).toString().toStdString();
            std::optional<std::uint32_t> rec;
            if (type == "LAYER") {
                auto layer = doc.findLayer(it.key().mid(6).toStdString());
                if (layer) rec = doc.layers()[*layer].record;
            } else {
                rec = doc.findHandle(it.key().toStdString());
            }
            // A table entry ezdxf made up, or an entity without a handle in
            // the file, which ezdxf and the document number each their own way.
            if (!rec || doc.record(*rec).syntheticHandle) continue;
            EntityView v(doc, *rec);
            QJsonObject attrs = entry.value(QStringLiteral("attrs")).toObject();
            const auto& own = typeAttrs().at(type);
            auto declared = [&](const std::string& name) -> const Attr* {
                if (auto a = own.find(name); a != own.end()) return &a->second;
                if (type == "LAYER") return nullptr;
                if (auto a = commonAttrs().find(name); a != commonAttrs().end()) return &a->second;
                return nullptr;
            };
            std::string where = file.toStdString() + " " + type + " " + it.key().toStdString();
            for (auto a = attrs.begin(); a != attrs.end(); ++a) {
                // ezdxf takes an MTEXT's direction from its embedded column
                // object when the MTEXT itself has none; the program reads the
                // MTEXT's own groups.
                if (type == "MTEXT" && a.key() == QLatin1String("text_direction") && !v.has(def::MText::direction) &&
                    v.embedded())
                    continue;
                const Attr* attr = declared(a.key().toStdString());
                ASSERT_NE(attr, nullptr) << where << ": " << a.key().toStdString();
                EXPECT_EQ(compare(v, *attr, a.value()), "") << where << " " << a.key().toStdString();
                ++compared;
            }
            for (const auto& [name, attr] : own) {
                if (!attrs.contains(QString::fromStdString(name))) {
                    EXPECT_FALSE(v.has(codeOf(attr))) << where << ": ezdxf finds no " << name;
                }
            }
        }
    }
    EXPECT_GT(compared, 2000u);
}

// Reading every entity through the layer changes nothing in the bytes the
// document saves.
TEST(EntityLayer, ReadingLeavesTheBytesAlone)
{
    for (const QString& file : drawings()) {
        Document doc;
        load(doc, file);
        std::size_t seen = 0;
        for (const Space& space : doc.spaces()) {
            for (std::uint32_t rec : space.entities) {
                EntityView v(doc, rec);
                EntityColor c = entityColor(v);
                (void)c;
                (void)v.get(def::Entity::layer);
                (void)v.get(def::Entity::extrusion);
                for (std::uint32_t a : attributesOf(doc, rec)) (void)entityText(doc, a);
                ++seen;
            }
        }
        EXPECT_GT(seen, 0u) << file.toStdString();
        EXPECT_EQ(doc.serialize(), std::string(doc.original())) << file.toStdString();
    }
}

// The true color rules over the ACI while present; a color change through the
// layer removes it, and ezdxf then reads the ACI alone.
TEST(EntityLayer, TrueColorAndAciAsDeclaredOnce)
{
    QString file = testpaths::corpus(QStringLiteral("sample_2018_ascii.dxf"));
    Document doc;
    load(doc, file);
    std::optional<std::uint32_t> withTrue;
    for (std::uint32_t rec : doc.spaces()[0].entities) {
        if (entityColor(EntityView(doc, rec)).rgb) {
            withTrue = rec;
            break;
        }
    }
    ASSERT_TRUE(withTrue) << "the drawing has an entity with a true color";
    EntityColor before = entityColor(EntityView(doc, *withTrue));
    EXPECT_NE(before.aci, def::Entity::kByLayer);

    ASSERT_TRUE(setEntityColor(doc, *withTrue, 3));
    EntityColor after = entityColor(EntityView(doc, *withTrue));
    EXPECT_EQ(after.aci, 3);
    EXPECT_FALSE(after.rgb);

    QTemporaryDir tmp;
    QString out = tmp.filePath(QStringLiteral("colored.dxf"));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    std::string bytes = doc.serialize();
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    QJsonObject facts = ezdxfFacts({out}).value(out).toObject();
    QString handle = QString::fromStdString(Document::formatHandle(doc.record(*withTrue).handle));
    QJsonObject attrs = facts.value(handle).toObject().value(QStringLiteral("attrs")).toObject();
    EXPECT_EQ(attrs.value(QStringLiteral("color")).toInt(), 3);
    EXPECT_FALSE(attrs.contains(QStringLiteral("true_color")));
}

// An INSERT's ATTRIBs follow it up to its SEQEND; a multi-line attribute's
// embedded MTEXT is read through the same declarations as an MTEXT's own.
TEST(EntityLayer, AttributesFollowTheirInsert)
{
    Document doc;
    load(doc, testpaths::corpus(QStringLiteral("more/mozman__ezdxf__examples_dxf_multi_insert_with_attribs.dxf")));
    std::size_t inserts = 0;
    for (std::uint32_t rec : doc.spaces()[0].entities) {
        if (doc.record(rec).kind != Kind::Insert) continue;
        EntityView v(doc, rec);
        std::vector<std::uint32_t> attribs = attributesOf(doc, rec);
        EXPECT_EQ(v.get(def::Insert::attribsFollow) == 1, !attribs.empty());
        for (std::uint32_t a : attribs) {
            EXPECT_EQ(doc.record(a).parent, static_cast<std::int32_t>(rec));
            EXPECT_FALSE(EntityView(doc, a).get(def::Attrib::tag).empty());
        }
        ++inserts;
    }
    EXPECT_GT(inserts, 0u);

    Document multi;
    load(multi, testpaths::testData(QStringLiteral("odd/multiline-attribute-2018.dxf")));
    std::size_t embedded = 0;
    for (std::uint32_t i = 0; i < multi.recordCount(); ++i) {
        if (!isMultilineAttribute(multi, i)) continue;
        auto mtext = EntityView(multi, i).embedded();
        ASSERT_TRUE(mtext);
        EXPECT_GT(mtext->get(def::MText::height), 0);
        ++embedded;
    }
    EXPECT_GT(embedded, 0u);
}
