#include "Oracle.h"

#include "TestPaths.h"

#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QXmlStreamReader>

namespace oracle {

QString python()
{
    QString configured = qEnvironmentVariable("TESSILUX_PYTHON");
    // Debian's interpreter, which has python3-ezdxf; not whatever python
    // comes first on PATH.
    return configured.isEmpty() ? QStringLiteral("/usr/bin/python3") : configured;
}

QString oracleScript() { return testpaths::sourceDir() + QStringLiteral("/tests/tools/dxf_oracle.py"); }

QString Outcome::describe() const
{
    QString status = timedOut ? QStringLiteral("timed out")
                     : crashed ? QStringLiteral("crashed")
                               : QStringLiteral("exit status %1").arg(exitCode);
    return status + QStringLiteral(", stderr: ") + QString::fromUtf8(err.left(2000));
}

namespace {

Outcome runProcess(const QString& program, const QStringList& args, int timeoutMs)
{
    Outcome run;
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(30000)) {
        run.err = "could not start " + program.toUtf8();
        return run;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        run.timedOut = true;
        p.kill();
        p.waitForFinished(10000);
    }
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    run.crashed = !run.timedOut && p.exitStatus() == QProcess::CrashExit;
    run.exitCode = p.exitCode();
    return run;
}

}  // namespace

Outcome tessilux(const QStringList& args, int timeoutMs) { return runProcess(testpaths::program(), args, timeoutMs); }

namespace {

std::vector<Dump> runOracle(const QStringList& options, const QStringList& drawings)
{
    QStringList args = QStringList{oracleScript()} + options;
    args << drawings;
    Outcome run = runProcess(python(), args, 600000);
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(run.out, &parseError);
    std::vector<Dump> dumps(static_cast<std::size_t>(drawings.size()));
    // Exit status 1 only says that some drawing could not be read; each
    // result says which.
    if ((run.exitCode != 0 && run.exitCode != 1) || run.crashed || run.timedOut || !doc.isObject()) {
        for (Dump& d : dumps) d.error = QStringLiteral("the oracle failed: ") + run.describe();
        return dumps;
    }
    QJsonObject all = doc.object();
    for (qsizetype i = 0; i < drawings.size(); ++i) {
        QJsonObject one = drawings.size() == 1 ? all : all.value(drawings[i]).toObject();
        Dump& d = dumps[static_cast<std::size_t>(i)];
        if (one.isEmpty()) d.error = QStringLiteral("the oracle said nothing about ") + drawings[i];
        else if (one.contains(QLatin1String("error"))) d.error = one.value(QLatin1String("error")).toString();
        else d.json = one;
    }
    return dumps;
}

}  // namespace

std::vector<Dump> readWithOracle(const QStringList& drawings, bool full, bool audit)
{
    QStringList options;
    if (full) options << QStringLiteral("--full");
    if (audit) options << QStringLiteral("--audit");
    return runOracle(options, drawings);
}

std::vector<Dump> readReferences(const QStringList& drawings)
{
    return runOracle({QStringLiteral("--references")}, drawings);
}

Dump readWithOracle(const QString& drawing, bool full, bool audit)
{
    return readWithOracle(QStringList{drawing}, full, audit).front();
}

