// The flight phase tracker flown against the in-process module: phases,
// times, fuel, block time, exchange counts, and a link that fails mid-flight.
#include "clsacars.h"
#include "fakeipcplatform.h"
#include "recordingevents.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace {

using Events = std::vector<std::string>;

constexpr std::uint32_t kFull = 128 * 65536; // level of a full tank
constexpr std::uint32_t kAnyOffset = 0xFFFFFFFF;
constexpr const char* kSendFailed = "FSClosed IPC sendmessage failed all retries";
constexpr const char* kNotOpen = "Error Call cannot execute, link not Open";
constexpr std::uint32_t kLevelOffsets[] = {0x0B74, 0x1244, 0x124C, 0x0B7C, 0x0B84, 0x0B8C,
                                           0x0B94, 0x0B9C, 0x0BA4, 0x1254, 0x125C};

class TrackerTest : public testing::Test {
protected:
    void SetUp() override
    {
        fillModuleVersions(vars);
        fake.attachModule(&vars);
        tracker.setEvents(&recorded);
        vars.setU32(0x0AF4, 256); // 1 lb per gallon
        setTank(0x0B74, kFull, 1000);
        set(true, true, false, 1000);
        start();
    }

    void start()
    {
        std::string result;
        ASSERT_TRUE(tracker.Start(result)) << result;
    }
    void set(bool brakeSet, bool onGround, bool slew, int hhmm)
    {
        vars.setU16(0x0BC8, brakeSet ? 32767 : 0);
        vars.setU16(0x0366, onGround ? 1 : 0);
        vars.setU16(0x05DC, slew ? 1 : 0);
        vars.setU8(0x023B, static_cast<std::uint8_t>(hhmm / 100));
        vars.setU8(0x023C, static_cast<std::uint8_t>(hhmm % 100));
    }
    void setTank(std::uint32_t levelOffset, std::uint32_t level, std::uint32_t capacityGallons)
    {
        vars.setU32(levelOffset, level);
        vars.setU32(levelOffset + 4, capacityGallons);
    }
    // Every message reading the offset (or any) fails delivery with lastError.
    void failReadsOf(std::uint32_t offset, std::uint32_t lastError)
    {
        fake.setMessageHandler([this, offset, lastError](const FakeIpcPlatform::Message& message) {
            std::uint32_t read = 0;
            std::memcpy(&read, message.block + 4, 4);
            if (offset == kAnyOffset || read == offset)
                return FakeIpcPlatform::notDelivered(lastError);
            return fake.serveWithModule(message);
        });
    }
    Events refresh()
    {
        EXPECT_FALSE(tracker.Refresh());
        return std::exchange(recorded.events, {});
    }
    int exchangesOfRefresh()
    {
        const int before = fake.callCount(FakeIpcPlatform::Operation::SendMessage);
        refresh();
        return fake.callCount(FakeIpcPlatform::Operation::SendMessage) - before;
    }
    // OUT at out, OFF, ON, then IN at in; the events of the IN Refresh.
    Events flyFromTo(int out, int in)
    {
        for (auto [brake, ground, hhmm] : {std::tuple{false, true, out}, {false, false, out}, {false, true, out}}) {
            set(brake, ground, false, hhmm);
            refresh();
        }
        set(true, true, false, in);
        return refresh();
    }

    SimVariables vars;
    FakeIpcPlatform fake;
    clsACARS tracker{fake};
    RecordingEvents recorded;
};

// ---- Flights, one Refresh per step ------------------------------------------------------------

struct Step {
    bool brake = true;
    bool ground = true;
    bool slew = false;
    int hhmm = 1000;
    int tankGallons = -1;         // full first tank of this size; -1 = unchanged
    std::uint32_t failOffset = 0; // reads of it fail (kAnyOffset: all); 0 = none
    std::uint32_t failError = FakeIpcPlatform::kErrorInvalidWindow;
    bool restart = false; // Start before the Refresh
    bool reset = false;   // Reset before the Refresh
    Events expect = {};
};

struct FlightRow {
    const char* name;
    std::vector<Step> steps;
};

class FlightTest : public TrackerTest, public testing::WithParamInterface<FlightRow> {};

TEST_P(FlightTest, RaisesTheEventsOfEachStep)
{
    int number = 0;
    for (const Step& step : GetParam().steps) {
        set(step.brake, step.ground, step.slew, step.hhmm);
        if (step.tankGallons >= 0)
            setTank(0x0B74, kFull, static_cast<std::uint32_t>(step.tankGallons));
        if (step.failOffset != 0)
            failReadsOf(step.failOffset, step.failError);
        else
            fake.setMessageHandler({});
        if (step.restart)
            start();
        if (step.reset)
            tracker.Reset();
        EXPECT_EQ(refresh(), step.expect) << "step " << ++number;
    }
}

const Events kOut1000{"FlightOUT 1000", "FuelOut 1000"};
const Step kOutAndOff{.brake = false, .ground = false, .expect = {"FlightOUT 1000", "FuelOut 1000", "FlightOFF 1000"}};
const Step kOn{.brake = false, .expect = {"FlightON 1000"}};

