#pragma once
// The entity layer: what the program knows about the DXF records it reads
// and changes, declared once. Each entity class and table entry lists its
// attributes: the group code that holds each, and the value it has when the
// record leaves it out. Everything above the lossless document (the
// renderer, the content document, the edits, the DWG writer) reads and
// writes group codes through these declarations, so a fact about an entity
// (where a TEXT keeps its value, which code holds a true color, how an
// INSERT's attributes follow it) lives in this one place.
//
// The layer only reads the document's groups and hands codes to its edits:
// the bytes of the file stay the document's.

#include "ddvue/dxf/Document.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ddvue::dxf {

struct Point3 {
    double x = 0, y = 0, z = 0;
};

// One attribute: the group code that holds it and its value when absent.
struct RealAttr {
    int code;
    double fallback = 0;
};
struct IntAttr {
    int code;
    std::int64_t fallback = 0;
};
struct TextAttr {
    int code;
    std::string_view fallback = {};
};
// A point or vector: x in `code`, y in code + 10, z in code + 20; each
// coordinate the record leaves out takes the fallback's.
struct PointAttr {
    int code;
    Point3 fallback = {};
    int y() const { return code + 10; }
    int z() const { return code + 20; }
};
// A group that repeats within a record: one per vertex, knot, weight...
// A repeated point's y follows its x as code + 10.
struct Repeat {
    int code;
};

// The declarations, one struct per DXF class, in the spirit of the DXF
// reference's subclass markers. An entity type inherits the common
// attributes of every entity.
namespace def {

// Codes every record can carry, wherever it stands.
struct Common {
    static constexpr TextAttr handle{code::kHandle};
    static constexpr TextAttr dimstyleHandle{code::kDimstyleHandle};
    static constexpr TextAttr owner{code::kOwner};
    static constexpr int subclass = code::kSubclass;
    static constexpr int appGroup = code::kAppGroup;
    static constexpr int embeddedObject = code::kEmbeddedObject;  // multi-line attributes' MTEXT
    static constexpr int extendedData = code::kExtendedData;
    static constexpr int comment = code::kComment;
};

// AcDbEntity: every graphical entity.
struct Entity : Common {
    static constexpr TextAttr layer{8, "0"};
    static constexpr TextAttr linetype{6, "BYLAYER"};
    static constexpr IntAttr color{62, 256};   // ACI: 0 by block, 256 by layer, 1..255
    static constexpr IntAttr trueColor{420, -1};  // 0x00RRGGBB; rules over the ACI when present
    static constexpr IntAttr colorName{430};      // a color book's name, goes with the true color
    static constexpr IntAttr invisible{60, 0};
    static constexpr IntAttr paperSpace{code::kPaperSpace, 0};
    static constexpr PointAttr extrusion{210, {0, 0, 1}};

