#include "app/list/listview.h"

#include "app/errorreport.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

// ---- the list operations ---------------------------------------------------

QString ListItem::Text() const
{
    return m_model->textString(m_index - 1);
}

EntryText ListItem::TextView() const
{
    return m_model->text(m_index - 1);
}

QString ListItem::SubItems(int index) const
{
    return m_model->subItem(m_index - 1, index);
}

void ListItem::SetSubItems(int index, const QString &text)
{
    m_model->setSubItem(m_index - 1, index, text);
}

bool ListItem::Checked() const
{
    return m_model->checked(m_index - 1);
}

void ListItem::SetChecked(bool on)
{
    m_model->setChecked(m_index - 1, on);
}

qsizetype ListItemsCollection::checked(qsizetype index) const
{
    if (index < 1 || index > m_model->count())
        throw Failure(QStringLiteral("Index out of bounds"));
    return index;
}

ListItem ListItemsCollection::Add(QStringView text)
{
    m_model->append(text);
    return ListItem(m_model, m_model->count());
}

ListItem ListItemsCollection::Add(QLatin1StringView text)
{
    m_model->append(text);
    return ListItem(m_model, m_model->count());
}

ListItem ListItemsCollection::Item(qsizetype index) const
{
    return ListItem(m_model, checked(index));
}

void ListItemsCollection::Remove(qsizetype index)
{
    m_model->remove(checked(index) - 1);
}

void ListItemsCollection::Clear()
{
    m_model->clear();
}

ColumnHeader ColumnHeadersCollection::Add(const QString &title)
{
    m_model->addColumn(title);
    return ColumnHeader(m_model, m_model->columnTitleCount());
}

ColumnHeader ColumnHeadersCollection::Item(int index) const
{
    if (index < 1 || index > m_model->columnTitleCount())
        throw Failure(QStringLiteral("Index out of bounds"));
    return ColumnHeader(m_model, index);
}

// ---- the view ----------------------------------------------------------------

ListView::ListView(std::shared_ptr<TextArena> arena, QWidget *parent)
    : QAbstractItemView(parent),
      ListItems(nullptr),
      ColumnHeaders(nullptr),
      m_model(new NumberListModel(std::move(arena), this)),
      m_header(new QHeaderView(Qt::Horizontal, this))
{
    ListItems = ListItemsCollection(m_model);
    ColumnHeaders = ColumnHeadersCollection(m_model);
    setModel(m_model);
    m_header->setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    connect(m_model, &NumberListModel::columnWidthChanged, this, &ListView::onColumnWidthChanged);
}

ListView::~ListView() = default;

std::optional<ListItem> ListView::SelectedItem() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return ListItem(m_model, current.row() + 1);
}

void ListView::SetSelectedIndex(qsizetype index)
{
    setCurrentIndex(m_model->index(int(index - 1), 0));
}

void ListView::onColumnWidthChanged(int column, int twips)
{
    m_header->resizeSection(column, (twips + 7) / 15);
}

int ListView::rowHeight() const
{
    return fontMetrics().height() + 2;
}

int ListView::visibleRows() const
{
    return viewport()->height() / rowHeight() + 1;
}

QRect ListView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    const int y = (index.row() - verticalOffset()) * rowHeight();
    return QRect(m_header->sectionViewportPosition(index.column()), y, m_header->sectionSize(index.column()),
                 rowHeight());
}

void ListView::scrollTo(const QModelIndex &, ScrollHint) {}

QModelIndex ListView::indexAt(const QPoint &point) const
{
    const int row = verticalOffset() + point.y() / rowHeight();
    const int column = m_header->logicalIndexAt(point.x());
    if (row < 0 || row >= m_model->rowCount() || column < 0)
        return {};
    return m_model->index(row, column);
}

QModelIndex ListView::moveCursor(CursorAction, Qt::KeyboardModifiers)
{
    return currentIndex();
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
    const QModelIndex index = indexAt(rect.topLeft());
    if (index.isValid())
        selectionModel()->select(index, command | QItemSelectionModel::Rows);
}

QRegion ListView::visualRegionForSelection(const QItemSelection &) const
{
    return viewport()->rect();
}

void ListView::updateGeometries()
{
    QAbstractItemView::updateGeometries();
}

void ListView::paintEvent(QPaintEvent *event)
{
    QAbstractItemView::paintEvent(event);
}

void ListView::keyPressEvent(QKeyEvent *event)
{
    QAbstractItemView::keyPressEvent(event);
}

void ListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseDoubleClickEvent(event);
    emit DblClick();
}

void ListView::mouseMoveEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseMoveEvent(event);
    emit MouseMove();
}

void ListView::scrollContentsBy(int dx, int dy)
{
    QAbstractItemView::scrollContentsBy(dx, dy);
}

bool ListView::viewportEvent(QEvent *event)
{
    return QAbstractItemView::viewportEvent(event);
}
