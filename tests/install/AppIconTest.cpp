// The window icon is the installed SVG drawing built into the program; without
// Qt's SVG plugins the painted copy stands in, so no window is left without
// an icon.
#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QImage>

#include "gui/app/AppIcon.h"

namespace tapewell::gui {
namespace {

// Points of the 16-unit drawing: dark blue tile above the reels, a gold hub
// at (4.5, 6.5), the light bar on row 12, a transparent rounded corner.
void ExpectTheDrawing(const QIcon& icon, int size) {
    const QImage image = icon.pixmap(size, size).toImage();
    ASSERT_EQ(image.width(), size);
    const double unit = size / 16.0;
    const auto at = [&](double x, double y) {
        return image.pixelColor(int(x * unit), int(y * unit));
    };
    EXPECT_EQ(at(8, 2), QColor(0x23, 0x3a, 0x50)) << size << " px";
    const QColor hub = at(4.5, 6.5);
    EXPECT_TRUE(hub.red() > 0xa0 && hub.green() > 0x90 && hub.blue() < 0x90)
        << hub.name().toStdString() << " is not the reel's gold at " << size << " px";
    EXPECT_EQ(at(8, 12.5), QColor(0xf4, 0xf1, 0xea)) << size << " px";
    EXPECT_LT(image.pixelColor(0, 0).alpha(), 0x40) << "rounded corner, " << size << " px";
}

TEST(AppIcon, IsPaintedWhenNoSvgPluginCanBeFound) {
    // No plugin folders: neither the SVG icon engine nor the SVG image format
    // loads, as on a system without the Qt SVG package. This test runs first
    // and puts the folders back, so that the next one finds the plugins again
    // when both run in one process.
    const QStringList pluginFolders = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    ASSERT_TRUE(QIcon(":/icons/tapewell.svg").pixmap(16, 16).isNull());
    const QIcon icon = AppIcon();
    for (int size : {16, 32, 256}) {
        ExpectTheDrawing(icon, size);
    }
    QCoreApplication::setLibraryPaths(pluginFolders);
}

TEST(AppIcon, IsTheBuiltInDrawingAtEverySize) {
    ASSERT_TRUE(QFile::exists(":/icons/tapewell.svg"));
    const QIcon icon = AppIcon();
    for (int size : {16, 32, 256}) {
        ExpectTheDrawing(icon, size);
    }
    // Only the SVG scales past the largest painted size.
    EXPECT_EQ(icon.pixmap(512, 512).width(), 512);
}

}  // namespace
}  // namespace tapewell::gui