Content parseContent(const QByteArray& xml)
{
    Content c;
    QXmlStreamReader r(xml);
    enum class Section { None, Layers, Attributes, Texts, Xrefs } section = Section::None;
    QString block, layout;
    QJsonObject layer, insert, attribute, text, xref, position;
    bool inLayer = false, inInsert = false, inAttribute = false, inText = false, inXref = false;
    double x = 0, y = 0, z = 0;

    while (!r.atEnd()) {
        r.readNext();
        if (r.isEndElement()) {
            QStringView name = r.name();
            if (name == QLatin1String("Layer")) {
                c.layers.append(layer);
                inLayer = false;
            } else if (name == QLatin1String("Attribute")) {
                attribute.insert(QStringLiteral("insert"), insert.value(QLatin1String("handle")));
                attribute.insert(QStringLiteral("insert_name"), insert.value(QLatin1String("name")));
                attribute.insert(QStringLiteral("layer"), insert.value(QLatin1String("layer")));
                attribute.insert(QStringLiteral("block"), block);
                attribute.insert(QStringLiteral("layout"), layout);
                c.attributes.append(attribute);
                inAttribute = false;
            } else if (name == QLatin1String("Insert")) {
                inInsert = false;
            } else if (name == QLatin1String("Text") || name == QLatin1String("MText")) {
                text.insert(QStringLiteral("position"), QJsonArray{x, y, z});
                text.insert(QStringLiteral("block"), block);
                text.insert(QStringLiteral("layout"), layout);
                c.texts.append(text);
                inText = false;
            } else if (name == QLatin1String("ExternalReference")) {
                c.xrefs.append(xref);
                inXref = false;
            }
            continue;
        }
        if (!r.isStartElement()) continue;
        const QString name = r.name().toString();
        if (name == QLatin1String("Layers")) {
            section = Section::Layers;
        } else if (name == QLatin1String("Attributes")) {
            section = Section::Attributes;
        } else if (name == QLatin1String("TextLiterals")) {
            section = Section::Texts;
        } else if (name == QLatin1String("ExternalReferences")) {
            section = Section::Xrefs;
        } else if (name == QLatin1String("Block")) {
            block = r.attributes().value(QLatin1String("name")).toString();
        } else if (name == QLatin1String("LayoutName")) {
            layout = r.attributes().value(QLatin1String("name")).toString();
        } else if (name == QLatin1String("Layer") && section == Section::Layers) {
            layer = {};
            inLayer = true;
        } else if (name == QLatin1String("Insert")) {
            insert = {};
            inInsert = true;
        } else if (name == QLatin1String("Attribute")) {
            attribute = {};
            inAttribute = true;
        } else if (name == QLatin1String("Text") || name == QLatin1String("MText")) {
            text = {{QStringLiteral("type"), name == QLatin1String("Text") ? QStringLiteral("TEXT") : QStringLiteral("MTEXT")}};
            x = y = z = 0;
            inText = true;
        } else if (name == QLatin1String("ExternalReference")) {
            xref = {};
            inXref = true;
        } else if (name == QLatin1String("InsertionPoint") || name == QLatin1String("DrawingContent") ||
                   name == QLatin1String("DrawingInformation")) {
            // containers
        } else {
            const QString value = r.readElementText();
            if (inLayer) {
                if (name == QLatin1String("Name")) layer.insert(QStringLiteral("name"), value);
                else if (name == QLatin1String("Display")) layer.insert(QStringLiteral("on"), value == QLatin1String("On"));
                else if (name == QLatin1String("Color")) layer.insert(QStringLiteral("color"), value.toInt());
            } else if (inAttribute) {
                if (name == QLatin1String("Handle")) attribute.insert(QStringLiteral("handle"), value);
                else if (name == QLatin1String("AttributeTag")) attribute.insert(QStringLiteral("tag"), value);
                else if (name == QLatin1String("AttributeValue")) attribute.insert(QStringLiteral("value"), value);
            } else if (inInsert) {
                if (name == QLatin1String("Name")) insert.insert(QStringLiteral("name"), value);
                else if (name == QLatin1String("Handle")) insert.insert(QStringLiteral("handle"), value);
                else if (name == QLatin1String("LayerName")) insert.insert(QStringLiteral("layer"), value);
            } else if (inText) {
                if (name == QLatin1String("Value")) text.insert(QStringLiteral("value"), value);
                else if (name == QLatin1String("Handle")) text.insert(QStringLiteral("handle"), value);
                else if (name == QLatin1String("LayerName")) text.insert(QStringLiteral("layer"), value);
                else if (name == QLatin1String("X")) x = value.toDouble();
                else if (name == QLatin1String("Y")) y = value.toDouble();
                else if (name == QLatin1String("Z")) z = value.toDouble();
            } else if (inXref) {
                if (name == QLatin1String("Name")) xref.insert(QStringLiteral("name"), value);
                else if (name == QLatin1String("Path")) xref.insert(QStringLiteral("path"), value);
            }
        }
    }
    if (r.hasError()) c.error = r.errorString() + QStringLiteral(" at line %1").arg(r.lineNumber());
    return c;
}