INSTANTIATE_TEST_SUITE_P(Rows, FlightTest, testing::Values(
    FlightRow{"SlewAtTheFirstRead", {{.brake = false, .ground = false, .slew = true}}},
    FlightRow{"StartedOnTheRunwayWithTheBrakeOff", {{.brake = false, .expect = kOut1000}, {.brake = false}}},
    FlightRow{"StartedInTheAirWithTheBrakeOff", {kOutAndOff}},
    FlightRow{"StartedInTheAirWithTheBrakeSet",
              {{.ground = false, .expect = {"FlightOFF 1000"}},
               {.hhmm = 1020, .expect = {"FlightON 1020"}}, // no IN before OUT
               {.brake = false, .hhmm = 1025, .expect = {"FlightOUT 1025", "FuelOut 1000"}},
               {.hhmm = 1030, .expect = {"FlightIN 1030", "FlightTime 0.1", "FlightTimeHHMM 0:05", "FuelIn 1000",
                                         "FuelUsed 0"}}}},
    FlightRow{"BrakeSetBeforeTakeOff", {{.brake = false, .expect = kOut1000}, {}}},
    FlightRow{"AllTanksEmptyAtIn",
              {kOutAndOff, kOn,
               {.tankGallons = 0, .expect = {"FlightIN 1000", "FlightTime 0.0", "FlightTimeHHMM 0:00", "FuelIn ",
                                             "FuelUsed "}}}},
    FlightRow{"MoreFuelAtIn",
              {kOutAndOff, kOn,
               {.tankGallons = 1200, .expect = {"FlightIN 1000", "FlightTime 0.0", "FlightTimeHHMM 0:00",
                                                "FuelIn 1200", "FuelUsed -200"}}}},
    FlightRow{"ResetAfterInWaitsForTheBrakeRelease",
              {kOutAndOff, kOn,
               {.expect = {"FlightIN 1000", "FlightTime 0.0", "FlightTimeHHMM 0:00", "FuelIn 1000", "FuelUsed 0"}},
               {.brake = false, .ground = false}, // after IN nothing more
               {.reset = true},
               {.brake = false, .hhmm = 1200, .expect = {"FlightOUT 1200", "FuelOut 1000"}}}},
    // A failed read never records a phase; the link closes; Start resumes the flight.
    FlightRow{"LinkLostAndReopened",
              {kOutAndOff,
               {.brake = false, .hhmm = 1040, .failOffset = kAnyOffset, .expect = {kSendFailed}},
               {.brake = false, .hhmm = 1040, .expect = {kNotOpen}},
               {.brake = false, .hhmm = 1040, .restart = true, .expect = {"FlightON 1040"}}}},
    FlightRow{"LinkTimedOut",
              {{.brake = false, .hhmm = 1040, .failOffset = kAnyOffset, .failError = 0,
                .expect = {"FSClosed IPC timed out all retries"}},
               {.brake = false, .hhmm = 1041, .restart = true, .expect = {"FlightOUT 1041", "FuelOut 1000"}}}},
    FlightRow{"FailedBrakeReadAtTheGateIsNoOut",
              {{.failOffset = 0x0BC8, .expect = {kSendFailed}}, {.restart = true}}},
    FlightRow{"FailedGroundReadIsNoOff",
              {{.brake = false, .expect = kOut1000},
               {.brake = false, .ground = false, .failOffset = 0x0366, .expect = {kSendFailed}}}},
    FlightRow{"FailedTimeReadLeavesOutOpen",
              {{.brake = false, .failOffset = 0x023B, .expect = {kSendFailed}},
               {.brake = false, .restart = true, .expect = kOut1000}}},
    FlightRow{"FailedFuelReadGivesUnknownFuelAndNoOff",
              {{.brake = false, .ground = false, .failOffset = 0x0B84,
                .expect = {"FlightOUT 1000", kSendFailed, "FuelOut "}},
               {.brake = false, .ground = false, .restart = true, .expect = {"FlightOFF 1000"}}}},
    FlightRow{"FailedFuelReadAtInStillCompletesTheArrival",
              {kOutAndOff, kOn,
               {.hhmm = 1100, .failOffset = 0x0AF4, .expect = {"FlightIN 1100", "FlightTime 1.0",
                                                               "FlightTimeHHMM 1:00", kSendFailed, "FuelIn ",
                                                               "FuelUsed "}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrackerTest, SlewSwitchedOnAfterTheBrakeReadSkipsTheGroundTest)
{
    set(false, false, false, 1000);
    fake.setMessageHandler([this](const FakeIpcPlatform::Message& message) {
        const auto reply = fake.serveWithModule(message);
        std::uint32_t offset = 0;
        std::memcpy(&offset, message.block + 4, 4);
        if (offset == 0x0BC8)
            vars.setU16(0x05DC, 1);
        return reply;
    });
    EXPECT_EQ(refresh(), kOut1000);
}

TEST_F(TrackerTest, EveryReadIsOneExchange)
{
    EXPECT_EQ(exchangesOfRefresh(), 4);      // slew, brake, slew, ground
    set(false, true, false, 1000);
    EXPECT_EQ(exchangesOfRefresh(), 4 + 24); // and the time and the fuel reading at OUT
    set(false, true, true, 1000);
    EXPECT_EQ(exchangesOfRefresh(), 1);
    tracker.Stop_();
    EXPECT_EQ(exchangesOfRefresh(), 0);
}

// ---- Block time -------------------------------------------------------------------------------

struct BlockRow {
    const char* name;
    int out, in;
    const char* decimal;
    const char* hoursMinutes;
};

class BlockTimeTest : public TrackerTest, public testing::WithParamInterface<BlockRow> {};

TEST_P(BlockTimeTest, GivesDecimalAndHoursMinutes)
{
    const Events events = flyFromTo(GetParam().out, GetParam().in);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[1] + "|" + events[2],
              std::string("FlightTime ") + GetParam().decimal + "|FlightTimeHHMM " + GetParam().hoursMinutes);
}

INSTANTIATE_TEST_SUITE_P(Rows, BlockTimeTest, testing::Values(
    BlockRow{"AcrossMidnight", 2330, 115, "1.8", "1:45"},
    BlockRow{"FiftySevenMinutesCarryToTheNextHour", 1000, 1157, "2.0", "1:57"},
    BlockRow{"ThreeMinutesRoundUp", 1000, 1003, "0.1", "0:03"},
    BlockRow{"TwoMinutesRoundDown", 1000, 1002, "0.0", "0:02"},
    BlockRow{"ClockOutOfRangeGivesNoBlockTime", 1000, 2400, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Fuel -------------------------------------------------------------------------------------

struct FuelRow {
    const char* name;
    std::uint32_t weightRaw;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tanks; // (level, capacity) in table order
    const char* expected;
};

class FuelTest : public TrackerTest, public testing::WithParamInterface<FuelRow> {};

TEST_P(FuelTest, FuelAtOutIsTheRoundedSum)
{
    vars.setU32(0x0AF4, GetParam().weightRaw);
    for (std::size_t i = 0; i < std::size(kLevelOffsets); ++i) {
        const auto tank = i < GetParam().tanks.size() ? GetParam().tanks[i] : std::pair<std::uint32_t, std::uint32_t>{};
        setTank(kLevelOffsets[i], tank.first, tank.second);
    }
    set(false, true, false, 1000);
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1000", std::string("FuelOut ") + GetParam().expected}));
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> everyTankFull()
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tanks;
    for (std::uint32_t i = 0; i < 11; ++i)
        tanks.emplace_back(kFull, 1u << i); // each tank its own bit of the sum
    return tanks;
}

INSTANTIATE_TEST_SUITE_P(Rows, FuelTest, testing::Values(
    FuelRow{"EveryTankCountsOnce", 256, everyTankFull(), "2047"},
    FuelRow{"HalfPoundRoundsUp", 256, {{kFull / 2, 1}}, "1"},
    FuelRow{"RoundingToZeroIsEmpty", 256, {{kFull / 4, 1}}, ""},
    FuelRow{"TankWithoutCapacityIsSkipped", 256, {{kFull, 0}, {kFull, 30}}, "30"},
    FuelRow{"NegativeValuesAreSkipped", 256, {{0xFFFFFFFFu, 100}, {kFull, 0xFFFFFF9Cu}, {kFull, 7}}, "7"},
    FuelRow{"LargeLoadHasNoSeparators", 1715, {{kFull, 5000}, {kFull, 5000}}, "66992"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Start and Stop_ --------------------------------------------------------------------------

TEST_F(TrackerTest, StartKeepsTheVersionsOfTheLastSuccess)
{
    EXPECT_EQ(tracker.FS_Version() + " " + tracker.FSUIPC_Version(), "FS2002 1.998e");
    std::string result;
    EXPECT_FALSE(tracker.Start(result));
    EXPECT_EQ(result, "Attempt to Open when already Open");
    EXPECT_EQ(tracker.FS_Version(), "FS2002");

    tracker.Stop_();
    fillModuleVersions(vars, 0x19980005, 13); // a simulator newer than the name table
    EXPECT_TRUE(tracker.Start(result));
    EXPECT_EQ(result + " " + tracker.FS_Version(), "Okay Unknown (13)");
}

TEST_F(TrackerTest, StopClosesTheLinkAndForgetsTheFlight)
{
    set(false, true, false, 1000);
    refresh();
    tracker.Stop_();
    EXPECT_FALSE(tracker.isLinkOpen());
    EXPECT_EQ(tracker.TIME_OUT(), "");
    EXPECT_TRUE(fake.holdsNothing());
    EXPECT_EQ(refresh(), Events{kNotOpen});
}

} // namespace
