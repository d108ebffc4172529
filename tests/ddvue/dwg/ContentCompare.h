#pragma once
// Reads two content documents and tells, item by item, where they differ:
// layers by name, attributes and texts by handle, and the order of the
// blocks and layouts that hold them. Coordinates agree when they are the same
// number to twelve significant digits (CAD programs write sixteen).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <cmath>
#include <map>
#include <vector>

namespace contentcompare {

struct Item {
    QString kind;                       // Layer, Insert, Attribute, Text, MText, ExternalReference
    QString place;                      // "block / layout" that holds it
    std::map<QString, QString> fields;  // element name -> text
};

struct Content {
    QString version, encoding;
    std::vector<Item> items;
};

inline Content parse(const QByteArray& xml)
{
    Content c;
    QXmlStreamReader r(xml);
    QString block, layout;
    std::vector<Item*> open;
    std::vector<Item> stack;
    const QStringList itemKinds = {"Layer", "Insert", "Attribute", "Text", "MText", "ExternalReference"};
    QString group;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            QString name = r.name().toString();
            if (name == QLatin1String("Block")) block = r.attributes().value("name").toString();
            else if (name == QLatin1String("LayoutName")) layout = r.attributes().value("name").toString();
            else if (itemKinds.contains(name)) {
                Item item{name, block + QStringLiteral(" / ") + layout, {}};
                if (name == QLatin1String("Attribute") && !stack.empty())
                    item.fields[QStringLiteral("Insert")] = stack.back().fields[QStringLiteral("Handle")];
                stack.push_back(item);
            } else if (name == QLatin1String("InsertionPoint")) {
                continue;  // its X, Y and Z are read one by one
            } else if (name == QLatin1String("Version") || name == QLatin1String("Encoding") || !stack.empty()) {
                QString text = r.readElementText(QXmlStreamReader::IncludeChildElements);
                if (name == QLatin1String("Version")) c.version = text;
                else if (name == QLatin1String("Encoding")) c.encoding = text;
                else stack.back().fields[name] = text;
            }
        } else if (r.isEndElement() && itemKinds.contains(r.name().toString())) {
            c.items.push_back(stack.back());
            stack.pop_back();
        }
    }
    return c;
}

inline bool sameValue(const QString& name, const QString& a, const QString& b)
{
    if (a == b) return true;
    static const QStringList numeric = {"X", "Y", "Z"};
    if (!numeric.contains(name)) return false;
    bool okA = false, okB = false;
    double x = a.toDouble(&okA), y = b.toDouble(&okB);
    return okA && okB && std::fabs(x - y) <= 1e-12 * std::max({1.0, std::fabs(x), std::fabs(y)});
}

// A key that names an item in a message: its kind and handle or name.
inline QString keyOf(const Item& i)
{
    auto h = i.fields.find(i.kind == QLatin1String("Layer") || i.kind == QLatin1String("ExternalReference")
                               ? QStringLiteral("Name")
                               : QStringLiteral("Handle"));
    return i.kind + QLatin1Char(' ') + (h == i.fields.end() ? QStringLiteral("?") : h->second);
}

// Every difference of `got` from `expected`, one line each; empty when they agree.
inline QStringList differences(const Content& expected, const Content& got)
{
    QStringList out;
    if (expected.version != got.version) out << QStringLiteral("version %1, expected %2").arg(got.version, expected.version);
    if (expected.encoding != got.encoding)
        out << QStringLiteral("encoding %1, expected %2").arg(got.encoding, expected.encoding);
    std::map<QString, const Item*> byKey;
    for (const Item& i : got.items) byKey[keyOf(i)] = &i;
    std::map<QString, bool> seen;
    for (const Item& e : expected.items) {
        QString key = keyOf(e);
        seen[key] = true;
        auto it = byKey.find(key);
        if (it == byKey.end()) {
            out << QStringLiteral("%1 in %2 is missing").arg(key, e.place);
            continue;
        }
        const Item& g = *it->second;
        if (g.place != e.place) out << QStringLiteral("%1 is in %2, expected %3").arg(key, g.place, e.place);
        for (const auto& [name, value] : e.fields) {
            auto f = g.fields.find(name);
            QString gotValue = f == g.fields.end() ? QStringLiteral("(none)") : f->second;
            if (!sameValue(name, value, gotValue))
                out << QStringLiteral("%1 %2: \"%3\", expected \"%4\"").arg(key, name, gotValue, value);
        }
    }
    for (const Item& g : got.items)
        if (!seen.count(keyOf(g))) out << QStringLiteral("%1 in %2 is not expected").arg(keyOf(g), g.place);
    if (out.isEmpty()) {
        // Same items: then also in the same order, as the grid lists them.
        for (std::size_t k = 0; k < expected.items.size() && k < got.items.size(); ++k)
            if (keyOf(expected.items[k]) != keyOf(got.items[k])) {
                out << QStringLiteral("item %1 is %2, expected %3").arg(k).arg(keyOf(got.items[k]), keyOf(expected.items[k]));
                break;
            }
    }
    return out;
}

}  // namespace contentcompare
