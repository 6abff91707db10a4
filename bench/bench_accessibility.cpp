// What the lists' accessibility costs at ten million entries. Appending and
// clearing with no assistive technology and with one listening (Qt's
// accessibility layer switched on, its events counted instead of sent over
// D-Bus); then a screen reader's questions: the row count, rows near the
// end, a walk over rows; and the memory the visited rows keep.
//
//     bench_accessibility [entries]

#include "app/list/listview.h"
#include "benchsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <algorithm>
#include <cstdio>

namespace {

qsizetype g_events = 0;

void countEvent(QAccessibleEvent *)
{
    ++g_events;
}

bool setListening(bool on)
{
    QPlatformIntegration *integration = QGuiApplicationPrivate::platformIntegration();
    if (!integration || !integration->accessibility())
        return false;
    integration->accessibility()->setActive(on);
    return QAccessible::isActive() == on;
}

// Appends texts of 13 characters, such as "1-800-0001234", `batch` at a time.
void fill(NumberListModel *model, qsizetype entries, qsizetype batch)
{
    char16_t text[13] = {u'1', u'-', u'8', u'0', u'0', u'-'};
    for (qsizetype i = 0; i < entries;) {
        NumberListModel::Batch bracket(*model);
        for (const qsizetype end = std::min(entries, i + batch); i < end; ++i) {
            qsizetype n = i;
            for (int d = 12; d >= 6; --d, n /= 10)
                text[d] = char16_t(u'0' + n % 10);
            model->append(QStringView(text, 13));
        }
    }
}

struct Clock
{
    QElapsedTimer wall;
    double cpu = threadCpuSeconds();
    Clock() { wall.start(); }
    void report(const char *stage, qsizetype calls = 0)
    {
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        const double cpuSeconds = threadCpuSeconds() - cpu;
        std::printf("%-44s %9.3f s wall %9.3f s CPU", stage, seconds, cpuSeconds);
        if (calls > 0)
            std::printf("   %9.2f us/call", cpuSeconds * 1e6 / double(calls));
        std::printf("   events %7lld   RSS %7.1f MiB   peak %7.1f MiB\n", static_cast<long long>(g_events),
                    statusMiB("VmRSS"), peakRssMiB());
        g_events = 0;
    }
};

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    preferOffscreen();
    QApplication app(argc, argv);
    const qsizetype entries = countArgument(argc, argv, 1, 10'000'000);
    const int rows = int(entries);

    ListView list;
    list.ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
    list.resize(520, 137);
    list.show();
    NumberListModel *model = list.listModel();
    QAccessible::installUpdateHandler(countEvent);
    std::printf("entries: %lld\n", static_cast<long long>(entries));

    for (const bool listening : {false, true}) {
        if (!setListening(listening)) {
            std::printf("cannot switch the accessibility layer %s\n", listening ? "on" : "off");
            return 1;
        }
        const char *who = listening ? "listening" : "none";
        char stage[64];
        {
            Clock clock;
            fill(model, entries, entries);
            std::snprintf(stage, sizeof stage, "append, one batch (%s)", who);
            clock.report(stage);
        }
        {
            Clock clock;
            model->clear();
            std::snprintf(stage, sizeof stage, "clear (%s)", who);
            clock.report(stage);
        }
        {
            Clock clock;
            fill(model, entries, 10'000);
            std::snprintf(stage, sizeof stage, "append, batches of 10,000 (%s)", who);
            clock.report(stage);
        }
        if (!listening) {
            Clock clock;
            model->clear();
            std::snprintf(stage, sizeof stage, "clear (%s)", who);
            clock.report(stage);
        }
    }

    // A screen reader's questions, with the layer on and the list full.
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&list);
    list.SetSelectedIndex(entries);
    {
        Clock clock;
        qsizetype sum = 0;
        for (int i = 0; i < 1'000'000; ++i)
            sum += iface->childCount();
        clock.report("row count, 1,000,000 times", 1'000'000);
        if (sum != qsizetype(rows) * 1'000'000)
            return 1;
    }
    const double before = statusMiB("VmRSS");
    qsizetype chars = 0;
    {
        Clock clock;
        for (int row = rows - 1000; row < rows; ++row) {
            QAccessibleInterface *child = iface->child(row);
            chars += child->text(QAccessible::Name).size();
            chars += child->state().selected ? 1 : 0;
        }
        clock.report("last 1,000 rows: object, name, state", 1000);
    }
    {
        Clock clock;
        for (int row = rows - 1000; row < rows; ++row)
            chars += iface->child(row)->text(QAccessible::Name).size();
        clock.report("the same rows again (kept objects)", 1000);
    }
    {
        Clock clock;
        for (int row = 0; row < 1000; ++row) {
            QAccessibleInterface *child = iface->child(row);
            chars += child->text(QAccessible::Name).size() + iface->indexOfChild(child);
        }
        clock.report("walk of rows 1..1,000 from the start", 1000);
    }
    {
        Clock clock;
        const int walk = std::min(rows, 1'000'000);
        for (int row = 0; row < walk; ++row)
            chars += iface->child(row)->text(QAccessible::Name).size();
        clock.report("walk of the first 1,000,000 rows", walk);
    }
    std::printf("RSS before the visits %.1f MiB, after %.1f MiB\n", before, statusMiB("VmRSS"));
    {
        Clock clock;
        model->clear();
        clock.report("clear (listening, rows visited)");
    }
    setListening(false);
    QAccessible::installUpdateHandler(nullptr);
    return chars > 0 ? 0 : 1;
}
