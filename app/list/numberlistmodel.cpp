#include "app/list/numberlistmodel.h"

#include <climits>
#include <utility>

QString NumberListSnapshot::cellText(qsizetype row, int column) const
{
    if (column == 0)
        return m_records->text(row).toString();
    if (!m_subItems)
        return {};
    return (*m_subItems)[std::size_t(row)].value(column - 1);
}

NumberListModel::NumberListModel(std::shared_ptr<TextArena> arena, QObject *parent)
    : QAbstractTableModel(parent),
      m_records(std::make_shared<RecordBlock>(arena ? std::move(arena) : std::make_shared<TextArena>()))
{
    m_records->arena()->addHolder(&m_records);
}

NumberListModel::~NumberListModel()
{
    m_records->arena()->removeHolder(&m_records);
}

RecordBlock &NumberListModel::writable()
{
    // A snapshot still reads the current block: give this list its own copy.
    if (m_records.use_count() > 1)
        m_records = std::make_shared<RecordBlock>(*m_records);
    if (m_subItems && m_subItems.use_count() > 1)
        m_subItems = std::make_shared<std::vector<QStringList>>(*m_subItems);
    return *m_records;
}

void NumberListModel::addColumn(const QString &title)
{
    const int column = int(m_titles.size());
    beginInsertColumns({}, column, column);
    m_titles.append(title);
    m_widthsTwips.push_back(1440);
    endInsertColumns();
}

void NumberListModel::setColumnWidthTwips(int column, int twips)
{
    m_widthsTwips.at(std::size_t(column)) = twips;
    emit columnWidthChanged(column, twips);
}

int NumberListModel::columnWidthTwips(int column) const
{
    return m_widthsTwips.at(std::size_t(column));
}

void NumberListModel::setChecked(qsizetype row, bool on)
{
    writable().setChecked(row, on);
}

QString NumberListModel::subItem(qsizetype row, int index) const
{
    if (!m_subItems)
        return {};
    return (*m_subItems)[std::size_t(row)].value(index - 1);
}

void NumberListModel::setSubItem(qsizetype row, int index, const QString &text)
{
    writable();
    if (!m_subItems)
        m_subItems = std::make_shared<std::vector<QStringList>>(std::size_t(count()));
    QStringList &items = (*m_subItems)[std::size_t(row)];
    while (items.size() < index)
        items.append(QString());
    items[index - 1] = text;
    if (row < m_shownRows) {
        const QModelIndex cell = this->index(int(row), index);
        emit dataChanged(cell, cell);
    }
}

void NumberListModel::beforeAppend()
{
    writable();
}

void NumberListModel::afterAppend()
{
    if (m_subItems)
        m_subItems->emplace_back();
    if (m_batchDepth == 0)
        flushBatch();
}

void NumberListModel::append(QStringView text)
{
    beforeAppend();
    m_records->append(text);
    afterAppend();
}

void NumberListModel::appendSlow(QLatin1StringView text)
{
    beforeAppend();
    m_records->append(text);
    afterAppend();
}

void NumberListModel::appendFromSlow(const NumberListModel &other, qsizetype row)
{
    beforeAppend();
    if (other.arena() == arena()) {
        m_records->appendRecord(other.m_records->record(row));
    } else {
        const EntryText t = other.text(row);
        if (t.wide)
            m_records->append(t.utf16());
        else
            m_records->append(t.latin1());
    }
    afterAppend();
}

void NumberListModel::reserve(qsizetype n)
{
    writable().reserve(n);
}

void NumberListModel::remove(qsizetype row)
{
    flushBatch();
    if (row < 0 || row >= count())
        return;
    const bool shown = row < m_shownRows;
    if (shown)
        beginRemoveRows({}, int(row), int(row));
    writable().remove(row);
    if (m_subItems)
        m_subItems->erase(m_subItems->begin() + row);
    if (shown) {
        --m_shownRows;
        endRemoveRows();
    }
    arena()->compactIfWasteful();
}

void NumberListModel::clear()
{
    flushBatch();
    beginResetModel();
    // Drop the block rather than emptying it: a snapshot may still read it.
    // The new block is in place before the old one goes, since its going may
    // compact the lists (this one included).
    std::shared_ptr<RecordBlock> old = std::exchange(m_records, std::make_shared<RecordBlock>(arena()));
    old.reset();
    m_subItems.reset();
    m_shownRows = 0;
    endResetModel();
}

void NumberListModel::beginBatch()
{
    ++m_batchDepth;
}

void NumberListModel::endBatch()
{
    if (m_batchDepth > 0 && --m_batchDepth == 0)
        flushBatch();
}

void NumberListModel::flushBatch()
{
    const qsizetype total = std::min<qsizetype>(count(), INT_MAX);
    if (total <= m_shownRows)
        return;
    beginInsertRows({}, int(m_shownRows), int(total - 1));
    m_shownRows = total;
    endInsertRows();
}

NumberListSnapshot NumberListModel::snapshot() const
{
    NumberListSnapshot s;
    s.m_records = m_records;
    s.m_subItems = m_subItems;
    s.m_titles = m_titles;
    return s;
}

int NumberListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shownRows);
}

int NumberListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_titles.size());
}

QVariant NumberListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shownRows)
        return {};
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return textString(index.row());
        return subItem(index.row(), index.column());
    }
    return {};
}

QVariant NumberListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_titles.size())
        return m_titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags NumberListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
