#pragma once

#include "app/list/textstore.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <vector>

// A read-only copy of a list taken in O(1): it shares the records with the
// list until the list changes (copy on write).
class NumberListSnapshot
{
public:
    NumberListSnapshot() = default;
    qsizetype count() const { return m_records ? m_records->size() : 0; }
    int columnCount() const { return int(m_titles.size()); }
    QString columnTitle(int column) const { return m_titles.value(column); } // 0-based
    EntryText text(qsizetype row) const { return m_records->text(row); }     // 0-based
    bool checked(qsizetype row) const { return m_records->checked(row); }
    // The most characters (CharacterCount) of the entries' texts from row
    // `first` to before `last`.
    qsizetype longestText(qsizetype first, qsizetype last) const
    {
        return m_records->longestText(first, last);
    }
    // Column 0 is the entry's text; column c > 0 its sub-item c.
    QString cellText(qsizetype row, int column) const;

private:
    friend class NumberListModel;
    std::shared_ptr<const RecordBlock> m_records;
    std::shared_ptr<const std::vector<QStringList>> m_subItems;
    QStringList m_titles;
};

// The data of one number list: column titles, entries with their check marks,
// and optional sub-items. Rows and columns are 0-based here; the ListView
// facade offers the 1-based list operations.
//
// Appends made between beginBatch() and endBatch() reach the views as one
// insertion, so that filling a list with millions of entries stays cheap.
class NumberListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit NumberListModel(std::shared_ptr<TextArena> arena = {}, QObject *parent = nullptr);
    ~NumberListModel() override;

    const std::shared_ptr<TextArena> &arena() const { return m_records->arena(); }

    // Columns.
    void addColumn(const QString &title);
    int columnTitleCount() const { return int(m_titles.size()); }
    QString columnTitle(int column) const { return m_titles.value(column); }
    void setColumnWidthTwips(int column, int twips);
    int columnWidthTwips(int column) const;

    // Entries.
    qsizetype count() const { return m_records->size(); }
    EntryText text(qsizetype row) const { return m_records->text(row); }
    QString textString(qsizetype row) const { return m_records->text(row).toString(); }
    bool checked(qsizetype row) const { return m_records->checked(row); }
    void setChecked(qsizetype row, bool on);
    QString subItem(qsizetype row, int index) const; // index from 1
    void setSubItem(qsizetype row, int index, const QString &text);

    void append(QStringView text);
    void append(QLatin1StringView text)
    {
        if (canAppendInPlace())
            m_records->append(text);
        else
            appendSlow(text);
    }
    // Appends entry `row` of `other`; shares its characters when both lists use
    // one arena.
    void appendFrom(const NumberListModel &other, qsizetype row)
    {
        if (canAppendInPlace() && other.m_records->arena() == m_records->arena())
            m_records->appendRecord(other.m_records->record(row));
        else
            appendFromSlow(other, row);
    }
    // Room for n entries in all.
    void reserve(qsizetype n);
    // Entries the list has room for without growing (for tests).
    qsizetype capacity() const { return qsizetype(m_records->recordCapacity()); }
    void remove(qsizetype row);
    void clear();

    // Batching of change notifications.
    void beginBatch();
    void endBatch();
    class Batch;

    NumberListSnapshot snapshot() const;

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void columnWidthChanged(int column, int twips);

private:
    // Inside a batch, with the block not shared and no sub-items, an append
    // only adds a record: the hot loops of import and validation stay inline.
    bool canAppendInPlace() const { return m_batchDepth > 0 && !m_subItems && m_records.use_count() == 1; }
    void appendSlow(QLatin1StringView text);
    void appendFromSlow(const NumberListModel &other, qsizetype row);
    RecordBlock &writable();
    void flushBatch();
    void beforeAppend();
    void afterAppend();

    std::shared_ptr<RecordBlock> m_records;
    std::shared_ptr<std::vector<QStringList>> m_subItems; // empty unless sub-items are used
    QStringList m_titles;
    std::vector<int> m_widthsTwips;
    int m_batchDepth = 0;
    qsizetype m_shownRows = 0; // rows the views have been told about
};

// Holds a batch open for as long as it lives: the views hear of the appends
// once, however the block is left.
class NumberListModel::Batch
{
public:
    explicit Batch(NumberListModel &model) : m_model(model) { m_model.beginBatch(); }
    ~Batch() { m_model.endBatch(); }
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

private:
    NumberListModel &m_model;
};
