#pragma once
// A drawing open in the drawing component, one category of it in a
// recordset, and the grid editor between them, as the main window holds
// them; the fixture stands in for the window around the grid.

#include "edit/GridEditor.h"

#include "data/Recordset.h"
#include "ddvue/DDVue.h"
#include "ddvue/dxf/Operations.h"
#include "extract/CategoryContent.h"
#include "Doubles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A drawing open in the component, one category of it in a recordset, and
// the editor between them; the window around the grid is this fixture.
struct Grid {
    using Category = extract::Category;
    using WriteResult = edit::WriteResult;
    platform::ScriptedMessageBoxes boxes;
    platform::Installed<platform::MessageBoxes> installed{boxes};
    QTemporaryDir dir;
    ddvue::DDVue drawing;
    data::Recordset rs;
    std::optional<Category> category;
    std::unique_ptr<edit::GridEditor> editor;
    // How often the drawing's history told of a change, and how many cell
    // edits began.
    int changed = 0;
    int editsBegun = 0;
    int currentColumn = -1;
    int foundStart = -1, foundLength = -1;
    int findBoxFocused = 0;
    QString position = QStringLiteral("(untouched)");

    explicit Grid(const QString& source, Category c = Category::Attributes)
    {
        QString path = dir.filePath(QFileInfo(source).fileName());
        QFile::copy(source, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        EXPECT_TRUE(drawing.OpenDrawing(path)) << drawing.engine().lastError().toStdString();
        edit::GridHost host;
        host.category = [this] { return category; };
        host.recordset = [this] { return &rs; };
        host.setCurrentColumn = [this](int column) { currentColumn = column; };
        host.showFound = [this](int start, int length) {
            foundStart = start;
            foundLength = length;
        };
        host.focusFindWhat = [this] { ++findBoxFocused; };
        host.editBegan = [this] { ++editsBegun; };
        host.setPosition = [this](const QString& caption) { position = caption; };
        editor = std::make_unique<edit::GridEditor>(drawing, std::move(host));
        QObject::connect(&drawing, &ddvue::DDVue::historyChanged, [this] { ++changed; });
        show(c);
    }

    // As the grid fill does.
    void show(Category c)
    {
        category = c;
        extract::loadCategory(drawing.engine(), c, rs);
        editor->resetForFill();
        if (auto column = extract::categorySettings(c)->valueColumn) editor->setValueColumn(*column);
        changed = 0;
    }

    int field(int column) const { return extract::arrangedFields(rs.fieldCount(), *category)[static_cast<std::size_t>(column)]; }
    QString cell(int row, int column) const { return rs.cell(row, field(column)).toString(); }
    void setCell(int row, int column, const QString& text) { rs.setCell(row, field(column), text); }
    QString key(int row) const
    {
        return rs.cell(row, rs.fieldIndex(extract::categorySettings(*category)->keyField)).toString();
    }
    int rowOf(const QString& key)
    {
        for (int r = 0; r < rs.rowCount(); ++r)
            if (this->key(r) == key) return r;
        return -1;
    }
    // What the drawing holds for a row's object.
    QString held(int row) const { return drawing.engine().listedValue(key(row)).value_or(QStringLiteral("(none)")); }

    // A person types into a cell of the current row and presses Enter: the
    // grid begins the edit, commits the text to the cell, and ends it.
    WriteResult type(int column, const QString& text)
    {
        editor->BeforeColEdit(column);
        setCell(rs.currentRow(), column, text);
        return editor->AfterColEdit(column);
    }
};

