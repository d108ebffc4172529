#pragma once
// The records other than graphical entities that the program reads and
// writes, declared once like the entities (EntityTypes.h): section and table
// markers, table entries, block definitions, the objects of the OBJECTS
// section it knows, classes, and the header variables.

#include "ddvue/dxf/EntityTypes.h"

namespace ddvue::dxf {

namespace sub {

// SECTION: its name follows the type.
struct SectionHead : Subclass<SectionHead> {
    static constexpr auto markers = dxf::markers();
    static constexpr Text name{2};
};

// TABLE: its name, then the object's own groups.
struct TableHead : Object, Subclass<TableHead> {
    using Subclass<TableHead>::Text;
    static constexpr auto markers = dxf::markers();
    static constexpr Text name{2};
};
struct AcDbSymbolTable : Subclass<AcDbSymbolTable> {
    static constexpr auto markers = dxf::markers("AcDbSymbolTable");
    static constexpr Int count{70, 0};
};
struct AcDbDimStyleTable : Subclass<AcDbDimStyleTable> {
    static constexpr auto markers = dxf::markers("AcDbDimStyleTable");
    static constexpr Int count{71, 0};
};

// Every table entry.
struct AcDbSymbolTableRecord : Subclass<AcDbSymbolTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbSymbolTableRecord");
};

struct AcDbLayerTableRecord : Subclass<AcDbLayerTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbLayerTableRecord");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
    static constexpr Int color{62, 7};  // negative: the layer is off
    static constexpr Text linetype{6, "CONTINUOUS"};
    static constexpr Int plot{290, 1, since(Version::R2000)};
    static constexpr Int lineweight{370, -3, since(Version::R2000)};
    static constexpr Int trueColor{420, -1, since(Version::R2004)};
    static constexpr Text colorName{430, {}, since(Version::R2004)};
    static constexpr int kFrozen = 1, kFrozenInNewViewports = 2, kLocked = 4;
    // An external reference's layer: named "drawing|layer", and (once resolved) flagged.
    static constexpr int kXrefDependent = 16, kXrefResolved = 32;
    static constexpr char kXrefSeparator = '|';
};

struct AcDbLinetypeTableRecord : Subclass<AcDbLinetypeTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbLinetypeTableRecord");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
    static constexpr Text description{3};
    static constexpr Int alignment{72, 65};  // 'A'
    static constexpr Int elementCount{73, 0};
    static constexpr Real patternLength{40, 0};
    // Repeated, one each per element of the pattern.
    static constexpr Real elementLength{49, 0};
    static constexpr Int elementType{74, 0};
};

struct AcDbTextStyleTableRecord : Subclass<AcDbTextStyleTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbTextStyleTableRecord");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
    static constexpr Real fixedHeight{40, 0};
    static constexpr Real widthFactor{41, 1};
    static constexpr Real oblique{50, 0};  // degrees
    static constexpr Int generation{71, 0};
    static constexpr Real lastHeight{42, 2.5};
    static constexpr Text font{3, "txt"};
    static constexpr Text bigFont{4};
};

struct AcDbRegAppTableRecord : Subclass<AcDbRegAppTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbRegAppTableRecord");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
};

// DIMSTYLE keeps its handle in 105 (5 is one of its variables).
struct DimStyleHead : Subclass<DimStyleHead> {
    static constexpr auto markers = dxf::markers();
    static constexpr Handle handle{105};
    static constexpr Handle owner{330, since(Version::R13)};
};
struct AcDbDimStyleTableRecord : Subclass<AcDbDimStyleTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbDimStyleTableRecord");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
    static constexpr Real dimscale{40, 1}, dimasz{41, 0.18}, dimexo{42, 0.0625}, dimexe{44, 0.18};
    static constexpr Real dimtxt{140, 0.18}, dimlfac{144, 1}, dimgap{147, 0.09};
    static constexpr Int dimtih{73, 1}, dimtoh{74, 1}, dimtad{77, 0};
    static constexpr Int dimdec{271, 4, since(Version::R2000)};
};

struct AcDbViewportTableRecord : Subclass<AcDbViewportTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbViewportTableRecord");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
    static constexpr Point2 lowerLeft{10}, upperRight{11, {1, 1, 0}};
    static constexpr Point2 center{12}, snapBase{13}, snapSpacing{14}, gridSpacing{15};
    static constexpr Point direction{16, {0, 0, 1}}, target{17};
    static constexpr Real height{40, 1}, aspectRatio{41, 1}, lensLength{42, 50};
    static constexpr Real frontClip{43, 0}, backClip{44, 0};
    static constexpr Real snapRotation{50, 0}, twist{51, 0};  // degrees
    static constexpr Int viewMode{71, 0}, circleZoom{72, 1000}, fastZoom{73, 1}, ucsIcon{74, 3};
    static constexpr Int snapOn{75, 0}, gridOn{76, 0}, snapStyle{77, 0}, snapIsopair{78, 0};
};

