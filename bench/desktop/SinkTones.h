#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <sys/types.h>

// Listens to the session's null sink (parec on lumora_sink.monitor, 16 kHz
// mono) on a thread of its own, and cuts what it hears into 20 ms windows:
// for each, when it was played (the arrival of its last sample, less the
// samples read after it) and how much of its energy lies at each of the
// tones. What comes first after a command is that command's first sound.
class SinkTones
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SinkTones(std::vector<int> hertz);
    ~SinkTones();
    SinkTones(const SinkTones &) = delete;
    SinkTones &operator=(const SinkTones &) = delete;

    // Starts parec; false when it cannot be started or gives nothing within 5 s.
    bool start();
    void stop();

    // The start of the first window at or after `since` that is the tone
    // `hertz` (at least half its energy, and not silence), waiting up to
    // `timeout` for it. Empty when none came.
    std::optional<Clock::time_point> firstTone(int hertz, Clock::time_point since, std::chrono::milliseconds timeout);
    // Whether the last `span` held nothing but silence.
    bool silentFor(std::chrono::milliseconds span);

private:
    struct Window
    {
        Clock::time_point at;
        double rms = 0;
        std::vector<double> share; // per tone of m_hertz
    };
    void readLoop(int fd);
    Window analyse(const short *samples, int n) const;

    std::vector<int> m_hertz;
    pid_t m_pid = -1;
    std::thread m_reader;
    std::atomic<bool> m_running { false };
    std::mutex m_mutex;
    std::vector<Window> m_windows;
};
