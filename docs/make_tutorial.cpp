// Makes the tutorial korvane.pdf. First it takes the pictures: the program's
// own windows, on copies of the bundled sample drawings, drawn without a
// display and grabbed as a person would see them. Then it lays out the
// tutorial's text (Markdown) with those pictures and writes the PDF, with
// Qt's own text layout and PDF writer.
//
//   make_tutorial TUTORIAL.md SAMPLES_FOLDER PICTURES_FOLDER OUTPUT.pdf
//
// The pictures stay in PICTURES_FOLDER; a picture the text names but that
// could not be taken is an error.

#include "app/frmMain.h"
#include "colors/ColorPalette.h"
#include "colors/frmColors.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/FileNames.h"
#include "drawing/frmDrawing.h"
#include "filter/frmField.h"
#include "filter/frmFilter.h"
#include "zoom/frmZoom.h"

#include "Doubles.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QKeyEvent>
#include <QListWidget>
#include <QLockFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <QThread>
#include <QToolButton>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// The pictures are taken on a screen of twice the pixels of an ordinary one.
constexpr qreal kPictureScale = 2;

// Writes a file as the program writes every file: beside it first, then
// renamed over it once whole.
bool writeFile(const QString& path, const QByteArray& bytes)
{
    std::string why;
    if (ddvue::writeFileAtomically(ddvue::encodeFileName(path),
                                   std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), why))
        return true;
    std::fprintf(stderr, "make_tutorial: %s: %s\n", qPrintable(path), why.c_str());
    return false;
}

// Lets the window system and the program's own threads work until `done`
// holds (or a minute has passed).
bool settle(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    QApplication::processEvents();
    return done();
}

// Saves pictures of windows and parts of windows. A window gets a frame with
// its caption drawn around it, as a desktop shows it.
class Camera {
public:
    explicit Camera(const QString& folder) : folder_(folder) {}

    void window(QWidget* w, const QString& name) { save(framed(w->grab(), w->windowTitle()), name); }
    void part(QWidget* w, const QRect& area, const QString& name) { save(w->grab(area).toImage(), name); }
    const QStringList& taken() const { return taken_; }

private:
    static QImage framed(const QPixmap& inside, const QString& caption)
    {
        const qreal ratio = inside.devicePixelRatio();
        const QSize logical = (QSizeF(inside.size()) / ratio).toSize();
        const int border = 1, bar = 22;
        QImage out(QSizeF(QSizeF(logical.width() + 2 * border, logical.height() + bar + border) * ratio).toSize(),
                   QImage::Format_RGB32);
        out.setDevicePixelRatio(ratio);
        out.fill(QColor(60, 70, 90));
        QPainter p(&out);
        p.setRenderHint(QPainter::TextAntialiasing);
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(12);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(8, 0, logical.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, caption);
        p.drawPixmap(border, bar, inside);
        return out;
    }

    void save(const QImage& image, const QString& name)
    {
        QString path = QDir(folder_).filePath(name + QStringLiteral(".png"));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") ||
            !writeFile(path, bytes)) {
            std::fprintf(stderr, "make_tutorial: the picture %s could not be saved\n", qPrintable(path));
            return;
        }
        taken_ << name;
    }

    QString folder_;
    QStringList taken_;
};

