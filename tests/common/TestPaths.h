#pragma once
// Where the tests find their drawings.

#include <QString>

namespace testpaths {

inline QString sourceDir() { return QStringLiteral(TESSILUX_SOURCE_DIR); }
// Third-party drawings kept with the tests (see corpus/SOURCE.md).
inline QString corpus(const QString& name = QString()) { return sourceDir() + QStringLiteral("/tests/corpus/") + name; }
inline QString samples(const QString& name = QString()) { return sourceDir() + QStringLiteral("/samples/") + name; }
inline QString testData(const QString& name = QString()) { return sourceDir() + QStringLiteral("/tests/data/") + name; }
// The program built beside the tests, for command-line tests.
inline QString program() { return QStringLiteral(TESSILUX_PROGRAM); }

}  // namespace testpaths
