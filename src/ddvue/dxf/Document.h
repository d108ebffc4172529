#pragma once
// The lossless DXF document. The file's bytes are kept as read; the model is
// an index into them: every group knows where its code and value stand, every
// record (the groups from one 0 group to the next) knows its groups. An edit
// replaces the groups of one record; saving writes every untouched record as
// the bytes it was read from, so an unchanged drawing saves byte for byte.
//
// Its parts, each in a file of its own:
//   reading     Document.cpp: loading a file or bytes, the records' views
//   tokens      DocumentTokens.cpp: the bytes into groups and records
//   index       DocumentIndex.cpp: sections, header variables, handles,
//               layers, blocks, spaces
//   journal     DocumentJournal.cpp: each record's state (as read, replaced,
//               deleted), the changes an operation notes (Operations.h) and
//               the listeners told of them
//   writer      DocumentWriter.cpp: a record's groups rewritten in the file's
//               own formatting (DocumentEdit.h), and the whole drawing saved

#include "ddvue/dxf/Records.h"
#include "ddvue/dxf/TextCodec.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ddvue::dxf {

// A buffer of `size` bytes to read a drawing's file into, in large memory
// pages where the system offers them.
std::string fileBuffer(std::size_t size);

class History;

class Document {
public:
    Document();
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // ---- Reading (Document.cpp, DocumentTokens.cpp)

    // Told how far a long piece of work has come, in percent; answers
    // false to stop it.
    using Progress = std::function<bool(int percent)>;

    // Reads a drawing from its bytes. False with error() set when the bytes
    // are not a DXF drawing this engine can keep whole, or when `progress`
    // asked to stop (stopped() is then true).
    bool load(std::string bytes, const Progress& progress = {});
    // Reads the drawing in the file at `path`, its pages mapped from the
    // system's file cache rather than copied: the fastest way in, for a
    // short-lived reader. Mapped pages follow the file on disk: a file that
    // another program cuts short while the document is open cannot be read
    // any more, so a long-lived reader copies (load) instead.
    bool loadFile(const std::string& path, const Progress& progress = {});
    // The same for a file open for reading; the descriptor stays open.
    // `beside`, when given, is handed the file's bytes as soon as they are
    // in memory and runs on another thread while they are parsed (to hash
    // them, say); loadFile returns after both are done.
    using Beside = std::function<void(std::string_view bytes)>;
    bool loadFile(int fd, const Progress& progress = {}, const Beside& beside = {});
    const std::string& error() const { return error_; }
    bool stopped() const { return stopped_; }
    // Reads a drawing only to count what it holds (countContent): of the
    // block references, their attributes and the texts, which a count knows
    // by their kind alone, a binary drawing keeps just the first and the
    // last group (the type, and where the record ends). A large drawing's
    // group array is then a fraction of its size. Such a document is for
    // counting only: neither viewed, edited nor saved. Set before loading.
    void setCountsOnly(bool countsOnly) { countsOnly_ = countsOnly; }
    // What reading had to mend to open the drawing, one sentence each
    // ("2 objects repeat the handle of an earlier one; ..."); empty for a
    // well-formed file. The repairs live in memory only: the file's bytes
    // stay as they were.
    const std::vector<std::string>& repairs() const { return repairs_; }

    Format format() const { return format_; }
    const std::string& acadVersion() const { return acadver_; }
    const TextCodec& codec() const { return *codec_; }
    bool hasHandles() const { return hasHandles_; }

    // Version code of a drawing's $ACADVER or DWG signature, -1 when unknown.
    static int versionCode(std::string_view acadver);
    // Reads just enough of the file at `path` to tell its version code.
    static int versionOfFile(const std::string& path);

    // ---- Records and their groups (Document.cpp)

    std::uint32_t recordCount() const { return static_cast<std::uint32_t>(records_.size()); }
    const Record& record(std::uint32_t i) const { return records_[i]; }
    // How many groups the record has, as read.
    std::uint32_t groupCount(std::uint32_t i) const
    {
        return (i + 1 < records_.size() ? records_[i + 1].first : static_cast<std::uint32_t>(groups_.size())) -
               records_[i].first;
    }
    // Where the record's bytes start in the file.
    std::uint32_t recordBegin(std::uint32_t i) const;
    // The record's groups as they stand now: as read, or as last edited.
    RecordView view(std::uint32_t i) const;
    bool isDeleted(std::uint32_t i) const
    {
        if (replaced_.empty()) return false;  // the common case, asked for every object
        const Replacement* rep = replacement(i);
        return rep && rep->deleted;
    }
    std::string_view typeName(std::uint32_t i) const { return view(i).type(); }
    // The file as read.
    std::string_view original() const { return file_; }

