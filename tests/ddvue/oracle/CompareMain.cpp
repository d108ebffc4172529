// oracle_compare DRAWING...
//
// For tests/tools/sweep.py: the content check of the ddvue_oracle tests run
// on any drawing. For each drawing, one line of JSON on standard output:
//   {"file": ..., "oracle_error": "..."}    ezdxf cannot read it
//   {"file": ..., "export_error": "..."}    `tessilux export` failed
//   {"file": ..., "diffs": [...]}           the differences (none: agreement);
//                                            "in_order": true when compared in file
//                                            order, not by handle
// oracle_compare --twin DWG DXF
//
// The same line for a DWG and the DXF of the same drawing, both as tessilux
// exports them: the DXF's content stands where the oracle's would.
// Exit status 0 when every drawing was compared, 1 when one could not be, 2
// wrong usage.

#include "Oracle.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList drawings = app.arguments().mid(1);
    if (drawings.isEmpty()) {
        std::fputs("usage: oracle_compare DRAWING...\n", stderr);
        return 2;
    }
    auto exported = [](const QString& drawing, QString* error) {
        oracle::Outcome run = oracle::tessilux(
            {QStringLiteral("export"), drawing, QStringLiteral("--format"), QStringLiteral("content")});
        if (run.exitCode != 0 || run.crashed || run.timedOut) *error = run.describe();
        return oracle::parseContent(run.out);
    };
    auto print = [](const QJsonObject& line) {
        std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    if (drawings.first() == QLatin1String("--twin")) {
        if (drawings.size() != 3) {
            std::fputs("usage: oracle_compare --twin DWG DXF\n", stderr);
            return 2;
        }
        QJsonObject line{{QStringLiteral("file"), drawings[1]}, {QStringLiteral("twin"), drawings[2]}};
        QString dwgError, dxfError;
        oracle::Content dwg = exported(drawings[1], &dwgError), dxf = exported(drawings[2], &dxfError);
        if (!dwgError.isEmpty() || !dxfError.isEmpty()) {
            line.insert(QStringLiteral("export_error"), dwgError.isEmpty() ? dxfError : dwgError);
            print(line);
            return 1;
        }
        // A DXF holds coordinates to 16 digits, a DWG in binary: compare
        // positions to 12 digits.
        auto rounded = [](QJsonArray texts) {
            for (qsizetype i = 0; i < texts.size(); ++i) {
                QJsonObject t = texts[i].toObject();
                QJsonArray p = t.value(QLatin1String("position")).toArray();
                for (qsizetype k = 0; k < p.size(); ++k) p[k] = QString::number(p[k].toDouble(), 'g', 12).toDouble();
                t.insert(QStringLiteral("position"), p);
                texts[i] = t;
            }
            return texts;
        };
        dwg.texts = rounded(dwg.texts);
        dxf.texts = rounded(dxf.texts);
        QJsonObject asOracle{{QStringLiteral("handles"), true},      {QStringLiteral("layers"), dxf.layers},
                             {QStringLiteral("attributes"), dxf.attributes}, {QStringLiteral("texts"), dxf.texts},
                             {QStringLiteral("xrefs"), dxf.xrefs}};
        line.insert(QStringLiteral("diffs"), QJsonArray::fromStringList(oracle::compareContent(dwg, asOracle)));
        print(line);
        return 0;
    }
    int status = 0;
    for (const QString& drawing : drawings) {
        QJsonObject line{{QStringLiteral("file"), drawing}};
        oracle::Dump dump = oracle::readWithOracle(drawing);
        if (!dump.ok()) {
            line.insert(QStringLiteral("oracle_error"), dump.error);
            status = 1;
        } else {
            QString error;
            oracle::Content content = exported(drawing, &error);
            if (!error.isEmpty()) {
                line.insert(QStringLiteral("export_error"), error);
                status = 1;
            } else {
                if (oracle::handlesMadeUp(drawing)) {
                    dump.json.insert(QStringLiteral("handles"), false);
                    line.insert(QStringLiteral("in_order"), true);
                }
                line.insert(QStringLiteral("diffs"), QJsonArray::fromStringList(oracle::compareContent(content, dump.json)));
            }
        }
        print(line);
    }
    return status;
}
