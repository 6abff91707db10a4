#include "app/list/listview.h"

#include "app/list/keycodes.h"
#include "app/list/listaccessible.h"
#include "app/list/wholepixelframestyle.h"
#include "platform/failure.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace {

// The start of a text, enough to fill a cell of `width` pixels: a text of a
// megabyte is never laid out whole just to show its first characters.
QString displayPrefix(const EntryText &text, int width)
{
    const qsizetype maxChars = qsizetype(std::max(width, 0)) + 8;
    if (!text.wide)
        return QString(text.latin1().left(maxChars));
    QStringView view = text.utf16();
    if (view.size() > maxChars) {
        view = view.left(maxChars);
        if (view.back().isHighSurrogate())
            view.chop(1);
    }
    return view.toString();
}

} // namespace

ListView::ListView(std::shared_ptr<TextArena> arena, QWidget *parent)
    : QAbstractItemView(parent),
      ListItems(nullptr),
      ColumnHeaders(nullptr),
      m_model(new NumberListModel(std::move(arena), this)),
      m_header(new QHeaderView(Qt::Horizontal, this))
{
    InstallListAccessibility();
    // The frame stays whole at fractional scale factors.
    auto *frameStyle = new WholePixelFrameStyle;
    frameStyle->setParent(this);
    setStyle(frameStyle);
    ListItems = ListItemsCollection(m_model);
    ColumnHeaders = ColumnHeadersCollection(m_model);
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    m_header->setModel(m_model);
    m_header->setSectionsClickable(false);
    m_header->setSectionsMovable(false);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setFocusPolicy(Qt::NoFocus);
    followSystemHeaderColours();
    // The whole control resets the window's pointer: its rows, its header
    // and its scroll bars.
    for (QWidget *part : pointerResettingParts()) {
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }

    connect(m_model, &NumberListModel::columnWidthChanged, this, &ListView::onColumnWidthChanged);
    // The header connected to these first, so its sections exist when we size them.
    connect(m_model, &QAbstractItemModel::columnsInserted, this, [this] {
        applyColumnWidths();
        onRowsChanged();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        onRowsChanged();
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ListView::onRowsChanged);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    updateGeometries();
}

ListView::~ListView() = default;

std::optional<ListItem> ListView::SelectedItem() const
{
    // Only a highlighted entry counts: the user removes what the user sees.
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->isSelected(current))
        return std::nullopt;
    const qsizetype index = qsizetype(current.row()) + 1;
    if (index < 1 || index > m_model->count())
        return std::nullopt;
    return ListItem(m_model, index);
}

void ListView::SetSelectedIndex(qsizetype index)
{
    if (index < 1 || index > m_model->rowCount() || m_model->columnCount() == 0) {
        selectionModel()->clear();
        return;
    }
    setCurrentIndex(m_model->index(int(index - 1), 0));
}

void ListView::applyColumnWidths()
{
    const int columns = std::min(m_header->count(), m_model->columnTitleCount());
    for (int c = 0; c < columns; ++c)
        m_header->resizeSection(c, TwipsToPixels(m_model->columnWidthTwips(c)));
}

void ListView::onColumnWidthChanged(int column, int twips)
{
    if (column >= 0 && column < m_header->count())
        m_header->resizeSection(column, TwipsToPixels(twips));
}

void ListView::onRowsChanged()
{
    updateGeometries();
    viewport()->update();
}

void ListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    onRowsChanged();
}

void ListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QAbstractItemView::currentChanged(current, previous);
    NotifyListCurrentChanged(this, current);
}

void ListView::focusInEvent(QFocusEvent *event)
{
    QAbstractItemView::focusInEvent(event);
    viewport()->update(); // the focus outline
    NotifyListFocused(this);
}

void ListView::focusOutEvent(QFocusEvent *event)
{
    QAbstractItemView::focusOutEvent(event);
    viewport()->update();
}

void ListView::changeEvent(QEvent *event)
{
    QAbstractItemView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        followSystemHeaderColours();
}