    // ---- The index (DocumentIndex.cpp)

    // Header variables: the first value group after "9 $NAME", in the header
    // or, in a repaired file, outside it. The view holds every group of the
    // file as read; the index is the value's.
    std::optional<std::uint32_t> headerValue(std::string_view name) const;
    RecordView headerView() const;
    // A header variable's value as it stands now (edits included), as
    // stored: nothing when the drawing has no such variable.
    std::optional<std::string> headerText(std::string_view name) const;
    // Sets a header variable the drawing has to a value already in the
    // file's encoding (an edit); false when it has no such variable.
    bool setHeaderText(std::string_view name, std::string stored);

    // Handles.
    std::optional<std::uint32_t> findHandle(std::uint64_t handle) const;
    std::optional<std::uint32_t> findHandle(std::string_view hex) const;
    static std::optional<std::uint64_t> parseHandle(std::string_view hex);
    static std::string formatHandle(std::uint64_t handle);

    // Layers, blocks and the spaces their entities are listed in. The
    // layers and the blocks' names follow every edit: a layer made, renamed
    // or deleted (and its edit undone) is listed so at once.
    const std::vector<LayerEntry>& layers() const { return layers_; }
    std::optional<std::uint32_t> findLayer(std::string_view name) const;  // index into layers()
    const std::vector<BlockDef>& blocks() const { return blocks_; }
    std::optional<std::uint32_t> findBlock(std::string_view name) const;  // index into blocks()
    const std::vector<Space>& spaces() const { return spaces_; }
    // The tables (LAYER, LTYPE, BLOCK_RECORD...): their TABLE and ENDTAB records.
    const std::vector<TableDef>& tables() const { return tables_; }
    std::optional<std::uint32_t> findTable(std::string_view name) const;  // index into tables()
    // The ATTRIBs (or VERTEXes) of an INSERT (or POLYLINE), and its SEQEND,
    // in the order a save writes them; deleted ones too.
    std::vector<std::uint32_t> children(std::uint32_t record) const;
    template <typename F>
    void forEachChild(std::uint32_t record, F&& f) const
    {
        const auto owner = static_cast<std::int32_t>(record);
        if (placed_.empty()) {
            // Nothing made since reading: the children follow their owner.
            for (std::uint32_t j = record + 1; j < fileRecords_ && records_[j].parent == owner; ++j) f(j);
            return;
        }
        for (std::uint32_t j = next(record); j != kNoRecord && records_[j].parent == owner; j = next(j)) f(j);
    }

    // ---- The journal (DocumentJournal.cpp)

    // What one record holds: nothing when it stands as read, else the bytes
    // that replace it (none when it is deleted). An operation keeps the
    // states of the records it changes, to put them back byte for byte.
    struct Replacement {
        std::string bytes;
        std::vector<Group> groups;
        LongLengths longs;
        bool deleted = false;
    };
    using RecordState = std::optional<Replacement>;
    RecordState state(std::uint32_t record) const;
    // Puts back a state taken by state(); listeners are told as `what`.
    void restore(std::uint32_t record, const RecordState& state, Change::What what);
    // The record's bytes in `state` as a save would write them; empty when deleted.
    std::string_view bytesIn(std::uint32_t record, const RecordState& state) const;
    // Each record an edit is about to change, once, with its state before.
    struct Touched {
        std::uint32_t record;
        Change::What what;
        RecordState before;
    };
    // While a journal is set, every change is noted in it (see Operations.h).
    // Closing it writes what the changes left to write once: the raised
    // $HANDSEED.
    void setJournal(std::vector<Touched>* journal);

    // Deletes a record (an edit; see Entities.h for deleting an entity with
    // what belongs to it).
    void remove(std::uint32_t record);
    bool modified() const { return !replaced_.empty(); }

    // Where a new record goes: just before an existing record, or just
    // after one.
    struct Place {
        std::uint32_t record;
        bool after = false;
        static Place before(std::uint32_t r) { return {r, false}; }
        static Place behind(std::uint32_t r) { return {r, true}; }
    };
    // Makes a record at `where`, without groups: deleted until an edit gives
    // it its groups (edit(record), then commit()), and deleted again when
    // that edit is undone; its number stays. `like` gives its kind,
    // section, owner (parent), block and paper space flag. It gets a handle
    // of its own, written only when the drawing has handles (see newHandle).
    std::uint32_t create(Place where, const Record& like);
    // Whether a record was made after reading.
    bool isCreated(std::uint32_t record) const { return record >= fileRecords_; }
    // The record that a save writes after `record`; kNoRecord after the last.
    static constexpr std::uint32_t kNoRecord = UINT32_MAX;
    std::uint32_t next(std::uint32_t record) const;
    // Whether new objects get a handle in the file: the drawing has handles
    // (a Release 12 drawing may have none, and gets none then).
    bool writesHandles() const { return hasHandles_; }

