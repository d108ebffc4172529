#include "app/ReplaceCommand.h"

#include "app/CommandLine.h"
#include "extract/Categories.h"

#include "ddvue/AtomicFile.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <iomanip>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace app {

namespace {

using cli::local;
using cli::usage;
using Result = DrawingReplace::Result;

// The most drawings read at once.
constexpr long kMaxJobs = 256;
// How many different reasons a drawing's line names at most.
constexpr int kReasonsShown = 3;

using FileId = std::pair<dev_t, ino_t>;

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

void walk(const std::string& folder, std::vector<FoundDrawing>& found, std::set<FileId>& seen)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        found.push_back({ddvue::decodeFileName(folder), QStringLiteral("cannot read the folder: %1").arg(systemReason(errno))});
        return;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    for (const std::string& name : names) {
        const std::string path = prefix + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;  // a dangling link, or gone meanwhile
        if (S_ISDIR(st.st_mode)) {
            // A folder reached again through a link is gone through once.
            if (seen.insert({st.st_dev, st.st_ino}).second) walk(path, found, seen);
        } else {
            const std::size_t dot = name.rfind('.');
            if (dot == std::string::npos || !ddvue::isDrawingSuffix(ddvue::decodeFileName(name.substr(dot + 1)))) continue;
            if (!seen.insert({st.st_dev, st.st_ino}).second) continue;
            // A pipe or a device named as a drawing is reported, never read.
            if (S_ISREG(st.st_mode)) found.push_back({ddvue::decodeFileName(path), {}});
            else found.push_back({ddvue::decodeFileName(path),
                                  QStringLiteral("it is not a regular file but %1").arg(QString::fromStdString(ddvue::kindOfFile(st.st_mode)))});
        }
    }
}

void addReason(QStringList& reasons, const QString& reason)
{
    if (reasons.size() <= kReasonsShown && !reasons.contains(reason)) reasons << reason;
}

// The DXF a drawing is saved to: its own file, or the one beside a DWG.
QString saveTarget(const ddvue::DDVueEngine& engine, const QString& path)
{
    if (!engine.isDwg()) return path;
    QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".dxf"));
}

// The grid's Replace All over the category's value column of the drawing
// open in `engine`, as one change of the drawing; the objects are found
// through the drawing's index, as the grid finds a row's, without the grid's
// records. How many values the drawing took.
long replaceValues(ddvue::DDVueEngine& engine, const ReplaceRequest& request, DrawingReplace& r)
{
    long written = 0;
    const extract::CategorySettings& settings = *extract::categorySettings(request.category);
    const short column = edit::searchColumn(request.category, request.search.find, true, *settings.valueColumn);
    const edit::ReplaceAllRule rule(request.search);
    ddvue::DDVueEngine::Batch batch(engine, "Replace All");
    for (const edit::ListedObject& object : edit::listedObjects(engine, request.category)) {
        const QString before = edit::listedCell(engine, object, column);
        const QString after = rule.apply(before);
        if (after == before) continue;
        edit::WriteResult w = edit::writeValue(engine, request.category, column, edit::listedKey(engine, object), after);
        if (w.written()) {
            // A value the drawing holds already (a color written in another
            // form) is no replacement.
            if (w.shown != before) ++r.replaced;
            ++written;
        } else if (w.status != edit::WriteResult::Status::Nothing) {
            ++r.refused;
            addReason(r.reasons, w.error);
        }
    }
    return written;
}

std::string resultText(const FoundDrawing& drawing, const DrawingReplace& r)
{
    auto elsewhere = [&] { return r.savedAs != drawing.path ? " as " + cli::shownName(r.savedAs) : std::string(); };
    std::string text;
    switch (r.result) {
    case Result::Unchanged: break;
    case Result::Saved: text = "saved" + elsewhere(); break;
    case Result::WouldSave: text = "would be saved" + elsewhere(); break;
    case Result::NotRead: text = "not read: " + local(r.error); break;
    case Result::NotSaved: text = "not saved: " + local(r.error); break;
    }
    if (r.refused > 0) {
        std::string refused = "refused: " + local(r.reasons.mid(0, kReasonsShown).join(QStringLiteral(" ")));
        if (r.reasons.size() > kReasonsShown) refused += " ...";
        text = text.empty() ? refused : text + "; " + refused;
    }
    return text;
}

void printRow(std::ostream& out, const FoundDrawing& drawing, const DrawingReplace& r)
{
    const bool counted = r.result != Result::NotRead;
    // A name is quoted where it holds a line break or another control
    // character, so that each drawing stays on one line of the table.
    out << std::setw(9) << (counted ? std::to_string(r.replaced) : std::string("-")) << "  " << std::setw(7)
        << (counted ? std::to_string(r.refused) : std::string("-")) << "  " << cli::shownName(drawing.path);
    std::string text = resultText(drawing, r);
    if (!text.empty()) out << ": " << text;
    out << "\n";
    out.flush();
}

