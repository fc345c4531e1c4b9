#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/HtmlToText.h"
#include "player/SamiReader.h"

namespace tapewell {
namespace {

std::vector<CaptionCue> Read(const std::string& text) {
    return ReadSami({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

TEST(HtmlToText, CleansCaptionMarkupAsTheCaptionBandShowsIt) {
    EXPECT_EQ(HtmlToText("<P Class=KRCC>Hello&nbsp;world"), "Hello world");
    EXPECT_EQ(HtmlToText("<font color=\"red\">Line1<br>Line2</font>"), "Line1\nLine2");
    EXPECT_EQ(HtmlToText("Line1<BR><font>Line2"), "Line1Line2");  // nothing between the tags
    EXPECT_EQ(HtmlToText("a < b"), "a < b");                      // no closing ">"
    EXPECT_EQ(HtmlToText("<P Class=KRCC>&nbsp;"), " ");           // a cue that clears the band
    EXPECT_EQ(HtmlToText("a&nbspb &nbsp"), "a b  ");              // the entity without ";"
    EXPECT_EQ(HtmlToText("a&nbsp;&nbspb"), "a &nbspb");           // ... only when none has one
    EXPECT_EQ(HtmlToText("  plain text \r\n"), "  plain text");
    EXPECT_EQ(HtmlToText(""), "");
}

TEST(HtmlToText, DecodesCharacterReferencesOnceAfterTheTags) {
    EXPECT_EQ(HtmlToText("<P Class=KRCC>세 번째 &amp; last"), "세 번째 & last");
    EXPECT_EQ(HtmlToText("<P>&lt;자막&gt;"), "<자막>");  // text, not a tag
    EXPECT_EQ(HtmlToText("Line1<br>&lt;b&gt; x"), "Line1\n<b> x");
    EXPECT_EQ(HtmlToText("&quot;&apos;&#54620;&#xAE00;&#XAE00;"), "\"'한글글");
    EXPECT_EQ(HtmlToText("&copy; caf&eacute; &Eacute;&yuml; &hellip;&mdash;"), "© café Éÿ …—");
    EXPECT_EQ(HtmlToText("&#x10FFFF;&#1114111;&#9;x"), "\U0010FFFF\U0010FFFF\tx");
    // One pass: what a reference gives is not read again.
    EXPECT_EQ(HtmlToText("&amp;lt; &amp;nbsp; &#38;amp;"), "&lt; &nbsp; &amp;");

    // Anything that is not a whole, known, allowed reference stays text.
    for (const char* kept :
         {"a & b",      "&amp",       "&amp x;",  "&unknown;",   "&AMP;",       "&#;",
          "&#x;",       "&#65",       "&#6a;",    "&#12345678;", "&#00000065;", "&#x0010FFFF;",
          "&#x110000;", "&#1114112;", "&#xD800;", "&#xDFFF;",    "&#0;",        "&#x1;",
          "&#xFFFE;",   "&&#x26",     "&;"}) {
        EXPECT_EQ(HtmlToText(kept), kept);
    }
    EXPECT_EQ(HtmlToText("&&amp;;"), "&&;");
    EXPECT_EQ(HtmlToText("&#0000065;"), "A");  // seven digits are still read
}

TEST(ReadSami, TakesTheFirstLanguageSortedByStart) {
    auto cues = Read(
        "<SAMI><HEAD><STYLE TYPE=\"text/css\"><!--\nP { margin-left: 8pt; }\n"
        ".KRCC { Name: Korean; lang: ko-KR; }\n.ENCC { Name: English; lang: en-US; }\n"
        "--></STYLE></HEAD><BODY>\n"
        "<SYNC Start=\"2000\"><P Class=KRCC>two</SYNC>\n"
        "<sync start=500><p class=krcc>one<P Class=ENCC>English</p>\n"
        "<SYNC Start=900><P Class=ENCC>English only\n"
        "<SYNC>no start<SYNC Start=12x>bad start<SYNC Start=3000><P Class=KRCC>&nbsp;"
        "<SYNC Start=3500><P>every language</BODY></SAMI>");
    ASSERT_EQ(cues.size(), 4u);
    EXPECT_EQ(cues[0].startMs, 500u);
    EXPECT_EQ(cues[0].text, "<p class=krcc>one");
    EXPECT_EQ(cues[1].startMs, 2000u);
    EXPECT_EQ(cues[1].text, "<P Class=KRCC>two");
    EXPECT_EQ(cues[2].text, "<P Class=KRCC>&nbsp;");
    EXPECT_EQ(cues[3].text, "<P>every language");
}

// Character references stay in the cue's text for the caption band to
// decode once, after the file's own code page is converted.
TEST(ReadSami, ReadsKoreanCodePageAndUtf16FilesKeepingReferences) {
    // "안녕" and "자막" in code page 949: not UTF-8, so the whole file is
    // converted.
    auto cp949 = Read(
        "<SAMI><BODY><SYNC Start=10><P>\xBE\xC8\xB3\xE7 &amp;\n"
        "<SYNC Start=20><P>&lt;\xC0\xDA\xB8\xB7&gt;</BODY>");
    ASSERT_EQ(cp949.size(), 2u);
    EXPECT_EQ(cp949[0].text, "<P>안녕 &amp;\n");
    EXPECT_EQ(HtmlToText(cp949[1].text), "<자막>");

    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<SYNC Start=20>hi")) {
        utf16 += c;
        utf16 += '\0';
    }
    auto wide = Read(utf16);
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].startMs, 20u);
    EXPECT_EQ(wide[0].text, "hi");
}

TEST(CaptionPathFor, ReplacesTheFileNamesExtension) {
    EXPECT_EQ(CaptionPathFor("/media/clip.asf"), "/media/clip.smi");
    EXPECT_EQ(CaptionPathFor("/media/clip.part.wmv"), "/media/clip.part.smi");
    EXPECT_EQ(CaptionPathFor("/media.d/clip"), "/media.d/clip.smi");  // not the folder's dot
    EXPECT_EQ(CaptionPathFor("clip"), "clip.smi");
}

}  // namespace
}  // namespace tapewell
