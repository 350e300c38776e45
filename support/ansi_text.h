#pragma once
// The last step of AnsiPtrToString on its own, so the short-copy rule can be
// checked without a library that copies short.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace zelmar::support::detail {

// `buffer` holds n bytes of which the library reported `copied` as copied: the
// whole buffer when copied == n, otherwise its first `copied` bytes.
QString textFromCopyBuffer(QByteArray buffer, std::int32_t n, std::int32_t copied);

}  // namespace zelmar::support::detail
