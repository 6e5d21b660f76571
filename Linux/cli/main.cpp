#include <iostream>
#include <string>
#include <vector>

#include "Cancel.h"
#include "Dravane.h"

int main(int argc, char** argv)
{
    halvex::cli::InstallInterruptHandler();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return halvex::cli::RunDravane(arguments, {std::cout, std::cerr, std::cin, halvex::cli::Console::DetectTerminal()});
}
