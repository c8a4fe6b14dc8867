// The flight phase tracker flown against the in-process module: phases,
// times, fuel, block time, exchange counts, and a link that fails mid-flight.
#include "clsacars.h"
#include "clsfsuipc.h"
#include "fakeipcplatform.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Events = std::vector<std::string>;

constexpr std::uint32_t kFull = 128 * 65536; // tank level of a full tank

// Each event as "Name text", in the order raised.
class RecordingEvents : public clsACARSEvents {
public:
    Events events;
    std::function<void()> onFlightIN;

    void FlightOUT(const std::string& s) override { add("FlightOUT", s); }
    void FlightOFF(const std::string& s) override { add("FlightOFF", s); }
    void FlightON(const std::string& s) override { add("FlightON", s); }
    void FlightIN(const std::string& s) override
    {
        add("FlightIN", s);
        if (onFlightIN)
            onFlightIN();
    }
    void FlightTime(const std::string& s) override { add("FlightTime", s); }
    void FlightTimeHHMM(const std::string& s) override { add("FlightTimeHHMM", s); }
    void FuelOut(const std::string& s) override { add("FuelOut", s); }
    void FuelIn(const std::string& s) override { add("FuelIn", s); }
    void FuelUsed(const std::string& s) override { add("FuelUsed", s); }
    void FSClosed(const std::string& s) override { add("FSClosed", s); }
    void Error(const std::string& s) override { add("Error", s); }

    Events take() { return std::exchange(events, {}); }

private:
    void add(const char* name, const std::string& text) { events.push_back(std::string(name) + " " + text); }
};

class TrackerTest : public testing::Test {
protected:
    void SetUp() override
    {
        fillModuleVersions(vars);
        fake.attachModule(&vars);
        tracker.setEvents(&recorded);
        setFuelWeight(256); // 1 lb per gallon
        setTank(0x0B74, kFull, 1000);
        park(true, true);
        setClock(10, 0);
        std::string result;
        ASSERT_TRUE(tracker.Start(result)) << result;
    }

    void setClock(int hour, int minute)
    {
        vars.setU8(0x023B, static_cast<std::uint8_t>(hour));
        vars.setU8(0x023C, static_cast<std::uint8_t>(minute));
    }
    void park(bool brakeSet, bool onGround)
    {
        vars.setU16(0x0BC8, brakeSet ? 32767 : 0);
        vars.setU16(0x0366, onGround ? 1 : 0);
    }
    void setBrake(bool set) { vars.setU16(0x0BC8, set ? 32767 : 0); }
    void setGround(bool onGround) { vars.setU16(0x0366, onGround ? 1 : 0); }
    void setSlew(bool on) { vars.setU16(0x05DC, on ? 1 : 0); }
    void setFuelWeight(std::uint32_t raw) { vars.setU32(0x0AF4, raw); }
    void setTank(std::uint32_t levelOffset, std::uint32_t level, std::uint32_t capacityGallons)
    {
        vars.setU32(levelOffset, level);
        vars.setU32(levelOffset + 4, capacityGallons);
    }

    // Events of one Refresh.
    Events refresh()
    {
        recorded.take();
        EXPECT_FALSE(tracker.Refresh());
        return recorded.take();
    }

    int exchangesOf(const std::function<void()>& step)
    {
        const int before = fake.callCount(FakeIpcPlatform::Operation::SendMessage);
        step();
        return fake.callCount(FakeIpcPlatform::Operation::SendMessage) - before;
    }

    // OUT at out, OFF, ON, then IN at in; returns the events of the IN refresh.
    Events flyFromTo(int outHour, int outMinute, int inHour, int inMinute)
    {
        setClock(outHour, outMinute);
        park(false, true);
        refresh();
        setGround(false);
        refresh();
        setGround(true);
        refresh();
        setClock(inHour, inMinute);
        setBrake(true);
        return refresh();
    }

    SimVariables vars;
    FakeIpcPlatform fake;
    clsACARS tracker{fake};
    RecordingEvents recorded;
};

// ---- Phases -----------------------------------------------------------------------------------

TEST_F(TrackerTest, RefreshWithoutChangeCostsFourExchanges)
{
    Events events;
    EXPECT_EQ(exchangesOf([&] { events = refresh(); }), 4);
    EXPECT_EQ(events, Events{});
}

