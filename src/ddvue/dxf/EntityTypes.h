#pragma once
// The graphical entities the program reads and writes, declared once: each
// type's subclasses in file order, and in each the attributes it holds (see
// Declare.h). Fallbacks are the values a record that leaves a group out has.

#include "ddvue/dxf/Declare.h"

#include <numbers>

namespace ddvue::dxf {

namespace sub {

// The groups every object starts with, before any subclass marker.
struct Object : Subclass<Object> {
    static constexpr auto markers = dxf::markers();
    static constexpr Handle handle{5};
    static constexpr Handle owner{330, since(Version::R13)};
};

struct AcDbEntity : Subclass<AcDbEntity> {
    static constexpr auto markers = dxf::markers("AcDbEntity");
    static constexpr bool kGathersStrays = true;
    static constexpr Text layer{8, "0"};
    static constexpr Text linetype{6, "BYLAYER"};
    static constexpr Int color{62, 256};  // ACI: 0 by block, 256 by layer, 1..255
    static constexpr Int paperSpace{67, 0};
    static constexpr Int invisible{60, 0};
    static constexpr Int lineweight{370, -1, since(Version::R2000)};
    static constexpr Real linetypeScale{48, 1, since(Version::R2000)};
    static constexpr Int trueColor{420, -1, since(Version::R2004)};  // 0x00RRGGBB; rules over the ACI when present
    static constexpr Text colorName{430, {}, since(Version::R2004)};  // a color book's name, goes with the true color
    static constexpr Int transparency{440, 0, since(Version::R2004)};
    static constexpr Text layout{410, {}, since(Version::R2000)};  // the paper space layout it is drawn in

    static constexpr int kByBlock = 0;
    static constexpr int kForeground = 7;  // white on black, black on white
    static constexpr int kByLayer = 256;
};

struct AcDbLine : Subclass<AcDbLine> {
    static constexpr auto markers = dxf::markers("AcDbLine");
    static constexpr Real thickness{39, 0};
    static constexpr Point start{10}, end{11};
    static constexpr Point extrusion{210, {0, 0, 1}};
};

struct AcDbPoint : Subclass<AcDbPoint> {
    static constexpr auto markers = dxf::markers("AcDbPoint");
    static constexpr Point location{10};
    static constexpr Real thickness{39, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr Real angle{50, 0};  // degrees: the x axis of the point's own frame
};

struct AcDbCircle : Subclass<AcDbCircle> {
    static constexpr auto markers = dxf::markers("AcDbCircle");
    static constexpr Real thickness{39, 0};
    static constexpr Point center{10};
    static constexpr Real radius{40, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
};
struct AcDbArc : Subclass<AcDbArc> {
    static constexpr auto markers = dxf::markers("AcDbArc");
    static constexpr Real startAngle{50, 0}, endAngle{51, 0};  // degrees
};

struct AcDbEllipse : Subclass<AcDbEllipse> {
    static constexpr auto markers = dxf::markers("AcDbEllipse");
    static constexpr Point center{10}, majorAxis{11};
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr Real ratio{40, 1};
    static constexpr Real startParam{41, 0}, endParam{42, 2 * std::numbers::pi};
};

// SOLID and TRACE: three or four corners in their plane; a missing fourth is the third.
struct AcDbTrace : Subclass<AcDbTrace> {
    static constexpr auto markers = dxf::markers("AcDbTrace");
    static constexpr Point corner0{10}, corner1{11}, corner2{12}, corner3{13};
    static constexpr Real thickness{39, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
};
// 3DFACE: corners in the world.
struct AcDbFace : Subclass<AcDbFace> {
    static constexpr auto markers = dxf::markers("AcDbFace");
    static constexpr Point corner0{10}, corner1{11}, corner2{12}, corner3{13};
    static constexpr Int hiddenEdges{70, 0};  // bit e hides the edge from corner e
};

// XLINE and RAY: a point and a direction.
struct AcDbXline : Subclass<AcDbXline> {
    static constexpr auto markers = dxf::markers("AcDbXline");
    static constexpr Point start{10}, direction{11};
};
struct AcDbRay : Subclass<AcDbRay> {
    static constexpr auto markers = dxf::markers("AcDbRay");
    static constexpr Point start{10}, direction{11};
};

// The text of TEXT, ATTRIB and ATTDEF.
struct AcDbText : Subclass<AcDbText> {
    static constexpr auto markers = dxf::markers("AcDbText");
    static constexpr Real thickness{39, 0};
    static constexpr Point insert{10};
    static constexpr Real height{40, 0};
    static constexpr Text value{1};
    static constexpr Real rotation{50, 0};  // degrees
    static constexpr Real widthFactor{41, 1};
    static constexpr Real oblique{51, 0};  // degrees
    static constexpr Text style{7, "STANDARD"};
    static constexpr Int generation{71, 0};  // 2 backward, 4 upside down
    static constexpr Int halign{72, 0};      // 0 left .. 5 fit
    static constexpr Point alignPoint{11};
    static constexpr Point extrusion{210, {0, 0, 1}};

