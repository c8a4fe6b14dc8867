// A relay in this process, serving the scripted module platform on a loopback
// port, against the relay platform under the real link client and against raw
// connections that send what no client would.
#include "blockformat.h"
#include "clsfsuipc.h"
#include "relayinthread.h"
#include "relayipcplatform.h"
#include "simoffsets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using relayframe::Kind;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Relay : testing::Test, RelayInThread {
    // One key file per test: tests of this program run side by side.
    std::string keyPath = (std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) /
                           (testing::UnitTest::GetInstance()->current_test_info()->name() + std::string(".key")))
                              .string();

    void SetUp() override
    {
        fillModuleVersions(vars);
        vars.setU16(SimOffset::kOnGround, 1);
        std::filesystem::remove(keyPath);
        bool created = false;
        std::string error;
        ASSERT_TRUE(RelayKey::loadOrCreate(keyPath, config.key, created, error)) << error;
        config.greetingTimeout = 300ms;
    }
    // A raw connection that has presented the key (or not).
    relaysocket::Socket connectRaw(bool greet)
    {
        relaysocket::Address address;
        std::string error;
        resolveEndpoint(endpoint, false, address, error);
        relaysocket::Socket socket = relaysocket::startConnect(address);
        relaysocket::PollEntry entry{socket.native(), POLLOUT, 0};
        relaysocket::pollSockets(&entry, 1, 2000);
        if (greet)
            sendAll(socket, relayframe::encodeHello(config.key.bytes()));
        return socket;
    }
    static void sendAll(relaysocket::Socket& socket, const Bytes& bytes)
    {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const long count = relaysocket::sendSome(socket.native(), bytes.data() + sent, bytes.size() - sent);
            ASSERT_GE(count, 0);
            sent += static_cast<std::size_t>(count);
        }
    }
    // True when the relay closes the connection within the time (whatever it sent before).
    static bool closedByRelay(relaysocket::Socket& socket, std::chrono::milliseconds within)
    {
        const auto deadline = Clock::now() + within;
        std::uint8_t buffer[4096];
        while (Clock::now() < deadline) {
            relaysocket::PollEntry entry{socket.native(), POLLIN, 0};
            if (relaysocket::pollSockets(&entry, 1, 20) > 0 &&
                relaysocket::receiveSome(socket.native(), buffer, sizeof buffer) < 0)
                return true;
        }
        return false;
    }
    // The module's window and an atom naming an empty block, as the link's open leaves them.
    static std::pair<IpcPlatform::WindowHandle, std::uint16_t> emptyBlock(RelayIpcPlatform& platform)
    {
        const auto window = platform.findWindow("UIPCMAIN");
        const std::uint16_t atom = platform.addAtom("block");
        blockformat::storeU32LE(platform.mapView(platform.createMapping("block", blockformat::kBlockBytes).handle),
                                blockformat::kEndId);
        return {window, atom};
    }
    // The link client through the relay, as the tracker holds it.
    struct Client {
        explicit Client(const Relay& relay) : platform(relay.endpoint, relay.keyPath) {}
        bool open() { return link.FSUIPC_Open(0, dwResult); }
        // One read of the on-ground word (1 in the module), as a tracker tick does.
        bool readOnGround()
        {
            std::uint16_t onGround = 0;
            return link.FSUIPC_Read(SimOffset::kOnGround, 2, &onGround, dwResult) && link.FSUIPC_Process(dwResult) &&
                   onGround == 1;
        }
        RelayIpcPlatform platform;
        clsFSUIPC link{platform};
        std::int32_t dwResult = -1;
    };
};

