#include "app/list/listaccessible.h"

#include "app/list/listview.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

#include <deque>
#include <mutex>
#include <type_traits>
#include <utility>

namespace {

// A row read aloud is cut here: a text of a megabyte is no help to a listener.
constexpr qsizetype kMaxSpokenChars = 4096;

// Row objects kept at most. A screen reader holds on to a few rows (the one
// it reads, the focused one); one that walks the whole list gets the rows it
// visited long ago made anew. Their ids are not reused before billions more
// have been handed out, so a forgotten id reads as gone, never as another row.
constexpr qsizetype kMaxKeptRows = 4096;

class ListAccessible;

// One row, made when asked for and dropped when the rows change.
class RowAccessible final : public QAccessibleInterface
{
public:
    RowAccessible(ListView *view, int row) : m_view(view), m_row(row) {}

    bool isValid() const override { return m_view && m_row < m_view->listModel()->rowCount(); }
    QObject *object() const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_view); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString &) override {}

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        const EntryText text = m_view->listModel()->text(m_row);
        return text.visit([](auto view) {
            if constexpr (std::is_same_v<decltype(view), QStringView>)
                return view.left(kMaxSpokenChars).toString();
            else
                return QString(view.left(kMaxSpokenChars));
        });
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_view->visualRect(m_view->listModel()->index(m_row, 0));
        const QWidget *viewport = m_view->viewport();
        return QRect(viewport->mapToGlobal(r.topLeft()), r.size())
            .intersected(QRect(viewport->mapToGlobal(QPoint(0, 0)), viewport->size()));
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        const QModelIndex index = m_view->listModel()->index(m_row, 0);
        s.selected = m_view->selectionModel()->isSelected(index);
        s.focused = m_view->hasFocus() && m_view->currentIndex().row() == m_row;
        const QRect r = m_view->visualRect(index);
        s.invisible = !r.intersects(m_view->viewport()->rect());
        s.offscreen = s.invisible;
        return s;
    }

    int row() const { return m_row; }

private:
    QPointer<ListView> m_view;
    int m_row;
};

// The list itself. Rows visited are remembered by id until the rows change
// under them, or until more than kMaxKeptRows are remembered.
class ListAccessible final : public QAccessibleWidget
{
public:
    explicit ListAccessible(ListView *view) : QAccessibleWidget(view, QAccessible::List)
    {
        NumberListModel *model = view->listModel();
        // Rows before a change keep their objects: appending leaves alone the
        // row a screen reader is reading.
        const auto dropFrom = [this](const QModelIndex &, int first, int) { dropRows(first); };
        const auto dropAll = [this] { dropRows(0); };
        m_connections = {
            QObject::connect(model, &QAbstractItemModel::rowsInserted, view, dropFrom),
            QObject::connect(model, &QAbstractItemModel::rowsRemoved, view, dropFrom),
            QObject::connect(model, &QAbstractItemModel::modelReset, view, dropAll),
            QObject::connect(model, &QAbstractItemModel::layoutChanged, view, dropAll),
        };
    }
    // Rows still remembered are left to the accessibility cache: this runs
    // while the cache itself may be clearing up.
    ~ListAccessible() override
    {
        for (const QMetaObject::Connection &c : m_connections)
            QObject::disconnect(c);
    }

    ListView *view() const { return static_cast<ListView *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            text = view()->listModel()->columnTitle(0);
        return text;
    }

    int childCount() const override { return view()->listModel()->rowCount(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (const auto it = m_rows.constFind(index); it != m_rows.cend()) {
            if (QAccessibleInterface *known = QAccessible::accessibleInterface(*it))
                return known;
            std::erase(m_order, index); // its object went; it is made anew below
        }
        if (m_rows.size() >= kMaxKeptRows)
            forgetOldRows();
        auto *row = new RowAccessible(view(), index);
        m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
        m_order.push_back(index);
        return row;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || child->role() != QAccessible::ListItem || child->parent() != this)
            return -1;
        const int row = static_cast<const RowAccessible *>(child)->row();
        return row < childCount() ? row : -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = view()->indexAt(at);
        return index.isValid() ? child(index.row()) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        if (!view()->hasFocus() || !current.isValid())
            return nullptr;
        return child(current.row());
    }

    // Called when the rows from `first` on change: their remembered objects
    // no longer stand for the same entries.
    void dropRows(int first)
    {
        if (first <= 0) {
            const QHash<int, QAccessible::Id> rows = std::exchange(m_rows, {});
            m_order.clear();
            for (const QAccessible::Id id : rows)
                QAccessible::deleteAccessibleInterface(id);
            return;
        }
        std::erase_if(m_order, [first](int row) { return row >= first; });
        for (auto it = m_rows.begin(); it != m_rows.end();) {
            if (it.key() >= first) {
                QAccessible::deleteAccessibleInterface(it.value());
                it = m_rows.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    // Forgets the oldest half of the remembered rows, except the current one.
    void forgetOldRows() const
    {
        const int current = view()->currentIndex().row();
        std::deque<int> kept;
        while (!m_order.empty()) {
            const int row = m_order.front();
            m_order.pop_front();
            if (row == current || m_rows.size() <= kMaxKeptRows / 2) {
                kept.push_back(row);
                continue;
            }
            QAccessible::deleteAccessibleInterface(m_rows.take(row));
        }
        m_order = std::move(kept);
    }

    mutable QHash<int, QAccessible::Id> m_rows;
    mutable std::deque<int> m_order; // the remembered rows, oldest first
    QList<QMetaObject::Connection> m_connections;
};

QAccessibleInterface *listFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1StringView("ListView")) {
        if (auto *view = qobject_cast<ListView *>(object))
            return new ListAccessible(view);
    }
    // The main window is a plain widget, which would pass for a filler.
    if (className == QLatin1StringView("Form1"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

void notify(ListView *view, const QModelIndex &index, QAccessible::Event type)
{
    if (!QAccessible::isActive() || !index.isValid())
        return;
    QAccessibleEvent event(view, type);
    event.setChild(index.row());
    QAccessible::updateAccessibility(&event);
}

} // namespace

void InstallListAccessibility()
{
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(listFactory); });
}

void NotifyListCurrentChanged(ListView *view, const QModelIndex &current)
{
    if (view->hasFocus())
        notify(view, current, QAccessible::Focus);
}

void NotifyListFocused(ListView *view)
{
    if (!QAccessible::isActive())
        return;
    // After the list's own focus, which is told once this event is handled:
    // the screen reader ends on the row.
    QMetaObject::invokeMethod(
        view, [view] { NotifyListCurrentChanged(view, view->currentIndex()); }, Qt::QueuedConnection);
}

void NotifyListSelectionChanged(ListView *view, const QModelIndex &selected)
{
    notify(view, selected, QAccessible::Selection);
}
