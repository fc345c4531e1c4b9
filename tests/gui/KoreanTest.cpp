#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QMenuBar>

#include "app/RecordList.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CRecorderApp.h"
#include "gui/list/RecordListModel.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

TEST(Korean, TheListAndTheMenusSpeakKoreanUnderAKoreanLocale) {
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    InstallTranslations(*QCoreApplication::instance());

    RecordList list;
    RecordListModel model(list);
    const QStringList expected{"파일", "종류", "시간",        "재생",  "녹화",
                               "용량", "주소", "녹화된 파일", " 정보", "NS"};
    for (int column = 0; column < expected.size(); ++column) {
        EXPECT_EQ(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
                  expected[column]);
    }

    ProfileStore profile(ProfileStore::DefaultPath());
    CMainFrame frame(profile);
    const QList<QAction*> menus = frame.menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    EXPECT_EQ(menus.front()->text(), "파일(&F)");
    // Qt's own texts come in Korean too.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "예(&Y)");
}

}  // namespace
}  // namespace tapewell::gui