TEST_F(Relay, ResultCodesComeOutAsOverTheLocalLink)
{
    // The relay gone is a lost link at once, and no simulator until it is back.
    ASSERT_TRUE(start());
    Client client(*this);
    ASSERT_TRUE(client.open() && client.readOnGround());
    stop();
    EXPECT_FALSE(client.readOnGround());
    EXPECT_EQ(client.dwResult, FSUIPC_ERR_SENDMSG) << "eleven failures at once, as locally";
    client.link.FSUIPC_Close();
    EXPECT_FALSE(client.open());
    EXPECT_EQ(client.dwResult, FSUIPC_ERR_NOFS);
    EXPECT_NE(client.platform.connectProblem().find("no relay at 127.0.0.1:"), std::string::npos)
        << client.platform.connectProblem();
    ASSERT_TRUE(start(endpoint.port));
    EXPECT_TRUE(client.open() && client.readOnGround()) << client.dwResult;

    const struct {
        const char* name;
        std::vector<std::string> windows;
        std::int32_t code;
    } rows[] = {
        {"module found", {"UIPCMAIN"}, FSUIPC_OK},
        {"no module window", {}, FSUIPC_ERR_NOFS},
        {"only the network window, too old", {"FS98MAIN"}, FSUIPC_ERR_RUNNING},
    };
    for (const auto& row : rows) {
        module.setWindowClasses(row.windows);
        vars.setU32(SimOffset::kModuleVersion, row.code == FSUIPC_OK ? 0x19980005 : 0x19980004); // too old
        Client client(*this);
        EXPECT_EQ(client.open(), row.code == FSUIPC_OK) << row.name;
        EXPECT_EQ(client.dwResult, row.code) << row.name;
    }
    // Only the module's windows are looked up: no other window of the machine is messaged.
    module.setWindowClasses({"Notepad"});
    RelayIpcPlatform stranger(endpoint, keyPath);
    EXPECT_EQ(stranger.findWindow("Notepad"), 0u);
    EXPECT_NE(stop().find("refused to look up the window class Notepad"), std::string::npos) << log.str();
}

TEST_F(Relay, FailedDeliveriesKeepTheirMeaningAcrossTheHopAndAreNeverRetriedByTheRelay)
{
    std::vector<std::uint32_t> timeouts; // what the module was given, one per send
    std::optional<std::uint32_t> failure; // the last error of a failed delivery
    module.setMessageHandler([&](const FakeIpcPlatform::Message& message) {
        timeouts.push_back(message.timeoutMs);
        return failure ? IpcPlatform::SendResult{false, *failure, 0} : module.serveWithModule(message);
    });
    ASSERT_TRUE(start());
    Client client(*this);
    ASSERT_TRUE(client.open());
    for (const auto& [lastError, code] : {std::pair{1400u, FSUIPC_ERR_SENDMSG}, std::pair{0u, FSUIPC_ERR_TIMEOUT}}) {
        failure = lastError;
        timeouts.clear();
        EXPECT_FALSE(client.readOnGround());
        EXPECT_EQ(client.dwResult, code) << lastError;
        EXPECT_EQ(timeouts.size(), 11u) << "one module send per attempt of the client's eleven";
    }
    failure.reset();
    timeouts.clear();
    EXPECT_TRUE(client.readOnGround()) << client.dwResult;
    ASSERT_EQ(timeouts.size(), 1u);
    EXPECT_EQ(timeouts[0], 2000 - RelayServer::kTimeoutMarginMs) << "the client's time-out less the margin";
    EXPECT_EQ(RelayServer::moduleTimeoutMs(300), 150u) << "a short time-out keeps half for the module";
}

// The module answers the first message late, after the client stopped waiting
// for it: the answer is passed over, never taken for the next attempt's.
TEST_F(Relay, AWaitEndedByItsTimeOutOrACancelLeavesNoLateReplyBehind)
{
    int messages = 0;
    module.setMessageHandler([&](const FakeIpcPlatform::Message& message) {
        if (++messages % 2 == 1) {
            std::this_thread::sleep_for(1200ms);
            return FakeIpcPlatform::answered(7);
        }
        return module.serveWithModule(message);
    });
    ASSERT_TRUE(start());
    RelayIpcPlatform platform(endpoint, keyPath);
    const auto [window, atom] = emptyBlock(platform);
    for (const bool cancelled : {false, true}) {
        std::thread canceller([&] {
            std::this_thread::sleep_for(200ms);
            if (cancelled)
                platform.cancel();
        });
        const auto late = platform.sendMessageTimeout(window, 1, atom, 0, cancelled ? 2000 : 300);
        canceller.join();
        platform.clearCancel();
        EXPECT_FALSE(late.delivered) << cancelled;
        EXPECT_EQ(late.lastError, 0u) << cancelled << ": a time-out, as locally";
        const auto next = platform.sendMessageTimeout(window, 1, atom, 0, 2000);
        EXPECT_TRUE(next.delivered) << cancelled;
        EXPECT_EQ(next.reply, 1u) << cancelled;
    }
}

