#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// A stand-in for FlightGear's property server in data mode, on a loopback
// port of its own: answers "get PATH" lines from a table the test changes
// ("" for a missing property), takes "data", and can be made to fall silent,
// drop its connections or send raw bytes. One thread; ended with the object.
class PropsServerStub {
public:
    PropsServerStub();
    ~PropsServerStub();
    PropsServerStub(const PropsServerStub&) = delete;
    PropsServerStub& operator=(const PropsServerStub&) = delete;

    std::uint16_t port() const { return m_port; }
    void set(const std::string& path, const std::string& value);
    void setSilent(bool silent) { m_silent = silent; }
    void dropConnections() { m_drop = true; }
    void sendRaw(const std::string& bytes);
    int batchesAnswered() const { return m_answered; }

private:
    void serve();

    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_values;
    std::string m_raw;
    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_drop{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_answered{0};
    std::thread m_thread;
};