TEST_F(TrackerTest, SlewAtTheFirstReadEndsTheRefresh)
{
    park(false, false);
    setSlew(true);
    Events events;
    EXPECT_EQ(exchangesOf([&] { events = refresh(); }), 1);
    EXPECT_EQ(events, Events{});
    EXPECT_EQ(tracker.TIME_OUT(), "");
}

TEST_F(TrackerTest, SlewSwitchedOnAfterTheBrakeReadSkipsTheGroundTest)
{
    park(false, false);
    fake.setMessageHandler([this](const FakeIpcPlatform::Message& message) {
        const auto reply = fake.serveWithModule(message);
        std::uint32_t offset = 0;
        std::memcpy(&offset, message.block + 4, 4);
        if (offset == 0x0BC8)
            setSlew(true);
        return reply;
    });
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1000", "FuelOut 1000"}));
    EXPECT_EQ(tracker.TIME_OFF(), "");
}

TEST_F(TrackerTest, StartedOnTheRunwayWithTheBrakeOffRecordsOutOnly)
{
    park(false, true);
    int exchanges = 0;
    Events events;
    exchanges = exchangesOf([&] { events = refresh(); });
    EXPECT_EQ(events, (Events{"FlightOUT 1000", "FuelOut 1000"}));
    EXPECT_EQ(exchanges, 4 + 1 + 23); // the time and the fuel reading
    EXPECT_EQ(refresh(), Events{});
}

TEST_F(TrackerTest, StartedInTheAirWithTheBrakeOffRecordsOutAndOffTogether)
{
    park(false, false);
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1000", "FuelOut 1000", "FlightOFF 1000"}));
}

TEST_F(TrackerTest, StartedInTheAirWithTheBrakeSetWaitsForOutBeforeIn)
{
    park(true, false);
    EXPECT_EQ(refresh(), Events{"FlightOFF 1000"});
    setClock(10, 20);
    setGround(true);
    EXPECT_EQ(refresh(), Events{"FlightON 1020"}); // brake set, but no OUT yet: no IN
    EXPECT_EQ(refresh(), Events{});
    setClock(10, 25);
    setBrake(false);
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1025", "FuelOut 1000"}));
    setClock(10, 30);
    setBrake(true);
    EXPECT_EQ(refresh(), (Events{"FlightIN 1030", "FlightTime 0.1", "FlightTimeHHMM 0:05", "FuelIn 1000",
                                 "FuelUsed 0"}));
}

TEST_F(TrackerTest, BrakeSetBeforeTakeOffRecordsNothing)
{
    park(false, true);
    refresh();
    setBrake(true);
    EXPECT_EQ(refresh(), Events{});
    EXPECT_EQ(tracker.TIME_IN(), "");
}

TEST_F(TrackerTest, WholeFlightRaisesEachEventOnceInOrder)
{
    Events all;
    setClock(14, 2);
    park(false, true);
    for (const Events& step : {refresh(), refresh()})
        all.insert(all.end(), step.begin(), step.end());
    setClock(14, 10);
    setGround(false);
    for (const Events& step : {refresh(), refresh()})
        all.insert(all.end(), step.begin(), step.end());
    setClock(15, 35);
    setGround(true);
    setTank(0x0B74, kFull / 2, 1000);
    for (const Events& step : {refresh(), refresh()})
        all.insert(all.end(), step.begin(), step.end());
    setClock(15, 41);
    setBrake(true);
    for (const Events& step : {refresh(), refresh()})
        all.insert(all.end(), step.begin(), step.end());
    EXPECT_EQ(all, (Events{"FlightOUT 1402", "FuelOut 1000", "FlightOFF 1410", "FlightON 1535", "FlightIN 1541",
                           "FlightTime 1.7", "FlightTimeHHMM 1:39", "FuelIn 500", "FuelUsed 500"}));
    EXPECT_EQ(tracker.TIME_OUT() + tracker.TIME_OFF() + tracker.TIME_ON() + tracker.TIME_IN(), "1402141015351541");
}

TEST_F(TrackerTest, HandlerSeesTheNewTimeAlreadyStored)
{
    std::string seen;
    recorded.onFlightIN = [&] { seen = tracker.TIME_IN(); };
    flyFromTo(10, 0, 11, 0);
    EXPECT_EQ(seen, "1100");
}

