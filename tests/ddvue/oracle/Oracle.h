#pragma once
// Checks of the built program against an independent DXF reader: runs
// `tessilux` and tests/tools/dxf_oracle.py (ezdxf) and compares what each
// sees in a drawing.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <ostream>
#include <vector>

// Test parameters that are paths print as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << s.toStdString(); }

namespace oracle {

struct Outcome {
    int exitCode = -1;
    bool crashed = false;   // ended by a signal
    bool timedOut = false;  // still running at the deadline (killed)
    QByteArray out;
    QByteArray err;
    QString describe() const;  // exit status and standard error, for messages
};

// Runs the built tessilux with these arguments.
Outcome tessilux(const QStringList& args, int timeoutMs = 120000);

// What ezdxf sees in a drawing (dxf_oracle.py). `error` is set when the
// oracle could not read it.
struct Dump {
    QJsonObject json;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
Dump readWithOracle(const QString& drawing, bool full = false, bool audit = false);
// Several drawings in one run of the oracle (Python and ezdxf start once),
// in the order given.
std::vector<Dump> readWithOracle(const QStringList& drawings, bool full = false, bool audit = false);

// Every block reference of each drawing, as the oracle sees it: its
// attributes, and those its block's definitions give it, placed by ezdxf
// ("references"), with the drawing's audit ("audit").
std::vector<Dump> readReferences(const QStringList& drawings);

// The content document of `tessilux export`, in the oracle's terms: layers
// {name, on, color}, attributes {handle, tag, value, insert, insert_name,
// layer, block, layout}, texts {handle, type, value, layer, position, block,
// layout} and xrefs {name, path}. `error` is set when the XML is not well formed.
struct Content {
    QJsonArray layers, attributes, texts, xrefs;
    QString error;
};
Content parseContent(const QByteArray& xml);

// The differences between the program's content and the oracle's dump, one
// readable line each; empty when they agree. Entities are matched by handle,
// or by order in drawings without handles.
QStringList compareContent(const Content& engine, const QJsonObject& oracle);

// Whether tessilux said on reading that objects of the drawing repeat a
// handle or have none. Then each reader hands out handles of its own, to
// different objects, and contents compare in file order ("handles": false
// in the oracle's dump), not by handle.
bool handlesMadeUp(const QString& drawing);

// The differences between two JSON values, as paths with both sides.
QStringList diffJson(const QJsonValue& expected, const QJsonValue& actual, const QString& path = QStringLiteral("$"));

// Audit errors of `after` that `before` did not have.
QStringList newAuditErrors(const QJsonObject& before, const QJsonObject& after);

// The first lines of a list of differences, for a failure message.
std::string summary(const QStringList& lines, int limit = 25);

QString oracleScript();
QString python();

}  // namespace oracle
