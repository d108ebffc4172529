#include "data/DataGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <cmath>

namespace data {

// Asks the grid before an editor opens, tells it when an edit is committed,
// and paints the text selection inside the current cell.
class DataGridDelegate : public QStyledItemDelegate {
public:
    explicit DataGridDelegate(DataGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (!grid_->beginEdit(index.column())) return nullptr;
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor) grid_->editorCreated(editor);
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        QStyledItemDelegate::setModelData(editor, model, index);
        grid_->editCommitted(index.column());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (grid_->selLength_ <= 0 || index != grid_->currentIndex() || grid_->editorOfCurrentCell()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // The cell itself unselected, the selected characters highlighted.
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.state &= ~QStyle::State_Selected;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        // The view has already painted the cell's row as selected.
        painter->fillRect(opt.rect, opt.palette.brush(QPalette::Base));
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        rect.adjust(margin, 0, -margin, 0);

        QTextLayout layout(text, opt.font);
        QTextCharFormat selected;
        selected.setBackground(opt.palette.brush(QPalette::Active, QPalette::Highlight));
        selected.setForeground(opt.palette.brush(QPalette::Active, QPalette::HighlightedText));
        layout.setFormats({QTextLayout::FormatRange{grid_->selStart_, grid_->selLength_, selected}});
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid()) line.setLineWidth(1e6);
        layout.endLayout();
        painter->save();
        painter->setClipRect(rect);
        painter->setPen(opt.palette.color(QPalette::Text));
        const qreal y = rect.top() + (rect.height() - (line.isValid() ? line.height() : 0)) / 2;
        layout.draw(painter, QPointF(rect.left(), y));
        painter->restore();
    }

private:
    DataGrid* grid_;
};

namespace {

int shiftState(Qt::KeyboardModifiers m)
{
    int shift = 0;
    if (m & Qt::ShiftModifier) shift |= 1;
    if (m & Qt::ControlModifier) shift |= 2;
    if (m & Qt::AltModifier) shift |= 4;
    return shift;
}

}  // namespace

DataGrid::DataGrid(QWidget* parent) : QTableView(parent), model_(new RecordsetModel(this))
{
    setModel(model_);
    setItemDelegate(new DataGridDelegate(this));
    // Typing or a double click begins an edit; F2 does not (it belongs to
    // whoever handles KeyDown).
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // Tab and Shift+Tab go on to the window's next or previous control, as
    // in a form, rather than through every cell (most of them locked).
    setTabKeyNavigation(false);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumWidth(14);
    fitRowsToFont();
    defaultWidthTwips_ = horizontalHeader()->defaultSectionSize() * TwipsPerPixel;
    // A column the person widens or narrows keeps that share of the grid.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (scalingColumns_ || column < 0 || column >= static_cast<int>(designWidths_.size())) return;
        ColumnWidth& width = designWidths_[static_cast<std::size_t>(column)];
        width.twips = static_cast<int>(std::lround(size * TwipsPerPixel / widthRatio_));
        width.maxTwips = 0;  // the person's width is the column's own
    });
}

void DataGrid::fitRowsToFont()
{
    // Rows as high as the font needs, with the same room around the text
    // at every size of the font.
    const int height = fontMetrics().height();
    verticalHeader()->setMinimumSectionSize(std::min(verticalHeader()->minimumSectionSize(), height));
    verticalHeader()->setDefaultSectionSize(height + std::max(6, height / 3));
}

int DataGrid::scaledWidth(int twips) const
{
    return std::max(1, static_cast<int>(std::lround(twips * widthRatio_ / TwipsPerPixel)));
}

void DataGrid::applyScale()
{
    scalingColumns_ = true;
    horizontalHeader()->setDefaultSectionSize(scaledWidth(defaultWidthTwips_));
    for (std::size_t c = 0; c < designWidths_.size(); ++c)
        setColumnWidth(static_cast<int>(c), pixelWidth(designWidths_[c]));
    scalingColumns_ = false;
}

