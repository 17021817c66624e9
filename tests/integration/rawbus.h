#pragma once
// A bus client of the tests' own, written straight onto the socket: it sends whatever
// bytes it is given (strings that are not UTF-8, strings with a NUL inside, arguments of
// many megabytes), sends calls one after another without waiting for their answers, and
// reads the answers back in any order. No Qt and no libdbus, which both refuse to send
// such messages at all (libdbus aborts the client), and no event loop: a test runs it on
// a thread of its own while the editor's thread serves the calls.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vk::test {

// One method call, its strings as raw bytes.
struct RawCall {
    std::string destination;
    std::string path;
    std::string interface;
    std::string member;
    // The body, already marshalled (see SetOptionsBody), and its signature.
    std::string signature;
    std::string body;
};

// The body of SetOptions(s Action, i Value, s ValueStr, i RetVal, s RetValueStr).
std::string SetOptionsBody(const std::string& action, int32_t value, const std::string& valueStr, int32_t retVal,
                           const std::string& retValueStr);

// The editor's SetOptions call with these raw strings.
RawCall KadroSetOptions(const std::string& action, const std::string& valueStr, int32_t retVal = 0,
                        const std::string& retValueStr = std::string());

// What came back for one call.
struct RawAnswer {
    enum Kind { None, Reply, Error } kind = None;
    std::string errorName;
    // A reply's first two values when its signature is "is" (SetOptions).
    std::string signature;
    int32_t retVal = 0;
    std::string retValueStr;
};

class RawBusClient final {
public:
    RawBusClient() = default;
    ~RawBusClient();
    RawBusClient(const RawBusClient&) = delete;
    RawBusClient& operator=(const RawBusClient&) = delete;

    // Connects to "unix:path=..." (or "unix:abstract=..."), authenticates as this user
    // and says Hello. False with the reason in error().
    bool connect(const std::string& address);
    bool connected() const { return m_fd >= 0; }
    const std::string& error() const { return m_error; }

    // Sends every call in turn, as fast as the socket takes them, reading answers
    // meanwhile so neither side's buffers fill up; then reads until every call has its
    // answer, the bus closes the connection, or `timeout` passes. The answers, in the
    // order of the calls (kind None for a call that got none).
    std::vector<RawAnswer> callAll(const std::vector<RawCall>& calls, std::chrono::milliseconds timeout);

    // One call and its answer.
    RawAnswer call(const RawCall& c, std::chrono::milliseconds timeout);

    // Sends one call and does not wait; false when the socket is gone.
    bool sendOnly(const RawCall& c);

    // True once the bus has closed this connection (seen while reading).
    bool closedByBus() const { return m_closed; }

    // Seconds from the first call of the last callAll to its last answer.
    double lastDuration() const { return m_lastDuration; }

private:
    std::string marshal(const RawCall& c, uint32_t serial) const;
    // Reads what the socket has (waiting at most `waitMs`), and files the answers.
    bool pump(int waitMs, bool wantWrite, std::string* pendingOut);
    void fileMessages();

    int m_fd = -1;
    uint32_t m_serial = 0;
    std::string m_in;
    std::string m_error;
    bool m_closed = false;
    double m_lastDuration = 0;
    std::map<uint32_t, RawAnswer> m_answers;
};

} // namespace vk::test