// The window's own white reaches the header through its parent and would
// fill the header's free end beside the sections: the header keeps the
// desktop's colours, as its sections and the rows do.
void ListView::followSystemHeaderColours()
{
    const QColor window = QApplication::palette(m_header).color(QPalette::Window);
    if (m_header->palette().color(QPalette::Window) == window)
        return;
    QPalette pal = m_header->palette();
    pal.setColor(QPalette::Window, window);
    m_header->setPalette(pal);
}

void ListView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!selected.isEmpty())
        NotifyListSelectionChanged(this, selected.indexes().value(0));
}

int ListView::rowHeight() const
{
    return std::max(fontMetrics().height(), 1) + 4;
}

int ListView::fullyVisibleRows() const
{
    return viewport()->height() / rowHeight();
}

int ListView::rowAt(int y) const
{
    const int h = rowHeight();
    const int step = y >= 0 ? y / h : -((-y + h - 1) / h); // rounds down
    return verticalOffset() + step;
}

QRect ListView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != m_model || index.column() >= m_header->count())
        return {};
    const qint64 h = rowHeight();
    // Far-off rows land far outside the viewport without overflowing.
    const qint64 y =
        std::clamp<qint64>((qint64(index.row()) - verticalOffset()) * h, -(INT_MAX / 4), INT_MAX / 4);
    return QRect(m_header->sectionViewportPosition(index.column()), int(y),
                 m_header->sectionSize(index.column()), int(h));
}

void ListView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != m_model)
        return;
    const int row = index.row();
    const int full = std::max(1, fullyVisibleRows());
    const int first = verticalOffset();
    int target = first;
    switch (hint) {
    case EnsureVisible:
        if (row < first)
            target = row;
        else if (row >= first + full)
            target = row - full + 1;
        break;
    case PositionAtTop:
        target = row;
        break;
    case PositionAtBottom:
        target = row - full + 1;
        break;
    case PositionAtCenter:
        target = row - (full - 1) / 2;
        break;
    }
    verticalScrollBar()->setValue(target);

    // Sideways only when the cell is wholly out of sight, so that a long
    // entry being read with the bar moved right stays where it is.
    if (index.column() < m_header->count()) {
        const int x = m_header->sectionPosition(index.column());
        const int w = m_header->sectionSize(index.column());
        const int left = horizontalOffset();
        if (x + w <= left || x >= left + viewport()->width())
            horizontalScrollBar()->setValue(x);
    }
}

QModelIndex ListView::indexAt(const QPoint &point) const
{
    if (point.y() < 0 || point.y() >= viewport()->height())
        return {};
    const int row = rowAt(point.y());
    const int column = m_header->logicalIndexAt(point.x());
    if (row < 0 || row >= m_model->rowCount() || column < 0)
        return {};
    return m_model->index(row, column);
}

QModelIndex ListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = m_model->rowCount();
    if (rows == 0 || m_model->columnCount() == 0)
        return {};
    const QModelIndex current = currentIndex();
    const int column = current.isValid() ? current.column() : 0;
    if (!current.isValid()) {
        // Nothing current yet: any move starts at an end of the list.
        const bool toEnd = cursorAction == MoveEnd || cursorAction == MoveUp || cursorAction == MovePrevious;
        return m_model->index(toEnd ? rows - 1 : 0, 0);
    }
    const int row = current.row();
    const int full = std::max(1, fullyVisibleRows());
    const int top = verticalOffset();
    const int bottom = top + full - 1;
    int target = row;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        target = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        target = row + 1;
        break;
    case MovePageUp:
        // First to the top of the page, then a page further.
        target = row > top && row <= bottom ? top : row - (full - 1);
        break;
    case MovePageDown:
        target = row >= top && row < bottom ? bottom : row + (full - 1);
        break;
    case MoveHome:
        target = 0;
        break;
    case MoveEnd:
        target = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return m_model->index(std::clamp(target, 0, rows - 1), column);
}

int ListView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int ListView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

bool ListView::isIndexHidden(const QModelIndex &) const
{
    return false;
}

void ListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const int rows = m_model->rowCount();
    const int columns = m_model->columnCount();
    if (rows == 0 || columns == 0)
        return;
    const QRect r = rect.normalized();
    const int top = rowAt(r.top());
    const int bottom = rowAt(r.bottom());
    if (bottom < 0 || top >= rows)
        return;
    const QItemSelection selection(m_model->index(std::max(top, 0), 0),
                                   m_model->index(std::min(bottom, rows - 1), columns - 1));
    selectionModel()->select(selection, command);
}

QRegion ListView::visualRegionForSelection(const QItemSelection &selection) const
{
    const int first = verticalOffset();
    const int last = first + fullyVisibleRows() + 1;
    const int h = rowHeight();
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid())
            continue;
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top > bottom)
            continue;
        region += QRect(0, (top - first) * h, viewport()->width(), (bottom - top + 1) * h);
    }
    return region;
}

void ListView::updateGeometries()
{
    if (m_inGeometryUpdate)
        return;
    m_inGeometryUpdate = true;
    // A scroll bar that appears or goes away resizes the viewport: settle
    // the ranges again until the size holds (at most both bars change).
    for (int pass = 0; pass < 3; ++pass) {
        const QSize before = viewport()->size();
        const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
        if (viewportMargins().top() != headerHeight)
            setViewportMargins(0, headerHeight, 0, 0);
        const QRect vg = viewport()->geometry();
        m_header->setGeometry(vg.left(), vg.top() - headerHeight, vg.width(), headerHeight);

        const int full = std::max(1, fullyVisibleRows());
        QScrollBar *vertical = verticalScrollBar();
        vertical->setSingleStep(1);
        vertical->setPageStep(full);
        vertical->setRange(0, std::max(0, m_model->rowCount() - full));

        QScrollBar *horizontal = horizontalScrollBar();
        horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
        horizontal->setPageStep(std::max(1, viewport()->width()));
        horizontal->setRange(0, std::max(0, m_header->length() - viewport()->width()));
        m_header->setOffset(horizontalOffset());
        if (viewport()->size() == before)
            break;
    }
    m_inGeometryUpdate = false;
    QAbstractItemView::updateGeometries();
}

void ListView::scrollContentsBy(int dx, int dy)
{
    m_header->setOffset(horizontalOffset());
    const qint64 pixels = qint64(dy) * rowHeight();
    if (std::abs(pixels) >= viewport()->height() || std::abs(dx) >= viewport()->width()) {
        viewport()->update();
        return;
    }
    scrollDirtyRegion(dx, int(pixels));
    viewport()->scroll(dx, int(pixels));
}

