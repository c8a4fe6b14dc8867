#include "propsserverstub.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One connection: the bytes of an unfinished line, and the paths asked for, each with when it is due.
struct Client {
    int fd;
    std::string partial;
    std::deque<std::pair<Clock::time_point, std::string>> asked;
};

} // namespace

PropsServerStub::PropsServerStub()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listenFd, 4);
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

PropsServerStub::~PropsServerStub()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listenFd);
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
        std::vector<pollfd> fds{{m_listenFd, POLLIN, 0}};
        for (const Client& client : clients)
            fds.push_back({client.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 5);
        if (fds[0].revents & POLLIN)
            clients.push_back({::accept(m_listenFd, nullptr, nullptr), {}, {}});
        const bool drop = m_drop.exchange(false);
        for (std::size_t i = clients.size(); i-- > 0;) {
            Client& client = clients[i];
            char buffer[4096];
            const bool readable = i + 1 < fds.size() && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR));
            const ssize_t count = readable ? ::recv(client.fd, buffer, sizeof buffer, 0) : 0;
            if (drop || (readable && count <= 0)) {
                ::close(client.fd);
                clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (!m_silent)
                client.partial.append(buffer, static_cast<std::size_t>(count));
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
                ::send(client.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
    }
    for (const Client& client : clients)
        ::close(client.fd);
}
