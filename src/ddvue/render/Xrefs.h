#pragma once
// External references: the drawings that blocks of a drawing stand for. A
// reference's file is looked for where it says, beside the drawing, and in
// the search paths (several joined by ";"). Each file is read once.

#include "ddvue/dxf/Document.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <string>

namespace ddvue::render {

class Xrefs {
public:
    // The drawing whose references are resolved, and where else to look.
    void reset(const QString& drawingPath, const QString& searchPaths);
    void clear();

    // The drawing a reference names (its path as stored in the block), read
    // on first use; nullptr when no file is found or it cannot be read.
    const dxf::Document* load(const std::string& storedPath);
    // Where the file of a reference was found; empty when nowhere.
    QString locate(const std::string& storedPath) const;

private:
    QString folder_;
    QStringList searchPaths_;
    std::map<QString, std::unique_ptr<dxf::Document>> loaded_;  // by found path; null when unreadable
};

}  // namespace ddvue::render
