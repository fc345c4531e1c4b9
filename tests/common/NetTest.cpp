#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "common/Limits.h"
#include "common/OutputFile.h"
#include "common/StopSignal.h"
#include "common/TcpStream.h"
#include "common/UrlParts.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using test::SilentPeer;

TEST(SocketErrorName, WinsockNamesAndNumbersForTheRest) {
    EXPECT_EQ(SocketErrorName(ECONNRESET), "CONNRESET");
    EXPECT_EQ(SocketErrorName(ETIMEDOUT), "TIMEDOUT");
    EXPECT_EQ(SocketErrorName(ECONNREFUSED), "CONNREFUSED");
    EXPECT_EQ(SocketErrorName(EAGAIN), "WOULDBLOCK");
    EXPECT_EQ(SocketErrorName(EPIPE), "<32>");
}

TEST(SplitUrl, TakesAddressesApart) {
    auto parts = SplitUrl("MMS://user:pw@Host.example:8000/dir/a.asf?x=1 2");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->scheme, "mms");
    EXPECT_EQ(parts->user, "user");
    EXPECT_EQ(parts->password, "pw");
    EXPECT_EQ(parts->host, "Host.example");
    EXPECT_EQ(parts->port, 8000);
    EXPECT_EQ(parts->object, "/dir/a.asf?x=1 2");

    parts = SplitUrl("http://host");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->port, 0);
    EXPECT_EQ(parts->object, "/");
    parts = SplitUrl("http://host?q");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->object, "/?q");
    parts = SplitUrl("http://[::1]:81/x");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->host, "::1");
    EXPECT_EQ(parts->port, 81);

    for (const char* bad :
         {"host/a.asf", "://host/", "mms:///a", "mms://host:0/a", "mms://host:65536/a",
          "mms://host:8x/a", "mms://host:/a", "m s://host/a"})
        EXPECT_FALSE(SplitUrl(bad)) << bad;
}

TEST(TcpStream, StopEndsABlockedReceiveAtOnce) {
    SilentPeer peer;
    StopSignal stop;
    TcpStream stream(stop);
    ASSERT_EQ(stream.Open(), 0);
    ASSERT_EQ(stream.Connect(peer.Address(), 1000), 0);
    ASSERT_TRUE(stream.LocalAddress());

    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.Raise();
    });
    const auto start = std::chrono::steady_clock::now();
    uint8_t byte;
    EXPECT_EQ(stream.Receive({&byte, 1}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    stopper.join();
    EXPECT_TRUE(stream.Stopped());

    // Once reset, the stream waits again, now until its idle time runs out.
    stop.Reset();
    stream.SetIdleTimeoutMs(100);
    EXPECT_EQ(stream.Receive({&byte, 1}), -1);
    EXPECT_EQ(stream.LastError(), ETIMEDOUT);
}

TEST(TcpStream, RefusedConnectionNamesTheError) {
    sockaddr_in address;
    {
        SilentPeer closedSoon;
        address = closedSoon.Address();
    }
    StopSignal stop;
    TcpStream stream(stop);
    ASSERT_EQ(stream.Open(), 0);
    EXPECT_EQ(stream.Connect(address, 1000), -1);
    EXPECT_EQ(SocketErrorName(stream.LastError()), "CONNREFUSED");
}

TEST(MemoryOutputFile, SeekPastTheEndLeavesAZeroGapAndCapacityActsAsAFullDisk) {
    MemoryOutputFile file;
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(file.Seek(5));
    ASSERT_TRUE(file.Write(bytes));
    EXPECT_EQ(file.Bytes(), (std::vector<uint8_t>{0, 0, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(file.SeekEnd(), 8u);
    file.SetCapacity(10);
    EXPECT_FALSE(file.Write(bytes));
}

// The file keeps its own position so that a seek to where it stands costs
// nothing; every other seek, the end and a rewrite in the middle must still
// land where asked, also with more bytes than its buffer holds.
TEST(StdioOutputFile, WritesLandWhereSeeksPutThem) {
    test::TempDir dir;
    const auto path = dir / "out.asf";
    std::vector<uint8_t> big(limits::kOutputFileBufferBytes + 5000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i % 251);
    const uint8_t mark[] = {0xAA, 0xBB};
    {
        auto file = StdioOutputFile::Open(path, "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->Write(mark));  // before any seek
        EXPECT_EQ(file->Position(), 2u);
        ASSERT_TRUE(file->Seek(2));  // where it stands
        ASSERT_TRUE(file->Write(big));
        EXPECT_EQ(file->Position(), 2 + big.size());
        ASSERT_TRUE(file->Seek(100));  // back into the buffered bytes
        ASSERT_TRUE(file->Write(mark));
        EXPECT_EQ(file->SeekEnd(), 2 + big.size());
        ASSERT_TRUE(file->Seek(big.size() + 10));  // past the end: a zero gap
        ASSERT_TRUE(file->Write(mark));
        EXPECT_EQ(file->Position(), big.size() + 12);
        ASSERT_TRUE(file->Close());
    }
    std::vector<uint8_t> expected = {0xAA, 0xBB};
    expected.insert(expected.end(), big.begin(), big.end());
    expected[100] = 0xAA;
    expected[101] = 0xBB;
    expected.resize(big.size() + 10, 0);
    expected.insert(expected.end(), {0xAA, 0xBB});
    EXPECT_EQ(test::ReadFileBytes(path), expected);

    auto reopened = StdioOutputFile::Open(path, "rb+");  // continuing a recording
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->SeekEnd(), expected.size());
    ASSERT_TRUE(reopened->Seek(0));
    ASSERT_TRUE(reopened->Write(mark));
    ASSERT_TRUE(reopened->Seek(expected.size()));
    ASSERT_TRUE(reopened->Write(mark));
    ASSERT_TRUE(reopened->Close());
    expected.insert(expected.end(), {0xAA, 0xBB});
    EXPECT_EQ(test::ReadFileBytes(path), expected);
}

}  // namespace
}  // namespace tapewell
