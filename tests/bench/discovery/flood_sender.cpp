// Sends one UDP datagram over and over at a fixed rate: the flood of the
// flood benchmark, fast enough for 120,000 datagrams a second, which the
// rig's Python device simulator cannot reach. Plain POSIX, no Qt; Linux
// only (sendmmsg). Run it in the rig's device namespace.
//
// usage: flood_sender SRC[,SRC...] DST PORT RATE SECONDS HEX
//
// Every SRC (an address the device side has) sends from port PORT to
// DST:PORT, the sources taking turns; RATE datagrams a second in all, for
// SECONDS seconds. HEX is the datagram. Prints one line: the datagrams sent,
// the send errors and the rate reached.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

bool parseHex(const char *hex, std::vector<unsigned char> *bytes)
{
    const size_t length = std::strlen(hex);
    if (length % 2)
        return false;
    for (size_t i = 0; i < length; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char *end = nullptr;
        bytes->push_back((unsigned char)std::strtoul(pair, &end, 16));
        if (*end)
            return false;
    }
    return true;
}

sockaddr_in addressOf(const std::string &text, int port, bool *ok)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    *ok = inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1;
    return address;
}

} // namespace

int main(int argc, char *argv[])
{
    std::vector<unsigned char> datagram;
    if (argc != 7 || !parseHex(argv[6], &datagram) || datagram.empty()) {
        std::fprintf(stderr, "usage: flood_sender SRC[,SRC...] DST PORT RATE SECONDS HEX\n");
        return 2;
    }
    const int port = std::atoi(argv[3]);
    const double rate = std::atof(argv[4]);
    const double seconds = std::atof(argv[5]);
    bool ok = true;
    const sockaddr_in destination = addressOf(argv[2], port, &ok);
    if (!ok || rate <= 0 || seconds <= 0) {
        std::fprintf(stderr, "flood_sender: bad destination, rate or time\n");
        return 2;
    }

    std::vector<int> sockets;
    std::string sources = argv[1];
    for (size_t start = 0; start <= sources.size();) {
        size_t comma = sources.find(',', start);
        if (comma == std::string::npos)
            comma = sources.size();
        const sockaddr_in source = addressOf(sources.substr(start, comma - start), port, &ok);
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (!ok || s < 0 || bind(s, (const sockaddr *)&source, sizeof source) != 0
            || connect(s, (const sockaddr *)&destination, sizeof destination) != 0) {
            std::fprintf(stderr, "flood_sender: cannot send from %s: %s\n",
                         sources.substr(start, comma - start).c_str(), std::strerror(errno));
            return 1;
        }
        sockets.push_back(s);
        start = comma + 1;
    }

    // Up to this many datagrams per system call, so that the sender's own
    // cost stays far below the receiver's.
    constexpr int Burst = 32;
    iovec iov{datagram.data(), datagram.size()};
    std::vector<mmsghdr> messages(Burst);
    for (mmsghdr &m : messages) {
        m.msg_hdr = msghdr{};
        m.msg_hdr.msg_iov = &iov;
        m.msg_hdr.msg_iovlen = 1;
    }

    // Paced by the datagrams attempted, so that a busy link does not make
    // the sender catch up later with a burst.
    long long attempted = 0;
    long long sent = 0;
    long long errors = 0;
    size_t next = 0;
    const double start = now();
    for (;;) {
        const double elapsed = now() - start;
        if (elapsed >= seconds)
            break;
        // A sender that had to wait for a core does not catch up by more
        // than 10 ms worth in one burst; the rate it reached is printed.
        const long long target = (long long)(elapsed * rate);
        attempted = target - attempted > (long long)(rate / 100) ? target - (long long)(rate / 100) : attempted;
        long long due = target - attempted;
        if (due <= 0) {
            // A tenth of a millisecond between bursts at most.
            timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
            continue;
        }
        while (due > 0) {
            const int count = due < Burst ? int(due) : Burst;
            const int done = sendmmsg(sockets[next], messages.data(), unsigned(count), 0);
            next = (next + 1) % sockets.size();
            sent += done < 0 ? 0 : done;
            errors += done < 0 ? count : count - done;
            attempted += count;
            due -= count;
        }
    }
    const double took = now() - start;
    std::printf("flood_sender: sent=%lld send_errors=%lld rate=%.0f\n", sent, errors, sent / took);
    for (int s : sockets)
        close(s);
    return 0;
}
