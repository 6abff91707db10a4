#include "platform/inifile.h"

#include <QTest>

namespace {

// Bytes of a literal, embedded NULs included.
template<std::size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

// A file as other programs of the maker leave it: a comment, CR LF line
// ends, values that a settings library would rewrite, and our own group in
// the middle.
const QByteArray kSharedFile = bytes("; Shared by the maker's programs\r\n"
                                     "[Other]\r\n"
                                     "LastFile=C:\\Users\\bob\\numbers.txt\r\n"
                                     "Name=caf\xE9\r\n"
                                     "Path=/home/bob/x;y\r\n"
                                     "At=@home\r\n"
                                     "Recent=a.txt,b.txt\r\n"
                                     "Window Pos = 10\r\n"
                                     "Zeta=1\r\n"
                                     "Alpha=2\r\n"
                                     "\r\n"
                                     "[Quillory]\r\n"
                                     "Check2=1\r\n"
                                     "\r\n"
                                     "# the next program's part\r\n"
                                     "[Later]\r\n"
                                     "x=y\r\n");

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void readsTheKeyThatCounts_data();
    void readsTheKeyThatCounts();
    void changesOnlyTheKeysLine_data();
    void changesOnlyTheKeysLine();
    void readsBackWhatItWrote_data();
    void readsBackWhatItWrote();
};

void TestIniFile::readsTheKeyThatCounts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray k1 = "Check1";
    QTest::newRow("plain") << QByteArray("[Quillory]\nCheck1=1\n") << k1 << true << QByteArray("1");
    QTest::newRow("blanks around the equals sign")
        << QByteArray("[Quillory]\n  Check1 = 0  \n") << k1 << true << QByteArray("0");
    QTest::newRow("CR LF") << QByteArray("[Quillory]\r\nCheck1=2\r\n") << k1 << true << QByteArray("2");
    QTest::newRow("CR only") << QByteArray("[Quillory]\rCheck1=0\r") << k1 << true << QByteArray("0");
    QTest::newRow("byte-order mark") << bytes("\xEF\xBB\xBF[Quillory]\nCheck1=0\n") << k1 << true
                                     << QByteArray("0");
    QTest::newRow("no line end at the end")
        << QByteArray("[Quillory]\nCheck1=2") << k1 << true << QByteArray("2");
    QTest::newRow("duplicated group: the last line counts")
        << QByteArray("[Quillory]\nCheck1=0\n[Other]\nCheck1=2\n[Quillory]\nCheck1=1\n") << k1 << true
        << QByteArray("1");
    QTest::newRow("duplicated group: key in the first part only")
        << QByteArray("[Quillory]\nCheck1=0\n[Quillory]\nCheck2=1\n") << k1 << true << QByteArray("0");
    QTest::newRow("duplicated key") << QByteArray("[Quillory]\nCheck1=0\nCheck1=1\n") << k1 << true
                                    << QByteArray("1");
    QTest::newRow("other group's key") << QByteArray("[Other]\nCheck1=0\n") << k1 << false << QByteArray();
    QTest::newRow("key before any group")
        << QByteArray("Check1=0\n[Quillory]\n") << k1 << false << QByteArray();
    QTest::newRow("commented out") << QByteArray("[Quillory]\n;Check1=0\n") << k1 << false << QByteArray();
    QTest::newRow("comment after the value")
        << QByteArray("[Quillory]\nCheck1=0 ; off\n") << k1 << true << QByteArray("0");
    QTest::newRow("lines that are not key lines")
        << QByteArray("[Quillory]\n# note\njunk\nCheck1=2\n") << k1 << true << QByteArray("2");
    QTest::newRow("group name case") << QByteArray("[quillory]\nCheck1=0\n") << k1 << false << QByteArray();
    QTest::newRow("key name case") << QByteArray("[Quillory]\ncheck1=0\n") << k1 << false << QByteArray();
    QTest::newRow("escaped names") << QByteArray("[Quil%6Cory]\nCheck%31=0\n") << k1 << true
                                   << QByteArray("0");
    QTest::newRow("zero-width no-break space before the key")
        << bytes("[Quillory]\n\xEF\xBB\xBF\x43heck1=0\n") << k1 << false << QByteArray();
    QTest::newRow("zero-width no-break space after an escape")
        << bytes("[Quillory]\nCheck%31\xEF\xBB\xBF=0\n") << k1 << false << QByteArray();
    QTest::newRow("zero-width no-break space in the header")
        << bytes("[\xEF\xBB\xBFQuillory]\nCheck1=0\n") << k1 << false << QByteArray();
    QTest::newRow("blanks in the header")
        << QByteArray("[ Quillory ]\nCheck1=0\n") << k1 << true << QByteArray("0");
    QTest::newRow("unclosed header") << QByteArray("[Quillory\nCheck1=0\n") << k1 << true << QByteArray("0");
    QTest::newRow("empty value") << QByteArray("[Quillory]\nCheck1=\n") << k1 << true << QByteArray();
    QTest::newRow("text value, as written")
        << QByteArray("[Quillory]\nCheck1=yes\n") << k1 << true << QByteArray("yes");
    QTest::newRow("quoted") << QByteArray("[Quillory]\nCheck1=\"1\"\n") << k1 << true << QByteArray("1");
    QTest::newRow("quotes keep blanks and semicolons")
        << QByteArray("[Quillory]\nPath=\" a;b \"\n") << QByteArray("Path") << true << QByteArray(" a;b ");
    QTest::newRow("escapes") << QByteArray("[Quillory]\nText=a\\tb\\x41\\101\\\\\n") << QByteArray("Text")
                             << true << QByteArray("a\tbAA\\");
    QTest::newRow("doubled at sign") << QByteArray("[Quillory]\nAt=@@home\n") << QByteArray("At") << true
                                     << QByteArray("@home");
    QTest::newRow("name with a space") << kSharedFile << QByteArray("Window Pos") << false << QByteArray();
    QTest::newRow("group shared with others")
        << kSharedFile << QByteArray("Check2") << true << QByteArray("1");
    QTest::newRow("arbitrary bytes around the group")
        << bytes("\x00\xFF[\x01\n\x80=\x81\n[Quillory]\nCheck1=0\n\x80=\x81\r\n\x00\n") << k1 << true
        << QByteArray("0");
}