struct AcDbBlockTableRecord : Subclass<AcDbBlockTableRecord> {
    static constexpr auto markers = dxf::markers("AcDbBlockTableRecord");
    static constexpr Text name{2};
    static constexpr Handle layout{340};
    static constexpr Int units{70, 0, since(Version::R2007)};
    static constexpr Int explodability{280, 1, since(Version::R2007)};
    static constexpr Int scalability{281, 0, since(Version::R2007)};
};

// BLOCK in the BLOCKS section.
struct AcDbBlockBegin : Subclass<AcDbBlockBegin> {
    static constexpr auto markers = dxf::markers("AcDbBlockBegin");
    static constexpr Text name{2};
    static constexpr Int flags{70, 0};
    static constexpr Point base{10};
    static constexpr Text name2{3};  // the name again
    static constexpr Text xrefPath{1};
    static constexpr Text description{4};
    static constexpr int kAnonymous = 1, kHasAttributes = 2, kExternal = 4, kOverlay = 8, kResolved = 32;
};
struct AcDbBlockEnd : Subclass<AcDbBlockEnd> {
    static constexpr auto markers = dxf::markers("AcDbBlockEnd");
};

struct AcDbDictionary : Subclass<AcDbDictionary> {
    static constexpr auto markers = dxf::markers("AcDbDictionary");
    static constexpr Int hardOwned{280, 0};
    static constexpr Int cloning{281, 1};
    // Repeated: each entry's name and the object it names.
    static constexpr Text entryName{3};
    static constexpr Handle entry{350};
    static constexpr Handle ownedEntry{360};  // an entry the dictionary owns (in place of entry)
    static constexpr std::string_view kLayerStates = "ACAD_LAYERSTATES";  // the entry of the layer states
};

// XRECORD: data of an application's own. The layer states are such records
// (in the ACAD_LAYERSTATES dictionary): after the current layer, one entry
// for each layer, which starts with the layer's name (older drawings) or its
// handle.
struct AcDbXrecord : Subclass<AcDbXrecord> {
    static constexpr auto markers = dxf::markers("AcDbXrecord");
    static constexpr Int cloning{280, 1};
    static constexpr Text currentLayer{302};
    static constexpr Text layerName{8};
    static constexpr Handle layerHandle{330};
};

// LAYER_FILTER: the names of the layers it lets through.
struct AcDbFilter : Subclass<AcDbFilter> {
    static constexpr auto markers = dxf::markers("AcDbFilter");
};
struct AcDbLayerFilter : Subclass<AcDbLayerFilter> {
    static constexpr auto markers = dxf::markers("AcDbLayerFilter");
    static constexpr Text layerName{8};  // repeated
};

// LAYER_INDEX: for each layer its name, its ID buffer and the buffer's size.
struct AcDbIndex : Subclass<AcDbIndex> {
    static constexpr auto markers = dxf::markers("AcDbIndex");
    static constexpr Real timestamp{40, 0};
};
struct AcDbLayerIndex : Subclass<AcDbLayerIndex> {
    static constexpr auto markers = dxf::markers("AcDbLayerIndex");
    static constexpr Text layerName{8};  // repeated, each followed by its buffer and size
    static constexpr Handle buffer{360};
    static constexpr Int entries{90, 0};
};

struct AcDbPlotSettings : Subclass<AcDbPlotSettings> {
    static constexpr auto markers = dxf::markers("AcDbPlotSettings");
    static constexpr Text pageSetup{1};
    static constexpr Text plotter{2};
    static constexpr Text paperSize{4};
    static constexpr Text plotView{6};
    static constexpr Real marginLeft{40, 0}, marginBottom{41, 0}, marginRight{42, 0}, marginTop{43, 0};
    static constexpr Real paperWidth{44, 0}, paperHeight{45, 0};
    static constexpr Real originX{46, 0}, originY{47, 0};
    static constexpr Real windowX1{48, 0}, windowY1{49, 0}, windowX2{140, 0}, windowY2{141, 0};
    static constexpr Real scaleNumerator{142, 1}, scaleDenominator{143, 1};
    static constexpr Int plotFlags{70, 688};
    static constexpr Int paperUnits{72, 1}, rotation{73, 1}, plotType{74, 5};
    static constexpr Text styleSheet{7};
    static constexpr Int standardScale{75, 16};
    static constexpr Int shadeMode{76, 0}, shadeResolution{77, 2}, shadeDpi{78, 300};
    static constexpr Real unitFactor{147, 1};
    static constexpr Real imageOriginX{148, 0}, imageOriginY{149, 0};
};
struct AcDbLayout : Subclass<AcDbLayout> {
    static constexpr auto markers = dxf::markers("AcDbLayout");
    static constexpr Text name{1};
    static constexpr Int flags{70, 1};
    static constexpr Int tabOrder{71, 1};
    static constexpr Point2 limitsMin{10}, limitsMax{11, {12, 9, 0}};
    static constexpr Point insertBase{12};
    static constexpr Point extentsMin{14}, extentsMax{15};
    static constexpr Real elevation{146, 0};
    static constexpr Point ucsOrigin{13}, ucsXAxis{16, {1, 0, 0}}, ucsYAxis{17, {0, 1, 0}};
    static constexpr Int ucsType{76, 1};
    static constexpr Handle blockRecord{330};  // the layout's block
    static constexpr Handle viewport{331};
};

