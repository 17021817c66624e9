#include "tests/integration/rawbus.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vk::test {

namespace {

// Little-endian marshalling with the alignment the wire format asks for, counted from
// the start of the buffer (a message's header, or its body: the header is padded to 8).
struct Writer {
    std::string out;
    void align(size_t n)
    {
        while (out.size() % n)
            out.push_back('\0');
    }
    void byte(uint8_t v) { out.push_back(char(v)); }
    void u32(uint32_t v)
    {
        align(4);
        for (int i = 0; i < 4; ++i)
            out.push_back(char((v >> (8 * i)) & 0xff));
    }
    void str(const std::string& s)
    {
        u32(uint32_t(s.size()));
        out += s;
        out.push_back('\0');
    }
    void sig(const std::string& s)
    {
        byte(uint8_t(s.size()));
        out += s;
        out.push_back('\0');
    }
};

struct Reader {
    const std::string& in;
    size_t pos;
    size_t end;
    bool ok = true;
    void align(size_t n)
    {
        while (pos % n)
            ++pos;
    }
    bool have(size_t n)
    {
        if (pos + n > end)
            ok = false;
        return ok;
    }
    uint8_t byte()
    {
        if (!have(1))
            return 0;
        return uint8_t(in[pos++]);
    }
    uint32_t u32()
    {
        align(4);
        if (!have(4))
            return 0;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(in[pos + i])) << (8 * i);
        pos += 4;
        return v;
    }
    std::string str()
    {
        const uint32_t n = u32();
        if (!have(size_t(n) + 1))
            return {};
        std::string s = in.substr(pos, n);
        pos += n + 1;
        return s;
    }
    std::string sig()
    {
        const uint8_t n = byte();
        if (!have(size_t(n) + 1))
            return {};
        std::string s = in.substr(pos, n);
        pos += n + 1;
        return s;
    }
};

uint32_t ReadU32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(uint8_t(s[at + i])) << (8 * i);
    return v;
}

size_t Padded8(size_t n)
{
    return (n + 7) & ~size_t(7);
}

} // namespace

std::string SetOptionsBody(const std::string& action, int32_t value, const std::string& valueStr, int32_t retVal,
                           const std::string& retValueStr)
{
    Writer w;
    w.str(action);
    w.u32(uint32_t(value));
    w.str(valueStr);
    w.u32(uint32_t(retVal));
    w.str(retValueStr);
    return w.out;
}

RawCall KadroSetOptions(const std::string& action, const std::string& valueStr, int32_t retVal,
                        const std::string& retValueStr)
{
    return RawCall{"TlmVideoKadro.Kadro", "/Kadro", "TlmVideoKadro.Kadro",
                   "SetOptions",          "sisis",  SetOptionsBody(action, 0, valueStr, retVal, retValueStr)};
}

RawBusClient::~RawBusClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawBusClient::connect(const std::string& address)
{
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    socklen_t len = 0;
    const std::string pathKey = "unix:path=";
    const std::string abstractKey = "unix:abstract=";
    std::string rest;
    bool abstract = false;
    if (address.rfind(pathKey, 0) == 0) {
        rest = address.substr(pathKey.size());
    } else if (address.rfind(abstractKey, 0) == 0) {
        rest = address.substr(abstractKey.size());
        abstract = true;
    } else {
        m_error = "unsupported bus address: " + address;
        return false;
    }
    rest = rest.substr(0, rest.find(','));
    if (rest.size() + 2 > sizeof(sa.sun_path)) {
        m_error = "bus socket path too long";
        return false;
    }
    if (abstract) {
        std::memcpy(sa.sun_path + 1, rest.data(), rest.size());
        len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + rest.size());
    } else {
        std::memcpy(sa.sun_path, rest.data(), rest.size());
        len = socklen_t(offsetof(sockaddr_un, sun_path) + rest.size() + 1);
    }
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&sa), len) != 0) {
        m_error = std::string("cannot connect: ") + std::strerror(errno);
        return false;
    }
    // Authentication: a NUL byte, then EXTERNAL with our user id in hex digits.
    std::string uid = std::to_string(::getuid());
    std::string hex;
    static const char digits[] = "0123456789abcdef";
    for (unsigned char c : uid) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    const std::string auth = std::string(1, '\0') + "AUTH EXTERNAL " + hex + "\r\n";
    if (::write(m_fd, auth.data(), auth.size()) != ssize_t(auth.size())) {
        m_error = "cannot write the authentication";
        return false;
    }
    std::string line;
    char c = 0;
    while (line.find("\r\n") == std::string::npos) {
        if (::read(m_fd, &c, 1) != 1) {
            m_error = "no answer to the authentication";
            return false;
        }
        line.push_back(c);
    }
    if (line.rfind("OK ", 0) != 0) {
        m_error = "authentication refused: " + line;
        return false;
    }
    const std::string begin = "BEGIN\r\n";
    if (::write(m_fd, begin.data(), begin.size()) != ssize_t(begin.size())) {
        m_error = "cannot begin";
        return false;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    const RawAnswer hello = call(RawCall{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                         "Hello", std::string(), std::string()},
                                 std::chrono::seconds(10));
    if (hello.kind != RawAnswer::Reply) {
        m_error = "no answer to Hello";
        return false;
    }
    return true;
}

