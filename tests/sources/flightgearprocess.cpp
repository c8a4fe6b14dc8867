#include "flightgearprocess.h"

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr int kFrameRateHz = 10; // leaves a core to the tests

// A loopback port free at this moment (FlightGear cannot be given port 0).
std::uint16_t freePort()
{
    std::string error;
    net::Address loopback;
    net::Socket probe;
    return net::resolve("127.0.0.1", 0, loopback, error) && probe.listen(loopback, error) ? probe.localPort() : 0;
}

// A program with its output thrown away, keeping keepFd open across the exec.
std::unique_ptr<ChildProcess> start(const std::vector<std::string>& args, int keepFd = -1)
{
    return std::make_unique<ChildProcess>([&] {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (keepFd >= 0)
            ::fcntl(keepFd, F_SETFD, 0);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
    });
}

} // namespace

bool FlightGearProcess::installed()
{
    return ::access(kExecutable, X_OK) == 0 && ::access("/usr/bin/Xvfb", X_OK) == 0;
}

FlightGearProcess::FlightGearProcess()
{
    char home[] = "/tmp/qfg-XXXXXX";
    int displayPipe[2];
    if (::mkdtemp(home) == nullptr || ::pipe2(displayPipe, O_CLOEXEC) != 0)
        return;
    m_home = home;
    m_xvfb = start({"/usr/bin/Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0",
                    "800x600x24", "-nolisten", "tcp"},
                   displayPipe[1]);
    ::close(displayPipe[1]);
    std::string display;
    pollfd waiting{displayPipe[0], POLLIN, 0};
    char digit = 0;
    while (::poll(&waiting, 1, 10000) > 0 && ::read(displayPipe[0], &digit, 1) == 1 && digit != '\n')
        display += digit;
    ::close(displayPipe[0]);
    if (display.empty())
        return;

    m_port = freePort();
    ::setenv("DISPLAY", (":" + display).c_str(), 1);
    ::setenv("FG_HOME", m_home.c_str(), 1);
    ::setenv("DBUS_FATAL_WARNINGS", "0", 1); // it aborts on a D-Bus assertion otherwise
    // The clock starts shortly before midnight; tests move it where they need it.
    m_fgfs = start({kExecutable, "--fdm=null", "--aircraft=ufo", "--airport=KSFO", "--disable-sound",
                    "--disable-splash-screen", "--disable-ai-traffic", "--disable-real-weather-fetch",
                    "--disable-terrasync", "--launcher=false", "--geometry=640x480",
                    "--telnet=" + std::to_string(m_port), "--start-date-gmt=2026:12:06:23:58:00",
                    "--prop:/sim/frame-rate-throttle-hz=" + std::to_string(kFrameRateHz)});
}

FlightGearProcess::~FlightGearProcess()
{
    m_client.close();
    m_fgfs.reset();
    m_xvfb.reset();
    std::error_code ignored;
    if (!m_home.empty())
        std::filesystem::remove_all(m_home, ignored);
}

bool FlightGearProcess::connect()
{
    std::string error;
    net::Address address;
    if (!net::resolve("127.0.0.1", m_port, address, error) || !m_client.startConnect({address}, error))
        return false;
    int connected = 0;
    for (int slice = 0; slice < 20 && connected == 0; ++slice)
        connected = m_client.awaitConnected(50, error);
    m_received.clear();
    return connected == 1 && m_client.sendAll("data\r\n");
}

bool FlightGearProcess::waitReady(std::chrono::seconds timeout)
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         m_fgfs != nullptr && m_fgfs->waitExit(0ms) == -1 && std::chrono::steady_clock::now() < deadline;) {
        // The property server answers before the simulation has started, and its
        // start sets the clock once more.
        if (connect() && send({"get /sim/signals/fdm-initialized"}).at(0) == "true")
            return true;
        m_client.close();
        std::this_thread::sleep_for(500ms);
    }
    return false;
}

std::vector<std::string> FlightGearProcess::send(const std::vector<std::string>& commands)
{
    std::string request;
    std::size_t expected = 0;
    for (const std::string& command : commands) {
        request += command + "\r\n";
        expected += command.rfind("get ", 0) == 0;
    }
    std::vector<std::string> lines;
    if (!m_client.sendAll(request))
        return std::vector<std::string>(expected);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    unsigned char buffer[4096];
    while (lines.size() < expected && std::chrono::steady_clock::now() < deadline) {
        for (std::size_t end;
             lines.size() < expected && (end = m_received.find("\r\n")) != std::string::npos;) {
            lines.push_back(m_received.substr(0, end));
            m_received.erase(0, end + 2);
        }
        const long count = lines.size() < expected ? m_client.receive(buffer, sizeof buffer, 50) : 0;
        if (count < 0)
            break;
        m_received.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
    }
    lines.resize(expected);
    return lines;
}

int FlightGearProcess::utcSecondOfDay()
{
    const auto clock =
        send({"get /sim/time/utc/hour", "get /sim/time/utc/minute", "get /sim/time/utc/second"});
    return std::atoi(clock[0].c_str()) * 3600 + std::atoi(clock[1].c_str()) * 60 +
           std::atoi(clock[2].c_str());
}

bool FlightGearProcess::setUtcSecondOfDay(int second)
{
    constexpr int kDay = 86400;
    const auto offsetTo = [&] {
        int delta = (second - utcSecondOfDay()) % kDay;
        return delta > kDay / 2 ? delta - kDay : delta < -kDay / 2 ? delta + kDay : delta;
    };
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int warp = std::atoi(send({"get /sim/time/warp"}).at(0).c_str());
        send({"seti /sim/time/warp " + std::to_string(warp + offsetTo())});
        std::this_thread::sleep_for(1s);
        if (std::abs(offsetTo()) <= 3)
            return true;
    }
    return false;
}
