// SNMP answers of a network printer to the device-ID query: the input is a buffer size and one or
// more datagrams. They go through the real query (a UDP "printer" on the loopback answers the
// GetRequest with them) and through the copy of the device ID out of the joined answer.
//
// Properties checked besides memory safety: the query reports success whether or not an answer
// fits; the caller's buffer (exactly its size) gets (answer size - 60) bytes from offset 59 when
// they fit and is left untouched otherwise.

#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "transport/SnmpDeviceId.h"

#include <QHostAddress>
#include <arpa/inet.h>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{

// A UDP socket on 127.0.0.1 that plays the printer's SNMP agent.
struct Agent {
    int fd = -1;
    quint16 port = 0;
    Agent()
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0
            || getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            fprintf(stderr, "no loopback UDP socket\n");
            abort();
        }
        port = ntohs(addr.sin_port);
    }
};

Agent& agent()
{
    static Agent* a = new Agent; // lives until the process ends
    return *a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int bufsize = in.u16() % 2048;
    std::vector<std::string> datagrams;
    const int count = 1 + in.byte() % 4;
    for (int i = 0; i < count && !in.atEnd(); ++i)
        datagrams.push_back(in.bytes(i + 1 < count ? in.u16() % 1500 : in.remaining()));
    std::string joined;
    for (const std::string& d : datagrams)
        joined += d;

    // The copy on its own, into a buffer of exactly bufsize bytes.
    const char kCanary = 0x5A;
    std::unique_ptr<char[]> buffer(new char[bufsize + 1]);
    memset(buffer.get(), kCanary, bufsize + 1);
    const int copied
        = copySnmpDeviceId(QByteArray(joined.data(), static_cast<int>(joined.size())), buffer.get(), bufsize);
    const int expected = joined.size() > 60 && static_cast<size_t>(bufsize) >= joined.size() - 60
        ? static_cast<int>(joined.size() - 60)
        : 0;
    FUZZ_CHECK(copied == expected);
    FUZZ_CHECK(buffer[bufsize] == kCanary);
    if (expected > 0)
        FUZZ_CHECK(memcmp(buffer.get(), joined.data() + 59, expected) == 0);
    else
        for (int i = 0; i < bufsize; ++i)
            FUZZ_CHECK(buffer[i] == kCanary);

    // The whole query against the loopback agent, which answers at the first poll.
    Agent& a = agent();
    FuzzClock clock;
    clock.onSleep = [&](int sleeps) {
        if (sleeps != 1)
            return;
        char request[512];
        sockaddr_in from {};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(a.fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &len);
        FUZZ_CHECK(n == kSnmpRequestSize);
        FUZZ_CHECK(QByteArray(request, static_cast<int>(n)) == snmpDeviceIdRequest());
        for (const std::string& d : datagrams)
            sendto(a.fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    };
    std::unique_ptr<char[]> queried(new char[bufsize + 1]);
    memset(queried.get(), kCanary, bufsize + 1);
    bool answered = false;
    const int r = snmpQueryDeviceId(QHostAddress(QHostAddress::LocalHost), a.port, queried.get(), bufsize, &answered);
    FUZZ_CHECK(r == 0);
    FUZZ_CHECK(queried[bufsize] == kCanary);
    if (answered && expected > 0 && datagrams.size() == 1)
        FUZZ_CHECK(memcmp(queried.get(), joined.data() + 59, expected) == 0);
    // Anything still queued at the agent belongs to this input only.
    char drain[2048];
    while (recv(a.fd, drain, sizeof drain, 0) > 0) { }
    return 0;
}
