// zelmar-netctl: the controller network service from the command line
// (zelmar-netctl --help; docs/netctl.md).
#include <QCoreApplication>
#include <iostream>

#include "tools/netctl/command_line.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return zelmar::netctl::runCommandLine(QCoreApplication::arguments(), std::cin, std::cout, std::cerr);
}
