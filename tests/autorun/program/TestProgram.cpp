// Test stand-in for a started program. With HALVEX_TEST_MARK it appends the
// path it was started as to that file. With HALVEX_TEST_STAY=1 it stays until
// ended; HALVEX_TEST_IGNORE_TERM=1 makes it ignore SIGTERM.

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

int main(int, char** argv)
{
    if (const char* mark = std::getenv("HALVEX_TEST_MARK"))
        std::ofstream(mark, std::ios::app) << argv[0] << "\n";
    const char* ignore = std::getenv("HALVEX_TEST_IGNORE_TERM");
    if (ignore != nullptr && std::strcmp(ignore, "1") == 0)
        signal(SIGTERM, SIG_IGN);
    const char* stay = std::getenv("HALVEX_TEST_STAY");
    if (stay != nullptr && std::strcmp(stay, "1") == 0) {
        for (int second = 0; second < 120; ++second)
            sleep(1);
    }
    return 0;
}
