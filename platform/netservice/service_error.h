#pragma once
// The error every part of the service throws for a call that cannot be done:
// an entry index out of range, an address or search target that does not
// resolve, a socket that cannot be opened (docs/netservice.md, "Errors").
#include <stdexcept>

namespace zelmar::net {

class ServiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zelmar::net
