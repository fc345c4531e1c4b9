#include "HttpClip.h"

#include <gtest/gtest.h>

#include "asf/AsfInfo.h"
#include "asf/AsfPacketTools.h"
#include "common/LittleEndian.h"

namespace tapewell::test {

const TempDir& HttpClip::Root() {
    static TempDir dir;
    return dir;
}

const HttpClip& HttpClip::Get() {
    static const HttpClip clip = [] {
        HttpClip c;
        c.path = Root() / "clip.asf";
        AsfRecipe recipe;
        recipe.seconds = 3;
        EXPECT_TRUE(MakeAsf(c.path, recipe));
        c.bytes = ReadFileBytes(c.path);
        AsfInfo info;
        EXPECT_GT(info.Parse(c.path), 0);
        c.headerSize = info.GetObjects().front().size;
        c.packetSize = info.GetFileProperties().minPacketSize;
        c.packetCount = info.GetDataObject().totalDataPackets;
        return c;
    }();
    return clip;
}

std::vector<uint8_t> HttpClip::StreamHeader() const {
    return {bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(headerSize + 50)};
}

std::span<const uint8_t> HttpClip::Packet(uint64_t n) const {
    return std::span(bytes).subspan(headerSize + 50 + n * packetSize, packetSize);
}

size_t HttpClip::PropertiesOffset() const {
    return static_cast<size_t>(AsfPacketTools::FindFileProperties(bytes));
}

void AppendChunk(std::vector<uint8_t>& out, char type, uint32_t sequence, uint8_t flags,
                 std::span<const uint8_t> body) {
    const size_t at = out.size();
    out.resize(at + 12);
    out[at] = '$';
    out[at + 1] = static_cast<uint8_t>(type);
    WriteLe16(&out[at + 2], static_cast<uint16_t>(8 + body.size()));
    WriteLe32(&out[at + 4], sequence);
    out[at + 8] = 0;
    out[at + 9] = flags;
    WriteLe16(&out[at + 10], static_cast<uint16_t>(8 + body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

}  // namespace tapewell::test
