// zelmar-netctl: the controller network service from the command line.
// Configuration only from ZELMAR_NETSERVICE_CONFIG; the password from
// ZELMAR_PASSWORD or, with --password-stdin, the first line of standard input.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/netservice/net_service.h"
#include "tools/netctl/netctl_commands.h"

int main(int argc, char** argv) {
    zelmar::netctl::Options options;
    std::vector<std::string> args;
    bool passwordStdin = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json")
            options.json = true;
        else if (a == "--password-stdin")
            passwordStdin = true;
        else if (a.rfind("--password", 0) == 0) {
            std::cerr << "zelmar-netctl: passwords are not taken from the command line;"
                         " use ZELMAR_PASSWORD or --password-stdin\n";
            return 2;
        } else
            args.push_back(a);
    }
    try {
        options.config = zelmar::net::ServiceConfig::fromEnvironment();
        if (passwordStdin) {
            std::getline(std::cin, options.password);
            if (!options.password.empty() && options.password.back() == '\r')
                options.password.pop_back();
        } else if (const char* p = std::getenv("ZELMAR_PASSWORD")) {
            options.password = p;
        }
        return zelmar::netctl::run(args, options, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "zelmar-netctl: " << e.what() << "\n";
        return 3;
    }
}