int DataGrid::pixelWidth(const ColumnWidth& width) const
{
    int pixels = scaledWidth(width.twips >= 0 ? width.twips : defaultWidthTwips_);
    if (width.maxTwips > 0 && width.measuredAt > 0) {
        // The cell's text stands between margins on either side.
        const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 1;
        const double needed = width.valueWidth * font().pointSizeF() / width.measuredAt + margins;
        pixels = std::max(pixels, std::min(static_cast<int>(std::ceil(needed)), scaledWidth(width.maxTwips)));
    }
    return pixels;
}

void DataGrid::fitColumnToValues(int column, int maxTwips)
{
    if (column < 0 || column >= columnCount() || model_->hasPlaceholder()) return;
    if (designWidths_.size() < static_cast<std::size_t>(columnCount()))
        designWidths_.resize(static_cast<std::size_t>(columnCount()));
    ColumnWidth& width = designWidths_[static_cast<std::size_t>(column)];
    const QFontMetricsF fm(font());
    double widest = 0;
    for (int row = 0; row < model_->rowCount(); ++row)
        widest = std::max(widest, fm.horizontalAdvance(model_->index(row, column).data().toString()));
    width.valueWidth = widest;
    width.measuredAt = font().pointSizeF();
    width.maxTwips = maxTwips;
    scalingColumns_ = true;
    setColumnWidth(column, pixelWidth(width));
    scalingColumns_ = false;
}

bool DataGrid::event(QEvent* event)
{
    if (event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "formScale") {
        const double ratio = property("formScale").toSizeF().width();
        if (ratio > 0 && std::isfinite(ratio) && ratio != widthRatio_) {
            widthRatio_ = ratio;
            applyScale();
        }
    }
    return QTableView::event(event);
}

void DataGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        fitRowsToFont();
        applyScale();  // a column fitted to its values follows its font
    }
}

DataGrid::~DataGrid() = default;

void DataGrid::setRecordset(Recordset* recordset)
{
    // An editor open on the rows that go is dropped with them, uncommitted.
    endOfEdit();
    disconnect(followConnection_);
    for (auto& c : removeConnections_) disconnect(c);
    recordset_ = recordset;
    model_->setRecordset(recordset);
    designWidths_.assign(static_cast<std::size_t>(columnCount()), ColumnWidth{});
    applyScale();
    currentColumn_ = columnCount() > 0 ? 0 : -1;
    selStart_ = selLength_ = 0;
    if (recordset) {
        followConnection_ = connect(recordset, &Recordset::currentChanged, this, &DataGrid::followRecordset);
        // While a row goes, the view moves its current cell by itself; the
        // recordset decides where it goes.
        removeConnections_[0] = connect(recordset, &Recordset::rowAboutToBeRemoved, this, [this] { following_ = true; });
        removeConnections_[1] = connect(recordset, &Recordset::rowRemoved, this, [this] { following_ = false; });
    }
    following_ = true;
    int row = currentRow();
    setCurrentIndex(row >= 0 && currentColumn_ >= 0 ? model_->index(row, currentColumn_) : QModelIndex());
    following_ = false;
    lastBookmark_ = currentBookmark();
}

void DataGrid::showNoData(const QString& text)
{
    endOfEdit();
    model_->setPlaceholder(text);
    designWidths_.assign(static_cast<std::size_t>(columnCount()), ColumnWidth{});
    applyScale();
    currentColumn_ = 0;
    following_ = true;
    setCurrentIndex(model_->index(0, 0));
    following_ = false;
    lastBookmark_ = QVariant();
}

