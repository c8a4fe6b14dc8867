#include "blockformat.h"
#include "clsfsuipc.h"
#include "fakeipcplatform.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <ostream>

namespace {

using Op = FakeIpcPlatform::Operation;
using Message = FakeIpcPlatform::Message;

constexpr std::int32_t kBrake = 0x0BC8;
constexpr std::int32_t kFuelWeight = 0x0AF4;
constexpr std::int32_t kScratch = 0x4000; // not used by the simulator
constexpr std::int32_t kUnset = -99;

// Rows print as their names in test lists and failures, not as bytes.
template <typename Row>
    requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

const auto kRowName = [](const auto& info) { return std::string(info.param.name); };

class LinkTest : public ::testing::Test {
protected:
    LinkTest() { fillModuleVersions(vars), fake.attachModule(&vars); }

    void open() { ASSERT_TRUE(link.FSUIPC_Open(0, rc)) << link.Get_Result(rc); }
    // A call's outcome: true exactly when the code is "Okay".
    void expectCode(bool ok, std::int32_t code)
    {
        EXPECT_EQ(ok, code == FSUIPC_OK);
        EXPECT_EQ(rc, code);
        rc = kUnset;
    }

    void expectLinkReleased()
    {
        EXPECT_FALSE(link.isOpen());
        EXPECT_TRUE(fake.holdsNothing()) << fake.heldAtoms() << " atoms, " << fake.heldViews() << " views";
        EXPECT_TRUE(fake.misuses().empty()) << fake.misuses().front();
    }

    // Queues a read of the brake word, set to 1 in the module.
    void queueBrake(std::uint16_t& brake)
    {
        vars.setU16(kBrake, 1);
        ASSERT_TRUE(link.FSUIPC_Read(kBrake, 2, &brake, rc));
    }

