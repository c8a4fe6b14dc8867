// The relay's frames, its frame reader, key file and address rules: what a
// peer can send and a pilot can type.
#include "../simlink/blockbuilder.h"
#include "framereader.h"
#include "relayaddress.h"
#include "relaykey.h"
#include "relayoptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <arpa/inet.h>
#include <sys/stat.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using relayframe::Kind;
constexpr std::uint32_t kFullestRead = blockformat::kBlockLimitBytes - 16 - 4; // one read filling a block

// A block of one read of n bytes and its end marker.
Bytes requestBlock(std::uint32_t readBytes)
{
    return BlockBuilder().read(0x3304, readBytes).field(blockformat::kEndId).used();
}

FrameReader readAll(relayframe::Reader side, const Bytes& bytes, bool keyShown = true)
{
    FrameReader reader(side);
    if (keyShown)
        reader.greeted();
    reader.consume(bytes);
    return reader;
}

TEST(FrameReader, ReassemblesAFrameGivenOneByteAtATimeAndStopsAtItsEnd)
{
    const Bytes block = requestBlock(4);
    Bytes stream = relayframe::encodeExchange({7, 2000, block});
    const std::size_t firstBytes = stream.size();
    const Bytes keepAlive = relayframe::encode(Kind::KeepAlive);
    stream.insert(stream.end(), keepAlive.begin(), keepAlive.end());

    FrameReader reader(relayframe::Reader::Relay);
    reader.greeted(); // an exchange is taken only from a client that has shown its key
    std::size_t fed = 0;
    while ((reader.state() == FrameReader::State::Header || reader.state() == FrameReader::State::Payload) &&
           fed < stream.size()) {
        EXPECT_EQ(reader.midFrame(), fed != 0);
        fed += reader.consume({&stream[fed], 1});
    }
    ASSERT_EQ(fed, firstBytes);
    EXPECT_EQ(reader.consume({&stream[fed], stream.size() - fed}), 0u) << "nothing taken before next()";
    relayframe::ExchangeRequest request;
    std::string reason;
    const relayframe::Frame frame = reader.next();
    ASSERT_TRUE(relayframe::decodeExchange(frame, request, reason)) << reason;
    EXPECT_EQ(request.sequence, 7u);
    EXPECT_EQ(request.timeoutMs, 2000u);
    EXPECT_EQ(Bytes(request.block.begin(), request.block.end()), block);

    EXPECT_EQ(reader.consume({&stream[fed], stream.size() - fed}), keepAlive.size());
    EXPECT_EQ(reader.state(), FrameReader::State::Complete);
    EXPECT_EQ(reader.next().kind, Kind::KeepAlive);
}

struct BadHeader {
    const char* name;
    relayframe::Reader side;
    std::size_t byteAt; // the header byte changed
    std::uint8_t value;
    const char* error;
    bool keyShown = true;
};

TEST(FrameReader, RefusesABadHeaderBeforeTakingItsPayload)
{
    const BadHeader rows[] = {
        {"wrong magic", relayframe::Reader::Relay, 0, 'X', "wrong magic"},
        {"newer version", relayframe::Reader::Relay, 4, 2, "frame version 2"},
        {"unknown kind", relayframe::Reader::Relay, 6, 99, "unexpected frame kind 99"},
        {"a relay's kind sent to the relay", relayframe::Reader::Relay, 6, 6, "unexpected frame kind 6"},
        {"a client's kind sent to a client", relayframe::Reader::Client, 6, 5, "unexpected frame kind 5"},
        {"longer than a block allows", relayframe::Reader::Relay, 9, 0x80, "more than its limit"},
        {"four gigabytes", relayframe::Reader::Relay, 11, 0xFF, "more than its limit"},
        {"an exchange before the key", relayframe::Reader::Relay, 6, 5, "not a greeting with the key", false},
        {"a greeting of the wrong size", relayframe::Reader::Relay, 6, 1, "not a greeting with the key", false},
    };
    const Bytes good = relayframe::encodeExchange({1, 2000, requestBlock(4)});
    for (const BadHeader& row : rows) {
        Bytes frame = good;
        frame[row.byteAt] = row.value;
        if (row.side == relayframe::Reader::Client)
            frame = relayframe::encodeExchangeResult({1, true, 0, 1, requestBlock(4)}), frame[6] = row.value;
        const FrameReader reader = readAll(row.side, frame, row.keyShown);
        EXPECT_EQ(reader.state(), FrameReader::State::Failed) << row.name;
        EXPECT_NE(reader.error().find(row.error), std::string::npos) << row.name << ": " << reader.error();
    }
}

