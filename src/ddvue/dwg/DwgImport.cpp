#include "ddvue/dwg/DwgImport.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/dwg/ChildProcess.h"
#include "ddvue/dwg/DwgDxfWriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include <unistd.h>

#ifndef TESSILUX_DWG_READER_DIR
#define TESSILUX_DWG_READER_DIR ""
#endif

namespace ddvue::dwg {

namespace {

constexpr int kMinimumNodeMajor = 20;
constexpr double kDefaultTimeLimitSeconds = 120;

std::string local(const QString& s) { return s.toStdString(); }

// The last lines a process wrote on its standard error, for a reason.
QString lastLines(const QByteArray& err, int maxLines = 3)
{
    QList<QByteArray> lines = err.trimmed().split('\n');
    QStringList kept;
    for (auto it = lines.rbegin(); it != lines.rend() && kept.size() < maxLines; ++it) {
        QByteArray l = it->trimmed();
        if (l.isEmpty() || l.startsWith("at ") || l.startsWith("Node.js v")) continue;
        kept.prepend(QString::fromUtf8(l).left(300));
    }
    return kept.join(QLatin1Char(' '));
}

QString nodeProgram(QString& error)
{
    QString fromEnv = qEnvironmentVariable("TESSILUX_NODE");
    if (!fromEnv.isEmpty()) {
        QFileInfo info(fromEnv);
        if (info.isFile() && info.isExecutable()) return info.absoluteFilePath();
        error = QStringLiteral("Reading DWG drawings needs Node.js, and TESSILUX_NODE names no program: %1").arg(fromEnv);
        return {};
    }
    for (const char* name : {"node", "nodejs"}) {
        QString found = QStandardPaths::findExecutable(QLatin1String(name));
        if (!found.isEmpty()) return found;
    }
    error = QStringLiteral("Reading DWG drawings needs Node.js %1 or later, and no node program was found. "
                           "Install it (the setup script does) and try again.")
                .arg(kMinimumNodeMajor);
    return {};
}

// Asks a Node program for its version, once per program file.
bool nodeIsRecentEnough(const QString& node, QString& error)
{
    static QMutex mutex;
    static std::map<QString, std::pair<QString, bool>> known;  // program + stamp -> error, ok
    QFileInfo info(node);
    QString key = info.canonicalFilePath() + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|') +
                  QString::number(info.lastModified().toMSecsSinceEpoch());
    {
        QMutexLocker lock(&mutex);
        auto it = known.find(key);
        if (it != known.end()) {
            error = it->second.first;
            return it->second.second;
        }
    }
    ChildProcess p;
    std::string failure, said, ignored;
    if (!p.start(QFile::encodeName(node).toStdString(), {"--version"}, -1, failure)) {
        error = QStringLiteral("Reading DWG drawings needs Node.js, and %1 could not be started: %2")
                    .arg(node, QString::fromLocal8Bit(failure));
        return false;  // not remembered: it may start next time
    }
    bool finished = true;
    QElapsedTimer clock;
    clock.start();
    while (finished && !p.wait(static_cast<int>(std::max<qint64>(0, 15000 - clock.elapsed())), said, ignored))
        if (clock.elapsed() >= 15000) finished = false;
    if (!finished) {
        p.kill();
        error = QStringLiteral("Reading DWG drawings needs Node.js, and %1 does not answer.").arg(node);
        return false;  // not remembered: it may answer next time
    }
    QString out = QString::fromStdString(said).trimmed();
    bool ok = false;
    int major = 0;
    if (out.startsWith(QLatin1Char('v'))) major = out.mid(1).section(QLatin1Char('.'), 0, 0).toInt(&ok);
    QString why;
    if (!ok)
        why = QStringLiteral("Reading DWG drawings needs Node.js, and %1 does not say which version it is.").arg(node);
    else if (major < kMinimumNodeMajor)
        why = QStringLiteral("Reading DWG drawings needs Node.js %1 or later; %2 is version %3.")
                  .arg(kMinimumNodeMajor)
                  .arg(node, out.mid(1));
    QMutexLocker lock(&mutex);
    known[key] = {why, why.isEmpty()};
    error = why;
    return why.isEmpty();
}

QString readerScript(QString& error)
{
    QString script = qEnvironmentVariable("TESSILUX_DWG_READER");
    if (script.isEmpty()) {
        // An installed program has the reader in its own folder; one started
        // from a build folder, the source tree's.
        // Found once: drawings are read on several threads at a time.
        static const QString beside = [] {
            if (!QCoreApplication::instance()) return QString();
            return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("dwg-reader/read-dwg.mjs"));
        }();
        script = !beside.isEmpty() && QFileInfo(beside).isFile() ? beside
                                                                 : QStringLiteral(TESSILUX_DWG_READER_DIR "/read-dwg.mjs");
    }
    QFileInfo info(script);
    if (!info.isFile()) {
        error = QStringLiteral("The DWG reader script is missing: %1").arg(script);
        return {};
    }
    if (!QFileInfo(info.dir().filePath(QStringLiteral("node_modules/@mlightcad/libredwg-web/package.json"))).isFile()) {
        error = QStringLiteral("The DWG reader's library is not installed in %1; run scripts/setup.")
                    .arg(info.absolutePath());
        return {};
    }
    return info.absoluteFilePath();
}

int timeLimitMs()
{
    bool ok = false;
    double seconds = qEnvironmentVariable("TESSILUX_DWG_TIMEOUT").toDouble(&ok);
    if (!ok || seconds <= 0) seconds = kDefaultTimeLimitSeconds;
    return static_cast<int>(std::min(seconds * 1000.0, 24.0 * 3600 * 1000));
}

}  // namespace

