#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// A small skin engine: a skin file is a Qt style sheet that is applied to a
// window and its controls. The program drives it through five operations, in
// the order ApplySkin calls them; each call is noted in operations().
class SkinEngine
{
public:
    // 1: reads the skin (a UTF-8 style sheet) from a file; the second text
    // names a section and is unused. Throws Failure when the file cannot be
    // read, is not UTF-8 text or is a sheet Qt's style engine cannot parse.
    void LoadSkin(const QString &fileName, const QString &section);
    // 2: option bits; bit 0 switches skinning on. Without it ApplyWindow
    // leaves windows as they are.
    int ApplicationOptions() const { return m_options; }
    void SetApplicationOptions(int options);
    // 3: on, the skin is set on the window itself, so the window and every
    // control created later follow it; off, only the controls present when
    // ApplyWindow runs get it, one by one.
    void SetApplyToNewControls(bool on);
    // 4: on, popups parented to the window (menus, dialogs) follow the skin
    // too. With 3 on they always do: they inherit the window's sheet.
    void SetApplyToPopups(bool on);
    // 5: applies the loaded skin to a window and its controls. Throws Failure
    // when no skin was loaded.
    void ApplyWindow(QWidget *window);

    bool isLoaded() const { return m_loaded; }
    const QString &styleSheet() const { return m_styleSheet; }
    bool applyToNewControls() const { return m_applyToNewControls; }
    bool applyToPopups() const { return m_applyToPopups; }
    // The operations called so far, oldest first, e.g. "LoadSkin(/p/x/o.cjs, )".
    const QStringList &operations() const { return m_operations; }

private:
    QString m_styleSheet;
    bool m_loaded = false;
    int m_options = 0;
    bool m_applyToNewControls = false;
    bool m_applyToPopups = false;
    QStringList m_operations;
};
