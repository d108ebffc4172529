#include "extract/Categories.h"

#include "extract/FlatDocument.h"

namespace extract {

const CategorySettings* categorySettings(Category category)
{
    static const CategorySettings attributes{{1, 0, 0, 0, 0, 0, 0, 0}, FlatAttributes, 7, true,
                                             QStringLiteral("AttributeHandle")};
    static const CategorySettings singleText{{0, 0, 0, 0, 0, 0, 0, 1}, FlatSingleText, 2, true,
                                             QStringLiteral("Handle")};
    static const CategorySettings multiText{{0, 0, 0, 0, 0, 0, 0, 1}, FlatMultiText, 2, true, QStringLiteral("Handle")};
    static const CategorySettings layers{{0, 0, 0, 1, 0, 0, 0, 0}, FlatLayers, 1, false, QStringLiteral("Name")};
    static const CategorySettings xrefs{{0, 0, 1, 0, 0, 0, 0, 0}, FlatExternalReferences, std::nullopt, false,
                                        QStringLiteral("Name")};
    switch (category) {
    case Category::Attributes: return &attributes;
    case Category::SingleText: return &singleText;
    case Category::MultiText: return &multiText;
    case Category::Layers: return &layers;
    case Category::ExternalReferences: return &xrefs;
    case Category::Images: return nullptr;
    }
    return nullptr;
}

const ColumnArrangement& columnArrangement(Category category)
{
    // Attributes: out go Handle, ElementId, then Z, NumberAttributes,
    // NumberConstantAttributes, Rows, Columns, AttributeHandle and
    // AttributeElementId. Texts: out go Handle, LayerName, then Z.
    static const ColumnArrangement attributes{{3, 3, 6, 6, 6, 6, 6, 6, 6},
                                              {700, 700, 700, 900, 500, 500, 2100, 2100},
                                              {0, 1, 2, 3, 4, 5, 6},
                                              {7}};
    static const ColumnArrangement text{{3, 3, 5}, {700, 700, 5000, 700, 700}, {0, 1, 3, 4}, {2}};
    static const ColumnArrangement layers{{}, {}, {0}, {1, 2}};
    static const ColumnArrangement none{};
    switch (category) {
    case Category::Attributes: return attributes;
    case Category::SingleText:
    case Category::MultiText: return text;
    case Category::Layers: return layers;
    case Category::ExternalReferences:
    case Category::Images: return none;
    }
    return none;
}

std::vector<int> arrangedFields(int fieldCount, Category category)
{
    std::vector<int> fields;
    for (int i = 0; i < fieldCount; ++i) fields.push_back(i);
    for (int removal : columnArrangement(category).removals)
        if (removal >= 0 && removal < static_cast<int>(fields.size())) fields.erase(fields.begin() + removal);
    return fields;
}

const QStringList& recordFields(Category category)
{
    static const QStringList attributes = {
        QStringLiteral("Block"),           QStringLiteral("Layout"),
        QStringLiteral("Name"),            QStringLiteral("Handle"),
        QStringLiteral("ElementId"),       QStringLiteral("LayerName"),
        QStringLiteral("X"),               QStringLiteral("Y"),
        QStringLiteral("Z"),               QStringLiteral("NumberAttributes"),
        QStringLiteral("NumberConstantAttributes"), QStringLiteral("Rows"),
        QStringLiteral("Columns"),         QStringLiteral("AttributeHandle"),
        QStringLiteral("AttributeElementId"), QStringLiteral("AttributeTag"),
        QStringLiteral("AttributeValue"),
    };
    static const QStringList text = {QStringLiteral("Block"),     QStringLiteral("Layout"), QStringLiteral("Value"),
                                     QStringLiteral("Handle"),    QStringLiteral("LayerName"), QStringLiteral("X"),
                                     QStringLiteral("Y"),         QStringLiteral("Z")};
    static const QStringList layers = {QStringLiteral("Name"), QStringLiteral("Display"), QStringLiteral("Color")};
    static const QStringList xrefs = {QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("Overlay")};
    static const QStringList none;
    switch (category) {
    case Category::Attributes: return attributes;
    case Category::SingleText:
    case Category::MultiText: return text;
    case Category::Layers: return layers;
    case Category::ExternalReferences: return xrefs;
    case Category::Images: return none;
    }
    return none;
}

std::optional<Category> categoryFromName(const QString& name)
{
    if (name == QLatin1String("attributes")) return Category::Attributes;
    if (name == QLatin1String("single-text")) return Category::SingleText;
    if (name == QLatin1String("multi-text")) return Category::MultiText;
    if (name == QLatin1String("layers")) return Category::Layers;
    if (name == QLatin1String("xrefs")) return Category::ExternalReferences;
    return std::nullopt;
}

}  // namespace extract
