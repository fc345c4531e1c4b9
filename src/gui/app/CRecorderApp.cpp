#include "gui/app/CRecorderApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

#include "gui/app/CMainFrame.h"
#include "gui/app/InstanceChannel.h"
#include "gui/app/SignalWatcher.h"

namespace tapewell::gui {

void InstallTranslations(QCoreApplication& app) {
    const QLocale locale;
    if (locale.language() != QLocale::Korean) {
        return;
    }
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qtTexts);
    }
    // An installed copy next to the program wins over the one built in, so a
    // corrected translation can be dropped into share/tapewell/translations
    // without rebuilding; a missing or unreadable copy falls back to :/i18n.
    auto* ours = new QTranslator(&app);
    const QString installed =
        QCoreApplication::applicationDirPath() + "/../share/tapewell/translations";
    if (ours->load(locale, "tapewell", "_", installed) ||
        ours->load(locale, "tapewell", "_", ":/i18n")) {
        QCoreApplication::installTranslator(ours);
    }
}

CRecorderApp::CRecorderApp(ProfileStore& profile, StartCommand start, QString socketPath)
    : m_profile(profile), m_start(std::move(start)), m_socketPath(std::move(socketPath)) {}

CRecorderApp::~CRecorderApp() = default;

void CRecorderApp::Start() {
    m_frame = std::make_unique<CMainFrame>(m_profile);
    m_signals = new SignalWatcher(this);
    connect(m_signals, &SignalWatcher::Received, m_frame.get(),
            [frame = m_frame.get()](int) { frame->ExitWithoutQuestions(); });
    m_frame->ShowAtSavedPosition();
    if (!m_socketPath.isEmpty()) {
        m_server = new InstanceServer(
            [frame = m_frame.get()](int32_t mode, const QString& text) {
                frame->OpenFromCommand(mode, text);
                frame->BringToFront();
            },
            this);
        QString error;
        if (!m_server->Listen(m_socketPath, &error)) {
            std::fprintf(stderr, "tapewell: later starts cannot hand their items over: %s\n",
                         error.toLocal8Bit().constData());
        }
    }
    m_frame->OpenFromCommand(m_start.mode, QString::fromStdString(m_start.item));
}

}  // namespace tapewell::gui
