// The entity layer: every declared attribute reads what ezdxf reads from the
// same record, on every drawing of the corpus (its DWGs through the import),
// the samples and the odd drawings; reading through it leaves the file's
// bytes alone; changes through it land in the right subclass and are read
// back by it and by ezdxf.

#include "TestPaths.h"
#include "ddvue/dwg/DwgImport.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Entity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

using namespace ddvue::dxf;

namespace {

// A declared attribute as the layer reads it from a record: a number, a
// text or [x, y, z]; undefined when the record has no group of it.
using Reader = std::function<QJsonValue(const RecordView&)>;

QJsonValue json(double v) { return v; }
QJsonValue json(std::int64_t v) { return static_cast<qint64>(v); }
QJsonValue json(const std::string& v) { return QString::fromStdString(v); }
QJsonValue json(std::string_view handle) { return QString::fromLatin1(handle.data(), static_cast<int>(handle.size())); }
QJsonValue json(const Point3& p) { return QJsonArray{p.x, p.y, p.z}; }

// The attributes of each record type under ezdxf's names, each read through
// the declaration the program reads it through.
class Declarations {
public:
    Declarations();
    const std::map<std::string, Reader>* of(const std::string& type) const
    {
        auto it = types_.find(type);
        return it == types_.end() ? nullptr : &it->second;
    }

private:
    template <class T>
    struct Adder {
        std::map<std::string, Reader>& to;
        template <class A>
        Adder& operator()(const char* name, const A& a)
        {
            to[name] = [a](const RecordView& r) -> QJsonValue {
                auto v = View<T>::of(r);
                if (!v || !v->has(a)) return QJsonValue(QJsonValue::Undefined);
                return json(v->get(a));
            };
            return *this;
        }
    };
    // The attributes of a type; an entity's start with what every entity has.
    template <class T>
    Adder<T> type(const char* name)
    {
        Adder<T> add{types_[name]};
        if constexpr (T::template indexOf<sub::AcDbEntity> >= 0) {
            add("layer", T::layer)("linetype", T::linetype)("color", T::color)("paperspace", T::paperSpace);
            add("invisible", T::invisible)("lineweight", T::lineweight)("ltscale", T::linetypeScale);
            add("true_color", T::trueColor)("color_name", T::colorName)("transparency", T::transparency);
        }
        return add;
    }
    template <class T>
    void text(const char* name)
    {
        type<T>(name)("text", T::value)("insert", T::insert)("align_point", T::alignPoint)("height", T::height)(
            "width", T::widthFactor)("rotation", T::rotation)("oblique", T::oblique)("style", T::style)(
            "text_generation_flag", T::generation)("halign", T::halign)("valign", T::valign)("thickness", T::thickness)(
            "extrusion", T::extrusion);
    }