    static constexpr int kBackward = 2, kUpsideDown = 4;
    static constexpr int kCenter = 1, kRight = 2, kAligned = 3, kMiddle = 4, kFit = 5;
    static constexpr int kBottom = 1, kVMiddle = 2, kTop = 3;
};
// TEXT writes a second AcDbText part for its vertical alignment.
struct AcDbTextAlign : Subclass<AcDbTextAlign> {
    static constexpr auto markers = dxf::markers("AcDbText");
    static constexpr Int valign{73, 0};  // 0 baseline .. 3 top
};
// What ATTRIB and ATTDEF add to the text. Their vertical alignment is here,
// in 74; their 73 is the field length.
struct AcDbAttribute : Subclass<AcDbAttribute> {
    static constexpr auto markers = dxf::markers("AcDbAttribute");
    static constexpr Text tag{2};
    static constexpr Int flags{70, 0};
    static constexpr Int fieldLength{73, 0};
    static constexpr Int valign{74, 0};
    static constexpr Int attributeType{71, 1, markedSince(Version::R2018)};  // 1 one line, 2 multi-line

    static constexpr int kInvisible = 1, kConstant = 2, kVerify = 4, kPreset = 8;
};
struct AcDbAttributeDefinition : Subclass<AcDbAttributeDefinition> {
    static constexpr auto markers = dxf::markers("AcDbAttributeDefinition");
    static constexpr Text prompt{3};
    static constexpr Text tag{2};
    static constexpr Int flags{70, 0};
    static constexpr Int fieldLength{73, 0};
    static constexpr Int valign{74, 0};
    static constexpr Int attributeType{71, 1, markedSince(Version::R2018)};  // 1 one line, 4 multi-line

    static constexpr int kInvisible = 1, kConstant = 2, kVerify = 4, kPreset = 8;
};

struct AcDbMText : Subclass<AcDbMText> {
    static constexpr auto markers = dxf::markers("AcDbMText");
    static constexpr Point insert{10};
    static constexpr Real height{40, 0};
    static constexpr Real width{41, 0};
    static constexpr Real definedHeight{46, 0};
    static constexpr Int attachment{71, 1};  // 1 top left .. 9 bottom right
    static constexpr Int flow{72, 1};        // 1 left to right, 3 top to bottom, 5 by style
    // The text: every full 250-byte piece in a chunk, the last (or only) in text.
    static constexpr Text text{1};
    static constexpr Text chunk{3};
    static constexpr Text style{7, "STANDARD"};
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr Point direction{11, {1, 0, 0}};
    static constexpr Real rotation{50, 0};  // degrees, when there is no direction
    static constexpr Int lineSpacingStyle{73, 1};
    static constexpr Real lineSpacing{44, 1};

