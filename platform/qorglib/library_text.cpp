#include "platform/qorglib/qorglib_internal.h"

#include <utility>

namespace zelmar::qorg {

const char* keepText(std::string& buffer, std::string text) {
    buffer = std::move(text);
    return buffer.c_str();
}

}  // namespace zelmar::qorg
