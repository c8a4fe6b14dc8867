#include "blockbuilder.h"
#include "blockprocessor.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using namespace blockformat;
constexpr std::size_t kEnd = kBlockBytes;

// One batch of every kind, its last record ending at the table's end and its end marker at the block's.
TEST(BlockProcessor, FillsReadsAppliesWritesAndKeepsHeaders)
{
    SimVariables vars;
    vars.setU16(0x0BC8, 32767);
    vars.setU32(0x3304, 0x19980005);
    vars.setU32(0x3308, 0xFADE0006);
    vars.setU8(0xFFFF, 0x5A);
    BlockBuilder builder;
    builder.read(0x0BC8, 2).write(0x4000, {1, 2, 3}).read(0x3304, 4, 0x12345678).read(0x4000, 3);
    // The library version word every open writes, then a write straddling the module's bytes.
    builder.write(0x330A, {0, 0}).write(0x3302, std::vector<std::uint8_t>(12, 0xEE));
    builder.read(0xFFFF, 1).padTo(kEnd - 4).field(0);
    auto& block = builder.block;
    const std::vector<std::uint8_t> before = block;

    ASSERT_EQ(processRequestBlock(vars, block.data(), block.size()), 1u);

    EXPECT_EQ(block[16] | block[17] << 8, 32767);
    EXPECT_EQ(vars.u8(0x4002), 3);
    EXPECT_TRUE(std::equal(block.begin() + 49, block.begin() + 53,
                           std::vector<std::uint8_t>{5, 0, 0x98, 0x19}.begin()));
    EXPECT_EQ(block[53 + 16], 1) << "a read after a write in one batch sees the write";
    EXPECT_EQ(block[110 + 16], 0x5A);
    for (const std::size_t header : {0, 18, 33, 53, 110})
        EXPECT_TRUE(std::equal(before.begin() + header, before.begin() + header + 16, block.begin() + header))
            << "header at " << header << " (destination included) unchanged";
    EXPECT_EQ(vars.u32(0x3304), 0x19980005u);
    EXPECT_EQ(vars.u32(0x3308), 0xFADE0006u) << "a second client must still find 0xFADE";
    EXPECT_EQ(vars.u16(0x3302), 0xEEEE);
    EXPECT_EQ(vars.u16(0x330C), 0xEEEE);
}

struct MalformedBlock {
    std::string name;
    std::function<void(BlockBuilder&)> build;
    friend void PrintTo(const MalformedBlock& row, std::ostream* out) { *out << row.name; }
};

class BlockProcessorRefuses : public testing::TestWithParam<MalformedBlock> {};

TEST_P(BlockProcessorRefuses, WithoutTouchingBlockOrVariables)
{
    SimVariables vars;
    vars.setU32(0x0AF4, 1715);
    BlockBuilder builder;
    GetParam().build(builder);
    const std::vector<std::uint8_t> before = builder.block;
    const std::vector<std::uint8_t> varsBefore(vars.data(), vars.data() + SimVariables::kSize);

    EXPECT_EQ(processRequestBlock(vars, builder.block.data(), kEnd), 0u);

    EXPECT_EQ(builder.block, before);
    EXPECT_TRUE(std::equal(varsBefore.begin(), varsBefore.end(), vars.data()));
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, BlockProcessorRefuses,
    testing::Values(
        MalformedBlock{"UnknownIdAfterGoodRecords",
                       [](BlockBuilder& b) { b.write(0x4000, {9}).read(0x0AF4, 4).field(3); }},
        MalformedBlock{"NoEndMarkerAnywhere",
                       [](BlockBuilder& b) {
                           for (std::size_t i = 0; i < kEnd; i += 16)
                               b.read(0x0AF4, 0);
                       }},
        MalformedBlock{"EndMarkerCutByBlockEnd", [](BlockBuilder& b) { b.padTo(kEnd - 2); }},
        MalformedBlock{"ReadHeaderPastBlockEnd",
                       [](BlockBuilder& b) { b.padTo(kEnd - 8).field(kReadId).field(0x0AF4); }},
        MalformedBlock{"ReadDataPastBlockEnd", [](BlockBuilder& b) { b.padTo(kEnd - 20).read(0x0AF4, 8); }},
        MalformedBlock{"WriteDataPastBlockEnd",
                       [](BlockBuilder& b) { b.padTo(kEnd - 16).field(kWriteId).field(0).field(8); }},
        MalformedBlock{"ReadPastTableEnd", [](BlockBuilder& b) { b.read(0xFFFE, 4).field(0); }},
        MalformedBlock{"SizeThatWrapsIn32Bits",
                       [](BlockBuilder& b) { b.field(kReadId).field(0x10).field(0xFFFFFFF8); }},
        MalformedBlock{
            "OffsetThatWrapsIn32Bits",
            [](BlockBuilder& b) { b.field(kWriteId).field(0xFFFFFFFF).field(2).field(0).field(0); }},
        MalformedBlock{"GoodWriteBeforeABadRecordIsNotApplied",
                       [](BlockBuilder& b) {
                           b.write(0x0AF4, {0, 0, 0, 0}).read(0x20000, 1).field(0);
                       }}),
    [](const auto& info) { return info.param.name; });

} // namespace