struct BadPayload {
    const char* name;
    Bytes frame;
    const char* reason;
};

TEST(RelayFrames, DecodersRefuseMalformedPayloads)
{
    Bytes noEnd = requestBlock(4);
    noEnd.resize(noEnd.size() - 4);
    Bytes pastEnd = requestBlock(4);
    blockformat::storeU32LE(&pastEnd[8], 64);
    Bytes badId = requestBlock(4);
    badId[0] = 3;
    Bytes trailing = requestBlock(4);
    trailing.push_back(0);
    const BadPayload rows[] = {
        {"time-out of 0", relayframe::encodeExchange({1, 0, requestBlock(4)}), "time-out of 0 ms"},
        {"time-out over the limit", relayframe::encodeExchange({1, 10001, requestBlock(4)}), "outside 1..10000"},
        {"block without end marker", relayframe::encodeExchange({1, 2000, noEnd}), "without its end marker"},
        {"record past the block", relayframe::encodeExchange({1, 2000, pastEnd}), "runs past the block"},
        {"unknown record id", relayframe::encodeExchange({1, 2000, badId}), "record id 3 at byte 0"},
        {"bytes after the end marker", relayframe::encodeExchange({1, 2000, trailing}), "after the request block"},
        {"one byte over the fullest block", relayframe::encodeExchange({1, 2000, requestBlock(kFullestRead + 1)}),
         "more than its limit"},
        {"empty class name", relayframe::encodeFindWindow({1, ""}), "bad length"},
        {"class name with a blank", relayframe::encodeFindWindow({1, "UIPC MAIN"}), "printable ASCII"},
    };
    std::string reason;
    EXPECT_EQ(relayframe::requestBlockBytes(requestBlock(kFullestRead), reason), blockformat::kBlockLimitBytes);
    for (const BadPayload& row : rows) {
        FrameReader reader = readAll(relayframe::Reader::Relay, row.frame);
        reason = reader.error(); // the largest frames are refused by their header already
        bool decoded = false;
        if (reader.state() == FrameReader::State::Complete) {
            const relayframe::Frame frame = reader.next();
            relayframe::ExchangeRequest exchange;
            relayframe::FindWindowRequest find;
            decoded = frame.kind == Kind::Exchange ? relayframe::decodeExchange(frame, exchange, reason)
                                                   : relayframe::decodeFindWindow(frame, find, reason);
        }
        EXPECT_FALSE(decoded) << row.name;
        EXPECT_NE(reason.find(row.reason), std::string::npos) << row.name << ": " << reason;
    }
}

struct RelayKeyFile : testing::Test {
    std::filesystem::path folder = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) /
                                   testing::UnitTest::GetInstance()->current_test_info()->name();
    void SetUp() override { std::filesystem::remove_all(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }
};

TEST_F(RelayKeyFile, IsMadeOnceWithARandomKeyOnlyItsUserCanRead)
{
    const std::string path = (folder / "Quillon" / "relay.key").string();
    RelayKey made, again;
    bool created = false;
    std::string error;
    ASSERT_TRUE(RelayKey::loadOrCreate(path, made, created, error)) << error;
    EXPECT_TRUE(created);
    ASSERT_TRUE(RelayKey::loadOrCreate(path, again, created, error)) << error;
    EXPECT_FALSE(created);
    EXPECT_EQ(again.bytes(), made.bytes());
    EXPECT_NE(made.toHex(), std::string(32, '0'));
    EXPECT_TRUE(made.matches(again.bytes().data()));
    RelayKey::Bytes other = made.bytes();
    other[15] ^= 1;
    EXPECT_FALSE(made.matches(other.data()));
#ifndef _WIN32
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ::chmod(path.c_str(), 0644);
    EXPECT_TRUE(RelayKey::load(path, again, error)) << "a client only reads it";
    EXPECT_FALSE(RelayKey::loadOrCreate(path, again, created, error));
    EXPECT_NE(error.find("may be read by other users"), std::string::npos) << error;
    ::chmod(path.c_str(), 0600);
    const std::string link = (folder / "link.key").string();
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(RelayKey::loadOrCreate(link, again, created, error)) << "a link may point anywhere";
    EXPECT_NE(error.find("cannot read the key file"), std::string::npos) << error;
#endif
}