namespace {

// A value as the content document carries it: control characters, which XML
// cannot hold, as their control pictures.
QString contentForm(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (QChar ch : s) {
        char16_t u = ch.unicode();
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r') u = static_cast<char16_t>(0x2400 + u);
        else if (u == 0xFFFE || u == 0xFFFF) u = 0xFFFD;
        out.append(QChar(u));
    }
    return out;
}

QString show(const QJsonValue& v)
{
    if (v.isString()) return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    if (v.isUndefined()) return QStringLiteral("(missing)");
    QJsonDocument d = v.isArray() ? QJsonDocument(v.toArray()) : v.isObject() ? QJsonDocument(v.toObject()) : QJsonDocument();
    if (!d.isNull()) return QString::fromUtf8(d.toJson(QJsonDocument::Compact)).left(300);
    if (v.isDouble()) return QString::number(v.toDouble(), 'g', 17);
    if (v.isBool()) return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return QStringLiteral("null");
}

bool sameValue(const QJsonValue& engine, const QJsonValue& oracle, bool anyCase = false)
{
    if (anyCase) return engine.toString().compare(contentForm(oracle.toString()), Qt::CaseInsensitive) == 0;
    if (oracle.isString()) return engine.toString() == contentForm(oracle.toString());
    if (oracle.isNull()) return true;  // not a finite number: nothing to compare
    if (oracle.isArray()) {
        QJsonArray a = engine.toArray(), b = oracle.toArray();
        if (a.size() != b.size()) return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (!sameValue(a[i], b[i])) return false;
        return true;
    }
    return engine == oracle;
}

// Compares two lists of records field by field: by handle when the drawing
// has handles, else in order.
void compareRecords(const QString& what, const QJsonArray& engine, const QJsonArray& oracle, const QStringList& fields,
                    bool byHandle, QStringList& diffs)
{
    auto keyOf = [&](const QJsonObject& o, qsizetype index) {
        return byHandle ? o.value(QLatin1String("handle")).toString() : QString::number(index);
    };
    QMap<QString, QJsonObject> mine, theirs;
    for (qsizetype i = 0; i < engine.size(); ++i) mine.insert(keyOf(engine[i].toObject(), i), engine[i].toObject());
    for (qsizetype i = 0; i < oracle.size(); ++i) theirs.insert(keyOf(oracle[i].toObject(), i), oracle[i].toObject());
    if (engine.size() != oracle.size())
        diffs << QStringLiteral("%1: tessilux lists %2, the oracle %3").arg(what).arg(engine.size()).arg(oracle.size());
    for (auto it = theirs.cbegin(); it != theirs.cend(); ++it) {
        auto m = mine.constFind(it.key());
        if (m == mine.cend()) {
            diffs << QStringLiteral("%1 %2: missing from tessilux's content (oracle: %3)")
                         .arg(what, it.key(), show(it.value()));
            continue;
        }
        for (const QString& f : fields) {
            QJsonValue a = m->value(f), b = it->value(f);
            // Block names are not case-sensitive ("*MODEL_SPACE" is model space).
            if (!sameValue(a, b, f == QLatin1String("block")))
                diffs << QStringLiteral("%1 %2 %3: tessilux %4, oracle %5").arg(what, it.key(), f, show(a), show(b));
        }
    }
    for (auto it = mine.cbegin(); it != mine.cend(); ++it)
        if (!theirs.contains(it.key()))
            diffs << QStringLiteral("%1 %2: only in tessilux's content: %3").arg(what, it.key(), show(it.value()));
}

}  // namespace

