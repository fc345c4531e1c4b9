#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace tapewell {
class AppSettings;
class ProfileStore;
}  // namespace tapewell

namespace tapewell::gui {

// The "Setup" page of the preferences: four program-wide options, and
// "&Delete recent files", which empties the recent address lists in the
// profile at once, whether the sheet is then confirmed or not.
class GeneralPage : public QWidget {
    Q_OBJECT
public:
    GeneralPage(const AppSettings& settings, ProfileStore& profile, QWidget* parent = nullptr);

    // Copies the four boxes into settings.
    void Apply(AppSettings& settings) const;

    QCheckBox* MultipleInstancesBox() const { return m_multipleInstances; }
    QCheckBox* SavePlayListBox() const { return m_savePlayList; }
    QCheckBox* SavePositionBox() const { return m_savePosition; }
    QCheckBox* ToolTipBox() const { return m_toolTips; }
    QPushButton* DeleteRecentButton() const { return m_deleteRecent; }

Q_SIGNALS:
    // The recent lists are gone from the profile; a copy held in memory
    // must be loaded again, or its next save would bring them back.
    void RecentFilesDeleted();

private:
    void AskDeleteRecent();
    void DeleteRecent();

    ProfileStore& m_profile;
    QCheckBox* m_multipleInstances;
    QCheckBox* m_savePlayList;
    QCheckBox* m_savePosition;
    QCheckBox* m_toolTips;
    QPushButton* m_deleteRecent;
};

}  // namespace tapewell::gui