void DataGrid::removeColumn(int column)
{
    if (column < 0 || column >= columnCount()) return;
    model_->removeGridColumn(column);
    if (column < static_cast<int>(designWidths_.size())) designWidths_.erase(designWidths_.begin() + column);
    if (currentColumn_ > column || currentColumn_ >= columnCount()) --currentColumn_;
    if (currentColumn_ < 0 && columnCount() > 0) currentColumn_ = 0;
    int row = currentRow();
    if (row >= 0 && currentColumn_ >= 0) {
        following_ = true;
        setCurrentIndex(model_->index(row, currentColumn_));
        following_ = false;
    }
}

void DataGrid::setColumnWidthTwips(int column, int twips)
{
    if (column < 0 || column >= columnCount()) return;
    if (designWidths_.size() < static_cast<std::size_t>(columnCount()))
        designWidths_.resize(static_cast<std::size_t>(columnCount()));
    ColumnWidth& width = designWidths_[static_cast<std::size_t>(column)];
    width.twips = twips;
    scalingColumns_ = true;
    setColumnWidth(column, pixelWidth(width));
    scalingColumns_ = false;
}

int DataGrid::columnWidthTwips(int column) const
{
    if (column >= 0 && column < static_cast<int>(designWidths_.size()) &&
        designWidths_[static_cast<std::size_t>(column)].twips >= 0)
        return designWidths_[static_cast<std::size_t>(column)].twips;
    return static_cast<int>(std::lround(columnWidth(column) * TwipsPerPixel / widthRatio_));
}

void DataGrid::setColumnLocked(int column, bool locked) { model_->setLocked(column, locked); }

void DataGrid::setColumnCaption(int column, const QString& caption) { model_->setCaption(column, caption); }

int DataGrid::currentRow() const
{
    if (model_->hasPlaceholder()) return 0;
    return recordset_ ? recordset_->currentRow() : -1;
}

void DataGrid::setCurrentColumn(int column)
{
    if (column < 0 || column >= columnCount() || column == currentColumn_) return;
    int row = currentRow();
    if (row >= 0) {
        setCurrentIndex(model_->index(row, column));  // reports the move
    } else {
        int last = currentColumn_;
        currentColumn_ = column;
        moved(lastBookmark_, last);
    }
}

QWidget* DataGrid::editorOfCurrentCell() const
{
    return editor_ && state() == QAbstractItemView::EditingState ? editor_.data() : nullptr;
}

QString DataGrid::text() const
{
    if (auto* line = qobject_cast<QLineEdit*>(editorOfCurrentCell())) return line->text();
    int row = currentRow();
    if (row < 0 || currentColumn_ < 0) return QString();
    return model_->data(model_->index(row, currentColumn_), Qt::DisplayRole).toString();
}

void DataGrid::setText(const QString& text)
{
    if (auto* line = qobject_cast<QLineEdit*>(editorOfCurrentCell())) {
        line->setText(text);
        return;
    }
    int row = currentRow();
    if (row < 0 || currentColumn_ < 0) return;
    model_->setData(model_->index(row, currentColumn_), text, Qt::EditRole);
}

void DataGrid::setTextSelection(int start, int length)
{
    selStart_ = std::max(0, start);
    selLength_ = std::max(0, length);
    if (auto* line = qobject_cast<QLineEdit*>(editorOfCurrentCell())) line->setSelection(selStart_, selLength_);
    viewport()->update();
}

bool DataGrid::deleteCurrentRow()
{
    if (!allowDelete_ || !recordset_ || model_->hasPlaceholder() || currentRow() < 0) return false;
    int cancel = 0;
    emit BeforeDelete(&cancel);
    if (cancel || !recordset_ || recordset_->currentRow() < 0) return false;
    try {
        recordset_->Delete();
    } catch (const RecordsetError&) {
        return false;
    }
    // The row that takes the deleted one's place may stand where the view's
    // current cell already is: the move is told all the same, so that the
    // position shown is the new row's.
    moved(lastBookmark_, currentColumn_);
    return true;
}

