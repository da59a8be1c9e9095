#pragma once
// Decimal numbers of the scene text to doubles. The text is what the token
// stream scanned: an optional minus sign, digits with an optional point, an
// optional exponent. The result is the nearest double; a number beyond the
// range of double (one that overflows, or a non-zero one that rounds to zero)
// is refused.
//
// The standard library's floating-point from_chars does this where the
// library has it; the WebAssembly build's library does not, and uses the C
// library's strtod with the same rule for the range instead. Both give the
// same double for every text.

#include <string_view>
#include <version>

// libstdc++ has floating-point from_chars; the libc++ of Debian's Emscripten
// (3.1.6) does not.
#if defined(__cpp_lib_to_chars)
#define ZOR_HAVE_FLOAT_FROM_CHARS 1
#endif

namespace zor {

bool parseDecimal(std::string_view text, double& value);

// The two ways, for the tests that hold them to the same results; the first
// exists only where the standard library has it.
#if defined(ZOR_HAVE_FLOAT_FROM_CHARS)
bool parseDecimalFromChars(std::string_view text, double& value);
#endif
bool parseDecimalStrtod(std::string_view text, double& value);

}  // namespace zor
