#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QTabWidget>

#include "app/RecordList.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CRecorderApp.h"
#include "gui/list/RecordListModel.h"
#include "gui/settings/CaptureSetupDialog.h"
#include "gui/settings/PreferencesDialog.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

TEST(Korean, TheListAndTheMenusSpeakKoreanUnderAKoreanLocale) {
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    InstallTranslations(*QCoreApplication::instance());

    RecordList list;
    RecordListModel model(list);
    EXPECT_EQ(model.headerData(kColFile, Qt::Horizontal, Qt::DisplayRole).toString(), "파일");
    EXPECT_EQ(model.headerData(kColRecordingFile, Qt::Horizontal, Qt::DisplayRole).toString(),
              "녹화된 파일");

    ProfileStore profile(ProfileStore::DefaultPath());
    CMainFrame frame(profile);
    const QList<QAction*> menus = frame.menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    EXPECT_EQ(menus.front()->text(), "파일(&F)");
    // Qt's own texts come in Korean too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "예(&Y)");
}

TEST(Korean, TheSetupSheetAndTheCaptureDialogSpeakKorean) {
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    InstallTranslations(*QCoreApplication::instance());

    ProfileStore profile(ProfileStore::DefaultPath());
    AppSettings settings;
    PreferencesDialog sheet(settings, profile);
    EXPECT_EQ(sheet.windowTitle(), "설정");
    ASSERT_EQ(sheet.Tabs()->count(), 3);
    EXPECT_EQ(sheet.Tabs()->tabText(1), "녹화");
    EXPECT_EQ(sheet.Tabs()->tabText(2), "재생");
    auto* note = sheet.findChild<QLabel*>("sharedTypesNote");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().contains("재생 목록")) << note->text().toStdString();

    CaptureSetupDialog capture({CaptureAdapter{"lo", "", true, true}}, settings, profile);
    EXPECT_EQ(capture.windowTitle(), "어댑터 선택");
}

}  // namespace
}  // namespace tapewell::gui