void TestIniFile::readsTheKeyThatCounts()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, key);
    QFETCH(bool, present);
    QFETCH(QByteArray, expected);

    const std::optional<QByteArray> value = IniFile::value(file, "Quillory", key);
    QCOMPARE(value.has_value(), present);
    if (present)
        QCOMPARE(*value, expected);
}

void TestIniFile::changesOnlyTheKeysLine_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray k1 = "Check1";
    const QByteArray off = "0";

    QTest::newRow("shared file: new key after the group's last key")
        << kSharedFile << k1 << off
        << bytes("; Shared by the maker's programs\r\n"
                 "[Other]\r\n"
                 "LastFile=C:\\Users\\bob\\numbers.txt\r\n"
                 "Name=caf\xE9\r\n"
                 "Path=/home/bob/x;y\r\n"
                 "At=@home\r\n"
                 "Recent=a.txt,b.txt\r\n"
                 "Window Pos = 10\r\n"
                 "Zeta=1\r\n"
                 "Alpha=2\r\n"
                 "\r\n"
                 "[Quillory]\r\n"
                 "Check2=1\r\n"
                 "Check1=0\r\n"
                 "\r\n"
                 "# the next program's part\r\n"
                 "[Later]\r\n"
                 "x=y\r\n");
    QTest::newRow("shared file: existing key") << kSharedFile << QByteArray("Check2") << off
                                               << bytes("; Shared by the maker's programs\r\n"
                                                        "[Other]\r\n"
                                                        "LastFile=C:\\Users\\bob\\numbers.txt\r\n"
                                                        "Name=caf\xE9\r\n"
                                                        "Path=/home/bob/x;y\r\n"
                                                        "At=@home\r\n"
                                                        "Recent=a.txt,b.txt\r\n"
                                                        "Window Pos = 10\r\n"
                                                        "Zeta=1\r\n"
                                                        "Alpha=2\r\n"
                                                        "\r\n"
                                                        "[Quillory]\r\n"
                                                        "Check2=0\r\n"
                                                        "\r\n"
                                                        "# the next program's part\r\n"
                                                        "[Later]\r\n"
                                                        "x=y\r\n");
    QTest::newRow("value only: blanks and comment stay")
        << QByteArray("[Quillory]\n  Check1 =  1 ; mine\nCheck2=1\n") << k1 << off
        << QByteArray("[Quillory]\n  Check1 =  0 ; mine\nCheck2=1\n");
    QTest::newRow("comment straight after the value")
        << QByteArray("[Quillory]\nCheck1=1;x\n") << k1 << QByteArray("2")
        << QByteArray("[Quillory]\nCheck1=2;x\n");
    QTest::newRow("empty value") << QByteArray("[Quillory]\nCheck1=\r\n") << k1 << off
                                 << QByteArray("[Quillory]\nCheck1=0\r\n");
    QTest::newRow("quoted value") << QByteArray("[Quillory]\nCheck1=\"1\" \n") << k1 << off
                                  << QByteArray("[Quillory]\nCheck1=0 \n");
    QTest::newRow("vertical tab and form feed around a value are part of it")
        << QByteArray("[Quillory]\nCheck1=\f\"1\"\v ; c\n") << k1 << off
        << QByteArray("[Quillory]\nCheck1=0 ; c\n");
    QTest::newRow("the last of duplicated lines")
        << QByteArray("[Quillory]\nCheck1=1\n[Other]\nCheck1=1\n[Quillory]\nCheck1=1\nCheck1=2\n") << k1
        << off << QByteArray("[Quillory]\nCheck1=1\n[Other]\nCheck1=1\n[Quillory]\nCheck1=1\nCheck1=0\n");
    QTest::newRow("missing key: into the group's last appearance")
        << QByteArray("[Quillory]\nCheck2=1\n\n[Other]\na=b\n[Quillory]\nCheck3=1\n\n; next\n[Last]\n") << k1
        << off
        << QByteArray(
               "[Quillory]\nCheck2=1\n\n[Other]\na=b\n[Quillory]\nCheck3=1\nCheck1=0\n\n; next\n[Last]\n");
    QTest::newRow("missing key: group with a header only")
        << QByteArray("[Quillory]\n\n[Other]\n") << k1 << off
        << QByteArray("[Quillory]\nCheck1=0\n\n[Other]\n");
    QTest::newRow("missing key: the file's last line has no line end")
        << QByteArray("[Quillory]\r\nCheck2=1") << k1 << off
        << QByteArray("[Quillory]\r\nCheck2=1\r\nCheck1=0");
    QTest::newRow("missing key: header's own line end")
        << QByteArray("[Other]\r\n[Quillory]\rCheck2=1\n") << k1 << off
        << QByteArray("[Other]\r\n[Quillory]\rCheck2=1\nCheck1=0\n");
    QTest::newRow("missing group: LF")
        << QByteArray("[Other]\na=b\n") << k1 << off << QByteArray("[Other]\na=b\n\n[Quillory]\nCheck1=0\n");
    QTest::newRow("missing group: CR LF, no final line end")
        << QByteArray("[Other]\r\na=b") << k1 << off
        << QByteArray("[Other]\r\na=b\r\n\r\n[Quillory]\r\nCheck1=0\r\n");
    QTest::newRow("missing group: CR") << QByteArray("[Other]\ra=b\r\r") << k1 << off
                                       << QByteArray("[Other]\ra=b\r\r[Quillory]\rCheck1=0\r");
    QTest::newRow("missing group: LF file that ends in a lone CR")
        << QByteArray("[Other]\na=b\r") << k1 << off << QByteArray("[Other]\na=b\r\r[Quillory]\nCheck1=0\n");
    QTest::newRow("missing group: empty file")
        << QByteArray() << k1 << off << QByteArray("[Quillory]\nCheck1=0\n");
    QTest::newRow("missing group: byte-order mark only")
        << bytes("\xEF\xBB\xBF") << k1 << off << bytes("\xEF\xBB\xBF[Quillory]\nCheck1=0\n");
    QTest::newRow("byte-order mark and comment")
        << bytes("\xEF\xBB\xBF; mine\n[Quillory]\nCheck1=1\n") << k1 << off
        << bytes("\xEF\xBB\xBF; mine\n[Quillory]\nCheck1=0\n");
    QTest::newRow("arbitrary bytes") << bytes("\x00\x01\xFF\xFE[\x80\r\r\n=\x00") << k1 << off
                                     << bytes("\x00\x01\xFF\xFE[\x80\r\r\n=\x00\r\r[Quillory]\rCheck1=0\r");
    QTest::newRow("new name escaped") << QByteArray("[Quillory]\n") << QByteArray("Window Pos/x")
                                      << QByteArray("10") << QByteArray("[Quillory]\nWindow%20Pos%2Fx=10\n");
    QTest::newRow("value with a semicolon") << QByteArray("[Quillory]\n") << k1 << QByteArray("/home/bob/x;y")
                                            << QByteArray("[Quillory]\nCheck1=\"/home/bob/x;y\"\n");
    QTest::newRow("value with backslashes")
        << QByteArray("[Quillory]\n") << k1 << QByteArray("C:\\Users\\bob")
        << QByteArray("[Quillory]\nCheck1=\"C:\\\\Users\\\\bob\"\n");
    QTest::newRow("value with an at sign") << QByteArray("[Quillory]\n") << k1 << QByteArray("@home")
                                           << QByteArray("[Quillory]\nCheck1=@@home\n");
    QTest::newRow("value with blanks and a comma")
        << QByteArray("[Quillory]\n") << k1 << QByteArray(" a.txt,b.txt ")
        << QByteArray("[Quillory]\nCheck1=\" a.txt,b.txt \"\n");
    QTest::newRow("value with control bytes") << QByteArray("[Quillory]\n") << k1 << bytes("a\nb\x01\x37")
                                              << QByteArray("[Quillory]\nCheck1=\"a\\nb\\001\\067\"\n");
    QTest::newRow("value of other bytes kept as they are")
        << QByteArray("[Quillory]\n") << k1 << bytes("caf\xE9=\x7F")
        << bytes("[Quillory]\nCheck1=caf\xE9=\x7F\n");
}

