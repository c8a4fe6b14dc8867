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

struct SpecRow {
    const char* text;
    const char* written; // nullptr = refused
};

TEST(SourceChoiceTest, ParsesWhatThePilotWritesAndRefusesTheRest)
{
    const SpecRow rows[] = {
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
    for (const SpecRow& row : rows) {
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
    const std::string stream = "23\r\n5";
    ASSERT_TRUE(reader.feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size()));
    std::string line;
    ASSERT_TRUE(reader.nextLine(line));
    EXPECT_EQ(line, "23");
    EXPECT_FALSE(reader.nextLine(line));
    const std::string rest = "9\r\n\r\nfalse\n";
    reader.feed(reinterpret_cast<const unsigned char*>(rest.data()), rest.size());
    std::vector<std::string> lines;
    while (reader.nextLine(line))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"59", "", "false"}));

    const std::string overlong(props::LineReader::kMaxLineBytes + 1, 'x');
    EXPECT_FALSE(reader.feed(reinterpret_cast<const unsigned char*>(overlong.data()), overlong.size()));
    EXPECT_TRUE(reader.malformed());
}

TEST(RrefProtocolTest, RequestsHaveX_PlanesLayout)
{
    const auto packet = rref::encodeRequest({10, 7, "sim/time/zulu_time_sec"});
    ASSERT_EQ(packet.size(), 413u);
    EXPECT_EQ(std::memcmp(packet.data(), "RREF\0", 5), 0);
    EXPECT_EQ(packet[5], 10);
    EXPECT_EQ(packet[9], 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(packet.data() + 13)), "sim/time/zulu_time_sec");
    const auto decoded = rref::decodeRequest(packet.data(), packet.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->name, "sim/time/zulu_time_sec");
    EXPECT_FALSE(rref::decodeRequest(packet.data(), packet.size() - 1));
}

TEST(RrefProtocolTest, RepliesThatAreShortOrCutMidPairAreRefused)
{
    const auto reply = rref::encodeReply({{0, 3600.5f}, {3, 1000.0f}});
    ASSERT_EQ(reply.size(), 5u + 16u);
    const auto pairs = rref::decodeReply(reply.data(), reply.size());
    ASSERT_TRUE(pairs);
    EXPECT_EQ(pairs->at(1), (std::pair<std::int32_t, float>{3, 1000.0f}));
    EXPECT_FALSE(rref::decodeReply(reply.data(), 4));
    EXPECT_FALSE(rref::decodeReply(reply.data(), reply.size() - 3));
    std::vector<unsigned char> wrongTag = reply;
    wrongTag[0] = 'D';
    EXPECT_FALSE(rref::decodeReply(wrongTag.data(), wrongTag.size()));
    EXPECT_TRUE(rref::decodeReply(reply.data(), 5)) << "a reply without pairs is well-formed";
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
        {{0.0}, 0},
        {{0.4}, 0.4},
        {{1.0, 2.0}, 3},
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