TEST_F(Relay, ReadOnlyRefusesEveryWriteButTheVersionWordAndReadWriteAllowsThem)
{
    struct Write {
        const char* name;
        std::int32_t offset, sizeBytes;
        int readsBefore;
        const char* logged;
    };
    const Write rows[] = {
        {"the parking brake", SimOffset::kParkingBrake, 2, 0, "2 bytes at 0xBC8"},
        {"four bytes at the version word", SimOffset::kLibraryVersion, 4, 0, "4 bytes at 0x330A"},
        {"two bytes just before it", 0x3308, 2, 0, "2 bytes at 0x3308"},
        {"nothing at the version word", SimOffset::kLibraryVersion, 0, 0, "0 bytes at 0x330A"},
        {"after several valid reads", SimOffset::kParkingBrake, 2, 3, "2 bytes at 0xBC8"},
    };
    int sends = 0;
    module.setMessageHandler([&](const FakeIpcPlatform::Message& message) {
        ++sends;
        return module.serveWithModule(message);
    });
    for (const bool readWrite : {false, true}) {
        config.readWrite = readWrite;
        ASSERT_TRUE(start());
        Client client(*this);
        ASSERT_TRUE(client.open()) << "the open's own version word write passes";
        for (const Write& row : rows) {
            const std::uint32_t zeros = 0;
            std::uint16_t readBack = 0;
            for (int i = 0; i < row.readsBefore; ++i)
                ASSERT_TRUE(client.link.FSUIPC_Read(SimOffset::kOnGround, 2, &readBack, client.dwResult));
            ASSERT_TRUE(client.link.FSUIPC_Write(row.offset, row.sizeBytes, &zeros, client.dwResult));
            const int sendsBefore = sends;
            EXPECT_EQ(client.link.FSUIPC_Process(client.dwResult), readWrite) << row.name;
            EXPECT_EQ(client.dwResult, readWrite ? FSUIPC_OK : FSUIPC_ERR_DATA) << row.name;
            EXPECT_EQ(sends - sendsBefore, readWrite ? 1 : 0) << row.name << ": refused whole, nothing reaches the module";
        }
        client.link.FSUIPC_Close();
        const std::string logged = stop();
        for (const Write& row : rows)
            EXPECT_EQ(logged.find(std::string("refused a block writing ") + row.logged) != std::string::npos,
                      !readWrite)
                << row.name << "\n" << logged;
        log.str("");
    }
}

TEST_F(Relay, ABadClientIsClosedWithItsReasonAndOthersAreStillServed)
{
    Bytes wrongKey = relayframe::encodeHello(config.key.bytes());
    wrongKey.back() ^= 1;
    Bytes oversized = relayframe::encode(Kind::KeepAlive);
    oversized[6] = static_cast<std::uint8_t>(Kind::Exchange);
    blockformat::storeU32LE(&oversized[8], 0x10000);
    const Bytes exchange = relayframe::encodeExchange({1, 2000, Bytes(4)});
    Bytes keylessExchange = relayframe::encodeExchange({1, 2000, Bytes(4)});
    blockformat::storeU32LE(&keylessExchange[8], 0x8000); // a large claim the relay must not wait for
    Bytes trailing = exchange;
    trailing.push_back(0);
    blockformat::storeU32LE(&trailing[8], static_cast<std::uint32_t>(trailing.size() - relayframe::kHeaderBytes));
    const struct {
        const char* name;
        bool greet;
        Bytes bytes;
        const char* logged;
    } rows[] = {
        {"wrong key", false, wrongKey, "closed: wrong key"},
        {"garbage first", false, Bytes(40, 'G'), "bad frame: not a relay frame"},
        {"no key first", false, relayframe::encode(Kind::KeepAlive), "not a greeting"},
        {"a large exchange before the key", false, keylessExchange, "not a greeting with the key"},
        {"silent", false, {}, "no greeting within 300 ms"},
        {"oversized", true, oversized, "more than its limit"},
        {"gone mid-frame", true, Bytes(exchange.begin(), exchange.end() - 3), "in the middle of a frame"},
        {"second greeting", true, relayframe::encodeHello(config.key.bytes()), "a second greeting"},
        {"bytes after the end marker", true, trailing, "bytes after the request block's end marker"},
    };
    ASSERT_TRUE(start());
    for (const auto& row : rows) {
        relaysocket::Socket bad = connectRaw(row.greet);
        sendAll(bad, row.bytes);
        if (std::string(row.name) == "gone mid-frame") {
            std::this_thread::sleep_for(50ms);
            bad.close();
        } else {
            EXPECT_TRUE(closedByRelay(bad, 2s)) << row.name;
        }
        Client client(*this);
        EXPECT_TRUE(client.open() && client.readOnGround()) << row.name << ": " << client.dwResult;
    }
    const std::string logged = stop();
    for (const auto& row : rows)
        EXPECT_NE(logged.find(row.logged), std::string::npos) << row.name << "\n" << logged;
}