struct AcDbRasterImageDef : Subclass<AcDbRasterImageDef> {
    static constexpr auto markers = dxf::markers("AcDbRasterImageDef");
    static constexpr Int classVersion{90, 0};
    static constexpr Text fileName{1};
    static constexpr Point2 size{10};
    static constexpr Point2 pixelSize{11, {1, 1, 0}};
    static constexpr Int loaded{280, 1};
    static constexpr Int resolutionUnits{281, 0};
};

// CLASS in the CLASSES section: no handle, no markers.
struct ClassHead : Subclass<ClassHead> {
    static constexpr auto markers = dxf::markers();
    static constexpr Text dxfName{1};
    static constexpr Text cppName{2};
    static constexpr Text application{3};
    static constexpr Int flags{90, 0};
    static constexpr Int wasProxy{280, 0};
    static constexpr Int isEntity{281, 0};
};

// The value groups of the header's variables.
struct Header : Subclass<Header> {
    static constexpr auto markers = dxf::markers();
};

}  // namespace sub

namespace def {

struct Section : RecordType<sub::SectionHead> {
    static constexpr auto names = typeNames("SECTION");
};
struct TableHead : RecordType<sub::TableHead, sub::AcDbSymbolTable, sub::AcDbDimStyleTable> {
    static constexpr auto names = typeNames("TABLE");
};

struct Layer : RecordType<sub::Object, sub::AcDbSymbolTableRecord, sub::AcDbLayerTableRecord> {
    static constexpr auto names = typeNames("LAYER");
};
struct LineType : RecordType<sub::Object, sub::AcDbSymbolTableRecord, sub::AcDbLinetypeTableRecord> {
    static constexpr auto names = typeNames("LTYPE");
};
struct TextStyle : RecordType<sub::Object, sub::AcDbSymbolTableRecord, sub::AcDbTextStyleTableRecord> {
    static constexpr auto names = typeNames("STYLE");
};
struct AppId : RecordType<sub::Object, sub::AcDbSymbolTableRecord, sub::AcDbRegAppTableRecord> {
    static constexpr auto names = typeNames("APPID");
};
struct DimStyle : RecordType<sub::DimStyleHead, sub::AcDbSymbolTableRecord, sub::AcDbDimStyleTableRecord> {
    static constexpr auto names = typeNames("DIMSTYLE");
};
struct VPort : RecordType<sub::Object, sub::AcDbSymbolTableRecord, sub::AcDbViewportTableRecord> {
    static constexpr auto names = typeNames("VPORT");
};
struct BlockRecord : RecordType<sub::Object, sub::AcDbSymbolTableRecord, sub::AcDbBlockTableRecord> {
    static constexpr auto names = typeNames("BLOCK_RECORD");
    static constexpr Version since = Version::R13;
};

struct Block : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbBlockBegin> {
    static constexpr auto names = typeNames("BLOCK");
};
struct EndBlk : RecordType<sub::Object, sub::AcDbEntity, sub::AcDbBlockEnd> {
    static constexpr auto names = typeNames("ENDBLK");
};

struct Dictionary : RecordType<sub::Object, sub::AcDbDictionary> {
    static constexpr auto names = typeNames("DICTIONARY");
    static constexpr Version since = Version::R13;
};
struct XRecord : RecordType<sub::Object, sub::AcDbXrecord> {
    static constexpr auto names = typeNames("XRECORD");
    static constexpr Version since = Version::R13;
};
struct LayerFilter : RecordType<sub::Object, sub::AcDbFilter, sub::AcDbLayerFilter> {
    static constexpr auto names = typeNames("LAYER_FILTER");
    static constexpr Version since = Version::R13;
};
struct LayerIndex : RecordType<sub::Object, sub::AcDbIndex, sub::AcDbLayerIndex> {
    static constexpr auto names = typeNames("LAYER_INDEX");
    static constexpr Version since = Version::R13;
};
// Any object, read for what every object has (its handle, its owner).
struct AnyObject : RecordType<sub::Object> {
    static constexpr auto names = typeNames();
};
struct Layout : dxf::RecordType<sub::Object, sub::AcDbPlotSettings, sub::AcDbLayout> {
    static constexpr auto names = typeNames("LAYOUT");
    static constexpr Version since = Version::R2000;
};
struct ImageDef : dxf::RecordType<sub::Object, sub::AcDbRasterImageDef> {
    static constexpr auto names = typeNames("IMAGEDEF");
    static constexpr Version since = Version::R14;
};
struct Class : dxf::RecordType<sub::ClassHead> {
    static constexpr auto names = typeNames("CLASS");
    static constexpr Version since = Version::R13;
};

}  // namespace def

