// The ASX tag scanner and its three readers, from text.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/Limits.h"
#include "playlist/ExpandPlaylist.h"
#include "playlist/PlaylistReaders.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using Strings = std::vector<std::string>;

struct Scan {
    PlaylistExpansion expansion;
    Strings messages;
};

Scan Engine(const std::string& text, uint32_t minutes = 0, uint16_t port = 80) {
    Scan scan;
    scan.expansion = BuildPlaylistVector(text, minutes, port,
                                         [&scan](const char* m) { scan.messages.push_back(m); });
    return scan;
}

Strings Job(const std::string& text, std::string* moreInfo = nullptr) {
    JobPlaylist playlist = ReadJobPlaylist(text, [](const char*) {});
    if (moreInfo != nullptr) {
        *moreInfo = playlist.moreInfo;
    }
    return playlist.addresses;
}

const char* const kTwoEntries =
    "<ASX version=\"3.0\">\n"
    "  <Entry><Ref href=\"http://h/a.asf\"/></Entry>\n"
    "  <Entry>\n    <Ref href=\"mms://h/b.asf\" />\n  </Entry>\n"
    "</ASX>\n";

TEST(PlaylistTest, EngineVectorFromAsxTags) {
    Scan scan = Engine(kTwoEntries, 30, 8080);
    EXPECT_TRUE(scan.expansion.isPlaylist);
    EXPECT_EQ(scan.expansion.args, (Strings{"Quillon", "-m", "30", "-p", "8080", "-e",
                                            "http://h/a.asf", "-e", "mms://h/b.asf"}));
    EXPECT_EQ(scan.expansion.references, 2);
    EXPECT_TRUE(scan.messages.empty());
    EXPECT_EQ(Engine(kTwoEntries).expansion.args,
              (Strings{"Quillon", "-e", "http://h/a.asf", "-e", "mms://h/b.asf"}));

    // Names in any case; EntryRef counts; only the first attribute is looked
    // at; an empty closing tag and text between tags do nothing.
    scan = Engine(
        "<asx><ENTRY>words<REF HREF = \"u1\"></ENTRY><entryref href=\"u2\"/>"
        "<Ref title=\"t\" href=\"u3\"/><Ref href/></asx>");
    EXPECT_EQ(scan.expansion.args, (Strings{"Quillon", "-e", "u1", "u2"}));
    EXPECT_TRUE(scan.messages.empty());

    // "<?" and "<!" (message 2), a digit in a tag name (3), a bare value
    // that runs into "/" (8): each costs only its own tag.
    scan = Engine(
        "<?xml version=\"1.0\"?><!-- c --><ASX><Entry1><Ref href=\"ok\"/>"
        "<Ref href=http://h/x.asf/></ASX>");
    EXPECT_EQ(scan.messages, (Strings{"ASF syntax error 2!\n", "ASF syntax error 2!\n",
                                      "ASF syntax error 3!\n", "ASF syntax error 8!\n"}));
    EXPECT_EQ(scan.expansion.args, (Strings{"Quillon", "ok"}));
    EXPECT_TRUE(scan.expansion.isPlaylist);
    // Messages 4 to 7, each recovered from.
    scan = Engine("<a 1><a b c><a b=/><a b=x\"><Ref href=\"y\">");
    EXPECT_EQ(scan.messages, (Strings{"ASF syntax error 4!\n", "ASF syntax error 5!\n",
                                      "ASF syntax error 6!\n", "ASF syntax error 7!\n"}));
    EXPECT_EQ(scan.expansion.args, (Strings{"Quillon", "y"}));
    EXPECT_FALSE(scan.expansion.isPlaylist);  // no ASX tag
    // A tag still open at the end is dropped.
    EXPECT_EQ(Engine("<ASX><Ref href=\"z\"").expansion.references, 0);
}

