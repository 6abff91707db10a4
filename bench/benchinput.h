#pragma once

// The input file of the pipeline benchmarks: numbers of the fourteen shapes
// and near misses, one per CR LF line, always the same for a line count.

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <random>
#include <string>

// The fourteen shapes, '#' standing for a digit.
inline const char *const kValidShapes[] = {
    "### ### ####",   "###.###.####",   "##########",     "###-###-####", "(###)###-####",
    "(###) ###-####", "1 ### ### ####", "1.###.###.####", "1##########",  "1-###-###-####",
    "### ####",       "###.####",       "#######",        "###-####",
};

// One line of the input: about 60 % valid numbers of all fourteen shapes,
// the rest near misses (a wrong or mixed separator, a digit too many or too
// few, a letter, a blank around the number, a plus sign, a tab).
inline std::string makeInputLine(std::mt19937_64 &random)
{
    char d[11];
    for (char &c : d)
        c = char('0' + random() % 10);
    const auto groups = [&](const char *pattern) {
        std::string s;
        int next = 0;
        for (const char *p = pattern; *p; ++p)
            s += *p == '#' ? d[next++] : *p;
        return s;
    };
    static const char *const nearMisses[] = {
        "###-###.####",  "###-###-#####",   "###-###-###",    "###-##a-####",   " ###-###-####",
        "###-###-#### ", "+1-###-###-####", "(###)-###-####", "###\t###\t####", "2-###-###-####",
        "###--####",     "######",          "###-###-####,",  "### ###-####",
    };
    const unsigned pick = unsigned(random() % 100);
    if (pick < 60)
        return groups(kValidShapes[pick % 14]);
    return groups(nearMisses[pick % 14]);
}

// Writes `lines` lines to the file, after `headLineFeeds` bare line feeds
// (a file whose first read tells nothing of the rest).
inline bool generateInput(const QString &path, qsizetype lines, qsizetype headLineFeeds = 0)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::mt19937_64 random(20210831);
    std::string block(std::size_t(headLineFeeds), '\n');
    for (qsizetype i = 0; i < lines; ++i) {
        block += makeInputLine(random);
        block += "\r\n";
        if (block.size() > (std::size_t(1) << 20)) {
            if (file.write(block.data(), qint64(block.size())) != qint64(block.size()))
                return false;
            block.clear();
        }
    }
    return file.write(block.data(), qint64(block.size())) == qint64(block.size());
}
