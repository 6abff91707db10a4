// How the text typed in a file dialog's name box becomes file names.

#include "platform/typednames.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// The same reading written another way: a whole-text pattern decides whether
// the text is a quoted list, and a second pattern takes its items.
QStringList referenceSplit(const QString &text)
{
    static const QRegularExpression wholeList(
        QStringLiteral(R"re(\A\s*"(?:[^"]|"")*"(?:\s+"(?:[^"]|"")*")*\s*\z)re"));
    static const QRegularExpression item(QStringLiteral(R"re("((?:[^"]|"")*)")re"));
    if (!wholeList.match(text).hasMatch())
        return text.trimmed().isEmpty() ? QStringList() : QStringList{text};
    QStringList names;
    for (const QRegularExpressionMatch &match : item.globalMatch(text)) {
        QString name = match.captured(1);
        name.replace(QStringLiteral("\"\""), QStringLiteral("\""));
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

} // namespace

class TestTypedNames : public QObject
{
    Q_OBJECT

private slots:
    void splitsOnlyAQuotedList_data();
    void splitsOnlyAQuotedList();
    void agreesWithTheReferenceOnEveryShortText_data();
    void agreesWithTheReferenceOnEveryShortText();
    void joinedNamesReadBackAsThemselves_data();
    void joinedNamesReadBackAsThemselves();
};

void TestTypedNames::splitsOnlyAQuotedList_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names");

    const auto s = [](const char *text) { return QString::fromUtf8(text); };
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("only spaces") << s("  \t ") << QStringList();
    QTest::newRow("one plain name") << s("a.txt") << QStringList{s("a.txt")};
    QTest::newRow("spaces of a plain name kept") << s(" a b.txt ") << QStringList{s(" a b.txt ")};
    QTest::newRow("quote inside a name") << s("5\"55.txt") << QStringList{s("5\"55.txt")};
    QTest::newRow("quoted words inside a name")
        << s("my \"best\" list.txt") << QStringList{s("my \"best\" list.txt")};
    QTest::newRow("one quoted name") << s("\"a b.txt\"") << QStringList{s("a b.txt")};
    QTest::newRow("list as the dialog writes it")
        << s("\"b.txt\" \"a.txt\" \"c.txt\"") << QStringList{s("b.txt"), s("a.txt"), s("c.txt")};
    QTest::newRow("spaces and tabs around and between")
        << s(" \t\"a.txt\"\t  \"b.txt\"  ") << QStringList{s("a.txt"), s("b.txt")};
    QTest::newRow("doubled quote is a quote of the name")
        << s("\"5\"\"55.txt\" \"a.txt\"") << QStringList{s("5\"55.txt"), s("a.txt")};
    QTest::newRow("name made of a quote") << s("\"\"\"\"") << QStringList{s("\"")};
    QTest::newRow("empty items left out") << s("\"\" \"a.txt\" \"\"") << QStringList{s("a.txt")};
    QTest::newRow("only an empty item") << s("\"\"") << QStringList();
    QTest::newRow("items not separated are one name")
        << s("\"a\"b\" \"c\"") << QStringList{s("\"a\"b\" \"c\"")};
    QTest::newRow("unclosed item: one name") << s("\"a.txt\" \"b.txt") << QStringList{s("\"a.txt\" \"b.txt")};
    QTest::newRow("text after the list: one name")
        << s("\"a.txt\" b.txt") << QStringList{s("\"a.txt\" b.txt")};
    QTest::newRow("the dialog's unescaped quote: one name")
        << s("\"5\"55.txt\" \"a.txt\"") << QStringList{s("\"5\"55.txt\" \"a.txt\"")};
    QTest::newRow("non-Latin names") << s("\"\u0436.txt\" \"\U0001F600.txt\"")
                                     << QStringList{s("\u0436.txt"), s("\U0001F600.txt")};
}

void TestTypedNames::splitsOnlyAQuotedList()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    QCOMPARE(SplitTypedFileNames(typed), names);
    QCOMPARE(referenceSplit(typed), names); // the reference reads the table the same way
}

void TestTypedNames::agreesWithTheReferenceOnEveryShortText_data()
{
    QTest::addColumn<QString>("typed");
    // Every text of up to seven characters from a name character, a quote and two kinds of space.
    const QString alphabet = QStringLiteral("a\" \t");
    QStringList texts{QString()};
    qsizetype from = 0;
    for (int length = 1; length <= 7; ++length) {
        const qsizetype to = texts.size();
        for (qsizetype i = from; i < to; ++i) {
            for (const QChar c : alphabet)
                texts << texts.at(i) + c;
        }
        from = to;
    }
    for (const QString &text : texts) {
        QString shown = text;
        shown.replace(u'\t', QStringLiteral("\\t"));
        QTest::newRow(qPrintable(u'[' + shown + u']')) << text;
    }
}

void TestTypedNames::agreesWithTheReferenceOnEveryShortText()
{
    QFETCH(QString, typed);
    QCOMPARE(SplitTypedFileNames(typed), referenceSplit(typed));
}

void TestTypedNames::joinedNamesReadBackAsThemselves_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("joined");

    const auto s = [](const char *text) { return QString::fromUtf8(text); };
    QTest::newRow("one plain name stays plain") << QStringList{s("a b.txt")} << s("a b.txt");
    QTest::newRow("one name with a quote inside stays plain")
        << QStringList{s("5\"55.txt")} << s("5\"55.txt");
    QTest::newRow("one name that reads as a list is quoted") << QStringList{s("\"x\"")} << s("\"\"\"x\"\"\"");
    QTest::newRow("one name of spaces is quoted") << QStringList{s("  ")} << s("\"  \"");
    QTest::newRow("several names") << QStringList{s("b.txt"), s("a.txt")} << s("\"b.txt\" \"a.txt\"");
    QTest::newRow("several names with quotes")
        << QStringList{s("5\"55.txt"), s("\"\"")} << s("\"5\"\"55.txt\" \"\"\"\"\"\"");
}

void TestTypedNames::joinedNamesReadBackAsThemselves()
{
    QFETCH(QStringList, names);
    QFETCH(QString, joined);
    QCOMPARE(JoinTypedFileNames(names), joined);
    QCOMPARE(referenceSplit(joined), names);
}

QTEST_GUILESS_MAIN(TestTypedNames)
#include "tst_typednames.moc"