    SimVariables vars;
    FakeIpcPlatform fake;
    clsFSUIPC link{fake};
    std::int32_t rc = kUnset;
};

// ---- opening ----

struct OpenRow {
    const char* name;
    std::vector<std::string> windows;
    std::uint32_t moduleVersion, simWord;
    std::int32_t requested, expected;
};
class OpenVersions : public LinkTest, public ::testing::WithParamInterface<OpenRow> {};

TEST_P(OpenVersions, giveTheirCodeAndAFailedOpenHoldsNothing)
{
    const OpenRow& row = GetParam();
    fake.setWindowClasses(row.windows);
    vars.setU32(0x3304, row.moduleVersion);
    vars.setU32(0x3308, row.simWord);
    expectCode(link.FSUIPC_Open(row.requested, rc), row.expected);
    if (row.expected != FSUIPC_OK)
        expectLinkReleased();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Handshake, OpenVersions, ::testing::Values(
    OpenRow{"minimum_module", {"UIPCMAIN"}, 0x19980005, 0xFADE0006, 0, FSUIPC_OK},
    OpenRow{"module_one_below_minimum", {"UIPCMAIN"}, 0x19980004, 0xFADE0006, 0, FSUIPC_ERR_VERSION},
    OpenRow{"module_version_compared_signed", {"UIPCMAIN"}, 0x80000000, 0xFADE0006, 0, FSUIPC_ERR_VERSION},
    OpenRow{"wrong_check_pattern", {"UIPCMAIN"}, 0x19980005, 0xFADF0006, 0, FSUIPC_ERR_VERSION},
    OpenRow{"zeros_from_primary_window", {"UIPCMAIN"}, 0, 0, 0, FSUIPC_ERR_VERSION},
    OpenRow{"zeros_from_networked_window", {"FS98MAIN"}, 0, 0, 0, FSUIPC_ERR_RUNNING},
    OpenRow{"primary_window_preferred", {"FS98MAIN", "UIPCMAIN"}, 0, 0, 0, FSUIPC_ERR_VERSION},
    OpenRow{"networked_window_usable", {"FS98MAIN"}, 0x19980005, 0xFADE0006, 0, FSUIPC_OK},
    OpenRow{"requested_sim_present", {"UIPCMAIN"}, 0x19980005, 0xFADE0006, 6, FSUIPC_OK},
    OpenRow{"requested_sim_absent", {"UIPCMAIN"}, 0x19980005, 0xFADE0006, 2, FSUIPC_ERR_WRONGFS},
    OpenRow{"no_window", {}, 0x19980005, 0xFADE0006, 0, FSUIPC_ERR_NOFS}), kRowName);
// clang-format on

struct FailingStep {
    const char* name;
    Op operation;
    std::uint32_t lastError;
    int times;
    std::int32_t expected;
};
class OpenFailures : public LinkTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(OpenFailures, holdNothingAndAllowALaterOpen)
{
    for (int i = 0; i < GetParam().times; ++i)
        fake.failNext(GetParam().operation, GetParam().lastError);
    expectCode(link.FSUIPC_Open(0, rc), GetParam().expected);
    expectLinkReleased();
    open();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(EachStep, OpenFailures, ::testing::Values(
    FailingStep{"window", Op::FindWindow, 0, 2, FSUIPC_ERR_NOFS},
    FailingStep{"message", Op::RegisterMessage, 0, 1, FSUIPC_ERR_REGMSG},
    FailingStep{"atom", Op::AddAtom, 0, 1, FSUIPC_ERR_ATOM},
    FailingStep{"mapping", Op::CreateMapping, 8, 1, FSUIPC_ERR_MAP},
    FailingStep{"mapping_exists", Op::CreateMapping, FakeIpcPlatform::kErrorAlreadyExists, 1, FSUIPC_ERR_MAP},
    FailingStep{"view", Op::MapView, 0, 1, FSUIPC_ERR_VIEW},
    FailingStep{"handshake_not_delivered", Op::SendMessage, 1400, 11, FSUIPC_ERR_SENDMSG},
    FailingStep{"handshake_timed_out", Op::SendMessage, 0, 11, FSUIPC_ERR_TIMEOUT}), kRowName);
// clang-format on

TEST_F(LinkTest, handshakeSendsOneBatchPerRoundUntilTheModuleAnswers)
{
    int messages = 0;
    fake.setMessageHandler([&](const Message& message) {
        EXPECT_EQ(message.timeoutMs, 2000u);
        EXPECT_EQ(message.lParam, 0u);
        // Read 4 at 0x3304, read 4 at 0x3308, the library word 0 written at 0x330A, the end marker.
        const std::vector<std::pair<std::size_t, std::uint32_t>> fields = {
            {0, 1},  {4, 0x3304}, {8, 4},       {20, 1}, {24, 0x3308},
            {28, 4}, {40, 2},     {44, 0x330A}, {48, 2}, {54, 0}};
        for (const auto& [position, value] : fields)
            EXPECT_EQ(blockformat::loadU32LE(message.block + position), value) << "field at " << position;
        EXPECT_EQ(blockformat::loadU32LE(message.block + 52) & 0xFFFF, 0u);
        // The module has its numbers ready only from the third message on.
        return ++messages < 3 ? FakeIpcPlatform::answered(1) : fake.serveWithModule(message);
    });
    open();
    EXPECT_EQ(messages, 3);
    EXPECT_EQ(fake.pauseCount(), 3);
}

TEST_F(LinkTest, eachOpenUsesANewMappingNameOfAtMost24Characters)
{
    open();
    const std::string first = link.mappingName();
    EXPECT_EQ(first.rfind("FSASMLIB:IPC:3F2A:", 0), 0u) << first;
    EXPECT_EQ(fake.atomNames().back(), first); // the module finds the mapping through the atom
    link.FSUIPC_Close();
    open();
    EXPECT_EQ(std::stoul(link.mappingName().substr(18), nullptr, 16),
              std::stoul(first.substr(18), nullptr, 16) + 1);
    fake.setProcessId(0xFFFFFFFF);
    for (int i = 0; i < 0x110; ++i) { // until the counter has three digits
        link.FSUIPC_Close();
        open();
        EXPECT_EQ(link.mappingName().substr(0, 22), "FSASMLIB:IPC:FFFFFFFF:");
        EXPECT_LE(link.mappingName().size(), 24u);
    }
}

// ---- the link's life ----

TEST_F(LinkTest, closedGivesCode9EmptyBatch10SecondOpen1AndClosingReleasesEverythingOnce)
{
    std::uint16_t brake = 0;
    EXPECT_EQ(link.Version_FSUIPC(), "0.000");
    expectCode(link.FSUIPC_Read(kBrake, 2, &brake, rc), FSUIPC_ERR_NOTOPEN);
    expectCode(link.FSUIPC_Write(kScratch, 2, &brake, rc), FSUIPC_ERR_NOTOPEN);
    expectCode(link.FSUIPC_Process(rc), FSUIPC_ERR_NOTOPEN);
    open();
    expectCode(link.FSUIPC_Process(rc), FSUIPC_ERR_NODATA);

    expectCode(link.FSUIPC_Open(0, rc), FSUIPC_ERR_OPEN);
    EXPECT_EQ(link.Version_FS(), "Any");
    EXPECT_EQ(link.Version_FSUIPC(), "0.000");
    queueBrake(brake);
    EXPECT_TRUE(link.FSUIPC_Process(rc)) << "the refused open kept the link";
    EXPECT_EQ(brake, 1);

    link.FSUIPC_Close();
    link.FSUIPC_Close();
    expectLinkReleased();
    EXPECT_TRUE(clsFSUIPC(fake).FSUIPC_Open(0, rc));
    expectLinkReleased(); // by destruction
}

// ---- queuing ----

struct SpaceRow {
    const char* name;
    bool read;
    std::int32_t n;
};
class SpaceLimit : public LinkTest, public ::testing::WithParamInterface<SpaceRow> {};

TEST_P(SpaceLimit, requestFitsExactlyNotOneByteLaterAndTheRefusalKeepsEarlierReads)
{
    const SpaceRow& row = GetParam();
    const std::size_t needed =
        4 + (row.read ? 16 : 12) + static_cast<std::size_t>(row.n); // with the end marker
    std::vector<std::uint8_t> buffer(blockformat::kBlockBytes);
    const auto occupy = [&](std::size_t usedBytes) { // one write that leaves exactly usedBytes taken
        return link.FSUIPC_Write(kScratch, static_cast<std::int32_t>(usedBytes - 12), buffer.data(), rc);
    };
    const auto queue = [&] {
        return row.read ? link.FSUIPC_Read(kScratch, row.n, buffer.data(), rc)
                        : link.FSUIPC_Write(kScratch, row.n, buffer.data(), rc);
    };
    std::uint32_t weight = 0;
    vars.setU32(kFuelWeight, 1700);
    open();
    ASSERT_TRUE(link.FSUIPC_Read(kFuelWeight, 4, &weight, rc) && occupy(32512 - needed + 1 - 20));
    expectCode(queue(), FSUIPC_ERR_SIZE);
    ASSERT_TRUE(link.FSUIPC_Process(rc));
    EXPECT_EQ(weight, 1700u);
    ASSERT_TRUE(occupy(32512 - needed));
    EXPECT_TRUE(queue());
    EXPECT_TRUE(link.FSUIPC_Process(rc)) << link.Get_Result(rc);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sizes, SpaceLimit, ::testing::Values(
    SpaceRow{"read_0", true, 0}, SpaceRow{"read_1", true, 1}, SpaceRow{"read_1000", true, 1000},
    SpaceRow{"write_0", false, 0}, SpaceRow{"write_4", false, 4}, SpaceRow{"write_1000", false, 1000}), kRowName);
// clang-format on

struct BadSize {
    const char* name;
    std::int32_t size;
};
class BadSizes : public LinkTest, public ::testing::WithParamInterface<BadSize> {};

TEST_P(BadSizes, areRefusedWithCode15AndQueueNothing)
{
    std::uint8_t byte = 0;
    open();
    expectCode(link.FSUIPC_Read(kScratch, GetParam().size, &byte, rc), FSUIPC_ERR_SIZE);
    expectCode(link.FSUIPC_Write(kScratch, GetParam().size, &byte, rc), FSUIPC_ERR_SIZE);
    expectCode(link.FSUIPC_WriteS(kScratch, GetParam().size, "x", rc), FSUIPC_ERR_SIZE);
    expectCode(link.FSUIPC_Process(rc), FSUIPC_ERR_NODATA);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Counts, BadSizes, ::testing::Values(
    BadSize{"minus_one", -1}, BadSize{"most_negative", INT32_MIN}, BadSize{"largest", INT32_MAX},
    BadSize{"wraps_to_small", static_cast<std::int32_t>(0xFFFFFFF0u)},
    BadSize{"one_past_empty_block", 32512 - 16 + 1}), kRowName);
// clang-format on

struct WriteSRow {
    const char* name;
    std::size_t textBytes; // of "ABCDEFGH", cut after it held more
    std::int32_t size;
    std::array<std::uint8_t, 8> sent;
};
class WriteS : public LinkTest, public ::testing::WithParamInterface<WriteSRow> {};

TEST_P(WriteS, sendsTheTextThenZerosNeverWhatLiesBehindIt)
{
    std::string text = "ABCDEFGH";
    text.resize(GetParam().textBytes); // the old characters stay in the buffer behind the terminator
    for (std::uint32_t i = 0; i < 8; ++i)
        vars.setU8(kScratch + i, 0xEE);
    open();
    ASSERT_TRUE(link.FSUIPC_WriteS(kScratch, GetParam().size, text, rc) && link.FSUIPC_Process(rc));
    for (std::uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(vars.u8(kScratch + i), GetParam().sent[i]) << "byte " << i;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, WriteS, ::testing::Values(
    WriteSRow{"text_and_zero", 2, 3, {'A', 'B', 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    WriteSRow{"size_cuts_text", 6, 3, {'A', 'B', 'C', 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
    WriteSRow{"size_beyond_text", 3, 8, {'A', 'B', 'C', 0, 0, 0, 0, 0}},
    WriteSRow{"empty_text", 0, 4, {0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}}), kRowName);
// clang-format on

// ---- exchanging ----

// The scan on its own, each row the one that only its check refuses: memory
// past blockBytes holds what a scan without that check would accept, and a
// read nobody queued waits behind the queued ones, as bait.
struct ScanRow {
    const char* name;
    std::vector<std::uint32_t> words; // the block's fields from its start, and memory past its end
    std::size_t blockBytes;
    std::vector<std::pair<std::size_t, std::size_t>> queued; // each read's position and size
    bool clean;
    friend void PrintTo(const ScanRow& row, std::ostream* out) { *out << row.name; }
};
class ReplyScan : public ::testing::TestWithParam<ScanRow> {};

constexpr std::uint32_t kData = 0x11111111;

TEST_P(ReplyScan, staysInsideTheBlockAndTheQueue)
{
    const ScanRow& row = GetParam();
    std::array<std::uint8_t, 64> memory{};
    for (std::size_t i = 0; i < row.words.size(); ++i)
        blockformat::storeU32LE(&memory[4 * i], row.words[i]);
    std::array<std::array<std::uint8_t, 8>, 3> destinations{};
    std::vector<fsuipc::QueuedRead> reads;
    for (const auto& [position, sizeBytes] : row.queued)
        reads.push_back({position, sizeBytes, destinations[reads.size()].data()});
    reads.push_back({0, 4, destinations.back().data()});
    const std::span<const fsuipc::QueuedRead> queued(reads.data(), row.queued.size());

    EXPECT_EQ(fsuipc::scanReplyBlock(memory.data(), row.blockBytes, queued), row.clean);
    EXPECT_EQ(destinations.back(), (std::array<std::uint8_t, 8>{})) << "a read nobody queued was copied";
    for (std::size_t i = 0; row.clean && i < row.queued.size(); ++i)
        EXPECT_EQ(blockformat::loadU32LE(destinations[i].data()), kData);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Blocks, ReplyScan, ::testing::Values(
    ScanRow{"write_then_read_filling_the_block", {2, 0, 0, 1, 0, 4, 1, kData, 0}, 36, {{12, 4}}, true},
    ScanRow{"end_marker_cut_by_block_end", {0}, 2, {}, false},
    ScanRow{"unknown_id", {3, 0, 0, 0}, 16, {}, false},
    ScanRow{"header_cut_by_block_end", {2, 0, 0, 0}, 8, {}, false},
    ScanRow{"data_past_block_end", {2, 0, 8, kData, kData, 0}, 16, {}, false},
    ScanRow{"read_not_queued", {1, 0, 4, 1, kData, 0}, 64, {}, false},
    ScanRow{"read_elsewhere_than_queued", {2, 0, 0, 1, 0, 4, 1, kData, 0}, 64, {{0, 4}}, false},
    ScanRow{"read_size_other_than_queued", {1, 0, 4, 1, kData, 0}, 64, {{0, 2}}, false},
    ScanRow{"end_before_queued_read", {0}, 16, {{0, 4}}, false}), kRowName);
// clang-format on

struct Delivery {
    const char* name;
    std::vector<std::uint32_t> failedAttempts; // last error of each failing attempt, in order
    std::uintptr_t reply;
    bool garbled; // the reply block's first read says it holds 0xFFFFFFFF bytes
    std::int32_t expected;
};
class Deliveries : public LinkTest, public ::testing::WithParamInterface<Delivery> {};

TEST_P(Deliveries, takeElevenAttemptsAreNamedByTheLastErrorAndTheReplyAndLeaveTheLinkUsable)
{
    const Delivery& row = GetParam();
    open();
    const int sendsBefore = fake.callCount(Op::SendMessage);
    const std::uint64_t pausedBefore = fake.pausedMs();
    for (std::uint32_t lastError : row.failedAttempts)
        fake.failNext(Op::SendMessage, lastError);
    fake.setMessageHandler([&](const Message& message) {
        fake.serveWithModule(message);
        if (row.garbled)
            blockformat::storeU32LE(message.block + 8, 0xFFFFFFFF);
        return FakeIpcPlatform::answered(row.reply);
    });
    std::uint16_t brake = 0;
    queueBrake(brake);
    expectCode(link.FSUIPC_Process(rc), row.expected);
    EXPECT_EQ(brake, row.expected == FSUIPC_OK ? 1 : 0);
    const int attempts = std::min(static_cast<int>(row.failedAttempts.size()) + 1, 11);
    EXPECT_EQ(fake.callCount(Op::SendMessage) - sendsBefore, attempts);
    EXPECT_EQ(fake.pausedMs() - pausedBefore, 100u * static_cast<std::uint64_t>(attempts - 1));

    fake.setMessageHandler(nullptr);
    expectCode(link.FSUIPC_Process(rc), FSUIPC_ERR_NODATA);
    vars.setU16(kBrake, 2);
    EXPECT_TRUE(link.FSUIPC_Read(kBrake, 2, &brake, rc) && link.FSUIPC_Process(rc));
    EXPECT_EQ(brake, 2);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Attempts, Deliveries, ::testing::Values(
    Delivery{"dead_window", std::vector<std::uint32_t>(11, 1400), 1, false, FSUIPC_ERR_SENDMSG},
    Delivery{"timed_out", std::vector<std::uint32_t>(11, 0), 1, false, FSUIPC_ERR_TIMEOUT},
    Delivery{"last_attempt_decides", {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 0}, 1, false, FSUIPC_ERR_TIMEOUT},
    Delivery{"eleventh_attempt_delivered", std::vector<std::uint32_t>(10, 1400), 1, false, FSUIPC_OK},
    Delivery{"reply_zero", {}, 0, false, FSUIPC_ERR_DATA}, Delivery{"reply_two", {}, 2, false, FSUIPC_ERR_DATA},
    Delivery{"garbled_block", {}, 1, true, FSUIPC_ERR_DATA}), kRowName);
// clang-format on

// ---- texts ----

TEST_F(LinkTest, resultTextsAreExactAndCodesOutsideTheTableThrow)
{
    EXPECT_EQ(link.Get_Result(FSUIPC_OK), "Okay");
    EXPECT_EQ(link.Get_Result(FSUIPC_ERR_NOFS),
              "Unable to connect to FSUIPC.  Possible causes:\r\n1) Flight Simulator may not be running\r\n"
              "2) The FSUIPC.DLL may not be installed in ..\\Flight Simulator\\Modules.");
    EXPECT_EQ(link.Get_Result(FSUIPC_ERR_SIZE),
              "Read or Write request cannot be added, memory for Process is full");
    EXPECT_THROW(link.Get_Result(-1), std::out_of_range);
    EXPECT_THROW(link.Get_Result(16), std::out_of_range);
}

struct VersionRow {
    const char* name;
    std::uint32_t moduleVersion;
    std::uint16_t simCode;
    const char *moduleText, *simText;
};
class VersionTexts : public LinkTest, public ::testing::WithParamInterface<VersionRow> {};

TEST_P(VersionTexts, describeWhatTheLastOpenRead)
{
    fillModuleVersions(vars, GetParam().moduleVersion, GetParam().simCode);
    link.FSUIPC_Open(0, rc);
    EXPECT_EQ(link.Version_FSUIPC(), GetParam().moduleText);
    EXPECT_EQ(link.Version_FS(), GetParam().simText);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, VersionTexts, ::testing::Values(
    VersionRow{"build_letter_e", 0x19980005, 6, "1.998e", "FS2002"},
    VersionRow{"no_build_letter", 0x40000000, 8, "4.000", "FSYETANOTHER"},
    VersionRow{"groups_above_nine", 0x1ABF0002, 0, "1.:;?b", "Any"},
    VersionRow{"newer_simulator_code", 0x35010001, 13, "3.501a", "Unknown (13)"},
    VersionRow{"letter_beyond_single_byte", 0x199800A1, 1, "Unknown", "FS98"}), kRowName);
// clang-format on

} // namespace