    static constexpr int kByBlock = 0;
    static constexpr int kForeground = 7;  // white on black, black on white
    static constexpr int kByLayer = 256;
};

struct Line : Entity {
    static constexpr PointAttr start{10}, end{11};
};
struct Point : Entity {
    static constexpr PointAttr location{10};
};
struct Circle : Entity {
    static constexpr PointAttr center{10};
    static constexpr RealAttr radius{40};
};
struct Arc : Circle {
    static constexpr RealAttr startAngle{50}, endAngle{51};  // degrees
};
struct Ellipse : Entity {
    static constexpr PointAttr center{10}, majorAxis{11};
    static constexpr RealAttr ratio{40, 1};
    static constexpr RealAttr startParam{41, 0}, endParam{42, 6.283185307179586};
};
// SOLID, TRACE and 3DFACE: three or four corners; a missing fourth is the third.
struct Solid : Entity {
    static constexpr PointAttr corner0{10}, corner1{11}, corner2{12}, corner3{13};
};
struct Face3d : Solid {
    static constexpr IntAttr hiddenEdges{70, 0};  // bit e hides the edge from corner e
};

// TEXT, and the text part of ATTRIB and ATTDEF.
struct Text : Entity {
    static constexpr TextAttr value{1};
    static constexpr PointAttr insert{10}, alignPoint{11};
    static constexpr RealAttr height{40, 0};
    static constexpr RealAttr widthFactor{41, 1};
    static constexpr RealAttr rotation{50, 0};  // degrees
    static constexpr RealAttr oblique{51, 0};   // degrees
    static constexpr TextAttr style{7, "STANDARD"};
    static constexpr IntAttr generation{71, 0};  // 2 backward, 4 upside down
    static constexpr IntAttr halign{72, 0};      // 0 left .. 5 fit
    static constexpr IntAttr valign{73, 0};      // 0 baseline .. 3 top
    static constexpr int kBackward = 2, kUpsideDown = 4;
    static constexpr int kAligned = 3, kMiddle = 4, kFit = 5;
};
// ATTRIB and ATTDEF: a text with a tag; the vertical alignment moves to 74.
struct Attrib : Text {
    static constexpr TextAttr tag{2};
    static constexpr IntAttr flags{70, 0};
    static constexpr IntAttr valign{74, 0};
    static constexpr int kInvisible = 1, kConstant = 2;
    // A multi-line attribute carries its text and layout a second time in an
    // embedded MTEXT object, after the embedded-object group.
};
using Attdef = Attrib;

struct MText : Entity {
    static constexpr int text = 1;   // the text's last (or only) piece
    static constexpr int chunk = 3;  // every full 250-byte piece before it
    static constexpr std::size_t kChunkBytes = 250;
    static constexpr PointAttr insert{10};
    static constexpr PointAttr direction{11, {1, 0, 0}};
    static constexpr RealAttr height{40, 0};
    static constexpr RealAttr width{41, 0};
    static constexpr RealAttr lineSpacing{44, 1};
    static constexpr RealAttr rotation{50, 0};  // degrees, when there is no direction
    static constexpr IntAttr attachment{71, 1};  // 1 top left .. 9 bottom right
    static constexpr TextAttr style{7, "STANDARD"};
    // The groups before which a new text goes when the record has none.
    static constexpr int kAfterText[] = {7, 210, 11, 50, 73, 44};
};

// INSERT: a block reference; its ATTRIBs follow it up to a SEQEND when
// attribsFollow is 1.
struct Insert : Entity {
    static constexpr TextAttr block{2};
    static constexpr PointAttr insert{10};
    static constexpr RealAttr xscale{41, 1}, yscale{42, 1};
    static constexpr RealAttr rotation{50, 0};  // degrees
    static constexpr IntAttr columns{70, 1}, rows{71, 1};
    static constexpr RealAttr columnSpacing{44, 0}, rowSpacing{45, 0};
    static constexpr IntAttr attribsFollow{66, 0};
};
// DIMENSION and ACAD_TABLE draw an anonymous block.
struct Dimension : Entity {
    static constexpr TextAttr block{2};
};
struct AcadTable : Dimension {
    static constexpr PointAttr insert{10};
    static constexpr PointAttr direction{11, {1, 0, 0}};
};

struct LwPolyline : Entity {
    static constexpr IntAttr flags{70, 0};  // 1 closed
    static constexpr RealAttr constantWidth{43, 0};
    static constexpr RealAttr elevation{38, 0};
    static constexpr Repeat vertex{10}, startWidth{40}, endWidth{41}, bulge{42};
};
// POLYLINE: its VERTEXes follow it up to a SEQEND.
struct Polyline : Entity {
    static constexpr IntAttr flags{70, 0};
    static constexpr PointAttr elevation{10};  // z only
    static constexpr RealAttr startWidth{40, 0}, endWidth{41, 0};
    static constexpr IntAttr meshRows{71, 0}, meshColumns{72, 0};
    static constexpr int kClosed = 1, k3d = 8, kMesh = 16, kMeshClosedN = 32, kPolyface = 64;
};
struct Vertex : Common {
    static constexpr PointAttr location{10};
    static constexpr RealAttr startWidth{40}, endWidth{41}, bulge{42, 0};
    static constexpr IntAttr flags{70, 0};
    static constexpr IntAttr face[4] = {{71}, {72}, {73}, {74}};  // polyface corners, 1-based
    static constexpr int kSplineFrame = 16, kPolyfaceVertex = 64, kMeshVertex = 128;
};

struct Spline : Entity {
    static constexpr IntAttr flags{70, 0};  // 1 closed
    static constexpr IntAttr degree{71, 3};
    static constexpr Repeat knot{40}, weight{41}, control{10}, fit{11};
};
struct Leader : Entity {
    static constexpr Repeat vertex{10};
    static constexpr IntAttr arrowhead{71, 1};
};
// IMAGE and WIPEOUT: an origin, pixel vectors, the size in pixels and a clip
// boundary in pixels.
struct Image : Entity {
    static constexpr PointAttr origin{10}, uPixel{11}, vPixel{12};
    static constexpr PointAttr size{13, {1, 1, 0}};
    static constexpr Repeat clipVertex{14};
};
struct Viewport : Entity {
    static constexpr PointAttr center{10};
    static constexpr RealAttr width{40}, height{41};
    static constexpr IntAttr id{69, 0};  // 1: the sheet's own
};
struct MLine : Entity {
    static constexpr IntAttr flags{71, 0};  // 2 closed
    static constexpr Repeat vertex{11}, miter{13};
    static constexpr int elementParams = 74, param = 41;
};
struct Mesh : Entity {
    static constexpr int vertexCount = 92, faceListSize = 93, edgeCount = 94, creaseCount = 95;
    static constexpr Repeat vertex{10};
    static constexpr int faceItem = 90;
};
struct Hatch : Entity {
    static constexpr PointAttr elevation{10};
    static constexpr IntAttr solid{70, 0};
    // Within a boundary path: a vertex, an edge's (start or centre) point,
    // a line edge's end or an ellipse's major axis; y at code + 10.
    static constexpr int point = 10, point2 = 11;
    static constexpr int pathCount = 91, pathType = 92, pathItems = 93, sourceObjects = 97;
    static constexpr int styleFlag = 75, patternType = 76;
    static constexpr int hasBulge = 72, edgeType = 72, isClosed = 73;
    static constexpr int radius = 40, startAngle = 50, endAngle = 51, ccw = 73, bulge = 42;
    static constexpr int degree = 94, rational = 73, periodic = 74, knotCount = 95, controlCount = 96;
    static constexpr int knot = 40, weight = 42, fitCount = 97;
    static constexpr int patternLines = 78, lineAngle = 53, lineBaseX = 43, lineBaseY = 44;
    static constexpr int lineOffsetX = 45, lineOffsetY = 46, dashCount = 79, dash = 49;
    static constexpr int seedCount = 98, gradient = 450;
    static constexpr int kPolylinePath = 2;
    static constexpr int kLineEdge = 1, kArcEdge = 2, kEllipseEdge = 3, kSplineEdge = 4;
};

// Table entries and section markers.
struct TableEntry : Common {
    static constexpr TextAttr name{code::kName};
    static constexpr IntAttr flags{70, 0};
};
struct Layer : TableEntry {
    static constexpr IntAttr color{62, 7};  // negative: the layer is off
    static constexpr IntAttr trueColor{420, -1};
    static constexpr TextAttr linetype{6, "CONTINUOUS"};
    static constexpr int kFrozen = 1, kLocked = 4;
};
struct Block : TableEntry {  // BLOCK in the BLOCKS section
    static constexpr PointAttr base{10};
    static constexpr TextAttr xrefPath{1};
    static constexpr int kExternal = 4, kOverlay = 8;
};
struct Section : Common {
    static constexpr TextAttr name{code::kName};
};
struct Layout : Common {
    static constexpr const char* kSubclass = "AcDbLayout";
    static constexpr TextAttr name{1};         // within the AcDbLayout part
    static constexpr TextAttr blockRecord{330};  // within the AcDbLayout part
};

// The objects that the layer and attribute edits reach besides entities.
struct Ownership : Common {
    static constexpr int hardOwner = 360;          // an object this one owns
    static constexpr const char* kExtensionDictionary = "{ACAD_XDICTIONARY";
    static constexpr int extendedLayerName = 1003;  // a layer's name in extended data
};
struct Table : Common {  // TABLE, the start of a table
    static constexpr TextAttr name{code::kName};
    static constexpr IntAttr count{70, 0};
};
struct XrefDependent {
    static constexpr int kFlag = 16;  // in a table entry's flags: it belongs to an external reference
    static constexpr char kSeparator = '|';
};
struct Dictionary : Common {
    static constexpr Repeat entryName{3}, entry{350}, ownedEntry{360};
    static constexpr const char* kLayerStates = "ACAD_LAYERSTATES";
};
// A layer state: an XRECORD in the ACAD_LAYERSTATES dictionary. After its
// subclass marker, the current layer, then one entry for each layer, which
// starts with the layer's name (older drawings) or its handle.
struct LayerStateRecord : Common {
    static constexpr const char* kSubclass = "AcDbXrecord";
    static constexpr TextAttr currentLayer{302};
    static constexpr Repeat layerName{8}, layerHandle{330};
};
struct LayerFilter : Common {  // LAYER_FILTER: the names of the layers it lets through
    static constexpr Repeat layerName{8};
};
struct LayerIndex : Common {  // LAYER_INDEX: for each layer its name, its ID buffer and the buffer's size
    static constexpr Repeat layerName{8}, buffer{360}, entries{90};
};
struct FrozenLayers {  // VIEWPORT: the layers frozen in it, by handle
    static constexpr Repeat layerHandle{341};
};
struct EntityLayout {  // the layout of an entity in paper space
    static constexpr TextAttr layout{410};
};
struct InsertScale {  // INSERT: the scale along z, besides Insert's x and y
    static constexpr RealAttr zscale{43, 1};
};
struct AttdefPrompt {  // ATTDEF: its prompt, in the attribute definition's part
    static constexpr TextAttr prompt{3};
    static constexpr const char* kSubclass = "AcDbAttributeDefinition";
    static constexpr const char* kAttribSubclass = "AcDbAttribute";
    static constexpr int kPreset = 8;
};
struct EmbeddedText {  // the MTEXT that a multi-line attribute embeds
    static constexpr PointAttr insert{10}, direction{11};
    static constexpr RealAttr height{40}, width{41}, definedHeight{46};
};

}  // namespace def

