// A program of the user's that keeps running in the prefix, for the main job's test: scripts/run must
// leave it running. It sleeps for a quarter of an hour, or as many seconds as its argument says.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 900;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
