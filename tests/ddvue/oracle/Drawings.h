#pragma once
// The drawings the outside-reader checks run over.

#include <QString>
#include <QStringList>

namespace oracle {

// Paths relative to the source folder: samples/, tests/data/odd/ and the
// corpus, each sorted.
QStringList samples();
QStringList oddDrawings();
QStringList corpusDrawings();
QStringList badInputs();

QString absolute(const QString& relative);
// A test name made of a path: letters and digits only.
std::string testName(const QString& relative);

// Drawings that ezdxf writes, one ASCII and one binary for every version,
// made once per run into a temporary folder. Empty (with the reason in
// `error`) when they could not be made.
const QStringList& ezdxfDrawings(QString* error = nullptr);

// The path of a file in a temporary folder that lives as long as the tests.
QString scratch(const QString& name);

}  // namespace oracle