    static constexpr std::size_t kChunkBytes = 250;
};

// An array of references (MINSERT) names its part AcDbMInsertBlock.
struct AcDbBlockReference : Subclass<AcDbBlockReference> {
    static constexpr auto markers = dxf::markers("AcDbBlockReference", "AcDbMInsertBlock");
    static constexpr Int attribsFollow{66, 0};
    static constexpr Text block{2};
    static constexpr Point insert{10};
    static constexpr Real xscale{41, 1}, yscale{42, 1}, zscale{43, 1};
    static constexpr Real rotation{50, 0};  // degrees
    static constexpr Int columns{70, 1}, rows{71, 1};
    static constexpr Real columnSpacing{44, 0}, rowSpacing{45, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
};

struct AcDbDimension : Subclass<AcDbDimension> {
    static constexpr auto markers = dxf::markers("AcDbDimension");
    static constexpr Text block{2};
    static constexpr Point definitionPoint{10};
    static constexpr Point textPoint{11};
    static constexpr Int flags{70, 0};  // the kind in the low bits, 32: the block is this dimension's own
    static constexpr Int attachment{71, 5, since(Version::R2000)};
    static constexpr Int lineSpacingStyle{72, 1, since(Version::R2000)};
    static constexpr Real lineSpacing{41, 1, since(Version::R2000)};
    static constexpr Real measurement{42, 0, since(Version::R2000)};
    static constexpr Text text{1};
    static constexpr Real textRotation{53, 0};  // degrees
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr Text dimstyle{3, "Standard"};

