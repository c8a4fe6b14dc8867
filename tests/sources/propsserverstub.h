#pragma once

#include "netsocket.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// A stand-in for FlightGear's property server in data mode, on a loopback
// port of its own: answers each "get PATH" line from a table the test changes
// ("" for a missing property), after a delay if one is set, reading the value
// only then, as FlightGear does in a later frame. It can be made to fall
// silent or drop its connections. One thread; ended with the object.
class PropsServerStub {
public:
    PropsServerStub();
    ~PropsServerStub();
    PropsServerStub(const PropsServerStub&) = delete;
    PropsServerStub& operator=(const PropsServerStub&) = delete;

    std::uint16_t port() const { return m_port; }
    void set(const std::string& path, const std::string& value);
    void setSilent(bool silent) { m_silent = silent; }
    void setDelay(std::chrono::milliseconds delay) { m_delayMs = static_cast<int>(delay.count()); }
    void dropConnections() { m_drop = true; }
    // How many "get" lines came so far.
    std::size_t gets() const { return m_gets; }

private:
    void serve();

    net::Socket m_listener;
    std::uint16_t m_port = 0;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_values;
    std::atomic<bool> m_silent{false};
    std::atomic<int> m_delayMs{0};
    std::atomic<bool> m_drop{false};
    std::atomic<std::size_t> m_gets{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