TEST_F(TrackerTest, ResetAfterInWaitsForTheBrakeRelease)
{
    flyFromTo(10, 0, 11, 0);
    tracker.Reset();
    EXPECT_EQ(tracker.TIME_OUT() + tracker.TIME_OFF() + tracker.TIME_ON() + tracker.TIME_IN(), "");
    EXPECT_EQ(refresh(), Events{});
    setClock(12, 0);
    setBrake(false);
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1200", "FuelOut 1000"}));
}

// ---- Block time -------------------------------------------------------------------------------

struct BlockRow {
    const char* name;
    int outHour, outMinute, inHour, inMinute;
    const char* decimal;
    const char* hoursMinutes;
};

class BlockTimeTest : public TrackerTest, public testing::WithParamInterface<BlockRow> {};

TEST_P(BlockTimeTest, GivesDecimalAndHoursMinutes)
{
    const BlockRow& row = GetParam();
    const Events events = flyFromTo(row.outHour, row.outMinute, row.inHour, row.inMinute);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[1], std::string("FlightTime ") + row.decimal);
    EXPECT_EQ(events[2], std::string("FlightTimeHHMM ") + row.hoursMinutes);
}

INSTANTIATE_TEST_SUITE_P(Rows, BlockTimeTest, testing::Values(
    BlockRow{"AcrossMidnight", 23, 30, 1, 15, "1.8", "1:45"},
    BlockRow{"FiftySevenMinutesCarryToTheNextHour", 10, 0, 11, 57, "2.0", "1:57"},
    BlockRow{"ThreeMinutesRoundUp", 10, 0, 10, 3, "0.1", "0:03"},
    BlockRow{"TwoMinutesRoundDown", 10, 0, 10, 2, "0.0", "0:02"},
    BlockRow{"NineMinutesAreTwoTenths", 10, 0, 10, 9, "0.2", "0:09"},
    BlockRow{"SameMinute", 10, 0, 10, 0, "0.0", "0:00"},
    BlockRow{"HalfHour", 10, 30, 12, 0, "1.5", "1:30"},
    BlockRow{"LongestBlock", 0, 0, 23, 59, "24.0", "23:59"},
    BlockRow{"ClockOutOfRangeGivesNoBlockTime", 10, 0, 24, 0, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Fuel -------------------------------------------------------------------------------------

constexpr std::uint32_t kLevelOffsets[] = {0x0B74, 0x1244, 0x124C, 0x0B7C, 0x0B84, 0x0B8C,
                                           0x0B94, 0x0B9C, 0x0BA4, 0x1254, 0x125C};

struct FuelRow {
    const char* name;
    std::uint32_t weightRaw;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tanks; // (level, capacity) in table order
    const char* expected;
};

class FuelTest : public TrackerTest, public testing::WithParamInterface<FuelRow> {};

TEST_P(FuelTest, FuelAtOutIsTheRoundedSum)
{
    for (std::uint32_t offset : kLevelOffsets)
        setTank(offset, 0, 0);
    setFuelWeight(GetParam().weightRaw);
    for (std::size_t i = 0; i < GetParam().tanks.size(); ++i)
        setTank(kLevelOffsets[i], GetParam().tanks[i].first, GetParam().tanks[i].second);
    park(false, true);
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
    FuelRow{"WeightScalesTheGallons", 1715, {{kFull, 100}, {0, 0}, {kFull / 2, 200}}, "1340"},
    FuelRow{"HalfPoundRoundsUp", 256, {{kFull / 2, 1}}, "1"},
    FuelRow{"TwoAndAHalfRoundAwayFromZero", 256, {{kFull / 2, 5}}, "3"},
    FuelRow{"RoundingToZeroIsEmpty", 256, {{kFull / 4, 1}}, ""},
    FuelRow{"AllTanksEmptyIsEmpty", 1715, {{0, 100}, {0, 200}}, ""},
    FuelRow{"TankWithoutCapacityIsSkipped", 256, {{kFull, 0}, {kFull, 30}}, "30"},
    FuelRow{"NegativeValuesAreSkipped", 256, {{0xFFFFFFFFu, 100}, {kFull, 0xFFFFFF9Cu}, {kFull, 7}}, "7"},
    FuelRow{"LargeLoadHasNoSeparators", 1715, {{kFull, 5000}, {kFull, 5000}}, "66992"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrackerTest, AllTanksEmptyAtInLeavesFuelInAndFuelUsedEmpty)
{
    setClock(10, 0);
    park(false, true);
    refresh();
    setGround(false);
    refresh();
    setGround(true);
    refresh();
    setTank(0x0B74, 0, 1000);
    setBrake(true);
    const Events events = refresh();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[3], "FuelIn ");
    EXPECT_EQ(events[4], "FuelUsed ");
}

TEST_F(TrackerTest, MoreFuelAtInGivesNegativeFuelUsed)
{
    setClock(10, 0);
    park(false, true);
    refresh();
    setGround(false);
    refresh();
    setGround(true);
    refresh();
    setTank(0x0B74, kFull, 1200);
    setBrake(true);
    const Events events = refresh();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[3], "FuelIn 1200");
    EXPECT_EQ(events[4], "FuelUsed -200");
}

// ---- Start and Stop_ --------------------------------------------------------------------------

TEST_F(TrackerTest, StartReportsTheVersions)
{
    EXPECT_EQ(tracker.FS_Version(), "FS2002");
    EXPECT_EQ(tracker.FSUIPC_Version(), "1.998e");
    EXPECT_TRUE(tracker.isLinkOpen());
}

TEST_F(TrackerTest, SecondStartFailsAndKeepsTheVersionTexts)
{
    std::string result;
    EXPECT_FALSE(tracker.Start(result));
    EXPECT_EQ(result, "Attempt to Open when already Open");
    EXPECT_EQ(tracker.FS_Version(), "FS2002");
}

TEST_F(TrackerTest, StartAcceptsASimulatorCodeBeyondTheNameTable)
{
    tracker.Stop_();
    fillModuleVersions(vars, 0x19980005, 13);
    std::string result;
    EXPECT_TRUE(tracker.Start(result));
    EXPECT_EQ(result, "Okay");
    EXPECT_EQ(tracker.FS_Version(), "Unknown (13)");
}

TEST_F(TrackerTest, StartWithoutSimulatorGivesTheReason)
{
    tracker.Stop_();
    fake.setWindowClasses({});
    std::string result;
    EXPECT_FALSE(tracker.Start(result));
    EXPECT_EQ(result.substr(0, 45), "Unable to connect to FSUIPC.  Possible causes");
    EXPECT_FALSE(tracker.isLinkOpen());
}

TEST_F(TrackerTest, StopClosesTheLinkAndForgetsTheFlight)
{
    park(false, true);
    refresh();
    tracker.Stop_();
    EXPECT_FALSE(tracker.isLinkOpen());
    EXPECT_EQ(tracker.TIME_OUT(), "");
    EXPECT_TRUE(fake.holdsNothing());
    EXPECT_EQ(refresh(), Events{"Error Call cannot execute, link not Open"});
}

// ---- A link that fails ------------------------------------------------------------------------

struct LossRow {
    const char* name;
    std::uint32_t lastError;
    const char* text;
};

class LinkLossTest : public TrackerTest, public testing::WithParamInterface<LossRow> {};

TEST_P(LinkLossTest, LostLinkRecordsNothingAndStartResumesTheFlight)
{
    setClock(10, 0);
    park(false, false); // airborne, OUT and OFF recorded
    refresh();
    setClock(10, 40);
    setGround(true);
    setBrake(false);
    fake.setDeliveryFailure(GetParam().lastError);
    EXPECT_EQ(refresh(), Events{std::string("FSClosed ") + GetParam().text});
    EXPECT_FALSE(tracker.isLinkOpen());
    EXPECT_TRUE(fake.holdsNothing());

    int exchanges = 0;
    Events events;
    exchanges = exchangesOf([&] { events = refresh(); });
    EXPECT_EQ(events, Events{"Error Call cannot execute, link not Open"});
    EXPECT_EQ(exchanges, 0);

    fake.clearDeliveryFailure();
    std::string result;
    ASSERT_TRUE(tracker.Start(result));
    EXPECT_EQ(refresh(), Events{"FlightON 1040"});
    EXPECT_EQ(tracker.TIME_OUT() + " " + tracker.TIME_OFF(), "1000 1000");
}

INSTANTIATE_TEST_SUITE_P(Rows, LinkLossTest, testing::Values(
    LossRow{"WindowGone", FakeIpcPlatform::kErrorInvalidWindow, "IPC sendmessage failed all retries"},
    LossRow{"TimedOut", 0, "IPC timed out all retries"}),
    [](const auto& info) { return std::string(info.param.name); });

// Fails delivery of every message that reads the given offset, once armed.
class FailingReadTest : public TrackerTest {
protected:
    void failReadsOf(std::uint32_t offset)
    {
        fake.setMessageHandler([this, offset](const FakeIpcPlatform::Message& message) {
            std::uint32_t read = 0;
            std::memcpy(&read, message.block + 4, 4);
            if (read == offset)
                return FakeIpcPlatform::notDelivered(FakeIpcPlatform::kErrorInvalidWindow);
            return fake.serveWithModule(message);
        });
    }
    void restart()
    {
        fake.setMessageHandler({});
        std::string result;
        ASSERT_TRUE(tracker.Start(result)) << result;
    }
};

TEST_F(FailingReadTest, FailedBrakeReadAtTheGateIsNoOut)
{
    failReadsOf(0x0BC8);
    EXPECT_EQ(refresh(), Events{"FSClosed IPC sendmessage failed all retries"});
    EXPECT_EQ(tracker.TIME_OUT(), "");
}

TEST_F(FailingReadTest, FailedGroundReadIsNoOff)
{
    park(false, true);
    refresh();
    failReadsOf(0x0366);
    EXPECT_EQ(refresh(), Events{"FSClosed IPC sendmessage failed all retries"});
    EXPECT_EQ(tracker.TIME_OFF(), "");
}

TEST_F(FailingReadTest, FailedTimeReadLeavesThePhaseOpenUntilRestart)
{
    park(false, true);
    failReadsOf(0x023B);
    EXPECT_EQ(refresh(), Events{"FSClosed IPC sendmessage failed all retries"});
    EXPECT_EQ(tracker.TIME_OUT(), "");
    restart();
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1000", "FuelOut 1000"}));
}

TEST_F(FailingReadTest, FailedFuelReadGivesUnknownFuelAndEndsTheRefresh)
{
    park(false, false);
    failReadsOf(0x0B84); // the fifth tank
    EXPECT_EQ(refresh(), (Events{"FlightOUT 1000", "FSClosed IPC sendmessage failed all retries", "FuelOut "}));
    EXPECT_EQ(tracker.TIME_OFF(), "");
    restart();
    EXPECT_EQ(refresh(), Events{"FlightOFF 1000"}); // OUT is kept, not taken again
    EXPECT_EQ(tracker.TIME_OUT(), "1000");
}

TEST_F(FailingReadTest, FailedFuelReadAtInStillCompletesTheArrival)
{
    setClock(10, 0);
    park(false, true);
    refresh();
    setGround(false);
    refresh();
    setGround(true);
    refresh();
    setClock(11, 0);
    setBrake(true);
    failReadsOf(0x0AF4);
    EXPECT_EQ(refresh(), (Events{"FlightIN 1100", "FlightTime 1.0", "FlightTimeHHMM 1:00",
                                 "FSClosed IPC sendmessage failed all retries", "FuelIn ", "FuelUsed "}));
    EXPECT_EQ(tracker.TIME_IN(), "1100");
}

TEST_F(FailingReadTest, GarbledReplyIsReportedAsBadData)
{
    fake.setMessageHandler([](const FakeIpcPlatform::Message&) { return FakeIpcPlatform::answered(0); });
    EXPECT_EQ(refresh(), Events{"FSClosed IPC request contains bad data"});
    EXPECT_FALSE(tracker.isLinkOpen());
}

TEST_F(FailingReadTest, UnknownRecordInTheReplyIsReportedAsBadData)
{
    fake.setMessageHandler([](const FakeIpcPlatform::Message& message) {
        const std::uint32_t unknownId = 7;
        std::memcpy(message.block, &unknownId, 4);
        return FakeIpcPlatform::answered(1);
    });
    EXPECT_EQ(refresh(), Events{"FSClosed IPC request contains bad data"});
}

} // namespace