    static constexpr int kLinear = 0, kAligned = 1, kAngular = 2, kDiameter = 3, kRadius = 4, kAngular3 = 5,
                         kOrdinate = 6, kOwnBlock = 32;
};
// What each kind of dimension measures from. The marker names the kind.
struct DimensionKind : Subclass<DimensionKind> {
    static constexpr auto markers =
        dxf::markers("AcDbAlignedDimension", "AcDb3PointAngularDimension", "AcDb2LineAngularDimension",
                     "AcDbRadialDimension", "AcDbDiametricDimension", "AcDbOrdinateDimension", "AcDbArcDimension",
                     "AcDbRadialDimensionLarge");
    static constexpr int kAlignedMarker = 0, k3PointAngularMarker = 1, k2LineAngularMarker = 2, kRadialMarker = 3,
                         kDiametricMarker = 4, kOrdinateMarker = 5;
    static constexpr Point point2{13}, point3{14}, point4{15}, point5{16};
    static constexpr Real leaderLength{40, 0};
    static constexpr Real angle{50, 0};    // degrees: a linear dimension's direction
    static constexpr Real oblique{52, 0};  // degrees: its extension lines' slant
};
// A linear dimension adds this marker after the aligned one.
struct AcDbRotatedDimension : Subclass<AcDbRotatedDimension> {
    static constexpr auto markers = dxf::markers("AcDbRotatedDimension");
};

// ACAD_TABLE: a block reference to the block that draws its cells.
// Its cells carry colors of their own (see kOwnColorParts).
struct AcDbTable : Subclass<AcDbTable> {
    static constexpr auto markers = dxf::markers("AcDbTable");
    static constexpr Point direction{11, {1, 0, 0}};
};

struct AcDbPolyline : Subclass<AcDbPolyline> {
    static constexpr auto markers = dxf::markers("AcDbPolyline");
    static constexpr Int vertexCount{90, 0};
    static constexpr Int flags{70, 0};  // 1 closed, 128 linetype along the whole line
    static constexpr Real constantWidth{43, 0};
    static constexpr Real elevation{38, 0};
    static constexpr Real thickness{39, 0};
    // One per vertex, in this order; the widths and bulge when they are not 0.
    static constexpr Point2 vertex{10};
    static constexpr Real startWidth{40, 0}, endWidth{41, 0}, bulge{42, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr int kClosed = 1, kPlinegen = 128;
};

// POLYLINE: its VERTEXes follow it up to a SEQEND. The marker tells the kind.
struct PolylineKind : Subclass<PolylineKind> {
    static constexpr auto markers =
        dxf::markers("AcDb2dPolyline", "AcDb3dPolyline", "AcDbPolyFaceMesh", "AcDbPolygonMesh");
    static constexpr int k2d = 0, k3d = 1;
    static constexpr Int entitiesFollow{66, 0};
    static constexpr Point elevation{10};  // z only
    static constexpr Real thickness{39, 0};
    static constexpr Int flags{70, 0};
    static constexpr Real startWidth{40, 0}, endWidth{41, 0};
    static constexpr Int meshRows{71, 0}, meshColumns{72, 0};
    static constexpr Int smoothRows{73, 0}, smoothColumns{74, 0};
    static constexpr Int smoothType{75, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr int kClosed = 1, kCurveFit = 2, kSplineFit = 4, k3dPolyline = 8, k3dMesh = 16,
                         kMeshClosedN = 32, kPolyface = 64;
};
struct AcDbVertex : Subclass<AcDbVertex> {
    static constexpr auto markers = dxf::markers("AcDbVertex");
};
// A vertex's own part: the marker tells the kind. Face records of a
// polyface mesh have it without the AcDbVertex marker before it.
struct VertexKind : Subclass<VertexKind> {
    static constexpr auto markers = dxf::markers("AcDb2dVertex", "AcDb3dPolylineVertex", "AcDbPolyFaceMeshVertex",
                                                 "AcDbPolygonMeshVertex", "AcDbFaceRecord");
    static constexpr int k2d = 0, k3d = 1;
    static constexpr Point location{10};
    static constexpr Real startWidth{40, 0}, endWidth{41, 0}, bulge{42, 0};
    static constexpr Int flags{70, 0};
    static constexpr Real tangent{50, 0};  // degrees
    static constexpr Int face0{71, 0}, face1{72, 0}, face2{73, 0}, face3{74, 0};  // polyface corners, 1-based
    static constexpr int kCurveFit = 1, kTangent = 2, kSplineVertex = 8, kSplineFrame = 16, k3dVertex = 32,
                         kMeshVertex = 64, kPolyfaceVertex = 128;
};

struct AcDbSpline : Subclass<AcDbSpline> {
    static constexpr auto markers = dxf::markers("AcDbSpline");
    static constexpr Point normal{210, {0, 0, 1}};
    static constexpr Int flags{70, 0};  // 1 closed, 4 rational
    static constexpr Int degree{71, 3};
    static constexpr Int knotCount{72, 0}, controlCount{73, 0}, fitCount{74, 0};
    static constexpr Real knotTolerance{42, 1e-10}, controlTolerance{43, 1e-10}, fitTolerance{44, 1e-10};
    static constexpr Point startTangent{12}, endTangent{13};
    // Repeated: every knot, weight, control point and fit point in turn.
    static constexpr Real knot{40, 0}, weight{41, 1};
    static constexpr Point control{10}, fit{11};
    static constexpr int kClosed = 1, kPeriodic = 2, kRational = 4;
};

struct AcDbLeader : Subclass<AcDbLeader> {
    static constexpr auto markers = dxf::markers("AcDbLeader");
    static constexpr Text dimstyle{3, "Standard"};
    static constexpr Int arrowhead{71, 1};
    static constexpr Int pathType{72, 0};  // 0 straight lines, 1 a spline
    static constexpr Int annotationType{73, 3};
    static constexpr Int hooklineDirection{74, 1};
    static constexpr Int hasHookline{75, 1};
    static constexpr Real textHeight{40, 1}, textWidth{41, 1};
    static constexpr Int vertexCount{76, 0};
    static constexpr Point vertex{10};  // repeated
    static constexpr Point normal{210, {0, 0, 1}};
    static constexpr Point horizontalDirection{211, {1, 0, 0}};
    static constexpr Point blockOffset{212}, annotationOffset{213};
};

// A multileader keeps what it shows in its context data: its text and its
// leaders, each a landing point, a dogleg and lines of vertices. Brackets
// (text groups whose values open and close them) set the parts apart;
// outside the context data the same codes mean other things.
struct AcDbMLeader : Subclass<AcDbMLeader> {
    static constexpr auto markers = dxf::markers("AcDbMLeader");
    static constexpr Int hasDogleg{291, 1};  // outside the context data

    static constexpr Text contextOpen{300};  // "CONTEXT_DATA{"
    static constexpr Text contextClose{301};
    static constexpr Text leaderOpen{302};  // "LEADER{"
    static constexpr Text leaderClose{303};
    static constexpr Text lineOpen{304};  // "LEADER_LINE{", inside a leader
    static constexpr Text lineClose{305};
    static constexpr std::string_view kContext = "CONTEXT_DATA{", kLeader = "LEADER{", kLine = "LEADER_LINE{";

