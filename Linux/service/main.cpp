#include <iostream>
#include <string>
#include <vector>

#include "UpdateServer.h"

// halvex-update-service --root DIR [--listen ADDR:PORT]
int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = halvex::service::ParseServiceOptions(arguments, error);
    if (!options) {
        std::cerr << "halvex-update-service: " << error << "\n"
                  << "usage: halvex-update-service --root DIR [--listen ADDR:PORT]\n";
        return 2;
    }
    return halvex::service::RunUpdateService(*options, std::cout);
}