TEST(PlaylistTest, EngineListModesAndRefusals) {
    Scan scan = Engine(
        "\r\n [Reference]\r\nRef1=http://a/1\r\nRef2=http://b/2 \r\n[Other]\n"
        "Ref3=http://c/3\n[REFERENCE]\nREF=http://d/4\nRefx=http://e/5\n");
    EXPECT_TRUE(scan.expansion.isPlaylist);
    // The first section line is " [Reference]" (its blank kept), so only
    // the later sections start entries.
    EXPECT_EQ(scan.expansion.args, (Strings{"Quillon", "-e", "http://d/4"}));
    scan = Engine("[Reference]\nRef1=A\nRef2=B\n[Reference]\nRef3=C");
    EXPECT_EQ(scan.expansion.args, (Strings{"Quillon", "-e", "A", "B", "-e", "C"}));

    scan = Engine("ASF http://a/1\n  asf\t \thttp://b/2\n\tMMSU://c/3\nother\nftp://x\nASF ");
    EXPECT_EQ(scan.expansion.args,
              (Strings{"Quillon", "-e", "http://a/1", "http://b/2", "MMSU://c/3"}));
    scan = Engine("just some words");
    EXPECT_TRUE(scan.expansion.isPlaylist);
    EXPECT_EQ(scan.expansion.references, 0);

    // A byte outside the printable set (a title in a national code page)
    // makes the text no playlist for the engine; empty text neither.
    EXPECT_FALSE(Engine("<ASX><Ref href=\"http://h/\xE9t\xE9\"/></ASX>").expansion.isPlaylist);
    EXPECT_FALSE(Engine(std::string("<ASX>\0</ASX>", 12)).expansion.isPlaylist);
    EXPECT_FALSE(Engine("").expansion.isPlaylist);

    // The hand-over runs the vector only when it holds a reference.
    int runs = 0;
    auto run = [&runs](std::span<const std::string>) { ++runs; };
    const std::string empty = "<ASX></ASX>";
    EXPECT_TRUE(ExpandPlaylist(
        nullptr, std::span(reinterpret_cast<const uint8_t*>(empty.data()), empty.size()), 0, 80, {},
        run));
    EXPECT_EQ(runs, 0);
    test::TempDir dir;
    test::WriteFileBytes(dir / "a.asx", std::vector<uint8_t>(kTwoEntries, kTwoEntries + 100));
    const std::string file = (dir / "a.asx").string();
    EXPECT_TRUE(ExpandPlaylist(&file, {}, 0, 80, {}, run));
    EXPECT_EQ(runs, 1);
    const std::string missing = (dir / "none.asx").string();
    const std::string address = "HTTP://h/a.asx";
    EXPECT_FALSE(ExpandPlaylist(&missing, {}, 0, 80, {}, run));
    EXPECT_FALSE(ReadPlaylistFile(address).has_value());
    const ErrorOr<std::string> unread = ReadPlaylistFile(missing);
    ASSERT_FALSE(unread);
    EXPECT_EQ(unread.error().code, ENOENT);
}

TEST(PlaylistTest, JobAndListReadersDiffer) {
    std::string moreInfo;
    const std::string asx =
        std::string(kTwoEntries) + "<MoreInfo href=\"http://info/\"/><Ref href=\"http://h/\xE9\"/>";
    EXPECT_EQ(Job(asx, &moreInfo), (Strings{"http://h/a.asf", "mms://h/b.asf", "http://h/\xE9"}));
    EXPECT_EQ(moreInfo, "http://info/");

    // List files yield nothing from the scan, so a text longer than ten
    // bytes is one address, exactly its bytes; ten bytes or fewer is nothing.
    const std::string list = "[Reference]\nRef1=http://a/1\n";
    EXPECT_EQ(Job(list), Strings{list});
    EXPECT_EQ(Job("http://h/1"), Strings{});
    EXPECT_EQ(Job("http://h/12"), Strings{"http://h/12"});

    Strings handed;
    const size_t count =
        ReadListPlaylist(asx, {}, [&](const std::string& a) { handed.push_back(a); });
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(handed, Job(asx));
}