// A header variable: "9 $NAME", then its value in a group of the declared code.
template <class A>
struct HeaderVar {
    std::string_view name;
    A value;
};

namespace def::header {
using H = sub::Header;
inline constexpr HeaderVar<TextAttr<H>> acadver{"$ACADVER", {1}};
inline constexpr HeaderVar<TextAttr<H>> dwgCodePage{"$DWGCODEPAGE", {3}};
inline constexpr HeaderVar<PointAttr<H>> insBase{"$INSBASE", {10}};
inline constexpr HeaderVar<PointAttr<H>> extMin{"$EXTMIN", {10}};
inline constexpr HeaderVar<PointAttr<H>> extMax{"$EXTMAX", {10}};
inline constexpr HeaderVar<Point2Attr<H>> limMin{"$LIMMIN", {10}};
inline constexpr HeaderVar<Point2Attr<H>> limMax{"$LIMMAX", {10}};
inline constexpr HeaderVar<IntAttr<H>> orthoMode{"$ORTHOMODE", {70}};
inline constexpr HeaderVar<IntAttr<H>> fillMode{"$FILLMODE", {70}};
inline constexpr HeaderVar<IntAttr<H>> mirrText{"$MIRRTEXT", {70}};
inline constexpr HeaderVar<RealAttr<H>> ltScale{"$LTSCALE", {40}};
inline constexpr HeaderVar<IntAttr<H>> attMode{"$ATTMODE", {70}};
inline constexpr HeaderVar<RealAttr<H>> textSize{"$TEXTSIZE", {40}};
inline constexpr HeaderVar<TextAttr<H>> textStyle{"$TEXTSTYLE", {7}};
inline constexpr HeaderVar<TextAttr<H>> cLayer{"$CLAYER", {8}};
inline constexpr HeaderVar<TextAttr<H>> cELType{"$CELTYPE", {6}};
inline constexpr HeaderVar<TextAttr<H>> dimStyle{"$DIMSTYLE", {2}};
inline constexpr HeaderVar<RealAttr<H>> dimScale{"$DIMSCALE", {40, 1}};
inline constexpr HeaderVar<RealAttr<H>> dimAsz{"$DIMASZ", {40, 0.18}};
inline constexpr HeaderVar<IntAttr<H>> lUnits{"$LUNITS", {70}};
inline constexpr HeaderVar<IntAttr<H>> luPrec{"$LUPREC", {70}};
inline constexpr HeaderVar<IntAttr<H>> aUnits{"$AUNITS", {70}};
inline constexpr HeaderVar<IntAttr<H>> auPrec{"$AUPREC", {70}};
inline constexpr HeaderVar<IntAttr<H>> angDir{"$ANGDIR", {70}};
inline constexpr HeaderVar<IntAttr<H>> pdMode{"$PDMODE", {70}};
inline constexpr HeaderVar<RealAttr<H>> pdSize{"$PDSIZE", {40}};
inline constexpr HeaderVar<RealAttr<H>> plineWid{"$PLINEWID", {40}};
inline constexpr HeaderVar<IntAttr<H>> tileMode{"$TILEMODE", {70}};
inline constexpr HeaderVar<IntAttr<H>> psLtScale{"$PSLTSCALE", {70}};
inline constexpr HeaderVar<IntAttr<H>> insUnits{"$INSUNITS", {70}};
inline constexpr HeaderVar<IntAttr<H>> measurement{"$MEASUREMENT", {70}};
inline constexpr HeaderVar<IntAttr<H>> lwDisplay{"$LWDISPLAY", {290}};
inline constexpr HeaderVar<IntAttr<H>> lwDefault{"$LWDEFAULT", {370, 25}};
inline constexpr HeaderVar<HandleAttr<H>> handSeed{"$HANDSEED", {5}};
inline constexpr HeaderVar<IntAttr<H>> extNames{"$EXTNAMES", {290, 1}};  // long names in any case allowed
}  // namespace def::header

}  // namespace ddvue::dxf
