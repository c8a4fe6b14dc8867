#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class SimVariables;

// The module's side of the link: answers the client's batches against a
// table of simulator variables. The caller drives it from one thread and may
// change the variables between serveFor() calls.
class ModuleServer {
public:
    // What to do with the next request, so tests can make the module hang or
    // die in the middle of a batch.
    enum class Disposition { Answer, Hang, Exit };

    virtual ~ModuleServer() = default;

    // Starts serving the window class; false with a reason when it cannot.
    virtual bool start(std::string& strError) = 0;
    // Answers requests until the duration is up. False when the server must
    // stop (exit requested through setExitAfter); the caller then ends.
    virtual bool serveFor(std::chrono::milliseconds duration) = 0;
    // Where clients find the module, for messages: the socket path, or the window class on Windows.
    virtual std::string endpoint() const = 0;

    // Answer this many requests, then read requests but never answer; -1 = always answer.
    void setHangAfter(std::int64_t requests) { m_hangAfter = requests; }
    // Answer this many requests, then stop at the next one without answering; -1 = never.
    void setExitAfter(std::int64_t requests) { m_exitAfter = requests; }

protected:
    // Called once per incoming request message, before answering it.
    Disposition nextRequest()
    {
        const std::int64_t seen = m_requests++;
        if (m_exitAfter >= 0 && seen >= m_exitAfter)
            return Disposition::Exit;
        if (m_hangAfter >= 0 && seen >= m_hangAfter)
            return Disposition::Hang;
        return Disposition::Answer;
    }

private:
    std::int64_t m_requests = 0;
    std::int64_t m_hangAfter = -1;
    std::int64_t m_exitAfter = -1;
};

// The platform's server for the window class ("UIPCMAIN" or "FS98MAIN").
std::unique_ptr<ModuleServer> makeModuleServer(SimVariables& vars, const std::string& className);
