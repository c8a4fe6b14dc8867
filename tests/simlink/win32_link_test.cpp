// The Win32 link end to end: quillon-sim.exe serves the module's window in a
// process of its own and the client talks to it through window messages,
// global atoms and named mappings, as on Windows.
#include "clsfsuipc.h"
#include "win32toolprocess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;

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

    // One exchange; a failure is reported with the code's text.
    testing::AssertionResult process()
    {
        if (m_link.FSUIPC_Process(m_dwResult))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << m_link.Get_Result(m_dwResult);
    }

    std::unique_ptr<Win32ToolProcess> m_sim;
    clsFSUIPC m_link;
    std::int32_t m_dwResult = -1;
};

// Only the networked module's window, its simulator not running: the open is
// refused and leaves no atom or mapping behind.
TEST_F(Win32Link, NetworkedModuleWithoutSimulatorIsRefusedLeavingNothing)
{
    m_sim = Win32ToolProcess::startModule({"--class", "FS98MAIN", "--module-version", "0", "--sim-version", "0"},
                                          "FS98MAIN");
    ASSERT_TRUE(m_sim);
    EXPECT_FALSE(m_link.FSUIPC_Open(0, m_dwResult));
    EXPECT_EQ(m_dwResult, FSUIPC_ERR_RUNNING) << m_link.Get_Result(m_dwResult);
    EXPECT_FALSE(atomExists(m_link.mappingName()));
    EXPECT_FALSE(mappingExists(m_link.mappingName()));
}

TEST_F(Win32Link, SecondModuleOnTheSameClassIsRefused)
{
    const auto first = Win32ToolProcess::startModule({});
    ASSERT_TRUE(first);
    Win32ToolProcess second("quillon-sim", {});
    EXPECT_EQ(second.waitForEnd(20s), 1u) << testing::PrintToString(second.lines());
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
    ASSERT_TRUE(process());
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

} // namespace
