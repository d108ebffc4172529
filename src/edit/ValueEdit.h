#pragma once
// The rules that the grid and the command line share when they change a
// drawing's values: writing one value of a category into the drawing (with
// the layers view's checks of a display and a color), the column a search
// works on, and what Replace All makes of one value. GridEditor applies them
// to the grid's cells; the import and replace commands to drawings without a
// window. They are plain functions over the drawing's operations, so they
// run on any thread with a drawing engine of that thread.

#include "extract/Categories.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace ddvue {
class DDVueEngine;
}

namespace edit {

// What writing one value back into the drawing came to.
struct WriteResult {
    enum class Status {
        Written,   // the drawing took the value; `shown` is what it now holds
        Rejected,  // a layer's display or color that is not one: the drawing was not asked; `error` says why
        Failed,    // the drawing refused the value: `error` says why
        Nothing,   // nothing to write in this view or column
    };
    Status status = Status::Nothing;
    QString shown;  // what the cell shows afterwards
    QString error;
    bool written() const { return status == Status::Written; }
};

// The texts and check boxes of a search.
struct SearchText {
    QString find;     // Find What
    QString replace;  // Replace With
    bool matchCase = false;
    bool wholeWord = false;
};

// Writes `value` into the object or layer named by `key` (a handle, or a
// layer's name), as the grid column `column` of `category` shows it: the
// value column of block attributes and texts; Display (1) or Color (2) of
// layers, where a display is proper-cased and must read On or Off, and a
// color is a number rounded to a whole one from 1 to 255. On success
// `shown` is what the drawing lists afterwards, which may differ from what
// was written (a line break of a multi-line text, a color's number).
// The window passes its widget's edit() (the view repaints what changes).
WriteResult writeValue(ddvue::DDVueEngine& drawing, extract::Category category, int column, const QString& key,
                       const QString& value);

// An object or layer that a category's view lists, found through the
// drawing's own index (as the grid finds a row's object by its key), without
// the grid's records.
struct ListedObject {
    extract::Category category;
    std::uint32_t at;  // the object's record, or the layer's place in the drawing's layer table
};
// Every object or layer that the view of `category` lists, in the grid's
// order: block attributes, single-line or multi-line texts, or layers.
std::vector<ListedObject> listedObjects(const ddvue::DDVueEngine& drawing, extract::Category category);
// What names it in the drawing, however a file spells its key: the handle's
// number, or the layer's place in the table.
std::uint64_t identityOf(const ddvue::DDVueEngine& drawing, const ListedObject& object);
// Its key as the grid shows it: the handle, or the layer's name.
QString listedKey(const ddvue::DDVueEngine& drawing, const ListedObject& object);
// What the grid shows in its column `column`: the value of an attribute or
// text; a layer's Display (1) or Color (2).
QString listedCell(const ddvue::DDVueEngine& drawing, const ListedObject& object, int column);

// An entry of the layers view's Display (1) or Color (2) column as the
// drawing takes it: a display proper-cased, which must then read On or
// Off; a color as its whole number from 1 to 255 (see layerColorOf). None
// for an entry that is not one, with the reason in `why`.
std::optional<QString> layerEntry(int column, const QString& value, QString* why = nullptr);

// The grid column a search works on: `current` (the category's value
// column); in the layers view, Color (2) for a number sought and Display
// (1) otherwise, and with `blankIsDisplay` also for a text of spaces alone
// (which is no number either way, but Replace All asks it first).
short searchColumn(extract::Category category, const QString& find, bool blankIsDisplay, short current);

// Replace All's rule for one value: every occurrence of the text sought
// (whole words only, when asked), in the letter case asked; with nothing to
// find, every value becomes the replacement (a single space when that is
// empty too).
class ReplaceAllRule {
public:
    explicit ReplaceAllRule(const SearchText& search);
    QString apply(const QString& before) const;

private:
    QString find_, with_;
    Qt::CaseSensitivity cs_;
    bool wholeWord_;
};

}  // namespace edit
