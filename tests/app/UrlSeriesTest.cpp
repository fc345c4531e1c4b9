#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RecentStartUrls.h"
#include "app/UrlSeries.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

TEST(UrlSeries, IncrementRaisesTheLastDigitOutsideTheExtension) {
    const struct {
        const char* name;
        const char* next;
    } cases[] = {
        {"clip08.asf", "clip09.asf"},
        {"99.asf", "100.asf"},
        {"abc", "a1bc"},
        {" x1 ", "x2"},
        {" 9", "10"},
        // The extension's digits are not the series' number.
        {"clip01.mp3", "clip02.mp3"},
        {"play.php?id=7", "play.php?id=8"},
        {"show.php?part=2.asf", "show.php?part=3.asf"},
        // Digits only in the extension: a name without digits.
        {"a.mp3", "a1.mp3"},
        // A leading "." starts the name rather than an extension.
        {".mp3", ".mp4"},
        {"", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Increment(c.name), c.next) << c.name;
    }
}

TEST(UrlSeries, ExpandStopsAtTheEndOrTheLineLimit) {
    auto five = Expand("http://host/v/clip08.asf", "http://host/v/clip12.asf");
    ASSERT_TRUE(five);
    EXPECT_EQ(*five,
              (std::vector<std::string>{"http://host/v/clip08.asf", "http://host/v/clip09.asf",
                                        "http://host/v/clip10.asf", "http://host/v/clip11.asf",
                                        "http://host/v/clip12.asf"}));

    // A length the series passes at once: end never reached, 500 generated.
    auto endless = Expand("http://host/clip1", "http://host/clip0001");
    ASSERT_TRUE(endless);
    ASSERT_EQ(endless->size(), kMaxSeriesLines);
    EXPECT_EQ(endless->back(), "http://host/clip501");

    // A start at or past the end is the whole series; an end that comes
    // only after a longer name is met after one step.
    auto same = Expand("mms://h/a5.asf", "mms://h/a5.asf");
    ASSERT_TRUE(same);
    EXPECT_EQ(*same, std::vector<std::string>{"mms://h/a5.asf"});
    auto past = Expand("mms://h/a5.asf", "mms://h/a1.asf");
    ASSERT_TRUE(past);
    EXPECT_EQ(past->size(), 1u);
    auto shortStart = Expand("mms://h/a9.asf", "mms://h/a05.asf");
    ASSERT_TRUE(shortStart);
    EXPECT_EQ(*shortStart, (std::vector<std::string>{"mms://h/a9.asf", "mms://h/a10.asf"}));

    auto single = Expand("mms://h/live", "");
    ASSERT_TRUE(single);
    EXPECT_EQ(*single, std::vector<std::string>{"mms://h/live"});

    // No "/" in the start: the whole start is the name.
    auto bare = Expand("a1", "a3");
    ASSERT_TRUE(bare);
    EXPECT_EQ(*bare, (std::vector<std::string>{"a1", "a2", "a3"}));
}

TEST(UrlSeries, ExpandRefusesOverlongAddressesWholeNeverCut) {
    const std::string prefix = "http://host/";
    const std::string kept = prefix + std::string(4000 - prefix.size(), 'x');
    auto one = Expand(kept, "");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->front(), kept);

    const std::string atLimit = prefix + std::string(kMaxAddressLineBytes - prefix.size(), 'y');
    EXPECT_TRUE(Expand(atLimit, ""));
    auto over = Expand(atLimit + "z", "");
    ASSERT_FALSE(over);
    EXPECT_NE(over.error().message.find("4096"), std::string::npos) << over.error().message;

    auto longEnd = Expand("http://host/a1", std::string(5000, 'e'));
    ASSERT_FALSE(longEnd);
    EXPECT_NE(longEnd.error().message.find("end"), std::string::npos);

    // The series grows one character at a carry: 9 to 10 passes the limit.
    const std::string growing =
        prefix + std::string(kMaxAddressLineBytes - prefix.size() - 1, 'n') + "9";
    ASSERT_EQ(growing.size(), kMaxAddressLineBytes);
    auto grown = Expand(growing, "http://host/zz");
    ASSERT_FALSE(grown);
    EXPECT_NE(grown.error().message.find("4096"), std::string::npos);

    EXPECT_FALSE(Expand("http://h/a1\nhttp://h/b", ""));
}

TEST(RecentStartUrls, KeepsNewestFirstWithoutDuplicatesAndSavesThirty) {
    test::TempDir dir;
    ProfileStore profile(dir / "Tapewell.ini");
    ASSERT_TRUE(profile.Update([](ProfileEdit& edit) {
        for (int i = 0; i < 35; ++i) {
            edit.WriteString(RecentStartUrls::kSection, "item" + std::to_string(i),
                             "mms://h/" + std::to_string(i));
        }
    }));
    RecentStartUrls recent;
    recent.Load(profile);
    ASSERT_EQ(recent.Entries().size(), RecentStartUrls::kKept);
    EXPECT_EQ(recent.Entries().front(), "mms://h/0");
    EXPECT_EQ(recent.Entries().back(), "mms://h/29");

    recent.Add("mms://h/5");
    recent.Add("");
    recent.Add("mms://h/new");
    ASSERT_EQ(recent.Entries().size(), 31u);
    EXPECT_EQ(recent.Entries()[0], "mms://h/new");
    EXPECT_EQ(recent.Entries()[1], "mms://h/5");
    EXPECT_EQ(recent.Entries()[6], "mms://h/4");

    ASSERT_TRUE(recent.Save(profile));
    // The old item30..item34 are gone, not left behind the new list.
    EXPECT_EQ(profile.GetString(RecentStartUrls::kSection, "item30", ""), "");
    EXPECT_EQ(profile.GetString(RecentStartUrls::kSection, "item34", ""), "");
    RecentStartUrls again;
    again.Load(profile);
    std::vector<std::string> expected(recent.Entries().begin(), recent.Entries().begin() + 30);
    EXPECT_EQ(again.Entries(), expected);

    // A gap ends the list; a repeated entry is read once.
    ASSERT_TRUE(profile.Update([](ProfileEdit& edit) {
        edit.DeleteSection(RecentStartUrls::kSection);
        edit.WriteString(RecentStartUrls::kSection, "item0", "a");
        edit.WriteString(RecentStartUrls::kSection, "item1", "a");
        edit.WriteString(RecentStartUrls::kSection, "item2", "b");
        edit.WriteString(RecentStartUrls::kSection, "item4", "c");
    }));
    again.Load(profile);
    EXPECT_EQ(again.Entries(), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace tapewell
