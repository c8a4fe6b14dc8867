#include "flightplayer.h"
#include "scenario.h"
#include "simvariables.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

Scenario parsed(const std::string& text)
{
    Scenario scenario;
    std::string error;
    std::istringstream input(text);
    EXPECT_TRUE(parseScenario(input, scenario, error)) << error;
    return scenario;
}

struct BadScenario {
    std::string name;
    std::string text;
    std::string error;
    friend void PrintTo(const BadScenario& row, std::ostream* out) { *out << row.name; }
};

class ScenarioRefuses : public testing::TestWithParam<BadScenario> {};

TEST_P(ScenarioRefuses, NamingTheLine)
{
    Scenario scenario = demoScenario();
    std::string error;
    std::istringstream input(GetParam().text);
    EXPECT_FALSE(parseScenario(input, scenario, error));
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(scenario.states.size(), demoScenario().states.size()) << "a refused file changes nothing";
}

const std::string kTank = "tank center 100\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, ScenarioRefuses,
    testing::Values(BadScenario{"NoStates", kTank, "no \"at\" line: the flight has no state"},
                    BadScenario{"FirstStateNotAtZero", kTank + "at 1 gate brake=set ground=yes fuel=1\n",
                                "line 2: the first state must be at minute 0"},
                    BadScenario{"MinutesGoingBack",
                                kTank + "at 0 a brake=set ground=yes fuel=1\nat 5 b brake=off ground=yes\nat "
                                        "5 c brake=set ground=yes\n",
                                "line 4: minutes must increase from state to state"},
                    BadScenario{"MissingBrake", kTank + "at 0 gate ground=yes fuel=1\n",
                                "line 2: every state needs brake= and ground="},
                    BadScenario{"LevelsForTooFewTanks",
                                "tank center 1\ntank left-main 1\nat 0 g brake=set ground=yes fuel=5\n",
                                "line 3: fuel= needs one level in percent per tank (2)"},
                    BadScenario{"LevelAboveFull", kTank + "at 0 g brake=set ground=yes fuel=100.5\n",
                                "line 2: bad setting \"fuel=100.5\""},
                    BadScenario{"TankTwice", kTank + kTank, "line 2: tank \"center\" given twice"},
                    BadScenario{"TankAfterStates", kTank + "at 0 g brake=set ground=yes fuel=1\n" + kTank,
                                "line 3: tank lines must come before the first \"at\" line"},
                    BadScenario{"FractionalMinute", kTank + "at 0.5 g brake=set ground=yes fuel=1\n",
                                "line 2: at needs a whole minute and a state name"}),
    [](const auto& info) { return info.param.name; });

TEST(FlightPlayer, ChangesStatesOnWholeMinutesAcrossMidnight)
{
    SimVariables vars;
    FlightPlayer player(parsed("start 2359\ntank center 100\n"
                               "at 0 gate brake=set ground=yes fuel=100\n"
                               "at 1 out brake=off ground=yes fuel=100\n"
                               "at 2 off brake=off ground=no fuel=50\n"),
                        vars, FlightPlayer::Versions{0x19980006, 0xFADE0008});
    EXPECT_EQ(vars.u32(0x3304), 0x19980006u);
    EXPECT_EQ(vars.u32(0x3308), 0xFADE0008u);

    ASSERT_EQ(player.advanceTo(0), (std::vector<std::size_t>{0}));
    EXPECT_EQ(player.stateLine(0), "state 2359 gate brake=1 ground=1 slew=0 fuel=670");
    EXPECT_NE(vars.u16(0x0BC8), 0);
    EXPECT_TRUE(player.advanceTo(59.9).empty()) << "no change before the whole minute";
    EXPECT_EQ(vars.u8(0x023B), 23);
    EXPECT_EQ(vars.u8(0x023D), 59);

    ASSERT_EQ(player.advanceTo(125), (std::vector<std::size_t>{1, 2}))
        << "a late call applies each state passed";
    EXPECT_EQ(player.stateLine(1), "state 0000 out brake=0 ground=1 slew=0 fuel=670") << "its own fuel";
    EXPECT_EQ(player.stateLine(2), "state 0001 off brake=0 ground=0 slew=0 fuel=335");
    EXPECT_EQ(vars.u8(0x023B), 0);
    EXPECT_EQ(vars.u8(0x023C), 1);
    EXPECT_EQ(vars.u16(0x0366), 0);
    EXPECT_TRUE(player.finished());
    EXPECT_EQ(player.endLine(), "end 0001");
}

} // namespace
