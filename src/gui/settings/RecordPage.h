#pragma once

#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tapewell {
class AppSettings;
}

namespace tapewell::gui {

// The "Record" page of the preferences: the folder that receives
// recordings, the two confirmations, live time info, the size and time
// limits, how often a broken live recording reconnects, how many rows
// record at once, and the player agent sent in the MMS connect message,
// chosen from (or typed in addition to) the agents used before.
class RecordPage : public QWidget {
    Q_OBJECT
public:
    // agentHistory: the agents offered, oldest first (PlayerAgentHistory).
    RecordPage(const AppSettings& settings, const std::vector<std::string>& agentHistory,
               QWidget* parent = nullptr);

    // Copies the controls into settings and creates the base folder level by
    // level; a folder that cannot be created is kept as typed (recording
    // into it reports the failure), a blank one keeps the old folder. A
    // blank agent keeps the old agent too.
    void Apply(AppSettings& settings) const;
    // The combo box's entries in list order, for the agent history.
    std::vector<std::string> AgentEntries() const;

    QLineEdit* FolderEdit() const { return m_folder; }
    QPushButton* BrowseButton() const { return m_browse; }
    QCheckBox* OverwriteBox() const { return m_overwrite; }
    QCheckBox* ResumeBox() const { return m_resume; }
    QCheckBox* LiveTimeInfoBox() const { return m_liveTimeInfo; }
    QCheckBox* SizeLimitBox() const { return m_sizeLimit; }
    QSpinBox* MaxSizeSpin() const { return m_maxSize; }
    QCheckBox* TimeLimitBox() const { return m_timeLimit; }
    QSpinBox* MinutesSpin() const { return m_minutes; }
    QSpinBox* SecondsSpin() const { return m_seconds; }
    QSpinBox* ReconnectSpin() const { return m_reconnectTries; }
    QSpinBox* ConcurrentSpin() const { return m_concurrent; }
    QComboBox* AgentCombo() const { return m_agent; }

private:
    void Browse();
    void FillAgents(const std::vector<std::string>& history, const std::string& current);
    void UpdateLimitControls();

    QLineEdit* m_folder;
    QPushButton* m_browse;
    QCheckBox* m_overwrite;
    QCheckBox* m_resume;
    QCheckBox* m_liveTimeInfo;
    QCheckBox* m_sizeLimit;
    QSpinBox* m_maxSize;
    QLabel* m_sizeUnit;
    QCheckBox* m_timeLimit;
    QSpinBox* m_minutes;
    QLabel* m_minutesUnit;
    QSpinBox* m_seconds;
    QLabel* m_secondsUnit;
    QSpinBox* m_reconnectTries;
    QSpinBox* m_concurrent;
    QComboBox* m_agent;
};

}  // namespace tapewell::gui
