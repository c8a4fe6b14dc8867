// The source choice, the property server's replies, X-Plane's packets and the
// fuel put into the table: the byte-level rules every source stands on.
#include "flightplayer.h"
#include "propsprotocol.h"
#include "rrefprotocol.h"
#include "simulatorstate.h"
#include "simvariables.h"
#include "sourcechoice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>

namespace {

struct ChoiceRow {
    const char* text;
    const char* written; // nullptr = refused
};

TEST(SourceChoiceTest, ParsesWhatThePilotWritesAndRefusesTheRest)
{
    const ChoiceRow rows[] = {
        {"fsuipc", "fsuipc"},
        {"automatic", "automatic"},
        {"flightgear", "flightgear:127.0.0.1:5401"},
        {"flightgear:fgbox", "flightgear:fgbox:5401"},
        {"flightgear:10.0.0.2:5500", "flightgear:10.0.0.2:5500"},
        {"xplane", "xplane:127.0.0.1:49000"},
        {"xplane:[::1]", "xplane:[::1]:49000"},
        {"xplane:[fe80::1]:49001", "xplane:[fe80::1]:49001"},
        {"relay", "relay:127.0.0.1:5230"},
        {"xplane:::1", nullptr},          // IPv6 without brackets
        {"xplane:[::1", nullptr},         // unclosed bracket
        {"xplane:[::1]49000", nullptr},   // no colon after the bracket
        {"flightgear:host:0", nullptr},   // port out of range
        {"flightgear:host:65536", nullptr},
        {"flightgear:host:54x", nullptr},
        {"flightgear:host:", nullptr},
        {"flightgear::5401", nullptr},    // no host
        {"fsuipc:host", nullptr},         // the module takes no address
        {"FlightGear", nullptr},
        {"", nullptr},
    };
    for (const ChoiceRow& row : rows) {
        std::string error;
        const auto choice = parseSourceChoice(row.text, error);
        if (row.written == nullptr) {
            EXPECT_FALSE(choice) << row.text;
            EXPECT_FALSE(error.empty()) << row.text;
        } else {
            ASSERT_TRUE(choice) << row.text << ": " << error;
            EXPECT_EQ(choice->text(), row.written);
            EXPECT_EQ(parseSourceChoice(choice->text(), error), choice) << "written form reads back";
        }
    }
}

// Values of one batch, all empty, with the clock and the given fields set.
std::vector<std::string> batchValues(const std::vector<std::pair<std::string, std::string>>& set)
{
    const auto& paths = props::batchPaths();
    std::vector<std::string> values(paths.size());
    const std::vector<std::pair<std::string, std::string>> clock{
        {"/sim/time/utc/hour", "23"}, {"/sim/time/utc/minute", "59"}, {"/sim/time/utc/second", "58"}};
    for (const auto& list : {clock, set})
        for (const auto& [path, value] : list)
            values[static_cast<std::size_t>(std::find(paths.begin(), paths.end(), path) - paths.begin())] = value;
    return values;
}

TEST(PropsProtocolTest, ReadsBooleansAsTextOrNumbersAndSumsTheTanksThatExist)
{
    SimulatorState state;
    ASSERT_TRUE(props::stateFromValues(
        batchValues({{"/gear/gear[3]/wow", "true"},
                     {"/controls/gear/brake-parking", "0.5"},
                     {"/sim/freeze/replay-state", "1"},
                     {"/consumables/fuel/tank[0]/level-lbs", "1200.5"},
                     {"/consumables/fuel/tank[5]/level-lbs", "0"},
                     {"/consumables/fuel/tank[23]/level-lbs", "99.25"},
                     {"/sim/aircraft", "c172p"},
                     {"/sim/airport/closest-airport-id", "EDDF"},
                     {"/sim/version/flightgear", "2020.3.16"}}),
        state));
    EXPECT_EQ(state.utcHour * 10000 + state.utcMinute * 100 + state.utcSecond, 235958);
    EXPECT_TRUE(state.onGround);
    EXPECT_TRUE(state.parkingBrakeSet);
    EXPECT_TRUE(state.replay);
    EXPECT_EQ(state.tankLbs, (std::vector<double>{1200.5, 0, 99.25}));
    EXPECT_EQ(state.aircraftType, "c172p");
    EXPECT_EQ(state.closestAirportId, "EDDF");

    ASSERT_TRUE(props::stateFromValues(batchValues({{"/gear/gear[0]/wow", "false"},
                                                    {"/controls/gear/brake-parking", "0"},
                                                    {"/sim/replay/replay-state", "false"}}),
                                       state));
    EXPECT_FALSE(state.onGround || state.parkingBrakeSet || state.replay);
    EXPECT_TRUE(state.tankLbs.empty());

    for (const auto& badClock : {std::pair<std::string, std::string>{"/sim/time/utc/hour", "24"},
                                 {"/sim/time/utc/minute", ""},
                                 {"/sim/time/utc/second", "abc"}})
        EXPECT_FALSE(props::stateFromValues(batchValues({badClock}), state)) << badClock.first;
    EXPECT_FALSE(props::stateFromValues({"23", "59"}, state)) << "a short batch";
}

TEST(PropsProtocolTest, LineReaderSplitsAcrossReadsAndRefusesOverlongLines)
{
    props::LineReader reader;
    std::vector<std::string> lines;
    for (const std::string& bytes : {std::string("23\r\n5"), std::string("9\r\n\r\nfalse\n"),
                                     std::string(props::LineReader::kMaxLineBytes + 1, 'x')}) {
        EXPECT_EQ(reader.feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()), bytes[0] != 'x');
        for (std::string line; reader.nextLine(line);)
            lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"23", "59", "", "false"}));
    EXPECT_TRUE(reader.malformed());
}

