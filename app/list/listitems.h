#pragma once

#include "app/list/numberlistmodel.h"

// The 1-based operations the commands use on a list's entries and columns.

// One entry of a list, addressed by its position (from 1).
class ListItem
{
public:
    ListItem(NumberListModel *model, qsizetype index) : m_model(model), m_index(index) {}
    qsizetype Index() const { return m_index; }
    QString Text() const;
    EntryText TextView() const; // the text without copying it
    QString SubItems(int index) const;
    void SetSubItems(int index, const QString &text);
    bool Checked() const;
    void SetChecked(bool on);

private:
    NumberListModel *m_model;
    qsizetype m_index;
};

// The entries of a list: the 1-based list operations the commands use.
class ListItemsCollection
{
public:
    explicit ListItemsCollection(NumberListModel *model) : m_model(model) {}
    // Appends a checked entry holding the text unchanged.
    ListItem Add(QStringView text);
    ListItem Add(QLatin1StringView text);
    ListItem Add(const QString &text) { return Add(QStringView(text)); }
    qsizetype Count() const { return m_model->count(); }
    // Throws Failure("Index out of bounds") outside 1..Count.
    ListItem Item(qsizetype index) const;
    void Remove(qsizetype index);
    void Clear();

private:
    qsizetype checked(qsizetype index) const;
    NumberListModel *m_model;
};

class ColumnHeader
{
public:
    ColumnHeader(NumberListModel *model, int index) : m_model(model), m_index(index) {}
    int Index() const { return m_index; }
    QString Text() const { return m_model->columnTitle(m_index - 1); }
    int Width() const { return m_model->columnWidthTwips(m_index - 1); }
    void SetWidth(int twips) { m_model->setColumnWidthTwips(m_index - 1, twips); }

private:
    NumberListModel *m_model;
    int m_index;
};

class ColumnHeadersCollection
{
public:
    explicit ColumnHeadersCollection(NumberListModel *model) : m_model(model) {}
    ColumnHeader Add(const QString &title);
    int Count() const { return m_model->columnTitleCount(); }
    ColumnHeader Item(int index) const; // from 1

private:
    NumberListModel *m_model;
};
