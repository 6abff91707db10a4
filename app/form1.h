#pragma once

// The main window and everything its commands share: the three number lists,
// the option boxes, the busy pointer and the platform layer. Each subsystem
// defines its own handlers (validation/, input/, export/).

#include "app/list/keycodes.h"
#include "app/list/listview.h"
#include "app/skinengine.h"
#include "app/yielder.h"
#include "platform/errorreport.h"
#include "platform/platform.h"

#include <QCursor>
#include <QWidget>

#include <functional>

class QCheckBox;
class QGroupBox;
class QPushButton;

// Values of Form1::MousePointer.
namespace Pointer {
inline constexpr int Default = 0;
inline constexpr int Hourglass = 11; // the window is busy
inline constexpr int Custom = 99;    // MouseIcon
} // namespace Pointer

class Form1 final : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(Platform &platform, QWidget *parent = nullptr);
    ~Form1() override;

    Platform &platform() const { return m_platform; }

    // Controls, named as the handlers know them.
    ListView *ListView1 = nullptr; // input list
    ListView *ListView2 = nullptr; // valid numbers
    ListView *ListView3 = nullptr; // invalid numbers
    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *PushButton3 = nullptr;
    QPushButton *PushButton4 = nullptr;
    QPushButton *PushButton5 = nullptr;
    QPushButton *PushButton6 = nullptr;
    QPushButton *PushButton7 = nullptr;
    QPushButton *PushButton8 = nullptr;
    QPushButton *PushButton9 = nullptr;
    QPushButton *PushButton10 = nullptr;
    QPushButton *PushButton11 = nullptr;
    QPushButton *PushButton12 = nullptr;
    QPushButton *PushButton13 = nullptr;
    QPushButton *PushButton17 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check3 = nullptr;
    FileDialogSettings CommonDialog1; // shared by the open and save commands
    SkinEngine SkinFramework1;

    // Option box value: 0 off, 1 on, 2 greyed. Setting a new value runs the
    // box's click handler; a value other than 0, 1 or 2 throws Failure.
    static int CheckValue(const QCheckBox *box);
    static void SetCheckValue(QCheckBox *box, int value);

    // Window pointer: 0 default, 11 hourglass (busy), 99 MouseIcon.
    int MousePointer() const { return m_mousePointer; }
    void SetMousePointer(int value);
    bool IsBusy() const { return m_mousePointer == Pointer::Hourglass; }
    QCursor MouseIcon;
    bool HasMouseIcon = false;

    // Long commands call this per entry; it yields to the event loop about
    // every 20 ms and throws CommandAborted once the window is closing.
    void DoEvents();
    Yielder &yielder() { return m_yielder; }
    bool IsUnloading() const { return m_unloading; }

    // Start-up and shutdown.
    void Form_Load();
    void Form_Unload();
    void SetAppTitle();
    void OpenHomePageByChance();
    void ApplySkin();
    // Loads a cursor file (.cur) as MouseIcon; throws Failure when it cannot be read.
    void LoadMouseIcon(const QString &fileName);
    // Pure part of SetAppTitle.
    static QString ShortAppTitle(const QString &productName);
    // Pure part of OpenHomePageByChance: the 1..100 draw for a timer value.
    static int HomePageDraw(double secondsSinceMidnight);

    // Settings store.
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();

    // Look and feel: hover handlers of the buttons, pointer reset elsewhere.
    void PushButton_MouseMove();
    void ResetPointer_MouseMove();

    // Validation run and result lists.
    void PushButton17_Click(); // Start Validating
    void PushButton2_Click();  // Clear Results (valid)
    void PushButton9_Click();  // Clear Results (invalid)
    void ListView2_KeyDown(int keyCode, int shift);
    void ListView2_DblClick();
    void ListView3_KeyDown(int keyCode, int shift);
    void ListView3_DblClick();
    void PushButton5_Click(); // Help

    // Input list.
    void PushButton6_Click();  // Add Phone Number or Numbers
    void PushButton12_Click(); // Load Sample/Example Numbers
    void PushButton1_Click();  // Clear List
    void ListView1_KeyDown(int keyCode, int shift);
    void ListView1_DblClick();
    void PushButton3_Click(); // Load Numbers From Text File
    // Paste, drops and copy.
    void ListView1_Paste();                          // Ctrl+V, Shift+Insert, "Paste"
    void PasteText(const QString &text);             // dropped text, as a paste
    void LoadDroppedFiles(const QStringList &paths); // as PushButton3_Click with these files
    void ListView1_Copy();
    void ListView2_Copy();
    void ListView3_Copy();

    // Exports.
    void PushButton4_Click();  // Save Results As Text File (valid)
    void PushButton8_Click();  // Save Results As Text File (invalid)
    void PushButton10_Click(); // Copy Results To Clipboard (valid)
    void PushButton11_Click(); // Copy Results To Clipboard (invalid)
    void PushButton13_Click(); // Save Results As Excel File (valid)
    void PushButton7_Click();  // Save Results As Excel File (invalid)
    bool SaveResultsAsExcelFileIsExcelInstalled();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void connectHandlers();
    // Runs a handler from an event; a command unwound by closing ends here,
    // and a failure the handler did not report itself is shown in a box.
    void run(const std::function<void()> &handler);
    void removeSelectedEntry(ListView *list); // shared by the removal handlers
    void connectPasteAndDrops();

    Platform &m_platform;
    Yielder m_yielder;
    int m_mousePointer = Pointer::Default;
    bool m_unloading = false;
};