// Takes every picture of the tutorial. The drawings are copies, so that no
// click, prompt or default answer can change the bundled samples.
void takePictures(const QString& samples, Camera& camera)
{
    // The pictures show the copies' folder, in the folder tree and in window
    // captions, so it has a plain name of its own: /tmp/tessilux-samples,
    // held by one build at a time. Should that name be taken by something
    // that is not ours, a folder of a made-up name is used instead.
    const QString plain = QDir(QDir::tempPath()).filePath(QStringLiteral("tessilux-samples"));
    const QString marker = QStringLiteral(".tessilux-tutorial");
    QLockFile lock(plain + QStringLiteral(".lock"));
    lock.setStaleLockTime(10 * 60 * 1000);
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/tessilux-XXXXXX"));
    QDir copies(scratch.filePath(QStringLiteral("samples")));
    if (lock.tryLock(5 * 60 * 1000) && (!QFileInfo::exists(plain) || QFileInfo::exists(QDir(plain).filePath(marker)))) {
        QDir(plain).removeRecursively();
        copies.setPath(plain);
    }
    copies.mkpath(QStringLiteral("."));
    QFile mark(copies.filePath(marker));
    if (mark.open(QIODevice::WriteOnly)) mark.close();
    // Gone again when the pictures are taken.
    struct Cleanup {
        QDir dir;
        ~Cleanup() { dir.removeRecursively(); }
    } cleanup{copies};
    for (const QString& name : QDir(samples).entryList({QStringLiteral("*.dxf")}, QDir::Files))
        QFile::copy(QDir(samples).filePath(name), copies.filePath(name));

    platform::MemorySettingsStore settings;
    settings.values[QStringLiteral("Dir")] = copies.path();
    settings.values[QStringLiteral("Drive")] = QStringLiteral("/");
    settings.values[QStringLiteral("Data")] = QStringLiteral("1");
    platform::ScriptedMessageBoxes boxes;
    platform::ScriptedScreenRunner screens;
    platform::ScriptedFileDialogs dialogs;
    platform::RecordingShellOpener shell;
    platform::Installed<platform::SettingsStore> s(settings);
    platform::Installed<platform::MessageBoxes> b(boxes);
    platform::Installed<platform::ScreenRunner> r(screens);
    platform::Installed<platform::FileDialogs> d(dialogs);
    platform::Installed<platform::ShellOpener> o(shell);

    app::frmMain w;
    w.screenWidth = [] { return 1280; };
    w.Combo2->setEditText(QStringLiteral("*.dxf"));
    w.Combo2_Change();
    w.show();
    settle([&] { return w.isVisible(); });
    camera.window(&w, QStringLiteral("start"));

    auto items = w.List3->findItems(QStringLiteral("office-floor-plan-2000.dxf"), Qt::MatchExactly);
    if (items.isEmpty()) return;
    w.List3->setCurrentItem(items.first());
    w.List3_Click();
    settle([&] { return !w.isOpening(); });
    w.DDVue1->scene();
    w.dtgDrawing->selectRow(4);
    settle([] { return true; });
    // The pointer over the view, for the status line under it.
    QPointF at(w.DDVue1->width() * 0.4, w.DDVue1->height() * 0.45);
    QMouseEvent move(QEvent::MouseMove, at, w.DDVue1->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.DDVue1, &move);
    settle([] { return true; });
    camera.window(&w, QStringLiteral("main-window"));

    // The grid and the controls under it: a value being changed (which
    // shows the Save button), then find and replace.
    const QRect gridArea(0, w.dtgDrawing->y() - 4, w.width(), w.height() - w.dtgDrawing->y() + 4);
    QModelIndex cell = w.dtgDrawing->model()->index(4, 7);
    w.dtgDrawing->setCurrentIndex(cell);
    w.dtgDrawing->QAbstractItemView::edit(cell);
    settle([] { return true; });
    if (auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
        editor->setText(QStringLiteral("Bureau du directeur"));
        settle([] { return true; });
        camera.part(&w, gridArea, QStringLiteral("grid-editing"));
        // Given up: nothing is written.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(editor, &escape);
    }
    w.cmdSave->hide();
    settle([] { return true; });
    w.txtFindWhat->setText(QStringLiteral("Bureau"));
    w.txtReplaceWith->setText(QStringLiteral("Office"));
    settle([] { return true; });
    camera.part(&w, gridArea, QStringLiteral("grid-find-replace"));
    w.txtFindWhat->clear();
    w.txtReplaceWith->clear();

    // The record filter, and its field picker over it.
    screens.handlers.push_back([&](QDialog& dialog) {
        auto& screen = static_cast<filter::frmFilter&>(dialog);
        settle([&] { return screen.isVisible(); });
        screen.txtFilter->setText(QStringLiteral("AttributeTag = 'NAME' AND AttributeValue LIKE 'B*'"));
        settle([] { return true; });
        camera.window(&screen, QStringLiteral("filter"));
        screens.handlers.push_front([&](QDialog& pickerDialog) {
            auto& picker = static_cast<filter::frmField&>(pickerDialog);
            settle([&] { return picker.isVisible(); });
            picker.lstFields->setCurrentRow(7);
            picker.txtValue->setText(QStringLiteral("B*"));
            settle([] { return true; });
            camera.window(&picker, QStringLiteral("field-picker"));
        });
        screen.cmdFields->click();
        screen.txtFilter->setText(QStringLiteral("AttributeTag = 'NAME'"));
        screen.cmdOK->click();
    });
    w.Form_KeyDown(Qt::Key_F6, Qt::NoModifier);
    settle([] { return true; });
    camera.part(&w, gridArea, QStringLiteral("grid-filtered"));

    // The next modal screen, grabbed and left as closing it would leave it.
    auto grabNextScreen = [&](const QString& name) {
        screens.handlers.push_back([&camera, name](QDialog& dialog) {
            settle([&] { return dialog.isVisible(); });
            camera.window(&dialog, name);
        });
    };

    // The layers.
    w.optLayer->click();
    settle([] { return true; });
    camera.part(&w, gridArea, QStringLiteral("grid-layers"));
    // The rename dialog on a layer, left with Cancel.
    w.dtgDrawing->setCurrentIndex(w.dtgDrawing->model()->index(2, 0));
    grabNextScreen(QStringLiteral("rename-layer"));
    w.cmdRenameLayer->click();

    // The zoom editor on a multi-line text, and the color picker over it with
    // a color chosen. Both are left with Cancel: nothing is written.
    w.optMultipleText->click();
    settle([] { return true; });
    screens.handlers.push_back([&](QDialog& dialog) {
        auto& editor = static_cast<zoom::frmZoom&>(dialog);
        editor.resize(editor.size().expandedTo(QSize(560, 0)));
        settle([&] { return editor.isVisible(); });
        camera.window(&editor, QStringLiteral("zoom-editor"));
        screens.handlers.push_front([&](QDialog& pickerDialog) {
            auto& picker = static_cast<colors::frmColors&>(pickerDialog);
            settle([&] { return picker.isVisible(); });
            for (const colors::Cell& c : colors::cells(colors::Palette::Full)) {
                if (c.number != 30) continue;
                QPointF at((c.left + c.right) / 2.0 / colors::TwipsPerPixel,
                           (c.top + c.bottom) / 2.0 / colors::TwipsPerPixel);
                QMouseEvent press(QEvent::MouseButtonPress, at, picker.PicFull->mapToGlobal(at), Qt::LeftButton,
                                  Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(picker.PicFull, &press);
                QMouseEvent release(QEvent::MouseButtonRelease, at, picker.PicFull->mapToGlobal(at), Qt::LeftButton,
                                    Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(picker.PicFull, &release);
            }
            settle([] { return true; });
            camera.window(&picker, QStringLiteral("colors"));
        });
        editor.cmdColor->click();
    });
    w.dtgDrawing->setFocus();
    w.dtgDrawing->setCurrentIndex(w.dtgDrawing->model()->index(0, 2));
    settle([] { return true; });
    QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    QApplication::sendEvent(w.dtgDrawing, &f2);
    settle([] { return true; });
    w.optAttribute->click();

    // The drawing window.
    screens.handlers.push_back([&](QDialog& dialog) {
        auto& window = static_cast<drawing::frmDrawing&>(dialog);
        window.resize(900, 640);
        settle([&] { return window.isVisible() && !window.isOpening(); });
        window.DDVue1->scene();
        QPointF there(window.DDVue1->width() * 0.55, window.DDVue1->height() * 0.4);
        QMouseEvent over(QEvent::MouseMove, there, window.DDVue1->mapToGlobal(there), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(window.DDVue1, &over);
        settle([] { return true; });
        camera.window(&window, QStringLiteral("drawing-window"));
    });
    w.Form_KeyDown(Qt::Key_F5, Qt::NoModifier);

    // The help, options and about screens.
    auto grabNext = grabNextScreen;
    grabNext(QStringLiteral("help"));
    w.Form_KeyDown(Qt::Key_F1, Qt::NoModifier);
    settings.values[QStringLiteral("Paths")] = QStringLiteral("/usr/share/fonts/cad;/srv/drawings/xrefs");
    grabNext(QStringLiteral("options"));
    w.Form_KeyDown(Qt::Key_F7, Qt::NoModifier);
    grabNext(QStringLiteral("about"));
    w.Form_KeyDown(Qt::Key_F8, Qt::NoModifier);

    // Whatever else was asked is answered as closing it would: nothing to keep.
    w.cmdSave->hide();
    w.close();
}

// Lays out the Markdown text with its pictures and writes the PDF.
bool writePdf(const QString& source, const QString& pictures, const QString& output)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make_tutorial: cannot read %s\n", qPrintable(source));
        return false;
    }
    QTextDocument doc;
    QFont body(QStringLiteral("Liberation Serif"));
    body.setPointSizeF(11);
    doc.setDefaultFont(body);
    doc.setMarkdown(QString::fromUtf8(in.readAll()), QTextDocument::MarkdownDialectGitHub);
    doc.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Tessilux Tutorial"));

    // A4 pages, laid out in the units of a 96 dpi screen: 2 cm margins, a
    // little more at the foot for the page number.
    const qreal mm = 96.0 / 25.4;
    const QSizeF page(210 * mm, 297 * mm);
    const qreal margin = 20 * mm, foot = 25 * mm;
    doc.setPageSize(page);
    QTextFrameFormat frame = doc.rootFrame()->frameFormat();
    frame.setLeftMargin(margin);
    frame.setRightMargin(margin);
    frame.setTopMargin(margin);
    frame.setBottomMargin(foot);
    doc.rootFrame()->setFrameFormat(frame);
    const qreal widest = page.width() - 2 * margin;

    // The pictures, at the size they have on the screen (they were taken at
    // twice its pixels), narrowed to the text's width where wider.
    bool ok = true;
    QTextCursor cursor(&doc);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            QString file = QDir(pictures).filePath(QFileInfo(image.name()).fileName());
            QImage picture(file);
            if (picture.isNull()) {
                std::fprintf(stderr, "make_tutorial: the tutorial shows %s, which was not made\n", qPrintable(file));
                ok = false;
                continue;
            }
            doc.addResource(QTextDocument::ImageResource, QUrl(image.name()), picture);
            QSizeF size = QSizeF(picture.size()) / kPictureScale;
            if (size.width() > widest) size *= widest / size.width();
            image.setWidth(size.width());
            image.setHeight(size.height());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    if (!ok) return false;

    // Headings in the sans serif of the program's windows; tables across the
    // text's width with some room in their cells.
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0) continue;
        QTextCursor c(block);
        QTextBlockFormat spacing = block.blockFormat();
        spacing.setTopMargin(spacing.headingLevel() == 1 ? 0 : 14);
        c.setBlockFormat(spacing);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat heading;
        heading.setFontFamilies({QStringLiteral("Liberation Sans")});
        c.mergeCharFormat(heading);
    }
    for (QTextFrame* child : doc.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(child);
        if (!table) continue;
        QTextTableFormat format = table->format();
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setCellPadding(4);
        format.setCellSpacing(0);
        format.setBorder(0.5);
        format.setBorderBrush(QColor(120, 120, 120));
        format.setBorderCollapse(true);
        table->setFormat(format);
    }

    // A heading stays with what follows it: one that would end a page while
    // the lines or the picture under it go to the next starts that page
    // instead; so does one whose short lead-in stays while the picture it
    // introduces goes. One heading is moved at a time, and the document
    // laid out afresh from the start after each (a layout changed in
    // pieces can lose the place of the blocks after the change).
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    // Where a block's first line stands: a line that did not fit on a page
    // stands on the next, though its block begins on the one before.
    auto firstLine = [&](const QTextBlock& b) {
        QRectF r = layout->blockBoundingRect(b);
        QTextLayout* lines = b.layout();
        if (lines && lines->lineCount() > 0) return r.top() + lines->lineAt(0).y();
        return r.top();
    };
    // A block that holds a picture and nothing else.
    auto isPicture = [](const QTextBlock& b) {
        if (b.length() != 2) return false;  // the picture and the block's end
        auto it = b.begin();
        return !it.atEnd() && it.fragment().charFormat().isImageFormat();
    };
    auto pageOf = [&](qreal y) { return static_cast<int>(std::floor(y / page.height())); };
    const qreal threeLines = 54;
    for (int moves = 0; moves < 100; ++moves) {
        doc.markContentsDirty(0, doc.characterCount());
        bool moved = false;
        for (QTextBlock block = doc.begin(); block.isValid() && !moved; block = block.next()) {
            QTextBlock next = block.next();
            if (!next.isValid()) continue;
            if (block.blockFormat().headingLevel() == 0) {
                // A short lead-in goes with the picture it introduces.
                if (!isPicture(next) || isPicture(block) || layout->blockBoundingRect(block).height() >= 60) continue;
                if (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) continue;
                if (pageOf(firstLine(block)) == pageOf(firstLine(next))) continue;
                QTextCursor c(block);
                QTextBlockFormat breakBefore = block.blockFormat();
                breakBefore.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                c.setBlockFormat(breakBefore);
                moved = true;
                continue;
            }
            if (block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) continue;
            const int here = pageOf(firstLine(block));
            QTextBlock kept = next;
            QRectF after = layout->blockBoundingRect(next);
            if (after.height() < 40 && next.next().isValid()) kept = next.next();
            QRectF keptRect = layout->blockBoundingRect(kept);
            qreal keptTop = firstLine(kept);
            bool together = pageOf(firstLine(next)) == here && pageOf(keptTop) == here &&
                            keptTop + std::min(keptRect.height(), threeLines) <= (here + 1) * page.height() - foot;
            if (together) continue;
            QTextCursor c(block);
            QTextBlockFormat breakBefore = block.blockFormat();
            breakBefore.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            c.setBlockFormat(breakBefore);
            moved = true;
        }
        if (!moved) break;
    }
    doc.markContentsDirty(0, doc.characterCount());

    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setTitle(QStringLiteral("Tessilux Tutorial"));
        pdf.setCreator(QStringLiteral("Tessilux"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(300);
        QPainter p(&pdf);
        if (!p.isActive()) {
            std::fprintf(stderr, "make_tutorial: the PDF could not be begun\n");
            return false;
        }
        const qreal scale = pdf.width() / page.width();
        QFont number(QStringLiteral("Liberation Sans"));
        number.setPixelSize(12);  // in the page's 96 dpi units
        for (int n = 0; n < doc.pageCount(); ++n) {
            if (n > 0) pdf.newPage();
            p.save();
            p.scale(scale, scale);
            p.translate(0, -n * page.height());
            doc.drawContents(&p, QRectF(QPointF(0, n * page.height()), page));
            p.restore();
            p.save();
            p.scale(scale, scale);
            p.setFont(number);
            p.setPen(Qt::darkGray);
            p.drawText(QRectF(0, page.height() - foot + 6 * mm, page.width(), 8 * mm), Qt::AlignHCenter | Qt::AlignTop,
                       n == 0 ? QString() : QString::number(n + 1));
            p.restore();
        }
    }
    if (!writeFile(output, bytes)) {
        std::fprintf(stderr, "make_tutorial: cannot write %s\n", qPrintable(output));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_tutorial TUTORIAL.md SAMPLES_FOLDER PICTURES_FOLDER OUTPUT.pdf\n");
        return 2;
    }
    // Drawn without a display, on a screen of twice the pixels, so that the
    // pictures stay sharp on paper; the settings of whoever builds stay untouched.
    QTemporaryDir scratch;
    QFile screen(scratch.filePath(QStringLiteral("screen.json")));
    if (screen.open(QIODevice::WriteOnly))
        screen.write(R"({"screens": [{"name": "tutorial", "x": 0, "y": 0, "width": 2560, "height": 1920,
                          "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 2}]})");  // kPictureScale
    screen.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen.fileName()).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", scratch.path().toLocal8Bit());
    QApplication application(argc, argv);
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString samples = QString::fromLocal8Bit(argv[2]);
    const QString pictures = QString::fromLocal8Bit(argv[3]);
    const QString output = QString::fromLocal8Bit(argv[4]);
    QDir().mkpath(pictures);

    Camera camera(pictures);
    takePictures(samples, camera);
    return writePdf(source, pictures, output) ? 0 : 1;
}