    // Listeners are told of every change to a record: an edit, and an edit
    // undone or redone (see history()). Any number may listen; each is told
    // in the order they were added. Add and remove them on the thread that
    // edits the document, or before it is shared with another.
    using Listener = std::function<void(const Change&)>;
    int addListener(Listener listener);
    void removeListener(int id);

    // The edits made through operations (Operations.h), to undo and redo.
    History& history();
    const History& history() const;

    // ---- The writer (DocumentWriter.cpp, DocumentEdit.h)

    // Rewrites the groups of one record in the file's own formatting.
    class Edit;
    Edit edit(std::uint32_t record);
    // The drawing's bytes with every edit applied.
    std::string serialize() const;
    // The same bytes in pieces, in order, for a save that writes them as
    // they come: the spans of the file that no edit touched go out as they
    // stand in memory, uncopied. False when `sink` said no.
    bool serialize(const std::function<bool(std::string_view piece)>& sink) const;
    // Formats a value for this file: encodes text with the file's code page.
    std::string encodeText(std::string_view utf8) const { return codec_->encode(utf8); }

private:
    friend class RecordView;

    // -- Reading
    bool read(const Progress& progress, const Beside& beside = {});
    bool parse(const Progress& progress);
    // Tells progress_ how far reading has come; false (with the error set)
    // when it asks to stop.
    bool report(int percent);

    std::string bytes_;                // the file's bytes when they were copied in
    std::shared_ptr<void> mapping_;    // the file's pages when they were mapped
    std::string_view file_;            // the file's bytes, either way
    std::string error_;
    std::vector<std::string> repairs_;
    Progress progress_;
    bool stopped_ = false;
    bool countsOnly_ = false;

    // -- Tokens: the groups and records read from the file
    // Where the line or bytes after a group's value end in `base`: where
    // the next group starts.
    std::uint32_t afterValue(const char* base, std::uint32_t limit, const Group& g, std::uint32_t len) const;
    std::uint32_t lengthOf(const Group& g) const { return g.len != kLongValue ? g.len : longs_.at(g.val); }
    // Appends a group read from the file.
    [[gnu::always_inline]] void addGroup(std::size_t val, std::size_t len, int code)
    {
        if (len >= kLongValue) return addLongGroup(val, len, code);
        groups_.push_back(Group{static_cast<std::uint32_t>(val), static_cast<std::uint16_t>(len),
                                static_cast<std::int16_t>(code)});
    }
    void addLongGroup(std::size_t val, std::size_t len, int code);
    bool tokenize();
    bool tokenizeAscii();
    // The pieces of tokenizeAscii.
    struct AsciiScan;
    struct SecondHalf;
    enum class AsciiStep { Next, End, Fail };
    void detectLineEnds();
    // The end of the line's content at `pos`; `next` is set to the next line.
    std::size_t lineAt(std::size_t pos, std::size_t& next) const;
    void startSecondHalf(SecondHalf& half);
    bool joinSecondHalf(SecondHalf& half, AsciiScan& scan);
    AsciiStep readCommonGroups(AsciiScan& scan, std::size_t& reportAt, const SecondHalf* half);
    AsciiStep readOddGroup(AsciiScan& scan);
    AsciiStep notACode(AsciiScan& scan, std::string_view codeText);
    bool tokenizeBinary();
    // Makes the records as the groups are read.
    struct RecordMaker;
    void reserveGroups(std::size_t fewestBytesPerGroup);
    // Counting only: the last record's groups between its first and its
    // last go, when a count does not read them.
    void trimLastRecord();
    void reserveRecords(std::size_t fewestBytesPerRecord);
    bool buildRecords();

