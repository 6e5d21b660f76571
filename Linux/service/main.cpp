#include <iostream>
#include <string>
#include <vector>

#include "UpdateServer.h"

// halvex-update-service --root DIR [--listen ADDR:PORT] [--per-address N] [--request-deadline SECONDS]
int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto options = halvex::service::ParseServiceOptions(arguments);
    if (!options) {
        std::cerr << "halvex-update-service: " << options.detail() << "\n"
                  << "usage: halvex-update-service --root DIR [--listen ADDR:PORT] [--per-address N]\n"
                     "                             [--request-deadline SECONDS]\n";
        return 2;
    }
    if (const halvex::Status served = halvex::service::RunUpdateService(options.value(), std::cout); !served) {
        // The first line, where "listening on" would have been.
        std::cout << served.detail << std::endl;
        return 1;
    }
    return 0;
}
