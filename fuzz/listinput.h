#pragma once

// A number list of one to three columns made from fuzzer bytes: titles,
// entries of any UTF-16 or Latin-1 text, sub-items, and some entries
// unchecked.

#include "fuzz/fuzzsupport.h"

#include "app/list/numberlistmodel.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace fuzz {

struct ListInput
{
    QStringList titles;
    std::vector<QStringList> rows; // the cells of each entry, column 0 first
    std::vector<bool> checked;
    std::unique_ptr<NumberListModel> model;
};

inline ListInput takeList(FuzzedDataProvider &data)
{
    ListInput in;
    const int columns = data.ConsumeIntegralInRange<int>(1, 3);
    const bool latin1 = data.ConsumeBool();
    // Short texts of one shape, the lists' usual content, take the writers'
    // fast paths; any text takes the others.
    const std::size_t longest = data.ConsumeBool() ? 14 : 40;
    for (int c = 0; c < columns; ++c)
        in.titles.append(takeText(data, longest, latin1));
    const std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, 64);
    for (std::size_t r = 0; r < count && data.remaining_bytes() > 0; ++r) {
        QStringList cells;
        for (int c = 0; c < columns; ++c)
            cells.append(takeText(data, longest, latin1 || data.ConsumeProbability<float>() < 0.8f));
        in.rows.push_back(cells);
        in.checked.push_back(data.ConsumeProbability<float>() < 0.85f);
    }

    in.model = std::make_unique<NumberListModel>();
    for (const QString &title : in.titles)
        in.model->addColumn(title);
    {
        NumberListModel::Batch batch(*in.model);
        for (const QStringList &cells : in.rows)
            in.model->append(QStringView(cells.at(0)));
    }
    for (std::size_t r = 0; r < in.rows.size(); ++r) {
        for (int c = 1; c < columns; ++c)
            in.model->setSubItem(qsizetype(r), c, in.rows[r].at(c));
        if (!in.checked[r])
            in.model->setChecked(qsizetype(r), false);
    }
    return in;
}

// Length in characters as a reader of the text counts them: a surrogate
// pair is one character.
inline qsizetype characters(const QString &text)
{
    return qsizetype(codePoints(text).size());
}

} // namespace fuzz
