#pragma once

// What a screen reader sees of a number list: a list named by its column
// title whose rows are made only when an assistive technology asks for them.

class QModelIndex;
class ListView;

// Makes the lists, and the main window as a window, answer assistive
// technologies; safe to call many times.
void InstallListAccessibility();

// Tells a running assistive technology that the current or selected entry of
// the list changed. Costs one test when none runs.
void NotifyListCurrentChanged(ListView *view, const QModelIndex &current);
void NotifyListSelectionChanged(ListView *view, const QModelIndex &selected);
// Tells it which entry is current once the list has taken the focus.
void NotifyListFocused(ListView *view);