QStringList compareContent(const Content& engine, const QJsonObject& oracle)
{
    QStringList diffs;
    if (!engine.error.isEmpty()) diffs << QStringLiteral("content document: ") + engine.error;
    bool handles = oracle.value(QLatin1String("handles")).toBool(true);

    // Layers by name; a table may hold a name twice, so compare as sorted lists.
    auto layerLines = [](const QJsonArray& layers, bool fromOracle) {
        QStringList lines;
        for (const QJsonValue& v : layers) {
            QJsonObject o = v.toObject();
            QString name = o.value(QLatin1String("name")).toString();
            lines << QStringLiteral("%1 %2 %3")
                         .arg(fromOracle ? contentForm(name) : name,
                              o.value(QLatin1String("on")).toBool() ? QStringLiteral("On") : QStringLiteral("Off"))
                         .arg(o.value(QLatin1String("color")).toInt());
        }
        lines.sort();
        return lines;
    };
    QStringList mine = layerLines(engine.layers, false), theirs = layerLines(oracle.value(QLatin1String("layers")).toArray(), true);
    if (mine != theirs) {
        for (const QString& l : theirs)
            if (!mine.contains(l)) diffs << QStringLiteral("layer (name, display, color) %1: not in tessilux's content").arg(l);
        for (const QString& l : mine)
            if (!theirs.contains(l)) diffs << QStringLiteral("layer (name, display, color) %1: only in tessilux's content").arg(l);
    }

    QStringList attributeFields{QStringLiteral("tag"), QStringLiteral("value"), QStringLiteral("insert_name"),
                                QStringLiteral("layer"), QStringLiteral("block"), QStringLiteral("layout")};
    if (handles) attributeFields << QStringLiteral("insert");
    compareRecords(QStringLiteral("attribute"), engine.attributes, oracle.value(QLatin1String("attributes")).toArray(),
                   attributeFields, handles, diffs);
    compareRecords(QStringLiteral("text"), engine.texts, oracle.value(QLatin1String("texts")).toArray(),
                   {QStringLiteral("type"), QStringLiteral("value"), QStringLiteral("layer"), QStringLiteral("position"),
                    QStringLiteral("block"), QStringLiteral("layout")},
                   handles, diffs);

    QJsonArray xrefs;
    for (const QJsonValue& v : engine.xrefs) {
        QJsonObject o = v.toObject();
        o.insert(QStringLiteral("handle"), o.value(QLatin1String("name")));
        xrefs.append(o);
    }
    QJsonArray oracleXrefs;
    for (const QJsonValue& v : oracle.value(QLatin1String("xrefs")).toArray()) {
        QJsonObject o = v.toObject();
        o.insert(QStringLiteral("handle"), o.value(QLatin1String("name")));
        oracleXrefs.append(o);
    }
    compareRecords(QStringLiteral("external reference"), xrefs, oracleXrefs, {QStringLiteral("path")}, true, diffs);
    return diffs;
}

bool handlesMadeUp(const QString& drawing)
{
    QByteArray info = tessilux({QStringLiteral("info"), drawing}).out;
    return info.contains("the handle of an earlier one") || info.contains("empty or unreadable handle");
}

QStringList diffJson(const QJsonValue& expected, const QJsonValue& actual, const QString& path)
{
    QStringList diffs;
    if (expected.isObject() && actual.isObject()) {
        QJsonObject a = expected.toObject(), b = actual.toObject();
        for (auto it = a.begin(); it != a.end(); ++it)
            diffs << diffJson(it.value(), b.value(it.key()), path + QLatin1Char('.') + it.key());
        for (auto it = b.begin(); it != b.end(); ++it)
            if (!a.contains(it.key()))
                diffs << QStringLiteral("%1.%2: unexpected %3").arg(path, it.key(), show(it.value()));
        return diffs;
    }
    if (expected.isArray() && actual.isArray()) {
        QJsonArray a = expected.toArray(), b = actual.toArray();
        if (a.size() != b.size()) {
            diffs << QStringLiteral("%1: %2 items expected, %3 found").arg(path).arg(a.size()).arg(b.size());
            // Report the first item that differs, not a cascade.
        }
        for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
            QStringList d = diffJson(a[i], b[i], QStringLiteral("%1[%2]").arg(path).arg(i));
            diffs << d;
            if (!d.isEmpty() && a.size() != b.size()) break;
        }
        return diffs;
    }
    if (expected != actual) diffs << QStringLiteral("%1: expected %2, found %3").arg(path, show(expected), show(actual));
    return diffs;
}

QStringList newAuditErrors(const QJsonObject& before, const QJsonObject& after)
{
    QStringList known;
    for (const QJsonValue& e : before.value(QLatin1String("errors")).toArray())
        known << e.toObject().value(QLatin1String("message")).toString();
    QStringList fresh;
    for (const QJsonValue& e : after.value(QLatin1String("errors")).toArray()) {
        QString message = e.toObject().value(QLatin1String("message")).toString();
        if (!known.removeOne(message)) fresh << message;
    }
    return fresh;
}

std::string summary(const QStringList& lines, int limit)
{
    QStringList shown;
    for (const QString& line : lines.mid(0, limit)) shown << (line.size() > 700 ? line.left(700) + QStringLiteral(" ...") : line);
    if (lines.size() > limit) shown << QStringLiteral("... and %1 more").arg(lines.size() - limit);
    return shown.join(QLatin1Char('\n')).toStdString();
}

}  // namespace oracle
