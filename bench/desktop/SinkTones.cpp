#include "SinkTones.h"

#include <cmath>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kRate = 16000;
constexpr int kWindow = kRate / 50; // 20 ms
constexpr double kMinRms = 300; // of 32767: well above dither, well below a tone
constexpr double kMinShare = 0.5;

} // namespace

SinkTones::SinkTones(std::vector<int> hertz)
    : m_hertz(std::move(hertz))
{
}

SinkTones::~SinkTones()
{
    stop();
}

bool SinkTones::start()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // goes with the bench
        dup2(fds[1], STDOUT_FILENO);
        execlp("parec", "parec", "--device=lumora_sink.monitor", "--raw", "--format=s16le", "--rate=16000",
               "--channels=1", "--latency-msec=10", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return false;
    }
    m_running = true;
    m_reader = std::thread([this, fd = fds[0]] { readLoop(fd); });
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        {
            std::lock_guard lock(m_mutex);
            if (m_windows.size() > 5)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void SinkTones::stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    m_running = false;
    if (m_reader.joinable())
        m_reader.join();
}

void SinkTones::readLoop(int fd)
{
    std::vector<short> pending;
    char buffer[4096];
    int carry = 0; // an odd byte left from the last read
    char half = 0;
    while (m_running) {
        const ssize_t got = read(fd, buffer + carry, sizeof buffer - carry);
        if (got <= 0)
            break;
        const auto arrived = Clock::now();
        if (carry)
            buffer[0] = half;
        const ssize_t bytes = got + carry;
        carry = bytes % 2;
        if (carry)
            half = buffer[bytes - 1];
        const size_t before = pending.size();
        pending.resize(before + bytes / 2);
        std::memcpy(pending.data() + before, buffer, (bytes / 2) * 2);
        // Whole windows; each ends `after` samples before the last one read.
        size_t used = 0;
        std::vector<Window> done;
        while (pending.size() - used >= kWindow) {
            Window w = analyse(pending.data() + used, kWindow);
            const size_t after = pending.size() - used - kWindow;
            w.at = arrived - std::chrono::microseconds((after + kWindow) * 1000000 / kRate);
            done.push_back(std::move(w));
            used += kWindow;
        }
        pending.erase(pending.begin(), pending.begin() + used);
        std::lock_guard lock(m_mutex);
        for (Window &w : done)
            m_windows.push_back(std::move(w));
    }
    close(fd);
}

SinkTones::Window SinkTones::analyse(const short *samples, int n) const
{
    Window w;
    double energy = 0;
    for (int i = 0; i < n; ++i)
        energy += double(samples[i]) * samples[i];
    w.rms = std::sqrt(energy / n);
    for (int hertz : m_hertz) {
        // Goertzel: the power at `hertz`, as a share of the window's energy.
        const double coeff = 2 * std::cos(2 * M_PI * hertz / kRate);
        double s1 = 0, s2 = 0;
        for (int i = 0; i < n; ++i) {
            const double s0 = samples[i] + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        w.share.push_back(energy > 0 ? std::min(1.0, 2 * power / (n * energy)) : 0.0);
    }
    return w;
}

std::optional<SinkTones::Clock::time_point> SinkTones::firstTone(int hertz, Clock::time_point since,
                                                                  std::chrono::milliseconds timeout)
{
    size_t tone = 0;
    while (tone < m_hertz.size() && m_hertz[tone] != hertz)
        ++tone;
    if (tone == m_hertz.size())
        return std::nullopt;
    const auto deadline = Clock::now() + timeout;
    size_t from = 0;
    while (Clock::now() < deadline) {
        {
            std::lock_guard lock(m_mutex);
            for (; from < m_windows.size(); ++from) {
                const Window &w = m_windows[from];
                if (w.at >= since && w.rms > kMinRms && w.share[tone] > kMinShare)
                    return w.at;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

bool SinkTones::silentFor(std::chrono::milliseconds span)
{
    std::lock_guard lock(m_mutex);
    const auto since = Clock::now() - span;
    bool any = false;
    for (auto it = m_windows.rbegin(); it != m_windows.rend() && it->at >= since; ++it) {
        any = true;
        if (it->rms > kMinRms)
            return false;
    }
    return any;
}
