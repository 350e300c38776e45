#pragma once
// zelmar-netctl's command line: options, --help and --version, the password
// sources, then the command. Apart from main() so that tests can run it.
#include <QStringList>
#include <iosfwd>

namespace zelmar::netctl {

// Runs the whole program: `arguments` with the program name first, as
// cli::programArguments gives them; `in` the standard input the passwords may
// come from. Returns the exit code.
int runCommandLine(const QStringList& arguments, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zelmar::netctl