bool DataGrid::raiseKeyDown(QKeyEvent* event)
{
    int key = event->key();
    int shift = shiftState(event->modifiers());
    emit KeyDown(&key, &shift);
    return key != 0;
}

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    // A key the editor leaves to the grid arrives here as the same event,
    // already raised.
    const bool raised = event == editorKey_;
    editorKey_ = nullptr;
    if ((!raised && !raiseKeyDown(event)) || event->key() == Qt::Key_F2) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && state() != EditingState) {
        // A row chosen by its record selector is deleted; a single cell is not.
        int row = currentRow();
        if (row >= 0 && selectionModel()->isRowSelected(row, QModelIndex())) {
            deleteCurrentRow();
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == editor_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        editorKey_ = key;
        if (!raiseKeyDown(key) || key->key() == Qt::Key_F2) {
            editorKey_ = nullptr;
            return true;
        }

    }
    return QTableView::eventFilter(watched, event);
}

bool DataGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    pendingKeyAscii_ = 0;
    if (event && event->type() == QEvent::KeyPress) {
        QString typed = static_cast<QKeyEvent*>(event)->text();
        if (!typed.isEmpty()) pendingKeyAscii_ = typed.front().unicode();
    }
    return QTableView::edit(index, trigger, event);
}

bool DataGrid::beginEdit(int column)
{
    int cancel = 0;
    emit BeforeColEdit(column, pendingKeyAscii_, &cancel);
    pendingKeyAscii_ = 0;
    if (cancel == 0) editColumn_ = column;
    return cancel == 0;
}

void DataGrid::editorCreated(QWidget* editor)
{
    editor_ = editor;
    editor->installEventFilter(this);
}

void DataGrid::editCommitted(int column) { emit AfterColEdit(column); }

void DataGrid::commitEdit()
{
    QWidget* editor = editorOfCurrentCell();
    if (!editor) return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    editorKey_ = nullptr;
    // Tab in a cell being edited writes what was typed, as Enter does, and
    // goes on to the window's next control rather than the next cell.
    const bool tabbed = hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    QTableView::closeEditor(editor, tabbed ? QAbstractItemDelegate::NoHint : hint);
    endOfEdit();
    if (tabbed) focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
}

void DataGrid::endOfEdit()
{
    if (editColumn_ < 0) return;
    const int column = editColumn_;
    editColumn_ = -1;
    emit EditEnded(column);
}

QVariant DataGrid::currentBookmark() const
{
    if (!recordset_ || model_->hasPlaceholder()) return {};
    int row = recordset_->currentRow();
    return row >= 0 ? QVariant(recordset_->bookmarkOfRow(row)) : QVariant();
}

void DataGrid::followRecordset(int row)
{
    if (following_) return;
    following_ = true;
    if (row >= 0 && currentColumn_ >= 0 && currentColumn_ < columnCount()) {
        QModelIndex index = model_->index(row, currentColumn_);
        setCurrentIndex(index);
        scrollTo(index);
    } else {
        setCurrentIndex(QModelIndex());
    }
    following_ = false;
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    const int lastColumn = currentColumn_;
    if (current.isValid()) {
        currentColumn_ = current.column();
        if (!following_ && recordset_ && !model_->hasPlaceholder() && current.row() != recordset_->currentRow()) {
            following_ = true;
            try {
                recordset_->setCurrentRow(current.row());
            } catch (const RecordsetError&) {
            }
            following_ = false;
        }
    }
    QVariant lastRow = lastBookmark_;
    if (currentBookmark() == lastRow && currentColumn_ == lastColumn && current.isValid() == previous.isValid())
        return;
    moved(lastRow, lastColumn);
}

void DataGrid::moved(const QVariant& lastRow, int lastColumn)
{
    selStart_ = selLength_ = 0;
    lastBookmark_ = currentBookmark();
    QVariant last = lastRow;
    emit RowColChange(&last, lastColumn);
}

}  // namespace data
