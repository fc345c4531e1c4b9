#pragma once

#include <QWidget>

#include <array>

class QCheckBox;

namespace tapewell::gui {

// The "Play" page of the preferences sheet: which file types and address
// schemes open in Tapewell, one tri-state box per group of extensions.
class PlayPage : public QWidget {
    Q_OBJECT
public:
    // Reads the current state of every group from the XDG files.
    explicit PlayPage(QWidget* parent = nullptr);
    ~PlayPage() override;

    // Writes the groups whose box was clicked, and only those. A write that
    // fails is shown as one warning ("Could not register file types:
    // <reason>") through UiPrompt; the other groups are still written.
    // Returns false when something could not be written.
    bool Apply();

private:
    static constexpr size_t kGroupCount = 6;

    // Shows the state of every group as the XDG files have it now.
    void ReadStates();

    // In the order of FileAssociations::Groups().
    std::array<QCheckBox*, kGroupCount> m_boxes{};
    std::array<bool, kGroupCount> m_changed{};
};

}  // namespace tapewell::gui