int replace(const QStringList& args, std::ostream& out, std::ostream& err)
{
    QStringList paths;
    ReplaceRequest request;
    bool hasFind = false, hasReplace = false, allValues = false;
    long jobs = std::clamp<long>(QThread::idealThreadCount(), 1, kMaxJobs);
    static const QStringList known = {
        QStringLiteral("--find"),      QStringLiteral("--replace"),        QStringLiteral("--category"),
        QStringLiteral("--match-case"), QStringLiteral("--whole-word"),    QStringLiteral("--dry-run"),
        QStringLiteral("--jobs"),      QStringLiteral("--overwrite"),      QStringLiteral("--accept-damaged"),
        QStringLiteral("--all-values"),
    };
    cli::Arguments reader(args);
    while (reader.next()) {
        const QString& a = reader.current();
        QString v;
        if (!reader.isOption(known.contains(a))) {
            paths << a;
        } else if (a == QLatin1String("--find") || a == QLatin1String("--replace")) {
            if (!reader.value(v)) return usage(err, QStringLiteral("%1 needs a text").arg(a));
            // Text given in bytes that are not UTF-8 has no one meaning.
            if (ddvue::hasStrayBytes(v)) return usage(err, QStringLiteral("%1: the text is not valid UTF-8").arg(a));
            if (a == QLatin1String("--find")) request.search.find = v, hasFind = true;
            else request.search.replace = v, hasReplace = true;
        } else if (a == QLatin1String("--category")) {
            if (!reader.value(v)) return usage(err, QStringLiteral("--category needs a value"));
            auto c = extract::categoryFromName(v);
            if (!c || *c == extract::Category::ExternalReferences)
                return usage(err,
                             QStringLiteral("replace takes attributes, single-text, multi-text or layers, not %1").arg(v));
            request.category = *c;
        } else if (a == QLatin1String("--match-case")) {
            request.search.matchCase = true;
        } else if (a == QLatin1String("--whole-word")) {
            request.search.wholeWord = true;
        } else if (a == QLatin1String("--dry-run")) {
            request.dryRun = true;
        } else if (a == QLatin1String("--overwrite")) {
            request.overwrite = true;
        } else if (a == QLatin1String("--accept-damaged")) {
            request.acceptDamage = true;
        } else if (a == QLatin1String("--all-values")) {
            allValues = true;
        } else if (a == QLatin1String("--jobs")) {
            if (!reader.value(v) || !cli::parseNumber(v, 1, kMaxJobs, jobs))
                return usage(err, QStringLiteral("--jobs needs a whole number from 1 to %1").arg(kMaxJobs));
        } else {
            return usage(err, QStringLiteral("unknown option %1").arg(a));
        }
    }
    if (int status = reader.finish(QStringLiteral("replace"), out, err); status >= 0) return status;
    if (paths.isEmpty()) return usage(err, QStringLiteral("replace needs a drawing or a folder"));
    if (!hasFind || !hasReplace) return usage(err, QStringLiteral("replace needs --find TEXT and --replace TEXT"));
    // An empty text to find (an unset shell variable, say) sets every value
    // of every drawing: only when that is what is meant.
    if (request.search.find.isEmpty() && !allValues)
        return usage(err, QStringLiteral("an empty --find makes every value the replacement; give --all-values if that is "
                                         "what you mean"));

    const std::vector<FoundDrawing> drawings = drawingsUnder(paths);
    const std::size_t count = drawings.size();
    std::vector<std::optional<DrawingReplace>> results(count);
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next++) < count;) {
            DrawingReplace r;
            if (!drawings[i].error.isEmpty()) {
                r.result = Result::NotRead;
                r.error = drawings[i].error;
            } else {
                r = replaceInDrawing(drawings[i].path, request);
            }
            std::lock_guard<std::mutex> lock(mutex);
            results[i] = std::move(r);
            done.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (long j = 0; j < std::min<long>(jobs, static_cast<long>(count)); ++j) workers.emplace_back(work);

    // The lines come in the drawings' order, each as soon as its drawing is
    // done; on a terminal, how many are done shows below them meanwhile.
    cli::Progress progress(err);
    out << " Replaced  Refused  Drawing\n";
    out.flush();
    long replaced = 0, refused = 0, unchanged = 0, saved = 0, notRead = 0, notSaved = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        while (!done.wait_for(lock, std::chrono::milliseconds(250), [&] { return results[i].has_value(); })) {
            std::size_t finished = 0;
            for (const auto& result : results) finished += result.has_value();
            progress.show(finished, count, drawings[i].path);
        }
        DrawingReplace r = std::move(*results[i]);
        lock.unlock();
        progress.clear();
        printRow(out, drawings[i], r);
        if (r.result == Result::NotRead || r.result == Result::NotSaved)
            err << "tessilux: " << cli::shownName(drawings[i].path) << ": " << local(r.error) << "\n";
        replaced += r.replaced;
        refused += r.refused;
        unchanged += r.result == Result::Unchanged;
        saved += r.result == Result::Saved || r.result == Result::WouldSave;
        notRead += r.result == Result::NotRead;
        notSaved += r.result == Result::NotSaved;
    }
    for (std::thread& t : workers) t.join();

    out << "Total: " << count << " drawing(s): " << saved << (request.dryRun ? " would be saved, " : " saved, ")
        << unchanged << " unchanged, " << notRead << " not read, " << notSaved << " not saved; " << replaced
        << " value(s) replaced, " << refused << " refused\n";
    if (request.dryRun) out << "Dry run: nothing was saved.\n";
    out.flush();
    return notRead + notSaved > 0 ? ExitFailed : ExitDone;
}

}  // namespace

