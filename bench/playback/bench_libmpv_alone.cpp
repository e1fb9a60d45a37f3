// libmpv and nothing else: plays one address with no video and a null audio
// output, isolated from any mpv configuration, and prints its resident
// memory after the given seconds. What libmpv as Debian builds it costs by
// itself; started by bench_memory.
//
//   bench_libmpv_alone ADDRESS SECONDS

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <mpv/client.h>

namespace {

void printMemory()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0 || line.rfind("RssAnon:", 0) == 0 || line.rfind("RssFile:", 0) == 0)
            std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3)
        return 2;
    mpv_handle *mpv = mpv_create();
    if (!mpv)
        return 1;
    for (const char *o : {"config=no", "vid=no", "ao=null", "idle=yes", "terminal=no", "ytdl=no", "osc=no"}) {
        const std::string s(o);
        const auto eq = s.find('=');
        mpv_set_option_string(mpv, s.substr(0, eq).c_str(), s.substr(eq + 1).c_str());
    }
    if (mpv_initialize(mpv) < 0)
        return 1;
    const char *load[] = {"loadfile", argv[1], nullptr};
    mpv_command(mpv, load);
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
    printMemory();
    mpv_terminate_destroy(mpv);
    return 0;
}
