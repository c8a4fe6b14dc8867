#include "propsserverstub.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

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

void PropsServerStub::sendRaw(const std::string& bytes)
{
    const std::lock_guard lock(m_mutex);
    m_raw += bytes;
}

void PropsServerStub::serve()
{
    std::vector<int> clients;
    std::map<int, std::string> pending;
    while (!m_stop) {
        if (m_drop.exchange(false)) {
            for (int fd : clients)
                ::close(fd);
            clients.clear();
            pending.clear();
        }
        std::vector<pollfd> fds{{m_listenFd, POLLIN, 0}};
        for (int fd : clients)
            fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 10);
        if (fds[0].revents & POLLIN)
            clients.push_back(::accept(m_listenFd, nullptr, nullptr));
        for (std::size_t i = 1; i < fds.size(); ++i) {
            const int fd = fds[i].fd;
            char buffer[4096];
            const ssize_t count = (fds[i].revents & (POLLIN | POLLHUP)) ? ::recv(fd, buffer, sizeof buffer, 0) : 1;
            if (count <= 0) { // the client has gone
                ::close(fd);
                clients.erase(std::find(clients.begin(), clients.end(), fd));
                pending.erase(fd);
                continue;
            }
            if ((fds[i].revents & POLLIN) && !m_silent)
                pending[fd].append(buffer, static_cast<std::size_t>(count));
            std::string reply;
            {
                const std::lock_guard lock(m_mutex);
                reply = std::move(m_raw);
                m_raw.clear();
                for (std::size_t end; (end = pending[fd].find("\r\n")) != std::string::npos;) {
                    const std::string line = pending[fd].substr(0, end);
                    pending[fd].erase(0, end + 2);
                    if (line.rfind("get ", 0) == 0)
                        reply += m_values[line.substr(4)] + "\r\n";
                }
            }
            if (!reply.empty()) {
                ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                ++m_answered;
            }
        }
    }
    for (int fd : clients)
        ::close(fd);
}
