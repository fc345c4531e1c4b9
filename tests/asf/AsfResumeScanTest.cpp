#include <gtest/gtest.h>

#include "AsfBuilder.h"
#include "AsfFiles.h"
#include "asf/AsfInfo.h"
#include "asf/AsfResumeScan.h"

namespace tapewell {
namespace {

using test::AsfFiles;
using test::Bytes;

TEST(AsfResumeScan, PartialFfmpegFilesResumeBeforeTheirLastWholePacket) {
    const auto& files = AsfFiles::Get();
    for (const auto& path : {files.videoAudio, files.audioVideo, files.audioOnly}) {
        SCOPED_TRACE(path.filename().string());
        AsfInfo info;
        ASSERT_TRUE(info.Parse(path));
        const uint64_t headerSize = info.GetObjects()[0].size;
        const uint32_t packetSize = info.GetFileProperties().minPacketSize;

        AsfResumeScan scan;
        EXPECT_FALSE(scan.ScanPartialFile(path)) << "a complete file is not resumed";

        const uint64_t cutAt = info.GetFileSize() * 6 / 10;
        auto partial = test::TruncatedCopy(path, cutAt, "partial-" + path.filename().string());
        ASSERT_TRUE(scan.ScanPartialFile(partial));
        const uint64_t whole = (cutAt - headerSize - 50) / packetSize;
        EXPECT_EQ(scan.GetResumePacketCount(), whole - 1);
        EXPECT_EQ(scan.GetResumeOffset(), headerSize + 50 + (whole - 1) * packetSize);
        EXPECT_EQ(scan.GetPacketSize(), packetSize);
    }
}

// A synthetic recording: header, Data object announcing `announced` packets
// of 100 bytes, of which `present` were written.
Bytes Recording(uint64_t announced, uint64_t present, uint64_t fpPackets) {
    return test::Concat({test::HeaderObject({test::FilePropertiesObject(100, fpPackets)}),
                         test::DataObject(present, 100, announced)});
}

bool Scan(const Bytes& file, AsfResumeScan& scan) {
    MemorySource source(file);
    return scan.Scan(source);
}

TEST(AsfResumeScan, RefusesFilesThatAreCompleteOrNearlySo) {
    AsfResumeScan scan;
    EXPECT_FALSE(Scan(Recording(50, 45, 50), scan)) << "lacks 5 packets";
    ASSERT_TRUE(Scan(Recording(50, 44, 50), scan)) << "lacks 6 packets";
    EXPECT_EQ(scan.GetResumePacketCount(), 43u);
    EXPECT_EQ(scan.GetResumeOffset(), 134u + 50 + 43 * 100);
    EXPECT_FALSE(Scan(Recording(50, 50, 50), scan));
    EXPECT_FALSE(Scan(Recording(50, 10, 0), scan)) << "announced total 0";
}

TEST(AsfResumeScan, RefusesFilesWithoutAWholePacket) {
    AsfResumeScan scan;
    EXPECT_FALSE(Scan(Recording(50, 0, 50), scan));
    Bytes file = Recording(50, 1, 50);
    file.pop_back();
    EXPECT_FALSE(Scan(file, scan));
    file = Recording(50, 0, 50);
    file.resize(100);  // cut inside the header
    EXPECT_FALSE(Scan(file, scan));
    EXPECT_FALSE(Scan({}, scan));
}

TEST(AsfResumeScan, RefusesFilesWhoseLayoutItCannotKeep) {
    AsfResumeScan scan;
    // No Header object first: the first bytes are not a header to keep.
    Bytes noHeader =
        test::Concat({test::FilePropertiesObject(100, 50), test::DataObject(10, 100, 50)});
    EXPECT_FALSE(Scan(noHeader, scan));

    // Something other than the Data object after the header.
    Bytes noData = test::Concat({test::HeaderObject({test::FilePropertiesObject(100, 50)}),
                                 test::ObjectClaiming(guids::kSimpleIndex, 5050, Bytes(1200, 0))});
    EXPECT_FALSE(Scan(noData, scan));

    // A File Properties body of 81 bytes or more is skipped: no packet size.
    Bytes longFp = test::FilePropertiesObject(100, 50);
    longFp.push_back(0);
    longFp[16] += 1;
    Bytes file = test::Concat({test::HeaderObject({longFp}), test::DataObject(10, 100, 50)});
    EXPECT_FALSE(Scan(file, scan));
}

TEST(AsfResumeScan, MissingFileIsNotResumable) {
    AsfResumeScan scan;
    EXPECT_FALSE(scan.ScanPartialFile(AsfFiles::Dir() / "no-such-file.asf"));
}

}  // namespace
}  // namespace tapewell