    std::map<std::string, std::map<std::string, Reader>> types_;
};

Declarations::Declarations()
{
    using namespace def;
    type<Line>("LINE")("start", Line::start)("end", Line::end)("thickness", Line::thickness)("extrusion", Line::extrusion);
    type<Point>("POINT")("location", Point::location)("thickness", Point::thickness)("extrusion", Point::extrusion)(
        "angle", Point::angle);
    type<Circle>("CIRCLE")("center", Circle::center)("radius", Circle::radius)("thickness", Circle::thickness)(
        "extrusion", Circle::extrusion);
    type<Arc>("ARC")("center", Arc::center)("radius", Arc::radius)("thickness", Arc::thickness)(
        "extrusion", Arc::extrusion)("start_angle", Arc::startAngle)("end_angle", Arc::endAngle);
    type<Ellipse>("ELLIPSE")("center", Ellipse::center)("major_axis", Ellipse::majorAxis)(
        "extrusion", Ellipse::extrusion)("ratio", Ellipse::ratio)("start_param", Ellipse::startParam)(
        "end_param", Ellipse::endParam);
    for (const char* name : {"SOLID", "TRACE"})
        type<Solid>(name)("vtx0", Solid::corner0)("vtx1", Solid::corner1)("vtx2", Solid::corner2)(
            "vtx3", Solid::corner3)("thickness", Solid::thickness)("extrusion", Solid::extrusion);
    type<Face3d>("3DFACE")("vtx0", Face3d::corner0)("vtx1", Face3d::corner1)("vtx2", Face3d::corner2)(
        "vtx3", Face3d::corner3);
    // A 3DFACE's "invisible" is its hidden edges, not the entity's visibility.
    types_["3DFACE"].erase("invisible");
    type<Face3d>("3DFACE")("invisible", Face3d::hiddenEdges);
    type<XLine>("XLINE")("start", XLine::start)("unit_vector", XLine::direction);
    type<Ray>("RAY")("start", Ray::start)("unit_vector", Ray::direction);

    text<Text>("TEXT");
    text<Attrib>("ATTRIB");
    type<Attrib>("ATTRIB")("tag", Attrib::tag)("flags", Attrib::flags)("field_length", Attrib::fieldLength)(
        "attribute_type", Attrib::attributeType);
    text<Attdef>("ATTDEF");
    type<Attdef>("ATTDEF")("tag", Attdef::tag)("flags", Attdef::flags)("field_length", Attdef::fieldLength)(
        "attribute_type", Attdef::attributeType)("prompt", Attdef::prompt);
    type<MText>("MTEXT")("insert", MText::insert)("char_height", MText::height)("width", MText::width)(
        "defined_height", MText::definedHeight)("attachment_point", MText::attachment)("flow_direction", MText::flow)(
        "style", MText::style)("extrusion", MText::extrusion)("text_direction", MText::direction)(
        "rotation", MText::rotation)("line_spacing_style", MText::lineSpacingStyle)(
        "line_spacing_factor", MText::lineSpacing);

    type<Insert>("INSERT")("attribs_follow", Insert::attribsFollow)("name", Insert::block)("insert", Insert::insert)(
        "xscale", Insert::xscale)("yscale", Insert::yscale)("zscale", Insert::zscale)("rotation", Insert::rotation)(
        "column_count", Insert::columns)("row_count", Insert::rows)("column_spacing", Insert::columnSpacing)(
        "row_spacing", Insert::rowSpacing)("extrusion", Insert::extrusion);
    type<Dimension>("DIMENSION")("geometry", Dimension::block)("dimstyle", Dimension::dimstyle)(
        "defpoint", Dimension::definitionPoint)("text_midpoint", Dimension::textPoint)("dimtype", Dimension::flags)(
        "attachment_point", Dimension::attachment)("line_spacing_style", Dimension::lineSpacingStyle)(
        "line_spacing_factor", Dimension::lineSpacing)("actual_measurement", Dimension::measurement)(
        "text", Dimension::text)("text_rotation", Dimension::textRotation)("extrusion", Dimension::extrusion)(
        "defpoint2", Dimension::point2)("defpoint3", Dimension::point3)("defpoint4", Dimension::point4)(
        "defpoint5", Dimension::point5)("leader_length", Dimension::leaderLength)("angle", Dimension::angle)(
        "oblique_angle", Dimension::oblique);

    // Not compared: an ACAD_TABLE (ezdxf reads none of its own groups) and
    // a hatch's seed count (ezdxf takes it into its list of seed points).
    type<LwPolyline>("LWPOLYLINE")("flags", LwPolyline::flags)("const_width", LwPolyline::constantWidth)(
        "elevation", LwPolyline::elevation)("thickness", LwPolyline::thickness)("extrusion", LwPolyline::extrusion);
    type<Polyline>("POLYLINE")("elevation", Polyline::elevation)("flags", Polyline::flags)(
        "default_start_width", Polyline::startWidth)("default_end_width", Polyline::endWidth)(
        "m_count", Polyline::meshRows)("n_count", Polyline::meshColumns)("m_smooth_density", Polyline::smoothRows)(
        "n_smooth_density", Polyline::smoothColumns)("smooth_type", Polyline::smoothType)(
        "thickness", Polyline::thickness)("extrusion", Polyline::extrusion);
    type<Vertex>("VERTEX")("location", Vertex::location)("start_width", Vertex::startWidth)(
        "end_width", Vertex::endWidth)("bulge", Vertex::bulge)("flags", Vertex::flags)("tangent", Vertex::tangent)(
        "vtx0", Vertex::face0)("vtx1", Vertex::face1)("vtx2", Vertex::face2)("vtx3", Vertex::face3);
    type<Spline>("SPLINE")("flags", Spline::flags)("degree", Spline::degree)(
        "knot_tolerance", Spline::knotTolerance)("control_point_tolerance", Spline::controlTolerance)(
        "fit_tolerance", Spline::fitTolerance)("start_tangent", Spline::startTangent)(
        "end_tangent", Spline::endTangent)("extrusion", Spline::normal);
    type<Leader>("LEADER")("dimstyle", Leader::dimstyle)("has_arrowhead", Leader::arrowhead)(
        "path_type", Leader::pathType)("annotation_type", Leader::annotationType)(
        "hookline_direction", Leader::hooklineDirection)("has_hookline", Leader::hasHookline)(
        "text_height", Leader::textHeight)("text_width", Leader::textWidth)("normal_vector", Leader::normal)(
        "horizontal_direction", Leader::horizontalDirection)("leader_offset_block_ref", Leader::blockOffset)(
        "leader_offset_annotation_placement", Leader::annotationOffset);
    for (const char* name : {"IMAGE", "WIPEOUT"})
        type<Image>(name)("class_version", Image::classVersion)("insert", Image::origin)("u_pixel", Image::uPixel)(
            "v_pixel", Image::vPixel)("image_size", Image::size)("image_def_handle", Image::imageDef)(
            "flags", Image::flags)("clipping", Image::clipping)("brightness", Image::brightness)(
            "contrast", Image::contrast)("fade", Image::fade)("clipping_boundary_type", Image::clipType)(
            "count_boundary_points", Image::clipCount);
    type<Viewport>("VIEWPORT")("center", Viewport::center)("width", Viewport::width)("height", Viewport::height)(
        "status", Viewport::status)("id", Viewport::id)("view_center_point", Viewport::viewCenter)(
        "snap_base_point", Viewport::snapBase)("snap_spacing", Viewport::snapSpacing)(
        "grid_spacing", Viewport::gridSpacing)("view_direction_vector", Viewport::viewDirection)(
        "view_target_point", Viewport::viewTarget)("perspective_lens_length", Viewport::lensLength)(
        "front_clip_plane_z_value", Viewport::frontClip)("back_clip_plane_z_value", Viewport::backClip)(
        "view_height", Viewport::viewHeight)("snap_angle", Viewport::snapAngle)(
        "view_twist_angle", Viewport::twistAngle)("circle_zoom", Viewport::circleZoom)("flags", Viewport::flags)(
        "plot_style_name", Viewport::plotStyleSheet)("render_mode", Viewport::renderMode)(
        "ucs_per_viewport", Viewport::ucsPerViewport)("ucs_icon", Viewport::ucsIcon)(
        "ucs_origin", Viewport::ucsOrigin)("ucs_x_axis", Viewport::ucsXAxis)("ucs_y_axis", Viewport::ucsYAxis)(
        "ucs_ortho_type", Viewport::ucsOrthoType)("elevation", Viewport::elevation);
    type<MLine>("MLINE")("style_name", MLine::style)("scale_factor", MLine::scale)(
        "justification", MLine::justification)("flags", MLine::flags)("style_element_count", MLine::lineCount)(
        "extrusion", MLine::extrusion);
    type<Mesh>("MESH")("version", Mesh::version)("blend_crease", Mesh::blendCrease)(
        "subdivision_levels", Mesh::subdivision);
    type<Hatch>("HATCH")("elevation", Hatch::elevation)("extrusion", Hatch::extrusion)(
        "pattern_name", Hatch::pattern)("solid_fill", Hatch::solid)("associative", Hatch::associative)(
        "hatch_style", Hatch::style)("pattern_type", Hatch::patternType)("pattern_angle", Hatch::patternAngle)(
        "pattern_scale", Hatch::patternScale)("pattern_double", Hatch::patternDouble);

    type<Block>("BLOCK")("name", Block::name)("flags", Block::flags)("base_point", Block::base)(
        "xref_path", Block::xrefPath)("description", Block::description);
    type<EndBlk>("ENDBLK");
    // Of what every entity has, ezdxf knows a block's layer and paper space flag only.
    for (const char* name : {"BLOCK", "ENDBLK"})
        for (const char* common : {"linetype", "color", "invisible", "lineweight", "ltscale", "true_color", "color_name",
                                   "transparency"})
            types_[name].erase(common);

    type<Layer>("LAYER")("name", Layer::name)("flags", Layer::flags)("color", Layer::color)(
        "linetype", Layer::linetype)("plot", Layer::plot)("lineweight", Layer::lineweight)(
        "true_color", Layer::trueColor);
    type<LineType>("LTYPE")("name", LineType::name)("flags", LineType::flags)("description", LineType::description);
    type<TextStyle>("STYLE")("name", TextStyle::name)("flags", TextStyle::flags)("height", TextStyle::fixedHeight)(
        "width", TextStyle::widthFactor)("oblique", TextStyle::oblique)("generation_flags", TextStyle::generation)(
        "last_height", TextStyle::lastHeight)("font", TextStyle::font)("bigfont", TextStyle::bigFont);
    type<AppId>("APPID")("name", AppId::name)("flags", AppId::flags);
    type<DimStyle>("DIMSTYLE")("name", DimStyle::name)("flags", DimStyle::flags)("dimscale", DimStyle::dimscale)(
        "dimasz", DimStyle::dimasz)("dimexo", DimStyle::dimexo)("dimexe", DimStyle::dimexe)(
        "dimtxt", DimStyle::dimtxt)("dimlfac", DimStyle::dimlfac)("dimgap", DimStyle::dimgap)(
        "dimtih", DimStyle::dimtih)("dimtoh", DimStyle::dimtoh)("dimtad", DimStyle::dimtad)(
        "dimdec", DimStyle::dimdec);
    type<VPort>("VPORT")("name", VPort::name)("flags", VPort::flags)("lower_left", VPort::lowerLeft)(
        "upper_right", VPort::upperRight)("center", VPort::center)("snap_base", VPort::snapBase)(
        "snap_spacing", VPort::snapSpacing)("grid_spacing", VPort::gridSpacing)("direction", VPort::direction)(
        "target", VPort::target)("height", VPort::height)("aspect_ratio", VPort::aspectRatio)(
        "focal_length", VPort::lensLength)("front_clipping", VPort::frontClip)("back_clipping", VPort::backClip)(
        "snap_rotation", VPort::snapRotation)("view_twist", VPort::twist)("view_mode", VPort::viewMode)(
        "circle_sides", VPort::circleZoom)("fast_zoom", VPort::fastZoom)("ucs_icon", VPort::ucsIcon)(
        "snap_on", VPort::snapOn)("grid_on", VPort::gridOn)("snap_style", VPort::snapStyle)(
        "snap_isopair", VPort::snapIsopair);
    type<BlockRecord>("BLOCK_RECORD")("name", BlockRecord::name)("layout", BlockRecord::layout)(
        "units", BlockRecord::units)("explode", BlockRecord::explodability)("scale", BlockRecord::scalability);

    type<Dictionary>("DICTIONARY")("hard_owned", Dictionary::hardOwned)("cloning", Dictionary::cloning);
    type<Layout>("LAYOUT")("page_setup_name", Layout::pageSetup)("plot_configuration_file", Layout::plotter)(
        "paper_size", Layout::paperSize)("plot_view_name", Layout::plotView)("left_margin", Layout::marginLeft)(
        "bottom_margin", Layout::marginBottom)("right_margin", Layout::marginRight)("top_margin", Layout::marginTop)(
        "paper_width", Layout::paperWidth)("paper_height", Layout::paperHeight)(
        "plot_origin_x_offset", Layout::originX)("plot_origin_y_offset", Layout::originY)(
        "plot_window_x1", Layout::windowX1)("plot_window_y1", Layout::windowY1)("plot_window_x2", Layout::windowX2)(
        "plot_window_y2", Layout::windowY2)("scale_numerator", Layout::scaleNumerator)(
        "scale_denominator", Layout::scaleDenominator)("plot_layout_flags", Layout::plotFlags)(
        "plot_paper_units", Layout::paperUnits)("plot_rotation", Layout::rotation)("plot_type", Layout::plotType)(
        "current_style_sheet", Layout::styleSheet)("standard_scale_type", Layout::standardScale)(
        "shade_plot_mode", Layout::shadeMode)("shade_plot_resolution_level", Layout::shadeResolution)(
        "shade_plot_custom_dpi", Layout::shadeDpi)("unit_factor", Layout::unitFactor)(
        "paper_image_origin_x", Layout::imageOriginX)("paper_image_origin_y", Layout::imageOriginY)(
        "name", Layout::name)("layout_flags", Layout::flags)("taborder", Layout::tabOrder)(
        "limmin", Layout::limitsMin)("limmax", Layout::limitsMax)("insert_base", Layout::insertBase)(
        "extmin", Layout::extentsMin)("extmax", Layout::extentsMax)("elevation", Layout::elevation)(
        "ucs_origin", Layout::ucsOrigin)("ucs_xaxis", Layout::ucsXAxis)("ucs_yaxis", Layout::ucsYAxis)(
        "ucs_type", Layout::ucsType)("block_record_handle", Layout::blockRecord)("viewport_handle", Layout::viewport);
    type<ImageDef>("IMAGEDEF")("class_version", ImageDef::classVersion)("filename", ImageDef::fileName)(
        "image_size", ImageDef::size)("pixel_size", ImageDef::pixelSize)("loaded", ImageDef::loaded)(
        "resolution_units", ImageDef::resolutionUnits);
}

bool near(double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b)); }

