#include "blockprocessor.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace RequestBlock;

// Writes records into a 32768-byte block the way a client lays them out.
class BlockBuilder {
public:
    BlockBuilder() : m_block(kBlockBytes, 0) {}

    BlockBuilder& read(std::uint32_t offset, std::uint32_t size, std::uint32_t destination = 0xDEADBEEF)
    {
        field(kReadId).field(offset).field(size).field(destination);
        m_position += size;
        return *this;
    }
    BlockBuilder& write(std::uint32_t offset, const std::vector<std::uint8_t>& data)
    {
        field(kWriteId).field(offset).field(static_cast<std::uint32_t>(data.size()));
        for (const std::uint8_t byte : data)
            m_block.at(m_position++) = byte;
        return *this;
    }
    BlockBuilder& field(std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            m_block.at(m_position++) = static_cast<std::uint8_t>(value >> (8 * i));
        return *this;
    }
    // Fills the space up to position with one read, to put the next record at the block's end.
    BlockBuilder& padTo(std::size_t position) { return read(0, static_cast<std::uint32_t>(position - m_position - 16)); }
    std::vector<std::uint8_t>& block() { return m_block; }

private:
    std::vector<std::uint8_t> m_block;
    std::size_t m_position = 0;
};

std::uint32_t fieldAt(const std::vector<std::uint8_t>& block, std::size_t position)
{
    return block[position] | block[position + 1] << 8 | block[position + 2] << 16 |
           std::uint32_t{block[position + 3]} << 24;
}

TEST(BlockProcessor, FillsReadsAppliesWritesAndKeepsHeaders)
{
    SimVariables vars;
    vars.setU16(0x0BC8, 32767);
    vars.setU32(0x3304, 0x19980005);
    BlockBuilder builder;
    builder.read(0x0BC8, 2).write(0x4000, {1, 2, 3}).read(0x3304, 4, 0x12345678).read(0x4000, 3).field(0);
    auto& block = builder.block();
    const std::vector<std::uint8_t> before = block;

    ASSERT_EQ(processRequestBlock(vars, block.data(), block.size()), 1u);

    EXPECT_EQ(block[16] | block[17] << 8, 32767) << "first read filled";
    EXPECT_EQ(vars.u8(0x4000), 1);
    EXPECT_EQ(vars.u8(0x4002), 3);
    const std::size_t secondRead = 18 + 15;
    EXPECT_EQ(fieldAt(block, secondRead + 16), 0x19980005u);
    EXPECT_EQ(fieldAt(block, secondRead + 12), 0x12345678u) << "destination field carried unchanged";
    EXPECT_EQ(block[secondRead + 20 + 16], 1) << "a read after a write in one batch sees the write";
    for (const std::size_t header : {std::size_t{0}, std::size_t{18}, secondRead})
        EXPECT_TRUE(std::equal(before.begin() + header, before.begin() + header + 12, block.begin() + header));
}

TEST(BlockProcessor, ClientWritesLeaveTheModuleVersionWordsAlone)
{
    SimVariables vars;
    vars.setU32(0x3304, 0x19980005);
    vars.setU32(0x3308, 0xFADE0006);
    BlockBuilder builder;
    // The library version word every open writes, and a write straddling the module's bytes.
    builder.write(0x330A, {0, 0}).write(0x3302, std::vector<std::uint8_t>(12, 0xEE)).field(0);

    ASSERT_EQ(processRequestBlock(vars, builder.block().data(), kBlockBytes), 1u);

    EXPECT_EQ(vars.u32(0x3304), 0x19980005u);
    EXPECT_EQ(vars.u32(0x3308), 0xFADE0006u);
    EXPECT_EQ(vars.u16(0x3302), 0xEEEE) << "bytes before the module's are written";
    EXPECT_EQ(vars.u16(0x330C), 0xEEEE) << "bytes after the module's are written";
}

struct MalformedBlock {
    std::string name;
    std::function<void(BlockBuilder&)> build;
};

void PrintTo(const MalformedBlock& row, std::ostream* out) { *out << row.name; }

class BlockProcessorRefuses : public testing::TestWithParam<MalformedBlock> {};