// Eight clients at once, each for twenty ticks, beside a client stalled
// mid-frame and one that asks and asks but reads no answer; then one that was
// silent long enough for many keep-alives to wait unread.
TEST_F(Relay, ManyClientsAtOnceAreServedWhateverOthersDoAndSilenceIsBridged)
{
    config.keepAliveInterval = 20ms;
    ASSERT_TRUE(start());
    relaysocket::Socket stalled = connectRaw(true);
    const Bytes exchange = relayframe::encodeExchange({1, 2000, Bytes(4)});
    sendAll(stalled, Bytes(exchange.begin(), exchange.begin() + 10));
    relaysocket::Socket deaf = connectRaw(true);
    sendAll(deaf, relayframe::encodeFindWindow({1, "UIPCMAIN"}));
    Bytes requests;
    for (std::uint32_t sequence = 2; sequence < 2000; ++sequence) {
        const Bytes read = relayframe::encodeExchange({sequence, 2000, Bytes(4)});
        requests.insert(requests.end(), read.begin(), read.end());
    }
    for (std::size_t sent = 0, count = 1; sent < requests.size() && count > 0; sent += count)
        count = static_cast<std::size_t>(
            std::max(0L, relaysocket::sendSome(deaf.native(), requests.data() + sent, requests.size() - sent)));
    Client quiet(*this);
    ASSERT_TRUE(quiet.open());
    constexpr int kClients = 8, kRounds = 20;
    std::atomic<int> served{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&] {
            Client client(*this);
            for (int round = 0; round < kRounds && (round > 0 || client.open()); ++round)
                served += client.readOnGround();
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(served, kClients * kRounds);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(quiet.readOnGround()) << quiet.dwResult;
}

TEST_F(Relay, ConnectionsWithoutTheKeyCannotCrowdOutAPilotNorAPeerNotAllowedGetIn)
{
    config.greetingTimeout = 5s;
    ASSERT_TRUE(start());
    std::vector<relaysocket::Socket> strangers;
    for (std::size_t i = 0; i < RelayServer::kMaxUngreetedClients; ++i)
        strangers.push_back(connectRaw(false));
    std::this_thread::sleep_for(RelayServer::kGreetingGrace + 100ms);
    Client client(*this);
    EXPECT_TRUE(client.open() && client.readOnGround()) << client.dwResult;
    EXPECT_TRUE(closedByRelay(strangers.front(), 2s)) << "the oldest stranger made room";
    EXPECT_NE(stop().find("no key yet, and a newer connection came"), std::string::npos) << log.str();

    std::string error;
    config.allow.assign(1, AllowRule{});
    ASSERT_TRUE(AllowRule::parse("192.0.2.0/24", config.allow[0], error));
    ASSERT_TRUE(start());
    relaysocket::Socket refused = connectRaw(true);
    EXPECT_TRUE(closedByRelay(refused, 2s));
    EXPECT_NE(stop().find("refused: address not allowed (see --allow)"), std::string::npos) << log.str();
}

} // namespace