bool same(const QJsonValue& ours, const QJsonValue& theirs)
{
    if (ours.isDouble() && theirs.isDouble()) return near(ours.toDouble(), theirs.toDouble());
    if (ours.isArray() && theirs.isArray()) {
        QJsonArray a = ours.toArray(), b = theirs.toArray();
        return near(a.at(0).toDouble(), b.at(0).toDouble()) && near(a.at(1).toDouble(), b.at(1).toDouble()) &&
               near(a.at(2).toDouble(), b.at(2).toDouble());
    }
    // Texts; handles in either letter case.
    return ours.toString().compare(theirs.toString(), Qt::CaseInsensitive) == 0 &&
           ours.isString() == theirs.isString();
}

// Where ezdxf reads other than the file holds, and the layer reads the file:
// the version ezdxf lays records out by when the drawing states none (or
// states it outside its header), R12 then, whose records it reads without
// their subclass markers; what it makes up when loading (a direction taken
// from an MTEXT's embedded columns, the owner's layout for a block record
// or a layout, an entity's paper space flag from the block it stands in, a
// Defpoints layer's plot flag);
// and the names it gives R12's "$" spaces.
struct Tolerated {
    const Document& doc;
    std::uint32_t rec;
    std::string_view type;

    bool operator()(const std::string& name, const QJsonValue& ours, const QJsonValue& theirs) const
    {
        if (ours.isUndefined() && !theirs.isUndefined()) {
            if (type == "MTEXT" && name == "text_direction")
                return View<def::MText>::of(doc, rec)->find(def::MText::direction) < 0;
            if (name == "layout" || name == "block_record_handle" || name == "viewport_handle")
                return !doc.findHandle(theirs.toString().toStdString());
            if (name == "plot" && type == "LAYER")  // ezdxf never plots a Defpoints layer
                return QString::fromStdString(View<def::Layer>::of(doc, rec)->get(def::Layer::name))
                           .compare(QLatin1String("Defpoints"), Qt::CaseInsensitive) == 0;
            if (name == "paperspace") {
                const Record& r = doc.record(rec);
                return r.block >= 0 && QString::fromStdString(doc.blocks()[static_cast<std::size_t>(r.block)].name)
                                           .startsWith(QLatin1String("*Paper_Space"), Qt::CaseInsensitive);
            }
        }
        if (name == "name" && ours.isString() && ours.toString().startsWith(QLatin1Char('$')))
            return QLatin1Char('*') + ours.toString().mid(1) == theirs.toString();
        return false;
    }
};

