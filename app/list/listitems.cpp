#include "app/list/listitems.h"

#include "platform/failure.h"

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
    if (index < 1)
        throw Failure(QStringLiteral("Index out of bounds"));
    return m_model->subItem(m_index - 1, index);
}

void ListItem::SetSubItems(int index, const QString &text)
{
    if (index < 1)
        throw Failure(QStringLiteral("Index out of bounds"));
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