TEST(RrefProtocolTest, PacketsHaveX_PlanesLayoutAndMalformedRepliesAreRefused)
{
    const auto request = rref::encodeRequest({10, 7, "sim/time/zulu_time_sec"});
    ASSERT_EQ(request.size(), 413u);
    EXPECT_EQ(std::memcmp(request.data(), "RREF\0\x0A\0\0\0\x07\0\0\0sim/time/zulu_time_sec", 35), 0);
    EXPECT_EQ(request.back(), 0);
    EXPECT_EQ(rref::decodeRequest(request.data(), request.size())->name, "sim/time/zulu_time_sec");
    EXPECT_FALSE(rref::decodeRequest(request.data(), request.size() - 1));

    const auto reply = rref::encodeReply({{0, 3600.5f}, {3, 1000.0f}});
    ASSERT_EQ(reply.size(), 5u + 16u);
    const auto pairs = rref::decodeReply(reply.data(), reply.size());
    ASSERT_TRUE(pairs);
    EXPECT_EQ(pairs->at(1), (std::pair<std::int32_t, float>{3, 1000.0f}));
    EXPECT_TRUE(rref::decodeReply(reply.data(), 5)) << "a reply without pairs is well-formed";
    EXPECT_FALSE(rref::decodeReply(reply.data(), 4)) << "short";
    EXPECT_FALSE(rref::decodeReply(reply.data(), reply.size() - 3)) << "cut mid-pair";
    std::vector<unsigned char> wrongTag = reply;
    wrongTag[0] = 'D';
    EXPECT_FALSE(rref::decodeReply(wrongTag.data(), wrongTag.size()));
}

TEST(RrefProtocolTest, ClockIsCutNotRoundedAndFuelComesInPounds)
{
    rref::Values values;
    EXPECT_FALSE(values.take({{0, 86399.9f}, {1, 1}, {2, 0.3f}, {3, 1000}})) << "replay flag still missing";
    ASSERT_TRUE(values.take({{4, 0}, {99, 5}, {-1, 5}, {5, 'C'}, {6, '1'}, {7, '7'}, {8, '2'}, {9, 0}, {10, 'X'}}));
    SimulatorState state = values.state();
    EXPECT_EQ(state.utcHour * 100 + state.utcMinute, 2359);
    EXPECT_TRUE(state.onGround && state.parkingBrakeSet && !state.replay);
    ASSERT_EQ(state.tankLbs.size(), 1u);
    EXPECT_NEAR(state.tankLbs[0], 2204.62262, 1e-3);
    EXPECT_EQ(state.aircraftType, "C172") << "text ends at the first zero";

    values.take({{0, 3599.99f}});
    state = values.state();
    EXPECT_EQ(state.utcHour * 100 + state.utcMinute, 59);
    values.take({{0, 90000.0f}}); // past midnight of the next day
    EXPECT_EQ(values.state().utcHour, 1);
}

TEST(SimulatorStateTest, TheTrackersFuelSumMatchesTheSimulatorWithinOnePound)
{
    const std::pair<std::vector<double>, double> rows[]{
        {{12345.678}, 12345.678},
        {{86000.2, 85999.9, 41234.5, 0, -3}, 213234.6},                 // negative levels count as empty
        {std::vector<double>(24, 1234.56), 29629.44},                     // more tanks than the table holds
        {{0.49, 0.49, 0.49, 0.49, 0.49, 0.49, 0.49, 0.49, 0.49}, 4.41}, // rounding per tank must not add up
        {{NAN, INFINITY, -INFINITY, 500.5}, 500.5},                      // not numbers: empty
        {{1e300}, 2147483646.0 * 1715 / 256},                            // absurd: the fullest tank
    };
    for (const auto& [tanks, expected] : rows) {
        SimulatorState state;
        state.tankLbs = tanks;
        SimVariables vars;
        writeSimulatorState(state, vars);
        EXPECT_LE(std::abs(static_cast<double>(fuelOnBoardLbs(vars)) - expected), 1.0) << expected;
    }
}

} // namespace
