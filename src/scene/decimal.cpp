#include "scene/decimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace zor {

#if defined(ZOR_HAVE_FLOAT_FROM_CHARS)
bool parseDecimalFromChars(std::string_view text, double& value) {
    double parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc{} || end != text.data() + text.size()) return false;
    value = parsed;
    return true;
}
#endif

bool parseDecimalStrtod(std::string_view text, double& value) {
    // strtod wants a terminated text; it runs in the C locale, as the program
    // never changes it, so the point is always the decimal separator.
    const std::string copy(text);
    char* end = nullptr;
    const double parsed = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) return false;
    if (std::isinf(parsed)) return false;
    if (parsed == 0) {
        // Zero is fine only when every digit of the mantissa is zero.
        for (const char c : text) {
            if (c == 'e' || c == 'E') break;
            if (c >= '1' && c <= '9') return false;
        }
    }
    value = parsed;
    return true;
}

bool parseDecimal(std::string_view text, double& value) {
#if defined(ZOR_HAVE_FLOAT_FROM_CHARS)
    return parseDecimalFromChars(text, value);
#else
    return parseDecimalStrtod(text, value);
#endif
}

}  // namespace zor
