#pragma once

#include "app/list/listitems.h"
#include "app/list/numberlistmodel.h"

#include <QAbstractItemView>
#include <QElapsedTimer>

#include <array>
#include <optional>

class QHeaderView;

// Sizes are designed in twips; 15 twips make one pixel.
inline int TwipsToPixels(int twips)
{
    return (twips + 7) / 15;
}

// Report-style list with a column header, built for millions of rows: every
// row has the same height and nothing is kept per row outside the model.
class ListView final : public QAbstractItemView
{
    Q_OBJECT

public:
    explicit ListView(std::shared_ptr<TextArena> arena = {}, QWidget *parent = nullptr);
    ~ListView() override;

    NumberListModel *listModel() const { return m_model; }
    QHeaderView *header() const { return m_header; }

    ListItemsCollection ListItems;
    ColumnHeadersCollection ColumnHeaders;

    // The current entry, or nothing when no entry is current.
    std::optional<ListItem> SelectedItem() const;
    void SetSelectedIndex(qsizetype index); // from 1; for keyboard and tests

    // Height of every row, in pixels.
    int rowHeight() const;

    // QAbstractItemView
    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void keyboardSearch(const QString &search) override;

    // Whether the list offers "Paste" (key and context menu); off by default.
    void setPasteEnabled(bool on) { m_pasteEnabled = on; }
    bool pasteEnabled() const { return m_pasteEnabled; }

signals:
    // Key code as the handlers know it (Delete is 46) and the shift state
    // (1 Shift, 2 Ctrl, 4 Alt).
    void KeyDown(int keyCode, int shift);
    void DblClick();
    void MouseMove();
    // Ctrl+C (or the context menu's "Copy"); the context menu's "Paste" while
    // pasting is enabled (the paste keys are the window's shortcut).
    void CopyRequested();
    void PasteRequested();

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

private:
    int fullyVisibleRows() const;
    int rowAt(int y) const; // may lie outside 0..rowCount-1
    void applyColumnWidths();
    void followSystemHeaderColours();
    void onColumnWidthChanged(int column, int twips);
    void onRowsChanged();
    bool clipboardKey(const QKeyEvent *event); // true when it was the copy key
    // The parts besides the rows that reset the window's pointer as well.
    std::array<QWidget *, 4> pointerResettingParts() const;

    NumberListModel *m_model;
    QHeaderView *m_header;
    bool m_inGeometryUpdate = false;
    QString m_search;          // type-ahead text
    QElapsedTimer m_searchAge; // since the last typed character
    bool m_pasteEnabled = false;
};