    // In the context data, outside the leaders: the text.
    static constexpr Text textContent{304};
    static constexpr Point2 textLocation{12};
    static constexpr Point2 textDirection{13};
    static constexpr Real textHeight{41, 0};
    static constexpr Real textWidth{43, 0};
    static constexpr Int textAlignment{171, 1};  // 1 left, 2 centre, 3 right
    // In a leader: where it lands and its dogleg.
    static constexpr Point2 landing{10};
    static constexpr Point2 doglegDirection{11};
    static constexpr Real doglegLength{40, 0};
    // In a leader line: its vertices.
    static constexpr Point2 lineVertex{10};
};

// IMAGE and WIPEOUT: an origin, pixel vectors, the size in pixels and a clip
// boundary in pixels.
struct AcDbRasterImage : Subclass<AcDbRasterImage> {
    static constexpr auto markers = dxf::markers("AcDbRasterImage", "AcDbWipeout");
    static constexpr int kImage = 0, kWipeout = 1;
    static constexpr Int classVersion{90, 0};
    static constexpr Point origin{10}, uPixel{11}, vPixel{12};
    static constexpr Point2 size{13, {1, 1, 0}};
    static constexpr Handle imageDef{340};
    static constexpr Int flags{70, 3};
    static constexpr Int clipping{280, 0};
    static constexpr Int brightness{281, 50}, contrast{282, 50}, fade{283, 0};
    static constexpr Int clipType{71, 1};  // 1 a rectangle, 2 a polygon
    static constexpr Int clipCount{91, 0};
    static constexpr Point2 clipVertex{14};  // repeated
};

struct AcDbViewport : Subclass<AcDbViewport> {
    static constexpr auto markers = dxf::markers("AcDbViewport");
    static constexpr Point center{10};
    static constexpr Real width{40, 0}, height{41, 0};
    static constexpr Int status{68, 0};
    static constexpr Int id{69, 0};  // 1: the sheet's own
    static constexpr Point2 viewCenter{12}, snapBase{13}, snapSpacing{14}, gridSpacing{15};
    static constexpr Point viewDirection{16}, viewTarget{17};
    static constexpr Real lensLength{42, 50}, frontClip{43, 0}, backClip{44, 0};
    static constexpr Real viewHeight{45, 1};
    static constexpr Real snapAngle{50, 0}, twistAngle{51, 0};  // degrees
    static constexpr Int circleZoom{72, 1000};
    static constexpr Int flags{90, 0};
    static constexpr Text plotStyleSheet{1};
    static constexpr Int renderMode{281, 0};
    static constexpr Int ucsPerViewport{71, 0};
    static constexpr Int ucsIcon{74, 0};
    static constexpr Point ucsOrigin{110}, ucsXAxis{111, {1, 0, 0}}, ucsYAxis{112, {0, 1, 0}};
    static constexpr Int ucsOrthoType{79, 0};
    static constexpr Real elevation{146, 0};
    static constexpr Handle frozenLayer{341};  // repeated: the layers frozen in the viewport
};

struct AcDbMline : Subclass<AcDbMline> {
    static constexpr auto markers = dxf::markers("AcDbMline");
    static constexpr Text style{2, "Standard"};
    static constexpr Real scale{40, 1};
    static constexpr Int justification{70, 0};
    static constexpr Int flags{71, 1};  // 2 closed
    static constexpr Int vertexCount{72, 0};
    static constexpr Int lineCount{73, 2};
    static constexpr Point start{10};
    // Per vertex: where it is, the direction to the next, the miter
    // direction, and for each line of the style its parameters (the first
    // is its offset along the miter) and its fill parameters.
    static constexpr Point vertex{11}, segmentDirection{12}, miter{13};
    static constexpr Int paramCount{74, 0};
    static constexpr Real param{41, 0};
    static constexpr Int fillCount{75, 0};
    static constexpr Real fillParam{42, 0};
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr int kClosed = 2;
};

// MESH: vertices, then faces as runs of "count, index...".
struct AcDbSubDMesh : Subclass<AcDbSubDMesh> {
    static constexpr auto markers = dxf::markers("AcDbSubDMesh");
    static constexpr Int version{71, 2};
    static constexpr Int blendCrease{72, 0};
    static constexpr Int subdivision{91, 0};
    static constexpr Int vertexCount{92, 0};
    static constexpr Point vertex{10};  // repeated
    static constexpr Int faceListSize{93, 0};
    static constexpr Int faceItem{90, 0};  // repeated
    static constexpr Int edgeCount{94, 0};
    static constexpr Int creaseCount{95, 0};
};

// HATCH: its boundary paths follow the path count, each a polyline or a run
// of edges, then the pattern and its lines, then the seed points.
struct AcDbHatch : Subclass<AcDbHatch> {
    static constexpr auto markers = dxf::markers("AcDbHatch");
    static constexpr Point elevation{10};  // z only
    static constexpr Point extrusion{210, {0, 0, 1}};
    static constexpr Text pattern{2, "SOLID"};
    static constexpr Int solid{70, 0};
    static constexpr Int associative{71, 0};
    static constexpr Int pathCount{91, 0};
    static constexpr Int style{75, 0};
    static constexpr Int patternType{76, 1};
    static constexpr Real patternAngle{52, 0};  // degrees
    static constexpr Real patternScale{41, 1};
    static constexpr Int patternDouble{77, 0};
    static constexpr Int patternLineCount{78, 0};
    static constexpr Int seedCount{98, 0};
    static constexpr Point2 seed{10};  // repeated
    static constexpr Int gradient{450, 0, since(Version::R2004)};

