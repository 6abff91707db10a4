#pragma once

#include <QLatin1StringView>
#include <QStringView>

// Length of a text in characters as the exports write them: a surrogate pair
// is one character (the file writes it as one "?").
qsizetype CharacterCount(QStringView text);
inline qsizetype CharacterCount(QLatin1StringView text)
{
    return text.size();
}
