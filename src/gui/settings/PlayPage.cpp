#include "gui/settings/PlayPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <vector>

#include "gui/app/UiPrompt.h"
#include "settings/FileAssociations.h"

namespace tapewell::gui {
namespace {

// The box texts, in the order of FileAssociations::Groups().
const char* const kGroupTexts[] = {
    QT_TRANSLATE_NOOP("tapewell::gui::PlayPage", "Windows Media File(.asf, .asx, .wmx )"),
    QT_TRANSLATE_NOOP("tapewell::gui::PlayPage", "Windows Media Audio File( .wma, .wax )"),
    QT_TRANSLATE_NOOP("tapewell::gui::PlayPage", "Windows Media Audio/Video File(.wmv,wvx)"),
    QT_TRANSLATE_NOOP("tapewell::gui::PlayPage", "TV File( *.IBH )"),
    QT_TRANSLATE_NOOP("tapewell::gui::PlayPage", "Video File( avi )"),
    QT_TRANSLATE_NOOP("tapewell::gui::PlayPage", "Movie File( mpg, mpeg )"),
};

// Groups are written in this order (indexes into Groups()): the three
// Windows Media groups first, the record lists last. Every unticked group
// is given back before any ticked one is registered: the playlist type is
// shared by three groups, and a box the user ticked must not lose it to a
// box unticked in the same OK.
constexpr size_t kApplyOrder[] = {0, 1, 2, 4, 5, 3};

// A click on a partly registered group unticks it rather than completing
// it, so that the user can always give every file of the group back first;
// the next clicks tick and untick as usual.
class GroupBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
    }
};

Qt::CheckState ToCheckState(int state) {
    switch (state) {
        case 1:
            return Qt::Checked;
        case 2:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}

}  // namespace

PlayPage::PlayPage(QWidget* parent) : QWidget(parent) {
    setObjectName("playPage");
    static_assert(std::size(kGroupTexts) == kGroupCount);
    const auto& groups = FileAssociations::Groups();
    auto* layout = new QVBoxLayout(this);
    for (size_t i = 0; i < kGroupCount; ++i) {
        auto* box = new GroupBox(tr(kGroupTexts[i]), this);
        box->setObjectName(
            QStringLiteral("fileType_%1")
                .arg(QString::fromUtf8(groups[i].name.data(),
                                       static_cast<qsizetype>(groups[i].name.size()))));
        box->setTristate(true);
        connect(box, &QCheckBox::clicked, this, [this, i] { m_changed[i] = true; });
        layout->addWidget(box);
        m_boxes[i] = box;
    }
    layout->addSpacing(12);
    auto* note = new QLabel(
        tr("The playlists .asx, .wax, .wvx and .wmx are one file type, so ticking one of the "
           "first three boxes registers all of them and the other two show as partly ticked."),
        this);
    note->setObjectName("sharedTypesNote");
    note->setWordWrap(true);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    note->setFont(small);
    layout->addWidget(note);
    layout->addStretch();
    ReadStates();
}

PlayPage::~PlayPage() = default;

void PlayPage::ReadStates() {
    const FileAssociations associations(XdgPaths::FromEnvironment());
    const auto& groups = FileAssociations::Groups();
    for (size_t i = 0; i < kGroupCount; ++i) {
        m_boxes[i]->setCheckState(ToCheckState(associations.State(groups[i])));
        m_changed[i] = false;
    }
}

bool PlayPage::Apply() {
    bool anyChanged = false;
    for (bool changed : m_changed) {
        anyChanged = anyChanged || changed;
    }
    if (!anyChanged) {
        return true;
    }
    FileAssociations associations(XdgPaths::FromEnvironment());
    const auto& groups = FileAssociations::Groups();
    std::vector<std::string> reasons;
    for (const Qt::CheckState pass : {Qt::Unchecked, Qt::Checked}) {
        for (size_t i : kApplyOrder) {
            if (!m_changed[i] || m_boxes[i]->checkState() != pass) {
                continue;
            }
            auto done = pass == Qt::Checked ? associations.Register(groups[i])
                                            : associations.Restore(groups[i]);
            // Every group writes the same list, so one broken file gives the
            // same reason each time; it is shown once.
            if (!done &&
                std::find(reasons.begin(), reasons.end(), done.error().message) == reasons.end()) {
                reasons.push_back(done.error().message);
            }
        }
    }
    ReadStates();
    if (reasons.empty()) {
        return true;
    }
    QString reason;
    for (const auto& text : reasons) {
        reason += (reason.isEmpty() ? "" : "\n") + QString::fromStdString(text);
    }
    UiPrompt::Instance().Tell(this, QMessageBox::Warning,
                              tr("Could not register file types: %1").arg(reason));
    return false;
}

}  // namespace tapewell::gui