// A record's groups read through the declarations: the first group of an
// attribute's code in the record's main part (outside 102 brackets, before an
// embedded object or extended data), or the attribute's fallback.
class EntityView : public RecordView {
public:
    EntityView(RecordView v) : RecordView(v) {}  // NOLINT: a view reads as an entity view
    EntityView(const Document& doc, std::uint32_t record) : RecordView(doc.view(record)) {}

    // The embedded object of a multi-line attribute, as a view whose
    // attributes are those of the embedded MTEXT; nullopt when there is none.
    std::optional<EntityView> embedded() const;

    int indexOf(int code) const;
    bool has(int code) const { return indexOf(code) >= 0; }
    bool has(const PointAttr& a) const { return has(a.code); }
    bool has(const RealAttr& a) const { return has(a.code); }
    bool has(const IntAttr& a) const { return has(a.code); }
    bool has(const TextAttr& a) const { return has(a.code); }

    double get(const RealAttr& a) const;
    std::int64_t get(const IntAttr& a) const;
    std::string get(const TextAttr& a) const;
    Point3 get(const PointAttr& a) const;
    // The bits of a flags attribute.
    bool flag(const IntAttr& a, int bit) const { return (get(a) & bit) != 0; }

    // Calls f(index, code) for each group of the main part (of the embedded
    // object, for an embedded view).
    template <typename F>
    void forEach(F&& f) const
    {
        if (from_ == 0) return forEachMain(std::forward<F>(f));
        for (std::uint32_t i = from_; i < size() && code(i) != def::Common::extendedData; ++i) f(i, code(i));
    }

private:
    std::uint32_t from_ = 0;  // 0: the record's main part; else where an embedded object's groups start
};

// An entity's own color: a true color when it has one, else its ACI
// (0 by block, 256 by layer, 1..255).
struct EntityColor {
    int aci = def::Entity::kByLayer;
    std::optional<std::uint32_t> rgb;  // 0xRRGGBB
};
EntityColor entityColor(const EntityView& v);

// The children of an INSERT that are its ATTRIBs (deleted ones left out).
std::vector<std::uint32_t> attributesOf(const Document& doc, std::uint32_t insert);
// How many there are, without listing them.
std::size_t attributeCount(const Document& doc, std::uint32_t insert);
// The VERTEX children of a POLYLINE (deleted ones left out).
std::vector<std::uint32_t> verticesOf(const Document& doc, std::uint32_t polyline);
// Whether a block definition stands for an external reference.
bool isExternalReference(const Document& doc, const BlockDef& block);
// Whether an ATTRIB carries an embedded multi-line text.
bool isMultilineAttribute(const Document& doc, std::uint32_t record);

}  // namespace ddvue::dxf
