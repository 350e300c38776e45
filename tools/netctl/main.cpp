// zelmar-netctl: the controller network service from the command line
// (zelmar-netctl --help; docs/netctl.md).
#include <QCoreApplication>
#include <iostream>

#include "platform/cli/program_arguments.h"
#include "tools/netctl/command_line.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return zelmar::netctl::runCommandLine(zelmar::cli::programArguments(argc, argv), std::cin, std::cout, std::cerr);
}