TEST(PlaylistTest, HrefReferencesAreDecodedAndBareAmpersandsKept) {
    // What hand-written and generated playlists hold: XML references, a
    // bare "&" in a query, and names only HTML knows.
    const std::string asx =
        "<ASX><Entry><Ref href=\"http://h/a.asf?x=1&amp;y=2&z=3&#38;w=&#x3C;4&gt;\"/>"
        "<Ref href=\"http://h/b?c=&quot;&apos;&amp&nbsp;&lt\"/>"
        "<Ref href=c?d&amp;e></Entry></ASX>";
    const Strings expected = {"http://h/a.asf?x=1&y=2&z=3&w=<4>", "http://h/b?c=\"'&amp&nbsp;&lt",
                              "c?d&e"};
    EXPECT_EQ(Job(asx), expected);
    Strings handed;
    ReadListPlaylist(asx, {}, [&](const std::string& a) { handed.push_back(a); });
    EXPECT_EQ(handed, expected);
    EXPECT_EQ(Engine(asx).expansion.args,
              (Strings{"Quillon", "-e", expected[0], expected[1], expected[2]}));
    std::string moreInfo;
    Job("<ASX><MoreInfo href=\"http://i/?a=1&amp;b=2\"/></ASX>", &moreInfo);
    EXPECT_EQ(moreInfo, "http://i/?a=1&b=2");
}

std::string Refs(size_t count, size_t addressLength) {
    std::string text = "<ASX>";
    for (size_t i = 0; i < count; ++i) {
        text += "<Entry><Ref href=\"" + std::string(addressLength, 'a') + "\"/></Entry>";
    }
    return text + "</ASX>";
}

TEST(PlaylistTest, BuffersAreCutOrDroppedAtTheirLimits) {
    // Tag name: cut at 127 letters, so a longer name matches nothing.
    EXPECT_EQ(Engine("<" + std::string(300, 'R') + " href=\"x\"/>").expansion.references, 0);
    // Attribute text: "href", its terminator, and the value up to the last
    // byte that leaves room for the value's terminator.
    const Scan longValue = Engine("<Ref href=\"" + std::string(600, 'v') + "\"/>");
    ASSERT_EQ(longValue.expansion.args.size(), 2u);
    EXPECT_EQ(longValue.expansion.args[1].size(), limits::kAsxAttributeTextBytes - 6);
    // Many attributes: the extra ones are dropped, the first still counts.
    std::string many = "<Ref href=\"first\"";
    for (int i = 0; i < 200; ++i) {
        many += " a=\"b\"";
    }
    EXPECT_EQ(Engine(many + "/>").expansion.args, (Strings{"Quillon", "first"}));

    // The vector: 132 slots, then a 4,096-byte pool.
    const Scan slots = Engine(Refs(200, 1));
    EXPECT_EQ(slots.expansion.args.size(), limits::kAsxVectorSlots);
    const Scan pool = Engine(Refs(20, 500));
    size_t used = 0;
    for (const std::string& e : pool.expansion.args) {
        used += e.size() + 1;
    }
    EXPECT_LE(used, limits::kAsxVectorPoolBytes);
    EXPECT_EQ(pool.expansion.references, 8);  // 8 x 501 + "Quillon" and "-e"s fit, the 9th not

    // A list line longer than the line buffer is not an address.
    EXPECT_EQ(Engine("[Reference]\nRef1=" + std::string(600, 'x') + "\nRef2=y").expansion.args,
              (Strings{"Quillon", "-e", "y"}));

    // The job's reader: 100 addresses, 4,096 bytes of address text.
    EXPECT_EQ(Job(Refs(150, 1)).size(), limits::kPlaylistMaxAddresses);
    EXPECT_EQ(Job(Refs(20, 500)).size(), 8u);
    EXPECT_TRUE(Job(std::string(5000, 'x')).empty());
}

}  // namespace
}  // namespace tapewell