std::vector<FoundDrawing> drawingsUnder(const QStringList& paths)
{
    std::vector<FoundDrawing> found;
    std::set<FileId> seen;
    for (const QString& path : paths) {
        const std::string name = ddvue::encodeFileName(path);
        struct stat st {};
        if (::stat(name.c_str(), &st) != 0) {
            found.push_back({path, systemReason(errno)});
        } else if (S_ISDIR(st.st_mode)) {
            if (seen.insert({st.st_dev, st.st_ino}).second) walk(name, found, seen);
        } else if (seen.insert({st.st_dev, st.st_ino}).second) {
            found.push_back({path, {}});
        }
    }
    return found;
}

DrawingReplace replaceInDrawing(const QString& path, const ReplaceRequest& request)
{
    DrawingReplace r;
    try {
        ddvue::FileLock lock;
        std::string why;
        struct stat st {};
        const std::string name = ddvue::encodeFileName(path);
        // Only a regular file is locked; opening says what is wrong with any other.
        if (!request.dryRun && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            !lock.lock(name, cli::kLockWaitMs, why)) {
            r.result = Result::NotRead;
            r.error = QString::fromLocal8Bit(why);
            return r;
        }
        ddvue::DDVueEngine engine;
        engine.setMapFiles(true);
        // A dry run saves nothing: what a save checks is not taken.
        engine.setReadOnly(request.dryRun);
        QString opened = path;
        if (!engine.OpenDrawing(opened)) {
            r.result = Result::NotRead;
            r.error = engine.lastError();
            return r;
        }
        const long written = replaceValues(engine, request, r);
        if (written == 0) return r;
        r.savedAs = saveTarget(engine, path);
        if (request.dryRun) {
            r.result = Result::WouldSave;
            // The refusals a dry run can foresee: a damaged DWG, a DXF of the
            // user's beside a DWG.
            if (!engine.damage().isEmpty() && !request.acceptDamage) {
                r.result = Result::NotSaved;
                r.error = QStringLiteral("the DWG drawing is damaged (%1). Give --accept-damaged to save it all the same.")
                              .arg(engine.damage());
            } else if (engine.isDwg() && r.savedAs == path) {
                r.result = Result::NotSaved;
                r.error = QStringLiteral("\"%1\" is the DWG drawing itself, which is never written over.").arg(path);
            } else if (r.savedAs != path && !request.overwrite && cli::exists(r.savedAs)) {
                r.result = Result::NotSaved;
                r.error = QStringLiteral("\"%1\" already exists and was not written from \"%2\" by this program. Give "
                                         "--overwrite to replace it.")
                              .arg(r.savedAs, path);
            }
            return r;
        }
        QString target = path;
        ddvue::SaveOptions options;
        options.replaceExisting = request.overwrite;
        options.acceptDamage = request.acceptDamage;
        options.heldLock = &lock;
        options.lockWaitMs = cli::kLockWaitMs;
        if (!engine.SaveDrawing(target, options)) {
            r.result = Result::NotSaved;
            r.error = engine.lastError();
            if (engine.saveProblem() == ddvue::SaveProblem::FileExists)
                r.error += QStringLiteral(" Give --overwrite to replace it.");
            if (engine.saveProblem() == ddvue::SaveProblem::Damaged)
                r.error += QStringLiteral(" Give --accept-damaged to save it all the same.");
            return r;
        }
        r.result = Result::Saved;
        r.savedAs = target;
    } catch (const std::exception& e) {
        // One drawing too large for memory, or otherwise beyond reading,
        // does not end the run.
        r.result = Result::NotRead;
        r.error = QString::fromLocal8Bit(e.what());
    }
    return r;
}

void registerReplaceCommand() { registerCommand(QStringLiteral("replace"), replace); }

}  // namespace app