void ReaderAnswer::add(const char* data, std::size_t size)
{
    const char* end = data + size;
    while (data != end) {
        const char* newline = static_cast<const char*>(std::memchr(data, '\n', static_cast<std::size_t>(end - data)));
        if (!newline) {
            partial_.append(data, end);
            return;
        }
        partial_.append(data, newline);
        line(std::move(partial_));
        partial_ = std::string();
        data = newline + 1;
    }
}

void ReaderAnswer::line(std::string text)
{
    // After a line that is not JSON the answer is lost anyway.
    if (!error_.empty() || text.find_first_not_of(" \t\r") == std::string::npos) return;
    if (!doc_.parse(std::move(text), &error_)) return;
    JsonValue piece = doc_.root();
    if (piece.isArray()) {
        for (const JsonValue& e : piece.toArray()) entities_.push_back(e);
        return;
    }
    // An object: the one before it was a block, not the drawing.
    if (!last_.isUndefined()) blocks_.push_back(last_);
    last_ = piece;
    if (piece.isObject()) {
        last_ = doc_.withMember(piece, "entities", doc_.makeArray(entities_));
        lastHadEntities_ = !entities_.empty();
        entities_.clear();
    }
}

bool ReaderAnswer::finish(std::string& error)
{
    if (!partial_.empty()) line(std::exchange(partial_, std::string()));
    // The drawing comes last, after all entities, and has none of its own.
    if (error_.empty() && (!last_.isObject() || lastHadEntities_ || !entities_.empty()))
        error_ = "it holds no drawing";
    if (!error_.empty()) {
        error = error_;
        return false;
    }
    drawing_ = doc_.withMember(last_, "blocks", doc_.makeArray(blocks_)).toObject();
    blocks_.clear();
    return true;
}

bool looksLikeDwg(const std::string& head)
{
    return head.size() >= 6 && head.compare(0, 4, "AC10") == 0 &&
           std::all_of(head.begin() + 4, head.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
}

bool looksLikeDwgPath(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".dwg";
}

bool isPasswordProtected(const std::string& head)
{
    // From 2004 on the file header says at 0x18 whether the drawing's data
    // (bit 1) or its properties (bit 2) are encrypted with a password.
    if (!looksLikeDwg(head) || head.compare(0, 6, "AC1018") < 0 || head.size() < 0x2C) return false;
    auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(head[i])); };
    // Only a header of that layout counts: five zero bytes after the
    // version, and 0x80 at 0x28.
    for (std::size_t i = 6; i < 11; ++i)
        if (byte(i) != 0) return false;
    if (byte(0x28) != 0x80 || byte(0x29) != 0 || byte(0x2A) != 0 || byte(0x2B) != 0) return false;
    std::uint32_t security = byte(0x18) | byte(0x19) << 8 | byte(0x1A) << 16 | byte(0x1B) << 24;
    return (security & 0x3) != 0;
}