TEST_F(RelayKeyFile, RefusesTextThatIsNotAKey)
{
    std::filesystem::create_directories(folder);
    const std::pair<const char*, bool> rows[] = {
        {" 00112233445566778899AABBCCDDEEFF\r\n", true}, {"00112233445566778899aabbccddeef", false},
        {"00112233445566778899aabbccddeeffaa", false},  {"00112233445566778899aabbccddeefg", false},
        {"", false},
    };
    for (const auto& [text, valid] : rows) {
        const std::string path = (folder / "relay.key").string();
        std::ofstream(path) << text;
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        RelayKey key;
        std::string error;
        EXPECT_EQ(RelayKey::load(path, key, error), valid) << text;
        EXPECT_EQ(error.empty(), valid) << text;
    }
}

TEST(RelayAddresses, EndpointsAsTyped)
{
    const struct {
        const char* text;
        const char* host; // nullptr: refused
        std::uint16_t port;
    } rows[] = {
        {"simpc", "simpc", kDefaultRelayPort}, {"192.168.1.5:6000", "192.168.1.5", 6000},
        {"[::1]", "::1", kDefaultRelayPort},   {"[fe80::1]:7", "fe80::1", 7},
        {"::1", nullptr, 0},                   {"[::1]7", nullptr, 0},
        {"host:", nullptr, 0},                 {":5230", nullptr, 0},
        {"host:65536", nullptr, 0},            {"host:52a", nullptr, 0},
    };
    for (const auto& row : rows) {
        RelayEndpoint endpoint;
        std::string error;
        EXPECT_EQ(parseEndpoint(row.text, endpoint, error), row.host != nullptr) << row.text;
        EXPECT_TRUE(row.host == nullptr || (endpoint.host == row.host && endpoint.port == row.port)) << row.text;
    }
}

TEST(RelayOptions, ListenBeyondLoopbackOnlyForThePeersAllowed)
{
    const struct {
        std::vector<std::string> args;
        const char* refusal; // nullptr: the relay listens
    } rows[] = {
        {{"--listen", "127.0.0.1:0"}, nullptr},
        {{"--listen", "[::1]:0", "--read-write"}, nullptr},
        {{"--listen", "0.0.0.0:0"}, "name the clients allowed in with --allow"},
        {{"--listen", "[::]:0"}, "name the clients allowed in with --allow"},
        {{"--listen", "0.0.0.0:0", "--allow", "192.0.2.0/24"}, nullptr},
        {{"--allow", "simpc"}, "simpc"},
        {{"--listen"}, "--listen"},
    };
    for (const auto& row : rows) {
        RelayOptions options;
        relaysocket::Address address;
        std::string error;
        const bool listens = parseRelayOptions(row.args, options, error) &&
                             resolveEndpoint(options.listen, true, address, error) &&
                             checkListenAllowed(address, options, error);
        EXPECT_EQ(listens, row.refusal == nullptr) << row.args[0] << " " << row.args.back();
        EXPECT_NE(error.find(row.refusal == nullptr ? "" : row.refusal), std::string::npos) << error;
    }
}

relaysocket::Address addressOf(const char* text)
{
    relaysocket::Address address;
    std::string error;
    EXPECT_TRUE(resolveEndpoint({text, 1}, false, address, error)) << text;
    return address;
}

TEST(RelayAddresses, AllowRulesMatchTheirSubnetInEitherFamily)
{
    const struct {
        const char* rule;
        const char* peer;
        bool allowed;
    } rows[] = {
        {"192.168.1.0/24", "192.168.1.77", true},  {"192.168.1.0/24", "192.168.2.1", false},
        {"192.168.1.7", "192.168.1.7", true},      {"192.168.1.7", "192.168.1.8", false},
        {"10.0.0.0/8", "::ffff:10.9.8.7", true},   {"fd00::/8", "fd12::5", true},
        {"fd00::/8", "fe80::1", false},            {"0.0.0.0/0", "8.8.8.8", true},
        {"192.168.1.0/25", "192.168.1.128", false},
    };
    for (const auto& row : rows) {
        AllowRule rule;
        std::string error;
        ASSERT_TRUE(AllowRule::parse(row.rule, rule, error)) << error;
        EXPECT_EQ(rule.matches(addressOf(row.peer)), row.allowed) << row.rule << " " << row.peer;
    }
    for (const char* bad : {"192.168.1.0/33", "fd00::/129", "simpc", "10.0.0.1/", "10.0.0.1/x"}) {
        AllowRule rule;
        std::string error;
        EXPECT_FALSE(AllowRule::parse(bad, rule, error)) << bad;
    }
    EXPECT_TRUE(isLoopback(addressOf("127.0.0.2")));
    EXPECT_TRUE(isLoopback(addressOf("::1")));
    EXPECT_FALSE(isLoopback(addressOf("192.168.1.1")));
}

} // namespace
