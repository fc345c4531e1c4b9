#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QTime>

#include <optional>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace tapewell::gui {

// "Schedule": when one row is to be recorded without anyone pressing
// Record: a start (date and time, to the minute), how long (hours and
// minutes; 00:00 records until the stream or the limits end it) and
// whether it repeats. A start that has passed is refused with a message
// and the dialog stays open. Ends Accepted with the values in Result(),
// kRemove ("Remove Schedule", offered when the row has a schedule), or
// Rejected.
class ScheduleDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRemove = 2;
    // The Repeat combo's entries, in order.
    enum Repeat { kOnce = 0, kDaily = 1, kWeekly = 2 };

    struct Values {
        QDateTime start;
        int durationMinutes = 0;
        Repeat repeat = kOnce;
    };

    // rowName names the row in the dialog; existing is the row's schedule
    // when it has one (shown, with "Remove Schedule").
    ScheduleDialog(const QString& rowName, const std::optional<Values>& existing,
                   QWidget* parent = nullptr);

    Values Result() const;
    // The first full hour after now: the start offered for a new schedule.
    static QDateTime NextFullHour(const QDateTime& now);

    QDateTimeEdit* StartEdit() const { return m_start; }
    QTimeEdit* DurationEdit() const { return m_duration; }
    QComboBox* RepeatCombo() const { return m_repeat; }
    QPushButton* OkButton() const { return m_ok; }
    // nullptr when the row has no schedule.
    QPushButton* RemoveButton() const { return m_remove; }

    void accept() override;

private:
    QDateTimeEdit* m_start;
    QTimeEdit* m_duration;
    QComboBox* m_repeat;
    QPushButton* m_ok = nullptr;
    QPushButton* m_remove = nullptr;
};

// "Streams": which of a stream's ASF streams the selected rows record: all
// of them, the audio or the video streams, the best video and audio, or
// the stream numbers typed ("1,3"). Numbers that do not read as such keep
// the dialog open and say why under the field.
class StreamsDialog : public QDialog {
    Q_OBJECT
public:
    // The choice combo's entries, in order.
    enum Entry { kAll = 0, kAudio = 1, kVideo = 2, kBest = 3, kNumbers = 4 };

    // subject names the row or rows; current is their stream text now
    // ("all", "audio", "1,3"; "" is all).
    StreamsDialog(const QString& subject, const QString& current, QWidget* parent = nullptr);

    // The chosen streams as the store keeps them ("all", "video", "1,3").
    QString Result() const { return m_result; }

    QComboBox* ChoiceCombo() const { return m_choice; }
    QLineEdit* NumbersEdit() const { return m_numbers; }
    // Why the typed numbers were refused; hidden while there is nothing to say.
    QLabel* ErrorLabel() const { return m_error; }
    QPushButton* OkButton() const { return m_ok; }

    void accept() override;

private:
    void ChoiceChanged();

    QComboBox* m_choice;
    QLineEdit* m_numbers;
    QLabel* m_error;
    QPushButton* m_ok = nullptr;
    QString m_result;
};

}  // namespace tapewell::gui