TEST_P(BlockProcessorRefuses, WithoutTouchingBlockOrVariables)
{
    SimVariables vars;
    vars.setU32(0x0AF4, 1715);
    BlockBuilder builder;
    GetParam().build(builder);
    auto& block = builder.block();
    const std::vector<std::uint8_t> before = block;
    const std::vector<std::uint8_t> varsBefore(vars.data(), vars.data() + SimVariables::kSize);

    EXPECT_EQ(processRequestBlock(vars, block.data(), block.size()), 0u);

    EXPECT_EQ(block, before);
    EXPECT_TRUE(std::equal(varsBefore.begin(), varsBefore.end(), vars.data()));
}

const std::size_t kEnd = kBlockBytes;

INSTANTIATE_TEST_SUITE_P(
    Malformed, BlockProcessorRefuses,
    testing::Values(
        MalformedBlock{"UnknownIdAfterGoodRecords",
                       [](BlockBuilder& b) { b.write(0x4000, {9}).read(0x0AF4, 4).field(3); }},
        MalformedBlock{"NoEndMarkerAnywhere",
                       [](BlockBuilder& b) {
                           for (std::size_t i = 0; i + 16 <= kEnd; i += 16)
                               b.read(0x0AF4, 0);
                       }},
        MalformedBlock{"EndMarkerCutByBlockEnd", [](BlockBuilder& b) { b.padTo(kEnd - 2); }},
        MalformedBlock{"ReadHeaderPastBlockEnd", [](BlockBuilder& b) { b.padTo(kEnd - 8).field(kReadId).field(0x0AF4); }},
        MalformedBlock{"ReadDataPastBlockEnd", [](BlockBuilder& b) { b.padTo(kEnd - 20).read(0x0AF4, 8); }},
        MalformedBlock{"WriteDataPastBlockEnd",
                       [](BlockBuilder& b) { b.padTo(kEnd - 16).field(kWriteId).field(0x4000).field(8); }},
        MalformedBlock{"ReadPastTableEnd", [](BlockBuilder& b) { b.read(0xFFFE, 4).field(0); }},
        MalformedBlock{"WritePastTableEnd", [](BlockBuilder& b) { b.write(0xFFFF, {1, 2}).field(0); }},
        MalformedBlock{"SizeThatWrapsIn32Bits",
                       [](BlockBuilder& b) { b.field(kReadId).field(0x10).field(0xFFFFFFF8).field(0); }},
        MalformedBlock{"OffsetThatWrapsIn32Bits",
                       [](BlockBuilder& b) { b.field(kWriteId).field(0xFFFFFFFF).field(2).field(0).field(0); }},
        MalformedBlock{"GoodWriteBeforeBadRecordIsNotApplied",
                       [](BlockBuilder& b) { b.write(0x0AF4, {0, 0, 0, 0}).read(0x20000, 1).field(0); }}),
    [](const testing::TestParamInfo<MalformedBlock>& info) { return info.param.name; });

TEST(BlockProcessor, AcceptsRecordsThatEndExactlyAtTheBlockEnd)
{
    SimVariables vars;
    vars.setU8(0xFFFF, 0x5A);
    BlockBuilder builder;
    builder.read(0xFFFF, 1).read(0, kEnd - 16 - 17 - 4).field(0);
    ASSERT_EQ(processRequestBlock(vars, builder.block().data(), kEnd), 1u);
    EXPECT_EQ(builder.block()[16], 0x5A);
}

TEST(BlockProcessor, RefusesNoBlockAndATooShortOne)
{
    SimVariables vars;
    std::uint8_t endOnly[4] = {0, 0, 0, 0};
    EXPECT_EQ(processRequestBlock(vars, nullptr, kBlockBytes), 0u);
    EXPECT_EQ(processRequestBlock(vars, endOnly, 3), 0u);
    EXPECT_EQ(processRequestBlock(vars, endOnly, 4), 1u);
}

TEST(SimVariables, RefusesValuesPastTheTable)
{
    SimVariables vars;
    EXPECT_NO_THROW(vars.setU32(0xFFFC, 1));
    EXPECT_THROW(vars.setU32(0xFFFD, 1), std::out_of_range);
    EXPECT_THROW((void)vars.u16(0xFFFF), std::out_of_range);
    vars.setU32(0x0B74, 0x00800000);
    EXPECT_EQ(vars.data()[0x0B76], 0x80) << "little-endian";
}

} // namespace