    Format format_ = Format::Ascii;
    std::uint32_t prefixEnd_ = 0;  // bytes before the first record (binary sentinel)
    std::uint32_t tailBegin_ = 0;  // bytes after the last record
    // Growing the group array leaves the new room as it is: the reader
    // fills it, in part from a second thread before the array is grown over
    // that part (tokenizeAscii).
    template <typename T>
    struct Uncleared : std::allocator<T> {
        template <typename U>
        struct rebind {
            using other = Uncleared<U>;
        };
        Uncleared() = default;
        template <typename U>
        Uncleared(const Uncleared<U>&) noexcept {}
        template <typename U>
        void construct(U* p) noexcept
        {
            ::new (static_cast<void*>(p)) U;
        }
        template <typename U, typename... A>
        void construct(U* p, A&&... args)
        {
            ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
        }
    };
    std::vector<Group, Uncleared<Group>> groups_;
    LongLengths longs_;
    std::uint32_t firstGroup_ = 0;  // where the first group starts: 0, or after the binary sentinel
    char terminator_ = '\n';
    bool crOnly_ = false;
    std::vector<Record> records_;
    // While reading: the records whose handle group cannot be read. The
    // structure (indexRecords) reads them, and they go.
    std::vector<std::uint32_t> badHandles_;

    // -- The index
    bool buildStructure();
    // The pieces of buildStructure, in order.
    struct StructureScan;
    std::string_view groupText(std::uint32_t group) const;  // a group of the file as read
    std::size_t readVariables(std::uint32_t from, std::uint32_t count, bool inHeader);
    bool readSections();
    void readEncoding();
    bool indexRecords(StructureScan& scan);
    void indexTableRecord(StructureScan& scan, std::uint32_t i);
    void indexLayout(StructureScan& scan, std::uint32_t i);
    void indexEntityRecord(StructureScan& scan, std::uint32_t i, std::uint32_t ownerLow);
    void buildSpaces(const StructureScan& scan);
    void indexHandles(std::uint64_t maxHandle, std::size_t unreadable);
    std::size_t sortHandles(std::uint64_t top);
    void giveHandles(std::uint64_t maxHandle);
    // Keeps the index right after a record changed: a layer's or a block's
    // name, a layer made or deleted.
    void reindex(std::uint32_t record);
    void indexLayers();
    // The file record that holds a group of the file as read.
    std::uint32_t recordOfGroup(std::uint32_t group) const;

    std::string acadver_;
    std::shared_ptr<const TextCodec> codec_;
    bool hasHandles_ = false;
    std::uint32_t headerRecord_ = UINT32_MAX;
    std::unordered_map<std::string, std::uint32_t> headerVars_;  // upper-case name -> group index
    std::vector<std::uint32_t> byHandle_;  // the records with a handle, sorted by it
    std::vector<LayerEntry> layers_;
    std::unordered_map<std::string, std::uint32_t> layerIndex_;  // upper-case name
    std::vector<BlockDef> blocks_;
    std::unordered_map<std::string, std::uint32_t> blockIndex_;  // upper-case name
    std::vector<Space> spaces_;
    std::vector<TableDef> tables_;
    std::vector<std::uint32_t> layerRecords_;  // every LAYER record, deleted ones too, in the order saved

    // -- The journal
    // Inline: asked for every record viewed.
    const Replacement* replacement(std::uint32_t i) const
    {
        if (replaced_.empty()) return nullptr;
        auto it = replaced_.find(i);
        return it == replaced_.end() ? nullptr : &it->second;
    }
    void touching(std::uint32_t record, Change::What what);
    // A record's state changed: the index follows, the listeners are told.
    void changed(Change::What what, std::uint32_t record);
    void notify(Change::What what, std::uint32_t record) const;
    // A handle for a new object, above every handle the drawing has
    // (synthetic ones too) and at or above $HANDSEED.
    std::uint64_t newHandle();
    void writeHandseed();

    std::unordered_map<std::uint32_t, Replacement> replaced_;
    // Records made after reading stand after the file's records in the
    // record array; where a save writes them is kept here: before which
    // file record (anchorOf_, by record - fileRecords_), and in which order
    // among those before the same one (placed_).
    std::uint32_t fileRecords_ = 0;
    std::vector<std::uint32_t> anchorOf_;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> placed_;
    std::uint64_t nextHandle_ = 0;  // the next handle to give: $HANDSEED as read, raised as handles are given
    bool handseedPending_ = false;  // $HANDSEED to be written when the journal closes
    std::vector<Touched>* journal_ = nullptr;
    std::unordered_set<std::uint32_t> journaled_;  // the records in *journal_
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 0;
    std::unique_ptr<History> history_;

    // -- The writer: how the file writes its groups, for the groups an edit adds
    struct Style {
        std::string eol = "\r\n";  // ASCII line end; empty in a binary file
        int codeWidth = 0;         // right-aligned width of code lines, 0 when not padded
        int intWidth = 0;          // right-aligned width of integer values, 0 when not padded
        int binaryCodeBytes = 2;   // 1 in Release 12 binary files
    } style_;
};

}  // namespace ddvue::dxf

#include "ddvue/dxf/DocumentEdit.h"