// Whether the drawing's entities carry subclass markers.
bool marked(const Document& doc)
{
    for (const Space& space : doc.spaces())
        for (std::uint32_t rec : space.entities) {
            RecordView r = doc.view(rec);
            if (r.find(code::kSubclass) >= 0) return true;
        }
    return false;
}

std::string shown(const QJsonValue& v)
{
    if (v.isUndefined()) return "nothing";
    QJsonArray wrap{v};
    return QJsonDocument(wrap).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject ezdxfFacts(const QStringList& drawings)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{testpaths::sourceDir() + QStringLiteral("/tests/tools/entity_facts.py")} + drawings);
    p.waitForFinished(900000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

void load(Document& doc, const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    QByteArray bytes = f.readAll();
    EXPECT_TRUE(doc.load(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())))) << doc.error();
}

void save(const Document& doc, const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    std::string bytes = doc.serialize();
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QStringList filesIn(const QString& folder)
{
    QStringList out;
    QDir dir(folder);
    for (const QString& name : dir.entryList({"*.dxf", "*.DXF", "*.dxfb"}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

// The corpus, the samples and the odd drawings kept with the tests.
QStringList drawings()
{
    return filesIn(testpaths::corpus()) + filesIn(testpaths::corpus(QStringLiteral("more"))) +
           filesIn(testpaths::samples()) + filesIn(testpaths::testData(QStringLiteral("odd")));
}

// Where the record that ezdxf lists under `key` stands in the document: by
// handle, or a table entry without one by type and name.
std::optional<std::uint32_t> recordOf(const Document& doc, const QString& key, const std::string& type)
{
    int colon = key.indexOf(QLatin1Char(':'));
    if (colon < 0 || type == "LAYOUT") {
        auto rec = doc.findHandle(key.toStdString());
        if (rec && doc.record(*rec).syntheticHandle) return std::nullopt;  // numbered each its own way
        return rec;
    }
    const std::string name = key.mid(colon + 1).toStdString();
    for (std::uint32_t i = 0; i < doc.recordCount(); ++i) {
        RecordView r = doc.view(i);
        if (r.type() != type) continue;
        int at = r.find(code::kName);
        if (at >= 0 && r.text(static_cast<std::uint32_t>(at)) == name) return i;
    }
    return std::nullopt;
}

}  // namespace

// Every attribute that the program declares for a record type reads, in
// every record of that type that ezdxf lists, what ezdxf reads: the same
// value where ezdxf finds one, and nothing where it finds none. The drawings:
// the corpus with its DWGs (as the import saves them), the samples, and the
// odd drawings, kept and written anew.
TEST(EntityLayer, EveryDeclaredAttributeReadsWhatEzdxfReads)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QStringList files = drawings();
    for (const QString& dwg : QDir(testpaths::corpus()).entryList({"*.dwg"}, QDir::Files, QDir::Name)) {
        ddvue::dwg::ImportResult r = ddvue::dwg::importDwg(testpaths::corpus(dwg).toStdString());
        ASSERT_TRUE(r.ok) << dwg.toStdString() << ": " << r.error;
        QString out = tmp.filePath(QFileInfo(dwg).completeBaseName() + QStringLiteral("-from-dwg.dxf"));
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(r.dxf.data(), static_cast<qint64>(r.dxf.size()));
        files << out;
    }
    QString odd = tmp.filePath(QStringLiteral("odd"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                {testpaths::sourceDir() + QStringLiteral("/tests/tools/make_odd_drawings.py"), odd}),
              0);
    files += filesIn(odd);

    QJsonObject all = ezdxfFacts(files);
    ASSERT_EQ(all.size(), files.size()) << "entity_facts.py gave no answer for some drawings";
    const Declarations declarations;
    std::map<std::string, std::size_t> compared;  // by type
    std::size_t drawingsCompared = 0;
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
        QString version = facts.value(QStringLiteral("$ACADVER")).toObject().value(QStringLiteral("attrs")).toObject()
                              .value(QStringLiteral("version")).toString();
        if (versionOf(version.toStdString()) == Version::R12 && marked(doc)) continue;
        ++drawingsCompared;
        for (auto it = facts.begin(); it != facts.end(); ++it) {
            QJsonObject entry = it.value().toObject();
            std::string type = entry.value(QStringLiteral("type")).toString().toStdString();
            const auto* declared = declarations.of(type);
            if (!declared) continue;  // a type the program declares nothing of
            std::optional<std::uint32_t> rec = recordOf(doc, it.key(), type);
            if (!rec) continue;  // a record ezdxf made up, or one without a handle in the file
            RecordView r = doc.view(*rec);
            QJsonObject attrs = entry.value(QStringLiteral("attrs")).toObject();
            std::string where = QFileInfo(file).fileName().toStdString() + " " + type + " " + it.key().toStdString();
            const Tolerated tolerated{doc, *rec, type};
            for (const auto& [name, read] : *declared) {
                QJsonValue theirs = attrs.value(QString::fromStdString(name));
                QJsonValue ours = read(r);
                if (tolerated(name, ours, theirs)) continue;
                if (ours.isUndefined() || theirs.isUndefined())
                    EXPECT_EQ(ours.isUndefined(), theirs.isUndefined())
                        << where << " " << name << ": the layer reads " << shown(ours) << ", ezdxf " << shown(theirs);
                else
                    EXPECT_TRUE(same(ours, theirs))
                        << where << " " << name << ": the layer reads " << shown(ours) << ", ezdxf " << shown(theirs);
            }
            ++compared[type];
        }
    }
    EXPECT_GT(drawingsCompared, 50u);
    // Every declared type met in some drawing.
    for (const char* type : {"LINE", "CIRCLE", "ARC", "TEXT", "ATTRIB", "ATTDEF", "MTEXT", "INSERT", "LWPOLYLINE",
                             "POLYLINE", "VERTEX", "HATCH", "DIMENSION", "LAYER", "BLOCK", "LAYOUT", "VPORT"})
        EXPECT_GT(compared[type], 0u) << type;
}

// Reading every entity through the layer changes nothing in the bytes the
// document saves.
TEST(EntityLayer, ReadingLeavesTheBytesAlone)
{
    for (const QString& file : drawings()) {
        Document doc;
        load(doc, file);
        for (const Space& space : doc.spaces()) {
            for (std::uint32_t rec : space.entities) {
                auto v = View<def::AnyEntity>::of(doc, rec);
                ASSERT_TRUE(v);
                (void)entityColor(*v);
                (void)v->get(def::AnyEntity::layer);
                for (std::uint32_t a : attributesOf(doc, rec)) (void)entityText(doc, a);
            }
        }
        EXPECT_EQ(doc.serialize(), std::string(doc.original())) << file.toStdString();
    }
}

// A view is made only of a record of its type; reading a group the
// record's own subclass lacks finds nothing even where another subclass of
// the record has that code.
TEST(EntityLayer, ViewsAreTypedAndLookInTheirOwnSubclass)
{
    Document doc;
    load(doc, testpaths::samples(QStringLiteral("studio-floor-plan-2018.dxf")));
    std::size_t attribs = 0, withType = 0;
    for (std::uint32_t i = 0; i < doc.recordCount(); ++i) {
        if (doc.record(i).kind != Kind::Attrib) continue;
        EXPECT_FALSE(View<def::Text>::of(doc, i));
        EXPECT_FALSE(View<def::Line>::of(doc, i));
        auto v = View<def::Attrib>::of(doc, i);
        ASSERT_TRUE(v);
        ++attribs;
        // The attribute type (71 in AcDbAttribute) is not the text's
        // generation flags (71 in AcDbText).
        if (!v->has(def::Attrib::attributeType)) continue;
        ++withType;
        EXPECT_FALSE(v->has(def::Attrib::generation)) << doc.record(i).handle;
        EXPECT_EQ(v->get(def::Attrib::generation), 0);
    }
    EXPECT_GT(attribs, 0u);
    EXPECT_GT(withType, 0u);
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
        if (entityColor(*View<def::AnyEntity>::of(doc, rec)).rgb) {
            withTrue = rec;
            break;
        }
    }
    ASSERT_TRUE(withTrue) << "the drawing has an entity with a true color";
    EntityColor before = entityColor(*View<def::AnyEntity>::of(doc, *withTrue));
    EXPECT_NE(before.aci, def::AnyEntity::kByLayer);

    ASSERT_TRUE(setEntityColor(doc, *withTrue, 3));
    EntityColor after = entityColor(*View<def::AnyEntity>::of(doc, *withTrue));
    EXPECT_EQ(after.aci, 3);
    EXPECT_FALSE(after.rgb);

    QTemporaryDir tmp;
    QString out = tmp.filePath(QStringLiteral("colored.dxf"));
    save(doc, out);
    QJsonObject facts = ezdxfFacts({out}).value(out).toObject();
    QString handle = QString::fromStdString(Document::formatHandle(doc.record(*withTrue).handle));
    QJsonObject attrs = facts.value(handle).toObject().value(QStringLiteral("attrs")).toObject();
    EXPECT_EQ(attrs.value(QStringLiteral("color")).toInt(), 3);
    EXPECT_FALSE(attrs.contains(QStringLiteral("true_color")));
}