std::string RawBusClient::marshal(const RawCall& c, uint32_t serial) const
{
    Writer h;
    h.byte('l');
    h.byte(1); // a method call
    h.byte(0);
    h.byte(1);
    h.u32(uint32_t(c.body.size()));
    h.u32(serial);
    Writer fields;
    // The fields array's elements are 8-aligned counted from the message start, and the
    // array starts at offset 16, so aligning within `fields` counts the same way.
    auto field = [&fields](uint8_t code, const char* type, const std::string& value) {
        fields.align(8);
        fields.byte(code);
        fields.sig(type);
        if (type[0] == 'g')
            fields.sig(value);
        else
            fields.str(value);
    };
    field(1, "o", c.path);
    if (!c.interface.empty())
        field(2, "s", c.interface);
    field(3, "s", c.member);
    field(6, "s", c.destination);
    if (!c.signature.empty())
        field(8, "g", c.signature);
    h.u32(uint32_t(fields.out.size()));
    h.out += fields.out;
    h.align(8);
    return h.out + c.body;
}

bool RawBusClient::sendOnly(const RawCall& c)
{
    if (m_fd < 0 || m_closed)
        return false;
    std::string out = marshal(c, ++m_serial);
    while (!out.empty()) {
        if (!pump(1000, true, &out))
            return false;
    }
    return true;
}

bool RawBusClient::pump(int waitMs, bool wantWrite, std::string* pendingOut)
{
    pollfd p{m_fd, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
    const int n = ::poll(&p, 1, waitMs);
    if (n < 0)
        return errno == EINTR;
    if (p.revents & POLLIN) {
        char buf[65536];
        for (;;) {
            const ssize_t got = ::read(m_fd, buf, sizeof buf);
            if (got > 0) {
                m_in.append(buf, size_t(got));
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                m_closed = true;
            }
            break;
        }
        fileMessages();
    }
    if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))
        m_closed = true;
    if (m_closed)
        return false;
    if (pendingOut && !pendingOut->empty() && (p.revents & POLLOUT)) {
        const ssize_t sent = ::send(m_fd, pendingOut->data(), pendingOut->size(), MSG_NOSIGNAL);
        if (sent > 0)
            pendingOut->erase(0, size_t(sent));
        else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            m_closed = true;
            return false;
        }
    }
    return true;
}

void RawBusClient::fileMessages()
{
    for (;;) {
        if (m_in.size() < 16)
            return;
        const size_t fieldsLen = ReadU32(m_in, 12);
        const size_t bodyLen = ReadU32(m_in, 4);
        const size_t headerLen = Padded8(16 + fieldsLen);
        if (m_in.size() < headerLen + bodyLen)
            return;
        const uint8_t type = uint8_t(m_in[1]);
        Reader r{m_in, 16, 16 + fieldsLen};
        uint32_t replySerial = 0;
        RawAnswer a;
        while (r.ok && r.pos < r.end) {
            r.align(8);
            if (r.pos >= r.end)
                break;
            const uint8_t code = r.byte();
            const std::string type = r.sig();
            std::string text;
            uint32_t number = 0;
            if (type == "u")
                number = r.u32();
            else if (type == "g")
                text = r.sig();
            else
                text = r.str();
            if (code == 5)
                replySerial = number;
            else if (code == 4)
                a.errorName = text;
            else if (code == 8)
                a.signature = text;
        }
        if ((type == 2 || type == 3) && replySerial != 0) {
            a.kind = type == 2 ? RawAnswer::Reply : RawAnswer::Error;
            if (a.signature == "is") {
                Reader b{m_in, headerLen, headerLen + bodyLen};
                // The body's alignment counts from the message start, which is 8-aligned
                // like the body's own start.
                b.pos = headerLen;
                a.retVal = int32_t(b.u32());
                a.retValueStr = b.str();
            }
            m_answers[replySerial] = std::move(a);
        }
        m_in.erase(0, headerLen + bodyLen);
    }
}

std::vector<RawAnswer> RawBusClient::callAll(const std::vector<RawCall>& calls, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + timeout;
    std::vector<uint32_t> serials;
    serials.reserve(calls.size());
    std::string out;
    size_t next = 0;
    size_t answered = 0;
    auto countAnswered = [&] {
        while (answered < serials.size() && m_answers.count(serials[answered]))
            ++answered;
    };
    while (Clock::now() < deadline && !m_closed) {
        // Keep a few hundred kilobytes ready to write: the calls go out back to back.
        while (next < calls.size() && out.size() < 256 * 1024) {
            serials.push_back(++m_serial);
            out += marshal(calls[next++], m_serial);
        }
        if (!pump(50, !out.empty(), &out))
            break;
        countAnswered();
        if (next == calls.size() && out.empty()) {
            bool all = true;
            for (size_t i = answered; i < serials.size() && all; ++i)
                all = m_answers.count(serials[i]) != 0;
            if (all)
                break;
        }
    }
    m_lastDuration = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<RawAnswer> result(calls.size());
    for (size_t i = 0; i < serials.size(); ++i) {
        auto it = m_answers.find(serials[i]);
        if (it != m_answers.end()) {
            result[i] = std::move(it->second);
            m_answers.erase(it);
        }
    }
    return result;
}

RawAnswer RawBusClient::call(const RawCall& c, std::chrono::milliseconds timeout)
{
    std::vector<RawAnswer> answers = callAll({c}, timeout);
    return answers.empty() ? RawAnswer{} : answers.front();
}

} // namespace vk::test
