#include "app/form1.h"
#include "platform/procedures.h"

#include "platform/appinfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QIcon>

#include <cmath>
#include <limits>
#include <random>

namespace {

// Converts a stored option text to a whole number, as a typed value would be:
// optional surrounding spaces, an optional sign and decimal digits, within
// the 16-bit range.
int toWholeNumber(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < trimmed.size() && (trimmed[pos] == QLatin1Char('+') || trimmed[pos] == QLatin1Char('-'))) {
        negative = trimmed[pos] == QLatin1Char('-');
        ++pos;
    }
    if (pos == trimmed.size())
        throw Failure(QStringLiteral("Type mismatch"));
    long value = 0;
    bool overflow = false;
    for (; pos < trimmed.size(); ++pos) {
        const QChar c = trimmed[pos];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            throw Failure(QStringLiteral("Type mismatch"));
        if (!overflow) {
            value = value * 10 + (c.unicode() - '0');
            overflow = value > 32768; // keep scanning: a later letter is still a mismatch
        }
    }
    if (negative)
        value = -value;
    if (overflow || value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw Failure(QStringLiteral("Overflow"));
    return int(value);
}

void restoreOption(Platform &platform, QCheckBox *box, const QString &key)
{
    const QString stored =
        platform.GetSetting(QStringLiteral("Tarvenco"), QStringLiteral("Quillory"), key, QStringLiteral("1"));
    Form1::SetCheckValue(box, toWholeNumber(stored));
}

} // namespace

// The icon sits in the program library's resources, which a static library
// only links in when they are asked for by name.
static void initResources()
{
    Q_INIT_RESOURCE(quillory);
}

void Form1::Form_Load()
{
    Guarded proc(platform(), Procedure::Form_Load);

    proc(102, [&] { ApplySkin(); });

    proc(106, [&] { setWindowTitle(AppInfo::productName()); });
    proc(106, [&] {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull()) {
            initResources();
            icon = QIcon(QStringLiteral(":/quillory.svg"));
        }
        setWindowIcon(icon);
    });
    proc(106, [&] { SetAppTitle(); });

    QString cursorFile;
    bool haveCursor = false;
    proc(108, [&] {
        cursorFile = platform().ProgramFolder() + QDir::separator() + QStringLiteral("HAND-M.CUR");
        haveCursor = FileExists(cursorFile);
    });
    if (haveCursor) // false too when step 108 failed: nothing sure to load then
        proc(110, [&] { LoadMouseIcon(cursorFile); });

    proc(112, [&] { OpenHomePageByChance(); });

    proc(130, [&] { ListView1->ColumnHeaders.Add(QStringLiteral("Phone Numbers")); });
    proc(132, [&] { ListView1->ColumnHeaders.Item(1).SetWidth(7000); });
    proc(134, [&] { ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers")); });
    proc(136, [&] { ListView2->ColumnHeaders.Item(1).SetWidth(7000); });
    proc(138, [&] { ListView3->ColumnHeaders.Add(QStringLiteral("Invalid Numbers")); });
    proc(140, [&] { ListView3->ColumnHeaders.Item(1).SetWidth(7000); });

    proc(142, [&] { restoreOption(platform(), Check1, QStringLiteral("Check1")); });
    proc(144, [&] { restoreOption(platform(), Check2, QStringLiteral("Check2")); });
    proc(146, [&] { restoreOption(platform(), Check3, QStringLiteral("Check3")); });
}

void Form1::SetAppTitle()
{
    // The application name is what the desktop lists the program under and
    // what untitled boxes show. The display name stays unset: Qt would add it
    // to the title of every other window.
    QCoreApplication::setApplicationName(ShortAppTitle(AppInfo::productName()));
}

QString Form1::ShortAppTitle(const QString &productName)
{
    QString title = productName;
    // The first cut is made even when the name is short enough already.
    do {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            break; // nothing left to cut at: keep what there is
        title.truncate(space);
    } while (title.size() > 40);
    return title;
}

int Form1::HomePageDraw(double secondsSinceMidnight)
{
    // Whole seconds seed the generator, so one start in a given second
    // always draws the same number.
    const double seconds = std::isfinite(secondsSinceMidnight) && secondsSinceMidnight > 0
        ? std::floor(secondsSinceMidnight)
        : 0.0;
    std::mt19937 generator(static_cast<std::uint32_t>(std::fmod(seconds, 4294967296.0)));
    const double r = double(generator()) / 4294967296.0; // 0 <= r < 1
    return int(r * 100) + 1;
}

void Form1::OpenHomePageByChance()
{
    if (HomePageDraw(platform().SecondsSinceMidnight()) != 7)
        return;
    platform().Shell(QStringLiteral("xdg-open"), {AppInfo::homePage()});
}