namespace {

// Runs the reader process on the drawing open as `fd`, which becomes its
// standard input, and takes in what it writes as it comes; false, with the
// error (and whether it was stopped) set in `r`, when it did not end well.
bool runReader(const QString& node, const QString& script, int fd, const std::function<bool()>& keepGoing,
               ReaderAnswer& out, ImportResult& r)
{
    // One reader process per drawing: a fault in the DWG library ends that
    // process, not the program. Liftoff compiles the library's WebAssembly
    // at once instead of optimising it, which is many times faster and
    // smaller for a single drawing. The drawing comes as the reader's
    // standard input: its name may be bytes that no argument would carry.
    ChildProcess p;
    std::string why;
    if (!p.start(QFile::encodeName(node).toStdString(),
                 {"--liftoff-only", QFile::encodeName(script).toStdString(), "-"}, fd, why)) {
        r.error = "The DWG reader could not be started: " + why;
        return false;
    }
    const int limit = timeLimitMs();
    QElapsedTimer clock;
    clock.start();
    std::string more, err, errMore;
    while (!p.ended()) {
        qint64 left = limit - clock.elapsed();
        if (left <= 0) break;
        if (keepGoing && !keepGoing()) {
            p.kill();
            r.stopped = true;
            r.error = "Reading the drawing was stopped.";
            return false;
        }
        // Back as soon as the reader has written more, which is parsed
        // here while the reader goes on reading.
        more.clear();
        errMore.clear();
        p.wait(static_cast<int>(std::min<qint64>(left, 100)), more, errMore);
        out.add(more.data(), more.size());
        if (err.size() < (1 << 16)) err += errMore;
    }
    if (!p.ended()) {
        p.kill();
        r.timedOut = true;
        r.error = local(QStringLiteral("Reading the DWG drawing took longer than %1 seconds and was stopped.")
                            .arg(limit / 1000.0));
        return false;
    }

    QString detail = lastLines(QByteArray::fromStdString(err));
    if (p.crashed()) {
        r.error = local(QStringLiteral("The DWG reader stopped unexpectedly%1").arg(detail.isEmpty() ? QStringLiteral(".")
                                                                                                   : QStringLiteral(": ") + detail));
        return false;
    }
    switch (p.exitCode()) {
    case 0: break;
    case 3:
        r.error = local(detail.isEmpty() ? QStringLiteral("The DWG library cannot read this drawing.") : detail);
        return false;
    case 4:
        r.error = local(detail.isEmpty() ? QStringLiteral("The installed Node.js is too old to read DWG drawings.") : detail);
        return false;
    default:
        r.error = local(QStringLiteral("The DWG reader failed (exit status %1)%2")
                            .arg(p.exitCode())
                            .arg(detail.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + detail));
        return false;
    }
    return true;
}

}  // namespace

ImportResult importDwg(const std::string& path, const std::function<bool()>& keepGoing)
{
    ImportResult r;
    std::string why;
    const int fd = openForReading(path, why);
    if (fd < 0) {
        r.error = "Cannot read \"" + path + "\": " + why;  // the name's own bytes
        return r;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    {
        char head[64];
        ssize_t n = ::pread(fd, head, sizeof head, 0);
        if (isPasswordProtected(std::string(head, n > 0 ? static_cast<std::size_t>(n) : 0))) {
            r.encrypted = true;
            r.error = "The DWG drawing is protected by a password; encrypted drawings cannot be read.";
            return r;
        }
    }

    QString problem;
    QString node = nodeProgram(problem);
    if (node.isEmpty()) {
        r.error = local(problem);
        return r;
    }
    QString script = readerScript(problem);
    if (script.isEmpty()) {
        r.error = local(problem);
        return r;
    }

    // Node's version is asked only when the reader failed: asking first
    // would start Node twice for every drawing. A Node too old to run the
    // reader fails it, and is then named as the reason.
    auto tooOld = [&] {
        if (r.stopped || r.timedOut) return false;
        QString old;
        if (nodeIsRecentEnough(node, old)) return false;
        r.error = local(old);
        return true;
    };
    ReaderAnswer answer;
    if (!runReader(node, script, fd, keepGoing, answer, r)) {
        tooOld();
        return r;
    }
    std::string parseError;
    if (!answer.finish(parseError)) {
        r.error = local(QStringLiteral("The DWG reader's answer is not readable: %1").arg(QString::fromStdString(parseError)));
        tooOld();
        return r;
    }
    JsonObject drawing = answer.drawing();
    // A whole number that fits, else none (as QJsonValue::toInt answers).
    const double errors = drawing.value("libraryErrors").toDouble();
    r.libraryErrors = errors >= INT_MIN && errors <= INT_MAX && errors == std::trunc(errors) ? static_cast<int>(errors) : 0;
    QStringList warnings;
    for (const JsonValue& v : drawing.value("readNotes").toArray()) warnings << v.toString();
    QStringList problems;
    for (const JsonValue& v : drawing.value("readProblems").toArray()) problems << v.toString();
    if (!problems.isEmpty())
        warnings << QStringLiteral("the DWG library reports: %1").arg(problems.join(QStringLiteral(", ")));
    r.readWarnings = local(warnings.join(QStringLiteral("; ")));
    // A checksum that does not match: some of the drawing's bytes are not
    // what was written, and the library may have read wrong values, or left
    // objects out, without knowing.
    if (r.libraryErrors & 1) r.damage = "a checksum does not match";
    DxfFromDwg dxf = writeDxfFromDwg(drawing);
    r.dxf = std::move(dxf.dxf);
    r.skippedEntities = dxf.skippedEntities;
    r.version = dxf.version;
    r.ok = true;
    return r;
}

}  // namespace ddvue::dwg