// A value a record lacks is added in the subclass that holds it: a TEXT's
// after its first AcDbText marker (not in the second, where the vertical
// alignment stands), an ATTRIB's before the AcDbAttribute marker; ezdxf
// reads both back.
TEST(EntityLayer, AddedGroupsGoToTheirOwnSubclass)
{
    QString file = testpaths::corpus(QStringLiteral("sample_2018_ascii.dxf"));
    Document doc;
    load(doc, file);
    std::optional<std::uint32_t> text, attrib;
    for (std::uint32_t i = 0; i < doc.recordCount() && !(text && attrib); ++i) {
        if (doc.isDeleted(i)) continue;
        if (!text && doc.record(i).kind == Kind::Text) text = i;
        if (!attrib && doc.record(i).kind == Kind::Attrib) attrib = i;
    }
    ASSERT_TRUE(text && attrib);
    // Take the value groups out, as some writers leave an empty value out.
    for (std::uint32_t rec : {*text, *attrib}) {
        Document::Edit e = doc.edit(rec);
        for (int at; (at = e.findMain(def::Text::value.code)) >= 0;) e.remove(static_cast<std::uint32_t>(at));
        e.commit();
        EXPECT_EQ(entityText(doc, rec), "");
    }
    ASSERT_TRUE(setTextValue(doc, *text, "Added text"));
    ASSERT_TRUE(setAttributeValue(doc, *attrib, "Added value"));
    EXPECT_EQ(entityText(doc, *text), "Added text");
    EXPECT_EQ(entityText(doc, *attrib), "Added value");

    QTemporaryDir tmp;
    QString out = tmp.filePath(QStringLiteral("added.dxf"));
    save(doc, out);
    QJsonObject facts = ezdxfFacts({out}).value(out).toObject();
    auto valueOf = [&](std::uint32_t rec) {
        QString handle = QString::fromStdString(Document::formatHandle(doc.record(rec).handle));
        return facts.value(handle).toObject().value(QStringLiteral("attrs")).toObject().value(QStringLiteral("text"));
    };
    EXPECT_EQ(valueOf(*text).toString(), QStringLiteral("Added text"));
    EXPECT_EQ(valueOf(*attrib).toString(), QStringLiteral("Added value"));
}

