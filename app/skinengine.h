#pragma once

#include <QString>

class QWidget;

// A small skin engine: a skin file is a Qt style sheet that is applied to a
// window and its controls. The program drives it through five operations, in
// the order ApplySkin calls them.
class SkinEngine
{
public:
    // 1: reads the skin from a file (the second text names a section; unused).
    void LoadSkin(const QString &fileName, const QString &section);
    // 2: option bits; bit 0 lets the skin restyle the window's frame colours.
    int ApplicationOptions() const { return m_options; }
    void SetApplicationOptions(int options) { m_options = options; }
    // 3 and 4: two switches, both needed for controls created later to follow.
    void SetApplyToNewControls(bool on) { m_applyToNewControls = on; }
    void SetApplyToPopups(bool on) { m_applyToPopups = on; }
    // 5: applies the loaded skin to a window and its controls.
    void ApplyWindow(QWidget *window);

    bool isLoaded() const { return !m_styleSheet.isEmpty(); }
    const QString &styleSheet() const { return m_styleSheet; }
    bool applyToNewControls() const { return m_applyToNewControls; }
    bool applyToPopups() const { return m_applyToPopups; }

private:
    QString m_styleSheet;
    int m_options = 0;
    bool m_applyToNewControls = false;
    bool m_applyToPopups = false;
};