    // A boundary path.
    static constexpr Int pathType{92, 0};  // 2 a polyline
    static constexpr Int pathItems{93, 0};  // its vertices or edges
    static constexpr Int sourceCount{97, 0};
    static constexpr int kPolylinePath = 2;
    // A polyline path: whether its vertices have bulges, whether it is
    // closed, its vertices.
    static constexpr Int hasBulge{72, 0};
    static constexpr Int isClosed{73, 1};
    static constexpr Point2 pathVertex{10};
    static constexpr Real bulge{42, 0};
    // An edge: its type, its start or centre, and a line's end or an
    // ellipse's major axis.
    static constexpr Int edgeType{72, 1};
    static constexpr int kLineEdge = 1, kArcEdge = 2, kEllipseEdge = 3, kSplineEdge = 4;
    static constexpr Point2 edgePoint{10}, edgePoint2{11};
    static constexpr Real radius{40, 0};  // an ellipse's minor axis as a part of the major
    static constexpr Real startAngle{50, 0}, endAngle{51, 360};  // degrees
    static constexpr Int ccw{73, 1};
    // A spline edge.
    static constexpr Int splineDegree{94, 3};
    static constexpr Int rational{73, 0};
    static constexpr Int periodic{74, 0};
    static constexpr Int knotCount{95, 0}, controlCount{96, 0};
    static constexpr Real knot{40, 0};
    static constexpr Point2 control{10};
    static constexpr Real weight{42, 1};
    static constexpr Int fitCount{97, 0};
    static constexpr Point2 fit{11};
    static constexpr Point2 startTangent{12}, endTangent{13};
    // A pattern line: its angle, base point, offset and dashes.
    static constexpr Real lineAngle{53, 0};  // degrees
    static constexpr Real lineBaseX{43, 0}, lineBaseY{44, 0};
    static constexpr Real lineOffsetX{45, 0}, lineOffsetY{46, 0};
    static constexpr Int dashCount{79, 0};
    static constexpr Real dash{49, 0};
};

}  // namespace sub

namespace def {

// Any graphical entity, for what all of them have.
struct AnyEntity : RecordType<sub::Object, sub::AcDbEntity> {
    static constexpr auto names = typeNames();
};

struct Line : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbLine> {
    static constexpr auto names = typeNames("LINE");
};
struct Point : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbPoint> {
    static constexpr auto names = typeNames("POINT");
};
struct Circle : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbCircle> {
    static constexpr auto names = typeNames("CIRCLE");
};
struct Arc : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbCircle, sub::AcDbArc> {
    static constexpr auto names = typeNames("ARC");
};
struct Ellipse : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbEllipse> {
    static constexpr auto names = typeNames("ELLIPSE");
    static constexpr Version since = Version::R13;
};
struct Solid : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbTrace> {
    static constexpr auto names = typeNames("SOLID", "TRACE");
    static constexpr int kSolid = 0, kTrace = 1;
};
struct Face3d : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbFace> {
    static constexpr auto names = typeNames("3DFACE");
};
struct XLine : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbXline> {
    static constexpr auto names = typeNames("XLINE");
    static constexpr Version since = Version::R13;
};
struct Ray : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbRay> {
    static constexpr auto names = typeNames("RAY");
    static constexpr Version since = Version::R13;
};

struct Text : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbText, sub::AcDbTextAlign> {
    static constexpr auto names = typeNames("TEXT");
};
// ATTRIB and ATTDEF: a text with a tag. A multi-line one carries its text
// and layout a second time, in an embedded MTEXT object.
struct Attrib : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbText, sub::AcDbAttribute> {
    static constexpr auto names = typeNames("ATTRIB");
    static constexpr bool kEmbedsText = true;
};
struct Attdef : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbText, sub::AcDbAttributeDefinition> {
    static constexpr auto names = typeNames("ATTDEF");
    static constexpr bool kEmbedsText = true;
};
struct MText : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbMText> {
    static constexpr auto names = typeNames("MTEXT");
    static constexpr Version since = Version::R13;
};

// INSERT: a block reference; its ATTRIBs follow it up to a SEQEND when
// attribsFollow is 1.
struct Insert : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbBlockReference> {
    static constexpr auto names = typeNames("INSERT");
};
// Dimensions draw an anonymous block.
struct Dimension
    : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbDimension, sub::DimensionKind, sub::AcDbRotatedDimension> {
    static constexpr auto names = typeNames("DIMENSION", "ARC_DIMENSION", "LARGE_RADIAL_DIMENSION");
};
// ACAD_TABLE draws the anonymous block that holds its cells.
struct AcadTable : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbBlockReference, sub::AcDbTable> {
    static constexpr auto names = typeNames("ACAD_TABLE");
    static constexpr Version since = Version::R2004;
};

struct LwPolyline : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbPolyline> {
    static constexpr auto names = typeNames("LWPOLYLINE");
    static constexpr Version since = Version::R14;
};
struct Polyline : RecordType<sub::Object, sub::AcDbEntity, sub::PolylineKind> {
    static constexpr auto names = typeNames("POLYLINE");
};
struct Vertex : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbVertex, sub::VertexKind> {
    static constexpr auto names = typeNames("VERTEX");
};
struct SeqEnd : RecordType<sub::Object, sub::AcDbEntity> {
    static constexpr auto names = typeNames("SEQEND");
};
struct Spline : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbSpline> {
    static constexpr auto names = typeNames("SPLINE");
    static constexpr Version since = Version::R13;
};
struct Leader : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbLeader> {
    static constexpr auto names = typeNames("LEADER");
    static constexpr Version since = Version::R13;
};
struct MLeader : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbMLeader> {
    static constexpr auto names = typeNames("MULTILEADER", "MLEADER");
    static constexpr Version since = Version::R2007;
};
struct Image : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbRasterImage> {
    static constexpr auto names = typeNames("IMAGE", "WIPEOUT");
    static constexpr int kImage = 0, kWipeout = 1;
    static constexpr Version since = Version::R14;
};
struct Viewport : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbViewport> {
    static constexpr auto names = typeNames("VIEWPORT");
};
struct MLine : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbMline> {
    static constexpr auto names = typeNames("MLINE");
    static constexpr Version since = Version::R13;
};
struct Mesh : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbSubDMesh> {
    static constexpr auto names = typeNames("MESH");
    static constexpr Version since = Version::R2010;
};
struct Hatch : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbHatch> {
    static constexpr auto names = typeNames("HATCH");
    static constexpr Version since = Version::R14;
};

}  // namespace def

}  // namespace ddvue::dxf
