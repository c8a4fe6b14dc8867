#include "propsserverstub.h"

#include <deque>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One connection: the bytes of an unfinished line, and the paths asked for, each with when it is due.
struct Client {
    net::Socket socket;
    std::string partial;
    std::deque<std::pair<Clock::time_point, std::string>> asked;
};

} // namespace

PropsServerStub::PropsServerStub()
{
    std::string error;
    net::Address loopback;
    if (net::resolve("127.0.0.1", 0, loopback, error) && m_listener.listen(loopback, error))
        m_port = m_listener.localPort();
    m_thread = std::thread([this] { serve(); });
}

PropsServerStub::~PropsServerStub()
{
    m_stop = true;
    m_thread.join();
}

void PropsServerStub::set(const std::string& path, const std::string& value)
{
    const std::lock_guard lock(m_mutex);
    m_values[path] = value;
}

void PropsServerStub::serve()
{
    std::vector<Client> clients;
    while (!m_stop) {
        // Waits on the one client when there is one, so that it is answered at once.
        const int clientWaitMs = clients.size() == 1 ? 5 : 0;
        if (net::Socket accepted = m_listener.accept(5 - clientWaitMs); accepted.isOpen())
            clients.push_back({std::move(accepted), {}, {}});
        const bool drop = m_drop.exchange(false);
        for (std::size_t i = clients.size(); i-- > 0;) {
            Client& client = clients[i];
            unsigned char buffer[4096];
            const long count = client.socket.receive(buffer, sizeof buffer, clientWaitMs);
            if (drop || count < 0) {
                clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (!m_silent)
                client.partial.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
            for (std::size_t end; (end = client.partial.find("\r\n")) != std::string::npos;) {
                if (client.partial.rfind("get ", 0) == 0) {
                    ++m_gets;
                    client.asked.emplace_back(Clock::now() + std::chrono::milliseconds(m_delayMs),
                                              client.partial.substr(4, end - 4));
                }
                client.partial.erase(0, end + 2);
            }
            std::string reply;
            const std::lock_guard lock(m_mutex);
            for (; !client.asked.empty() && client.asked.front().first <= Clock::now();
                 client.asked.pop_front())
                reply += m_values[client.asked.front().second] + "\r\n";
            if (!reply.empty())
                client.socket.sendAll(reply);
        }
    }
}
