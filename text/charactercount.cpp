#include "text/charactercount.h"

qsizetype CharacterCount(QStringView text)
{
    qsizetype count = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            --count;
            ++i;
        }
    }
    return count;
}
