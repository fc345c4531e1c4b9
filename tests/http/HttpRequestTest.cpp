// The request texts and what goes into them, and the argument vector.
#include <gtest/gtest.h>

#include "http/EngineMessages.h"
#include "http/HttpArgs.h"
#include "http/StreamRequest.h"

namespace tapewell {
namespace {

constexpr char kProbeGuid[] = "{01234567-89AB-CDE0-1234-56789ABCDE01}";

TEST(HttpRequestTest, RequestTextsAreByteExact) {
    RequestFields f{"/a.asf", "media", "", kProbeGuid};
    EXPECT_EQ(BuildProbeRequest(f),
              "GET /a.asf HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3856\r\n"
              "Host: media\r\n"
              "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,"
              "max-duration=0\r\nPragma: xClientGUID={01234567-89AB-CDE0-1234-56789ABCDE01}\r\n"
              "Connection: Close\r\n\r\n");
    const std::string tail =
        "Pragma: xPlayStrm=1\r\nPragma: xClientGUID={01234567-89AB-CDE0-1234-56789ABCDE01}\r\n"
        "Pragma: stream-switch-count=1\r\nPragma: stream-switch-entry=ffff:1:0\r\n"
        "Connection: Close\r\n\r\n";
    // Through a proxy: absolute target, no Host line; credentials on the
    // first request already.
    RequestFields proxied{"http://h:81/p", "", BasicCredentials("u", "pw"), kProbeGuid};
    EXPECT_EQ(BuildOnDemandRequest(proxied, 0xFFFFFFFF, 0xFFFFFFFF, 3046),
              "GET http://h:81/p HTTP/1.0\r\nAuthorization: Basic dTpwdw==\r\nAccept: */*\r\n"
              "User-Agent: NSPlayer/4.1.0.3856\r\n"
              "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,"
              "request-context=2,max-duration=3046\r\n" +
                  tail);
    EXPECT_EQ(BuildLiveRequest(f),
              "GET /a.asf HTTP/1.0\r\nAccept: */*\r\nUser-Agent: NSPlayer/4.1.0.3856\r\n"
              "Host: media\r\nPragma: no-cache,rate=1.000000,request-context=2\r\n" +
                  tail);
}

TEST(HttpRequestTest, EncodersEscapeCredentialsAndGuid) {
    EXPECT_EQ(EscapeUrl("/x?y=1 2"), "/x?y=1%202");
    EXPECT_EQ(EscapeUrl("\xAB\x0F\"#<>%;/?:@&=+$,"), "%AB%0F%22%23%3C%3E%;/?:@&=+$,");
    EXPECT_TRUE(EscapeUrl(std::string(1023, 'a')));
    EXPECT_FALSE(EscapeUrl(std::string(1024, 'a')));
    EXPECT_FALSE(EscapeUrl(std::string(342, ' ')));  // 1,026 bytes escaped

    EXPECT_EQ(BasicCredentials("ab", "c"), "YWI6Yw==");    // 4 bytes: remainder 1, two "="
    EXPECT_EQ(BasicCredentials("ab", "cd"), "YWI6Y2Q=");   // 5 bytes: remainder 2, one "="
    EXPECT_EQ(BasicCredentials("ab", "cde"), "YWI6Y2Rl");  // 6 bytes: no padding
    EXPECT_EQ(BasicCredentials("", "pw"), "");
    EXPECT_EQ(BasicCredentials("u", ""), "");
    EXPECT_EQ(BasicCredentials(std::string(600, 'u'), "p").size(), 684u);  // 511 bytes encoded

    const std::string guid = MakeClientGuid();
    ASSERT_EQ(guid.size(), 38u);
    for (size_t i = 0; i < guid.size(); ++i) {
        const char c = guid[i];
        if (i == 0 || i == 37) {
            EXPECT_EQ(c, i == 0 ? '{' : '}');
        } else if (i == 9 || i == 14 || i == 19 || i == 24) {
            EXPECT_EQ(c, '-') << guid;
        } else {
            EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'E')) << guid;  // never "F"
        }
    }
}

TEST(HttpRequestTest, AddressesAreTakenApartForHttp) {
    EngineMessages messages;
    auto target = ParseStreamAddress("mmst://H/a.asf", 8000, "", messages);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "H");
    EXPECT_EQ(target->port, 8000);
    EXPECT_EQ(target->requestTarget, "/a.asf");
    EXPECT_EQ(target->hostHeader, "H");
    target = ParseStreamAddress("HTTP://H:8080/x?y=1 2", 80, "", messages);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->port, 8080);
    EXPECT_EQ(target->requestTarget, "/x?y=1%202");

    for (const char* bad : {"http://H", "mms://H:0/a.asf", "http://H/"}) {
        const bool rejected = !ParseStreamAddress(bad, 80, "", messages);
        EXPECT_EQ(rejected, std::string(bad) != "http://H/") << bad;
    }
    EXPECT_EQ(messages.LastMessage(), "Invalid URL format!");
    EXPECT_FALSE(ParseStreamAddress("http://H/" + std::string(600, 'p'), 80, "", messages));

    target = ParseStreamAddress("http://H/p", 80, "P:3128", messages);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "P");
    EXPECT_EQ(target->port, 3128);
    EXPECT_EQ(target->requestTarget, "http://H/p");
    EXPECT_EQ(target->hostHeader, "");
    target = ParseStreamAddress("http://H:81/p", 80, "http://P:3128", messages);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->requestTarget, "http://H:81/p");
    EXPECT_FALSE(ParseStreamAddress("http://H/p", 80, "P:0", messages));
    EXPECT_EQ(messages.LastMessage(), "Invalid proxy URL format!");
    // A proxy text with a path: the request stays a proxy request but goes
    // to the address's own host.
    target = ParseStreamAddress("http://H:81/p", 80, "P:3128/x", messages);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "H");
    EXPECT_EQ(target->port, 81);
    EXPECT_EQ(target->requestTarget, "http://H:81/p");
}

TEST(HttpRequestTest, ArgumentVectorOptionsAndAddressLimit) {
    EngineMessages messages;
    std::vector<std::string> args = {" ", "a",  "-p", "8080", "/M", "2",  "b",  "-e",
                                     "c", "-E", "d",  "-b",   "-d", "-r", "-x", "-m"};
    HttpArgs parsed = ParseHttpArgs(args, messages);
    ASSERT_EQ(parsed.rows.size(), 4u);
    EXPECT_EQ(parsed.rows[0].port, 80);
    EXPECT_EQ(parsed.rows[0].entry, -1);
    EXPECT_EQ(parsed.rows[1].port, 8080);
    EXPECT_EQ(parsed.rows[1].maxMinutes, 2u);
    EXPECT_EQ(parsed.rows[2].entry, 0);
    EXPECT_EQ(parsed.rows[3].entry, 1);
    EXPECT_TRUE(parsed.keepWalking && parsed.debugDump && parsed.rawFile);
    EXPECT_EQ(messages.LastMessage(), "insufficient args");

    std::vector<std::string> many = {" "};
    for (int i = 1; i <= 100; ++i) {
        many.push_back("http://h/" + std::to_string(i));
    }
    parsed = ParseHttpArgs(many, messages);
    ASSERT_EQ(parsed.rows.size(), 99u);
    EXPECT_EQ(parsed.rows.back().address, "http://h/99");
}

}  // namespace
}  // namespace tapewell