void ListView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const int rows = m_model->rowCount();
    const int columns = m_header->count();
    if (hasFocus() && (rows == 0 || columns == 0 || !currentIndex().isValid())) {
        // Nothing current to outline: outline the first row's place, so a
        // keyboard user sees that the list has the focus.
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = QRect(0, 0, viewport()->width(), rowHeight());
        option.state |= QStyle::State_KeyboardFocusChange;
        option.backgroundColor = palette().color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
    if (rows == 0 || columns == 0)
        return;
    const QRect area = event->rect();
    const int h = rowHeight();
    const int first = std::max(0, rowAt(area.top()));
    const int last = std::min(rows - 1, rowAt(area.bottom()));
    const QModelIndex current = currentIndex();
    const bool focused = hasFocus();
    const QPalette::ColorGroup group = focused ? QPalette::Active : QPalette::Inactive;
    const QPalette &pal = palette();
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int rowRight = m_header->length() - horizontalOffset();

    for (int row = first; row <= last; ++row) {
        const int y = (row - verticalOffset()) * h;
        const bool selected = selectionModel()->isSelected(m_model->index(row, 0));
        for (int visual = 0; visual < columns; ++visual) {
            const int column = m_header->logicalIndex(visual);
            if (m_header->isSectionHidden(column))
                continue;
            const QRect cell(m_header->sectionViewportPosition(column), y, m_header->sectionSize(column), h);
            if (!cell.intersects(area))
                continue;
            if (selected)
                painter.fillRect(cell, pal.brush(group, QPalette::Highlight));
            painter.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
            const QRect textRect = cell.adjusted(margin, 0, -margin, 0);
            const QString text = column == 0 ? displayPrefix(m_model->text(row), textRect.width())
                                             : m_model->subItem(row, column);
            // Plain text, clipped to its cell: the user reveals the rest by
            // widening the column.
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        }
        if (focused && current.isValid() && current.row() == row) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = QRect(-horizontalOffset(), y, std::max(rowRight + horizontalOffset(), 1), h);
            option.state |= QStyle::State_KeyboardFocusChange;
            option.backgroundColor = pal.color(group, selected ? QPalette::Highlight : QPalette::Base);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
}

void ListView::keyPressEvent(QKeyEvent *event)
{
    emit KeyDown(keyCodeOf(event), shiftStateOf(event->modifiers()));
    if (clipboardKey(event)) {
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers plain = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F10 && plain == Qt::ShiftModifier) {
        // The desktops' other key for the context menu: opened where the
        // Menu key opens it, at the current entry.
        const QPoint at = inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, at, mapToGlobal(at), event->modifiers());
        QApplication::sendEvent(this, &menuEvent);
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && plain == Qt::NoModifier) {
        // One column: left and right reveal the rest of a long entry.
        horizontalScrollBar()->triggerAction(event->key() == Qt::Key_Left
                                                 ? QAbstractSlider::SliderSingleStepSub
                                                 : QAbstractSlider::SliderSingleStepAdd);
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}

void ListView::keyboardSearch(const QString &search)
{
    const int rows = m_model->rowCount();
    if (search.isEmpty() || rows == 0 || m_model->columnCount() == 0)
        return;
    const bool fresh =
        !m_searchAge.isValid() || m_searchAge.elapsed() > QApplication::keyboardInputInterval();
    m_searchAge.start();
    m_search = fresh ? search : m_search + search;
    // Typing one character again and again steps through the entries that
    // start with it.
    const bool repeated =
        std::all_of(m_search.cbegin(), m_search.cend(), [&](QChar c) { return c == m_search.front(); });
    const QString needle = repeated ? m_search.left(1) : m_search;
    const QModelIndex current = currentIndex();
    const int start = current.isValid() ? (current.row() + (fresh || repeated ? 1 : 0)) % rows : 0;
    // Reads the stored texts in place: no string is built per entry.
    for (int i = 0; i < rows; ++i) {
        const int row = (start + i) % rows;
        const bool match = m_model->text(row).visit(
            [&](auto text) { return text.startsWith(QStringView(needle), Qt::CaseInsensitive); });
        if (match) {
            setCurrentIndex(m_model->index(row, 0));
            return;
        }
    }
}

void ListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QAbstractItemView::mouseDoubleClickEvent(event); // selects the row when the first click did not
    // Only over an entry: a double-click on empty space must not remove the
    // entry that happens to be selected.
    if (event->button() != Qt::LeftButton || !index.isValid())
        return;
    // With Ctrl the first click took the highlight off the entry; the
    // double-click still means that entry.
    if (!selectionModel()->isSelected(index))
        selectionModel()->setCurrentIndex(index,
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit DblClick();
}

void ListView::mouseMoveEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseMoveEvent(event);
    emit MouseMove();
}

bool ListView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove && std::ranges::count(pointerResettingParts(), watched) > 0)
        emit MouseMove();
    return QAbstractItemView::eventFilter(watched, event);
}

std::array<QWidget *, 4> ListView::pointerResettingParts() const
{
    return {m_header, m_header->viewport(), verticalScrollBar(), horizontalScrollBar()};
}

bool ListView::clipboardKey(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        emit CopyRequested();
        return true;
    }
    // The paste keys are the window's own shortcut: they paste into the
    // input list wherever the focus is.
    return false;
}

void ListView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copy = menu.addAction(QStringLiteral("Copy"), this, &ListView::CopyRequested);
    copy->setEnabled(SelectedItem().has_value());
    if (m_pasteEnabled)
        menu.addAction(QStringLiteral("Paste"), this, &ListView::PasteRequested);
    menu.exec(event->globalPos());
    event->accept();
}
