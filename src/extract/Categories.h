#pragma once
// The categories of drawing content the grid shows, and what each needs:
// which content to export, how to flatten it, which column holds the value a
// person edits, whether rows may be deleted, and how the grid's columns are
// arranged. The main window, the grid fill and the command line read these
// tables; nothing else decides them.

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace extract {

enum class Category { Attributes, SingleText, MultiText, Layers, ExternalReferences, Images };

struct CategorySettings {
    // ExportDrawingContent's flags 1 to 8.
    std::array<long, 8> exportFlags;
    // WriteFlatXml's category code.
    int flatCode;
    // The 0-based grid column of the value a person edits; none for a
    // category that leaves the column of the category shown before.
    std::optional<short> valueColumn;
    bool rowDeletion;
    // The field that names a row's object in the drawing.
    QString keyField;
};

// The settings of a category; nullptr for Images, which has no content.
const CategorySettings* categorySettings(Category category);

struct ColumnArrangement {
    // Grid columns removed one after another, each index counted after the
    // removals before it.
    std::vector<int> removals;
    // Widths in twips of the columns left, in order; empty: as the grid makes them.
    std::vector<int> widths;
    // Columns a person cannot edit.
    std::vector<int> locked;
    // Value columns, whose captions get a "*" in front.
    std::vector<int> starred;
};

// The recordset adds no field of its own, so no last column has to be
// removed after these.
const ColumnArrangement& columnArrangement(Category category);

// The indexes of the fields that stay as grid columns, in order, when the
// category's removals are applied to `fieldCount` columns. A removal beyond
// the last column is passed over.
std::vector<int> arrangedFields(int fieldCount, Category category);

// The fields of the category's flat records, in their order.
const QStringList& recordFields(Category category);

// Command-line names: attributes, single-text, multi-text, layers, xrefs.
std::optional<Category> categoryFromName(const QString& name);

}  // namespace extract