void TestIniFile::changesOnlyTheKeysLine()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);

    QCOMPARE(IniFile::withValue(file, "Quillory", key, value), expected);
}

void TestIniFile::readsBackWhatItWrote_data()
{
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("shared file") << kSharedFile;
    QTest::newRow("duplicated group and key")
        << QByteArray("[Quillory]\nCheck1=1\n[Quillory]\nCheck1=\"x;\" ;c\nCheck1 = 2\r\n");
    QTest::newRow("open quote in another group") << QByteArray("[Other]\na=\"open\n[Quillory]\nb=1");
    QTest::newRow("trailing backslash") << QByteArray("[Quillory]\nCheck1=1\\\nCheck2=1\\");
    QTest::newRow("arbitrary bytes") << bytes("\x00\xFF[\r\x80=\x81\\\r\n[\n=\"\n;[Quillory]\n");
}

void TestIniFile::readsBackWhatItWrote()
{
    QFETCH(QByteArray, file);

    const QList<QByteArray> groups{"Quillory", "Other", "", "Gr\xC3\xBC\xC3\x9F [x]", "a/b\\c%"};
    const QList<QByteArray> keys{"Check1", "Check2", "a", "", "Window Pos", "k=;\"\\ \xE2\x82\xAC"};
    const QList<QByteArray> values{"0",   "1",    "",         " ",   "@",
                                   "@@x", "\"",   "a\\b;c,d", "x\\", bytes("\x00\x01\x08\x30\r\n\t\x7F\xFF"),
                                   " a ", "\\x41"};
    for (const QByteArray &group : groups) {
        for (const QByteArray &key : keys) {
            for (const QByteArray &value : values) {
                const QByteArray written = IniFile::withValue(file, group, key, value);
                const std::optional<QByteArray> read = IniFile::value(written, group, key);
                QVERIFY2(read.has_value(), (group + '/' + key + " = " + value.toHex()).constData());
                QCOMPARE(read->toHex(), value.toHex());
                // Every other key of the file reads as before.
                for (const QByteArray &otherGroup : groups) {
                    for (const QByteArray &otherKey : keys) {
                        if (otherGroup == group && otherKey == key)
                            continue;
                        QCOMPARE(IniFile::value(written, otherGroup, otherKey),
                                 IniFile::value(file, otherGroup, otherKey));
                    }
                }
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestIniFile)

#include "tst_inifile.moc"
