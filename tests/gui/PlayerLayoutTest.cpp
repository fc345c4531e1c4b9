#include <gtest/gtest.h>

#include <QFont>

#include <climits>

#include "gui/player/CaptionStyle.h"
#include "gui/player/PlayerLayout.h"
#include "settings/AppSettings.h"

namespace tapewell::gui {
namespace {

PlayerLayout CaptionedLayout(bool keepRatio, int margin = 50) {
    PlayerLayout layout;
    layout.m_video = QSize(352, 240);
    layout.m_keepRatio = keepRatio;
    layout.m_captionsShown = true;
    layout.m_captionMargin = margin;
    return layout;
}

TEST(PlayerLayoutTest, SizeModesChooseTheScaledVideoWithTheBandBelow) {
    PlayerLayout layout = CaptionedLayout(false);
    EXPECT_EQ(layout.ChosenClient(SizeMode::kHalf), QSize(176, 170));
    EXPECT_EQ(PlayerLayout::SizeStatusText(SizeMode::kHalf, layout.ScaledVideo(SizeMode::kHalf)),
              "Half size : 176x120");
    EXPECT_EQ(layout.ChosenClient(SizeMode::kDouble), QSize(704, 530));
    EXPECT_EQ(
        PlayerLayout::SizeStatusText(SizeMode::kDouble, layout.ScaledVideo(SizeMode::kDouble)),
        "Double size : 704x480");

    layout.m_captionsShown = false;
    layout.m_video = QSize(353, 241);  // halving is integral
    EXPECT_EQ(layout.ChosenClient(SizeMode::kHalf), QSize(176, 120));
    EXPECT_EQ(SizeModeFromInt(7), SizeMode::kNormal);
    EXPECT_EQ(
        PlayerLayout::SizeStatusText(SizeModeFromInt(-1), layout.ScaledVideo(SizeMode::kNormal)),
        "Normal size : 353x241");

    // Stored values with no bound cannot overflow the sums.
    layout.m_video = QSize(INT_MAX, INT_MAX);
    layout.m_captionsShown = true;
    layout.m_captionMargin = INT_MAX;
    EXPECT_EQ(layout.ChosenClient(SizeMode::kDouble),
              QSize(PlayerLayout::kMaxExtent, PlayerLayout::kMaxExtent));
}

TEST(PlayerLayoutTest, VideoRectKeepsTheRatioOnlyWhenAsked) {
    EXPECT_EQ(CaptionedLayout(true).VideoRect(QSize(800, 400)), QRect(144, 0, 513, 350));
    EXPECT_EQ(CaptionedLayout(false).VideoRect(QSize(800, 400)), QRect(0, 0, 800, 350));
    // A tall area: the width limits the picture, which sits in the middle.
    EXPECT_EQ(CaptionedLayout(true).VideoRect(QSize(400, 800)), QRect(0, 239, 400, 272));
    // A kept size smaller than the client: laid out in the box, centred in the client.
    const QSize box = PlayerLayout::BoxWithin(QSize(800, 400), QSize(176, 170));
    EXPECT_EQ(box, QSize(176, 170));
    EXPECT_EQ(CaptionedLayout(true).VideoRect(box, QSize(800, 400)), QRect(312, 0, 176, 120));
    EXPECT_EQ(PlayerLayout::BoxWithin(QSize(800, 400), QSize(1000, 300)), QSize(800, 300));
    EXPECT_EQ(PlayerLayout::BoxWithin(QSize(800, 400), QSize()), QSize(800, 400));

    PlayerLayout noVideo;  // before a video opens the picture is 4:3
    noVideo.m_keepRatio = true;
    EXPECT_EQ(noVideo.VideoRect(QSize(800, 400)), QRect(134, 0, 533, 400));

    PlayerLayout hidden = CaptionedLayout(false);
    hidden.m_captionsShown = false;  // the band goes back to the video
    EXPECT_EQ(hidden.VideoRect(QSize(800, 400)), QRect(0, 0, 800, 400));
}

TEST(PlayerLayoutTest, AMarginPastTheHeightLeavesNoVideoAndAFullBand) {
    for (bool keep : {false, true}) {
        const PlayerLayout layout = CaptionedLayout(keep, 500);
        const QRect video = layout.VideoRect(QSize(800, 400));
        EXPECT_EQ(video.height(), 0) << keep;
        EXPECT_GE(video.width(), 0) << keep;
        EXPECT_EQ(layout.CaptionBand(QSize(800, 400), false), QRect(23, 0, 754, 400));
    }
    EXPECT_EQ(CaptionedLayout(true, INT_MAX).VideoRect(QSize(800, 400)).height(), 0);
}

TEST(PlayerLayoutTest, CaptionBandSitsAtTheBottom) {
    const PlayerLayout layout = CaptionedLayout(true);
    EXPECT_EQ(layout.CaptionBand(QSize(800, 400), false), QRect(23, 350, 754, 50));
    EXPECT_EQ(layout.CaptionBand(QSize(800, 400), true), QRect(0, 350, 800, 50));
    EXPECT_TRUE(layout.CaptionBand(QSize(40, 400), false).isEmpty());
    EXPECT_TRUE(CaptionedLayout(true, 0).CaptionBand(QSize(800, 400), true).isEmpty());
    EXPECT_TRUE(CaptionedLayout(true, -20).CaptionBand(QSize(800, 400), true).isEmpty());
    PlayerLayout off = layout;
    off.m_captionsShown = false;
    EXPECT_TRUE(off.CaptionBand(QSize(800, 400), true).isEmpty());
}

TEST(PlayerLayoutTest, WindowResizesOnlyWithoutKeepSizeAndForARealPicture) {
    EXPECT_TRUE(PlayerLayout::ResizesWindow(QSize(11, 11), false));
    EXPECT_FALSE(PlayerLayout::ResizesWindow(QSize(11, 11), true));
    EXPECT_FALSE(PlayerLayout::ResizesWindow(QSize(10, 300), false));
}

TEST(CaptionStyleTest, ColourReferenceHasRedInTheLowByte) {
    EXPECT_EQ(CaptionStyle::ColorFromRef(0x00336699u), QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(CaptionStyle::RefFromColor(QColor(0x12, 0x34, 0x56)), 0x00563412u);
    EXPECT_EQ(CaptionStyle::ColorFromRef(0xFF0000FFu), QColor(Qt::red));  // top byte ignored
    for (uint32_t ref : {0x00000000u, 0x00FFFFFFu, 0x000000FFu, 0x00FF0000u, 0x00102030u}) {
        EXPECT_EQ(CaptionStyle::RefFromColor(CaptionStyle::ColorFromRef(ref)), ref);
    }
    EXPECT_EQ(CaptionStyle::RefFromColor(QColor::fromHsv(0, 255, 255)), 0x000000FFu);
}

TEST(CaptionStyleTest, SizeAndMarginStayWithinBounds) {
    AppSettings settings;
    for (auto [stored, used] :
         {std::pair{0, 1}, {-3, 1}, {1, 1}, {200, 200}, {201, 200}, {INT_MIN, 1}, {12, 12}}) {
        settings.m_captionSize = stored;
        EXPECT_EQ(CaptionStyle::FromSettings(settings).m_size, used) << stored;
    }
    settings.m_captionMargin = -10;
    EXPECT_EQ(CaptionStyle::FromSettings(settings).m_margin, 0);

    CaptionStyle style;
    style.m_size = 1;
    style.StepSize(-1);
    EXPECT_EQ(style.m_size, 1);
    EXPECT_EQ(style.Font().pointSize(), 1);
    style.m_size = 200;
    style.StepSize(+1);
    EXPECT_EQ(style.m_size, 200);
    style.m_margin = 0;
    style.StepMargin(-CaptionStyle::kMarginStep);
    EXPECT_EQ(style.m_margin, 0);
    style.m_margin = 3;
    style.StepMargin(-CaptionStyle::kMarginStep);
    EXPECT_EQ(style.m_margin, 0);
    style.m_margin = INT_MAX;
    style.StepMargin(+CaptionStyle::kMarginStep);
    EXPECT_EQ(style.m_margin, CaptionStyle::kMaxMargin);
}

TEST(CaptionStyleTest, SettingsAndFontsRoundTrip) {
    AppSettings settings;
    settings.m_captionSize = 13;
    settings.m_captionColor = 0x0000FFFFu;
    CaptionStyle style = CaptionStyle::FromSettings(settings);
    EXPECT_EQ(style.m_face, QString::fromUtf8("굴림"));  // kept though the system may lack it
    EXPECT_EQ(style.Font().family(), QString::fromUtf8("굴림"));
    EXPECT_EQ(style.Font().pointSize(), 13);
    EXPECT_EQ(style.Font().weight(), QFont::Bold);
    EXPECT_EQ(style.m_color, QColor(Qt::yellow));
    style.m_bold = false;
    EXPECT_EQ(style.Font().weight(), QFont::Normal);

    QFont chosen("DejaVu Sans", 20, QFont::Bold);
    chosen.setStyleName("Bold");
    style.SetFont(chosen);
    chosen.setPixelSize(30);  // no point size: the size stays
    style.SetFont(chosen);
    style.m_margin = 65;
    AppSettings saved;
    style.ToSettings(saved);
    EXPECT_EQ(saved.m_captionFaceName, "DejaVu Sans");
    EXPECT_EQ(saved.m_captionStyleName, "Bold");
    EXPECT_EQ(saved.m_captionSize, 20);
    EXPECT_TRUE(saved.m_captionBold);
    EXPECT_EQ(saved.m_captionColor, 0x0000FFFFu);
    EXPECT_EQ(saved.m_captionMargin, 65);
}

}  // namespace
}  // namespace tapewell::gui
