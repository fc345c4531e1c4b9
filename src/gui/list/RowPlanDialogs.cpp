#include "gui/list/RowPlanDialogs.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "asf/StreamSelection.h"
#include "gui/app/UiPrompt.h"

namespace tapewell::gui {
namespace {

// Plans are kept to the minute; the two fields show just that, in the
// order people read a time stamp, whatever the locale's own format.
constexpr const char* kStartFormat = "yyyy-MM-dd HH:mm";
constexpr const char* kDurationFormat = "HH:mm";
// Long addresses are cut in the middle; the tool tip has all of it.
constexpr int kSubjectChars = 60;
// Room for the fields and a two-line note without crowding.
constexpr int kDialogWidth = 380;

QLabel* SubjectLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName("subject");
    const QFontMetrics metrics = label->fontMetrics();
    label->setText(
        metrics.elidedText(text, Qt::ElideMiddle, kSubjectChars * metrics.averageCharWidth()));
    label->setToolTip(text);
    label->setTextFormat(Qt::PlainText);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QDialogButtonBox* OkCancel(QDialog* dialog, QPushButton** ok) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    *ok = buttons->button(QDialogButtonBox::Ok);
    (*ok)->setText(ScheduleDialog::tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(ScheduleDialog::tr("Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QDateTime ToTheMinute(QDateTime time) {
    const QTime clock = time.time();
    time.setTime(QTime(clock.hour(), clock.minute()));
    return time;
}

}  // namespace

ScheduleDialog::ScheduleDialog(const QString& rowName, const std::optional<Values>& existing,
                               QWidget* parent)
    : QDialog(parent),
      m_start(new QDateTimeEdit(this)),
      m_duration(new QTimeEdit(this)),
      m_repeat(new QComboBox(this)) {
    setObjectName("scheduleDialog");
    setWindowTitle(tr("Schedule"));
    setMinimumWidth(kDialogWidth);
    m_start->setObjectName("start");
    m_start->setDisplayFormat(kStartFormat);
    m_start->setCalendarPopup(true);
    m_start->setDateTime(existing ? ToTheMinute(existing->start)
                                  : NextFullHour(QDateTime::currentDateTime()));
    m_duration->setObjectName("duration");
    m_duration->setDisplayFormat(kDurationFormat);
    m_duration->setTime(QTime(0, 0).addSecs(existing ? existing->durationMinutes * 60 : 0));
    m_repeat->setObjectName("repeat");
    m_repeat->addItems({tr("Once"), tr("Daily"), tr("Weekly")});
    m_repeat->setCurrentIndex(existing ? existing->repeat : kOnce);

    auto* form = new QFormLayout;
    auto* startLabel = new QLabel(tr("Start :"), this);
    startLabel->setBuddy(m_start);
    form->addRow(startLabel, m_start);
    auto* durationLabel = new QLabel(tr("Duration :"), this);
    durationLabel->setBuddy(m_duration);
    form->addRow(durationLabel, m_duration);
    auto* repeatLabel = new QLabel(tr("Repeat :"), this);
    repeatLabel->setBuddy(m_repeat);
    form->addRow(repeatLabel, m_repeat);
    auto* note = new QLabel(tr("A duration of 00:00 records until the stream ends or a limit of "
                               "the preferences stops it."),
                            this);
    note->setObjectName("durationNote");
    note->setWordWrap(true);

    QDialogButtonBox* buttons = OkCancel(this, &m_ok);
    if (existing) {
        m_remove = buttons->addButton(tr("Remove Schedule"), QDialogButtonBox::DestructiveRole);
        m_remove->setObjectName("removeSchedule");
        connect(m_remove, &QPushButton::clicked, this, [this] { done(kRemove); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SubjectLabel(rowName, this));
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addStretch(1);
    layout->addWidget(buttons);
    m_start->setFocus();
}

QDateTime ScheduleDialog::NextFullHour(const QDateTime& now) {
    const QDateTime hour = ToTheMinute(now).addSecs(-60 * now.time().minute());
    return hour.addSecs(3600);
}

ScheduleDialog::Values ScheduleDialog::Result() const {
    Values values;
    values.start = ToTheMinute(m_start->dateTime());
    const QTime duration = m_duration->time();
    values.durationMinutes = duration.hour() * 60 + duration.minute();
    values.repeat = static_cast<Repeat>(m_repeat->currentIndex());
    return values;
}

void ScheduleDialog::accept() {
    // A start that has passed would be missed at once, or for a repeating
    // plan would silently move to its next turn.
    const QDateTime start = Result().start;
    if (start < QDateTime::currentDateTime()) {
        UiPrompt::Instance().Tell(
            this, QMessageBox::Warning,
            tr("The start %1 has passed. Choose a later time.").arg(start.toString(kStartFormat)));
        m_start->setFocus();
        return;
    }
    QDialog::accept();
}

StreamsDialog::StreamsDialog(const QString& subject, const QString& current, QWidget* parent)
    : QDialog(parent),
      m_choice(new QComboBox(this)),
      m_numbers(new QLineEdit(this)),
      m_error(new QLabel(this)) {
    setObjectName("streamsDialog");
    setWindowTitle(tr("Streams"));
    setMinimumWidth(kDialogWidth);
    m_choice->setObjectName("choice");
    m_choice->addItems({tr("All streams"), tr("Audio only"), tr("Video only"),
                        tr("Best video and audio"), tr("Stream numbers:")});
    m_numbers->setObjectName("numbers");
    m_numbers->setPlaceholderText(tr("for example 1,2"));
    m_error->setObjectName("error");
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    QPalette warning = m_error->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    m_error->setPalette(warning);
    m_error->hide();

    const ErrorOr<StreamChoice> choice = ParseStreamChoice(current.toStdString());
    int entry = kNumbers;
    if (choice) {
        switch (choice->kind) {
            case StreamChoice::Kind::All:
                entry = kAll;
                break;
            case StreamChoice::Kind::Audio:
                entry = kAudio;
                break;
            case StreamChoice::Kind::Video:
                entry = kVideo;
                break;
            case StreamChoice::Kind::Best:
                entry = kBest;
                break;
            case StreamChoice::Kind::Numbers:
                m_numbers->setText(QString::fromStdString(StreamChoiceText(*choice)));
                break;
        }
    } else {
        m_numbers->setText(current);  // kept as found, for the user to mend
    }
    m_choice->setCurrentIndex(entry);

    auto* numbersRow = new QHBoxLayout;
    numbersRow->addWidget(m_choice);
    numbersRow->addWidget(m_numbers, 1);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(tr("Streams to record of %1:").arg(subject), this);
    label->setObjectName("subject");
    label->setTextFormat(Qt::PlainText);
    label->setToolTip(subject);
    layout->addWidget(label);
    layout->addLayout(numbersRow);
    layout->addWidget(m_error);
    layout->addStretch(1);
    layout->addWidget(OkCancel(this, &m_ok));

    ChoiceChanged();
    connect(m_choice, &QComboBox::currentIndexChanged, this, [this] {
        ChoiceChanged();
        // Picking "Stream numbers:" is followed by typing them.
        if (m_choice->currentIndex() == kNumbers) {
            m_numbers->setFocus();
        }
    });
    connect(m_numbers, &QLineEdit::textEdited, m_error, &QWidget::hide);
    m_choice->setFocus();
}

void StreamsDialog::ChoiceChanged() {
    const bool numbers = m_choice->currentIndex() == kNumbers;
    m_numbers->setEnabled(numbers);
    m_error->hide();
}

void StreamsDialog::accept() {
    switch (m_choice->currentIndex()) {
        case kAudio:
            m_result = "audio";
            break;
        case kVideo:
            m_result = "video";
            break;
        case kBest:
            m_result = "best";
            break;
        case kNumbers: {
            const QString typed = m_numbers->text().trimmed();
            const ErrorOr<StreamChoice> choice = ParseStreamChoice(typed.toStdString());
            QString reason;
            if (typed.isEmpty()) {
                reason = tr("Type the numbers of the streams to record, such as 1,2.");
            } else if (!choice) {
                reason = tr("These streams cannot be chosen: %1.")
                             .arg(QString::fromStdString(choice.error().message));
            }
            if (!reason.isEmpty()) {
                m_error->setText(reason);
                m_error->show();
                adjustSize();  // the message's lines get their room
                m_numbers->setFocus();
                m_numbers->selectAll();
                return;
            }
            m_result = QString::fromStdString(StreamChoiceText(*choice));
            break;
        }
        default:
            m_result = "all";
            break;
    }
    QDialog::accept();
}

}  // namespace tapewell::gui