// An INSERT's ATTRIBs follow it up to its SEQEND; a multi-line attribute's
// embedded MTEXT is read through the same declarations as an MTEXT's own.
TEST(EntityLayer, AttributesFollowTheirInsert)
{
    Document doc;
    load(doc, testpaths::corpus(QStringLiteral("more/mozman__ezdxf__examples_dxf_multi_insert_with_attribs.dxf")));
    std::size_t inserts = 0;
    for (std::uint32_t rec : doc.spaces()[0].entities) {
        auto v = View<def::Insert>::of(doc, rec);
        if (!v) continue;
        std::vector<std::uint32_t> attribs = attributesOf(doc, rec);
        EXPECT_EQ(v->get(def::Insert::attribsFollow) == 1, !attribs.empty());
        for (std::uint32_t a : attribs) {
            EXPECT_EQ(doc.record(a).parent, static_cast<std::int32_t>(rec));
            EXPECT_FALSE(View<def::Attrib>::of(doc, a)->get(def::Attrib::tag).empty());
        }
        ++inserts;
    }
    EXPECT_GT(inserts, 0u);

    Document multi;
    load(multi, testpaths::testData(QStringLiteral("odd/multiline-attribute-2018.dxf")));
    std::size_t embedded = 0;
    for (std::uint32_t i = 0; i < multi.recordCount(); ++i) {
        if (!isMultilineAttribute(multi, i)) continue;
        auto mtext = View<def::Attrib>::of(multi, i)->embedded();
        ASSERT_TRUE(mtext);
        EXPECT_GT(mtext->get(def::MText::height), 0);
        ++embedded;
    }
    EXPECT_GT(embedded, 0u);
}
