// The Win32 link end to end: quillon-sim.exe serves the module's window in a
// process of its own and the client talks to it through window messages,
// global atoms and named mappings, as on Windows. The tracker follows the demo
// flight as over the POSIX link, and quillon-probe.exe reads the variables.
#include "clsacars.h"
#include "clsfsuipc.h"
#include "recordingevents.h"
#include "win32toolprocess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

constexpr std::int32_t kModuleVersion = 0x19980005;

bool atomExists(const std::string& name)
{
    return GlobalFindAtomA(name.c_str()) != 0;
}

bool mappingExists(const std::string& name)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (mapping != nullptr)
        CloseHandle(mapping);
    return mapping != nullptr;
}

class Win32Link : public testing::Test {
protected:
    bool startAndOpen(const std::vector<std::string>& simArguments = {})
    {
        m_sim = Win32ToolProcess::startModule(simArguments);
        return m_sim && m_link.FSUIPC_Open(0, m_dwResult);
    }

    std::unique_ptr<Win32ToolProcess> m_sim;
    clsFSUIPC m_link;
    std::int32_t m_dwResult = -1;
};

// A second module leaves the class to the first, whose variables the probe reads.
TEST_F(Win32Link, SecondModuleOnTheSameClassIsRefusedAndTheProbeReadsTheFirst)
{
    const auto first = Win32ToolProcess::startModule({});
    ASSERT_TRUE(first);
    Win32ToolProcess second("quillon-sim", {});
    EXPECT_EQ(second.waitForEnd(20s), 1u) << testing::PrintToString(second.lines());
    Win32ToolProcess probe("quillon-probe", {});
    const std::optional<std::uint32_t> status = probe.waitForEnd(20s);
    const Lines lines = probe.lines();
    ASSERT_EQ(status, 0u) << testing::PrintToString(lines);
    ASSERT_EQ(lines.size(), 20u) << "the link, the variables and eleven tanks";
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
              (Lines{"Result: Okay", "Simulator: FS2002", "Version_FSUIPC: 1.998e", "Version_FS: FS2002"}));
    EXPECT_EQ(lines[6], "On ground: 1");
}

TEST_F(Win32Link, FullBlockOfReadsComesBackWhole)
{
    ASSERT_TRUE(startAndOpen()) << m_link.Get_Result(m_dwResult);
    // 20 bytes per 4-byte read: 1625 of them and the end marker fit in the 32512 usable bytes.
    std::vector<std::int32_t> values(1626, 0);
    std::size_t queued = 0;
    while (queued < values.size() && m_link.FSUIPC_Read(0x3304, 4, &values[queued], m_dwResult))
        ++queued;
    EXPECT_EQ(queued, 1625u);
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_SIZE);
    ASSERT_TRUE(m_link.FSUIPC_Process(m_dwResult)) << m_link.Get_Result(m_dwResult);
    EXPECT_EQ(std::count(values.begin(), values.end(), kModuleVersion), 1625);
    EXPECT_EQ(values.back(), 0);
}

TEST_F(Win32Link, OpensAndClosesLeaveNoAtomOrMappingAndATakenNameGivesCode5)
{
    ASSERT_TRUE(startAndOpen()) << m_link.Get_Result(m_dwResult);
    for (int round = 0; round < 40; ++round) {
        const std::string name = m_link.mappingName();
        EXPECT_TRUE(atomExists(name) && mappingExists(name)) << name;
        m_link.FSUIPC_Close();
        EXPECT_FALSE(atomExists(name)) << name;
        EXPECT_FALSE(mappingExists(name)) << name;
        ASSERT_TRUE(m_link.FSUIPC_Open(0, m_dwResult))
            << "round " << round << ": " << m_link.Get_Result(m_dwResult);
        EXPECT_NE(m_link.mappingName(), name);
    }
    m_link.FSUIPC_Close();
    // Another program holds the name the next open will use: the last one with its hex counter advanced.
    const std::string lastName = m_link.mappingName();
    const std::size_t counterStart = lastName.find_last_of(':') + 1;
    char counter[16];
    std::snprintf(counter, sizeof counter, "%lX", std::stoul(lastName.substr(counterStart), nullptr, 16) + 1);
    const std::string takenName = lastName.substr(0, counterStart) + counter;
    HANDLE squatter =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x8000, takenName.c_str());
    ASSERT_NE(squatter, nullptr);
    EXPECT_FALSE(m_link.FSUIPC_Open(0, m_dwResult));
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_MAP);
    EXPECT_EQ(m_link.mappingName(), takenName);
    EXPECT_FALSE(atomExists(takenName));
    CloseHandle(squatter);
    // The next open takes the next name and works.
    EXPECT_TRUE(m_link.FSUIPC_Open(0, m_dwResult)) << m_link.Get_Result(m_dwResult);
}

// The module stops answering after the open: the batch fails after the
// retries and fills none of its destinations.
TEST_F(Win32Link, ModuleEndingFailsTheBatchAfterTheRetries)
{
    const struct {
        const char* name;
        const char* option;
        std::vector<std::int32_t> allowedCodes;
        std::optional<std::uint32_t> simExitStatus; // nothing: still running
    } rows[] = {{"module_exits", "--exit-after", {FSUIPC_ERR_SENDMSG, FSUIPC_ERR_TIMEOUT}, 3u},
                // Windows reports the time-out as error 1460; it must still read as a time-out.
                {"module_hangs", "--hang-after", {FSUIPC_ERR_TIMEOUT}, std::nullopt}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_link.FSUIPC_Close();
        ASSERT_TRUE(startAndOpen({row.option, "1"})) << m_link.Get_Result(m_dwResult);
        std::uint16_t brake = 0xBEEF;
        ASSERT_TRUE(m_link.FSUIPC_Read(0x0BC8, 2, &brake, m_dwResult));
        EXPECT_FALSE(m_link.FSUIPC_Process(m_dwResult));
        EXPECT_THAT(m_dwResult, testing::AnyOfArray(row.allowedCodes)) << m_link.Get_Result(m_dwResult);
        EXPECT_EQ(brake, 0xBEEF);
        EXPECT_EQ(m_sim->waitForEnd(row.simExitStatus ? 5s : 0s), row.simExitStatus);
    }
}

TEST(Win32Tools, DemoFlightIsTrackedAsOverThePosixLink)
{
    const auto sim = Win32ToolProcess::startModule({"--speed", "120"});
    ASSERT_TRUE(sim);
    clsACARS tracker;
    RecordingEvents recorded;
    tracker.setEvents(&recorded);
    std::string result;
    ASSERT_TRUE(tracker.Start(result)) << result;
    // Faster than the panel's 500 ms, so each phase is taken within its simulator minute.
    const auto deadline = std::chrono::steady_clock::now() + 150s;
    while (tracker.TIME_IN().empty() && std::chrono::steady_clock::now() < deadline) {
        tracker.Refresh();
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(sim->waitForLine("end ", 10s));

    const std::string out = printedFuel(sim->lines(), "pushback"), in = printedFuel(sim->lines(), "parked");
    ASSERT_NE(in, "?");
    EXPECT_EQ(recorded.events, (Lines{"FlightOUT 1402", "FuelOut " + out, "FlightOFF 1410", "FlightON 1535",
                                      "FlightIN 1541", "FlightTime 1.7", "FlightTimeHHMM 1:39",
                                      "FuelIn " + in, "FuelUsed " + fuelUsed(out, in)}));
}

} // namespace
