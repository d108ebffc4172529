#pragma once
// The large drawing the benchmarks work on: TESSILUX_BENCH_DRAWING, or a
// drawing of 100000 block attributes that make_pipeline_drawing.py (beside
// this file) writes into the system's temporary folder on the first run.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <cstdio>

namespace bench {

inline QString drawingPath()
{
    static const QString path = [] {
        QString p = qEnvironmentVariable("TESSILUX_BENCH_DRAWING");
        if (!p.isEmpty()) return p;
        p = QDir::temp().filePath(QStringLiteral("tessilux-bench-100000.dxf"));
        if (!QFileInfo::exists(p)) {
            QString script =
                QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(QStringLiteral("make_pipeline_drawing.py"));
            std::fprintf(stderr, "writing %s ...\n", qPrintable(p));
            QProcess::execute(QStringLiteral("/usr/bin/python3"), {script, p, QStringLiteral("100000")});
        }
        return p;
    }();
    return path;
}

}  // namespace bench
