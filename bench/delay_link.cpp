// A point-to-point link with a fixed one-way delay between two network namespaces.
// The kernel here has no netem, so packets cross user space: each side gets a TUN
// device, and every packet read from one is written to the other once its delay has
// passed. Only the two private addresses that the bench gives these devices exist on
// the link; nothing reaches any other interface.
//
//   vellumet_bench_delaylink <namespace A> <namespace B> <device name> <one-way delay ms>
//
// Prints "READY" once both devices exist, runs until SIGTERM or SIGINT, and then
// prints how many packets crossed in each direction. The devices vanish with it.

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int)
{
    stopRequested = 1;
}

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "delaylink: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// Opens a TUN device inside the named namespace; the descriptor keeps working after
// this thread has moved on to another namespace.
int OpenTunIn(const std::string &netns, const std::string &device)
{
    const int nsFd = open(("/run/netns/" + netns).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0)
        Fail("open namespace " + netns);
    if (setns(nsFd, CLONE_NEWNET) != 0)
        Fail("enter namespace " + netns);
    close(nsFd);
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail("open /dev/net/tun");
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, device.c_str(), IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &request) != 0)
        Fail("create " + device + " in " + netns);
    return fd;
}

struct Packet {
    Clock::time_point due;
    std::vector<unsigned char> bytes;
};

// One direction of the link. Every packet gets the same delay, so a FIFO keeps them
// due in order and the link never reorders.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Packet> queue;
    unsigned long long forwarded = 0;

    void readAll(Clock::duration delay)
    {
        unsigned char buffer[65536];
        for (;;) {
            const ssize_t n = read(from, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    return;
                Fail("read");
            }
            queue.push_back({Clock::now() + delay, {buffer, buffer + n}});
        }
    }

    void writeDue(Clock::time_point now)
    {
        while (!queue.empty() && queue.front().due <= now) {
            const auto &bytes = queue.front().bytes;
            // A full device queue drops the packet, as a congested link would.
            if (write(to, bytes.data(), bytes.size()) < 0 && errno != EAGAIN && errno != ENOBUFS)
                Fail("write");
            queue.pop_front();
            ++forwarded;
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <netns A> <netns B> <device> <one-way delay ms>\n", argv[0]);
        return 2;
    }
    const auto delay = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(std::atof(argv[4])));
    // The default 50 us timer slack would add to every packet's delay.
    prctl(PR_SET_TIMERSLACK, 1UL);

    const int tunA = OpenTunIn(argv[1], argv[3]);
    const int tunB = OpenTunIn(argv[2], argv[3]);
    Direction aToB{tunA, tunB, {}, 0};
    Direction bToA{tunB, tunA, {}, 0};

    struct sigaction action{};
    action.sa_handler = RequestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::printf("READY\n");
    std::fflush(stdout);

    while (!stopRequested) {
        const Clock::time_point now = Clock::now();
        aToB.writeDue(now);
        bToA.writeDue(now);
        timespec timeout{1, 0};
        timespec *wait = &timeout;
        Clock::time_point next = Clock::time_point::max();
        for (const Direction *d : {&aToB, &bToA})
            if (!d->queue.empty() && d->queue.front().due < next)
                next = d->queue.front().due;
        if (next != Clock::time_point::max()) {
            const auto left = std::max(next - Clock::now(), Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout = {time_t(ns / 1000000000), long(ns % 1000000000)};
        }
        pollfd fds[2] = {{tunA, POLLIN, 0}, {tunB, POLLIN, 0}};
        if (ppoll(fds, 2, wait, nullptr) < 0 && errno != EINTR)
            Fail("poll");
        if (fds[0].revents & POLLIN)
            aToB.readAll(delay);
        if (fds[1].revents & POLLIN)
            bToA.readAll(delay);
    }
    std::fprintf(stderr, "delaylink: forwarded %llu packets A to B, %llu B to A\n",
                 aToB.forwarded, bToA.forwarded);
    return 0;
}
