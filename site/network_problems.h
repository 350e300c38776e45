#pragma once
// The answer of a controller's network check (the problem bits of the IP
// settings it was given) in the plan's terms: the column and the words.
#include <cstdint>
#include <string>

namespace zelmar::site {

// The column of the first problem bit of a network check.
std::string columnOfNetworkProblem(std::uint32_t problems);
std::string describeNetworkProblems(std::uint32_t problems);

}  // namespace zelmar::site
