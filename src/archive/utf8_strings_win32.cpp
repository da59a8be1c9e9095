// On Windows our narrow strings are UTF-8, as on every other system: the
// command line arrives as UTF-16 and is turned into UTF-8, and names read
// from data are ASCII. The C runtime would read narrow strings in the "C"
// locale byte by byte (each byte one UTF-16 unit), and std::filesystem::path
// converts narrow names through it, so "Été" would name some other file.
// These replace the runtime's multibyte conversions (mbrtowc, mbrlen,
// mbsrtowcs, wcrtomb, wcsrtombs: all it has in the objects that define them)
// with UTF-8 ones; the build links them in ahead of the runtime's
// (-Wl,--undefined=mbrtowc,--undefined=wcrtomb on zor_archive).
//
// A character outside the Basic Multilingual Plane needs two UTF-16 units,
// which mbrtowc cannot return in one wchar_t: it is refused (EILSEQ), so a
// path holding one fails to convert instead of naming another file.

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

namespace {

// mbstate_t is an int here: the bytes of an unfinished sequence (up to
// three) in the upper three bytes, their count in the lowest.
int pendingCount(const mbstate_t* state) { return *state & 0xFF; }
unsigned char pendingByte(const mbstate_t* state, int i) {
    return static_cast<unsigned char>(static_cast<unsigned>(*state) >> (8 * (i + 1)));
}

int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

mbstate_t ownMbState = 0;
mbstate_t ownWcState = 0;
mbstate_t ownLenState = 0;

}  // namespace

extern "C" {

size_t __cdecl mbrtowc(wchar_t* __restrict__ out, const char* __restrict__ s, size_t n,
                       mbstate_t* __restrict__ state) {
    if (!state) state = &ownMbState;
    if (!s) {
        *state = 0;
        return 0;
    }
    if (n == 0) return static_cast<size_t>(-2);
    unsigned char bytes[4];
    const int pending = pendingCount(state);
    for (int i = 0; i < pending; ++i) bytes[i] = pendingByte(state, i);
    const int length = sequenceLength(pending ? bytes[0] : static_cast<unsigned char>(s[0]));
    if (length == 0) {
        *state = 0;
        errno = EILSEQ;
        return static_cast<size_t>(-1);
    }
    int have = pending;
    std::size_t taken = 0;
    while (have < length && taken < n) {
        const auto c = static_cast<unsigned char>(s[taken++]);
        if (have > 0 && (c & 0xC0) != 0x80) {
            *state = 0;
            errno = EILSEQ;
            return static_cast<size_t>(-1);
        }
        bytes[have++] = c;
    }
    if (have < length) {
        unsigned packed = static_cast<unsigned>(have);
        for (int i = 0; i < have; ++i) packed |= unsigned{bytes[i]} << (8 * (i + 1));
        *state = static_cast<mbstate_t>(packed);
        return static_cast<size_t>(-2);
    }
    *state = 0;
    wchar_t units[2];
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                          length, units, 2);
    if (count != 1) {
        errno = EILSEQ;
        return static_cast<size_t>(-1);
    }
    if (out) *out = units[0];
    return units[0] == L'\0' ? 0 : taken;
}

size_t __cdecl mbrlen(const char* __restrict__ s, size_t n, mbstate_t* __restrict__ state) {
    return mbrtowc(nullptr, s, n, state ? state : &ownLenState);
}

size_t __cdecl mbsrtowcs(wchar_t* out, const char** __restrict__ source, size_t length,
                         mbstate_t* __restrict__ state) {
    if (!state) state = &ownMbState;
    const char* s = *source;
    size_t written = 0;
    while (!out || written < length) {
        wchar_t c = 0;
        const size_t used = mbrtowc(&c, s, 4, state);
        if (used == static_cast<size_t>(-1)) {
            *source = s;
            return used;
        }
        if (used == static_cast<size_t>(-2)) {  // a sequence cut by the terminator
            errno = EILSEQ;
            *source = s;
            return static_cast<size_t>(-1);
        }
        if (c == L'\0') {
            if (out) {
                out[written] = L'\0';
                *source = nullptr;
            }
            return written;
        }
        if (out) out[written] = c;
        ++written;
        s += used;
    }
    *source = s;
    return written;
}

size_t __cdecl wcrtomb(char* __restrict__ out, wchar_t c, mbstate_t* __restrict__ state) {
    if (!state) state = &ownWcState;
    if (!out) {
        *state = 0;
        return 1;
    }
    wchar_t units[2] = {c, 0};
    int count = 1;
    const unsigned high = static_cast<unsigned>(*state);
    if (c >= 0xD800 && c <= 0xDBFF) {
        // The first half of a pair: kept until the second comes.
        if (high) {
            *state = 0;
            errno = EILSEQ;
            return static_cast<size_t>(-1);
        }
        *state = static_cast<mbstate_t>(c);
        return 0;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        if (!high) {
            errno = EILSEQ;
            return static_cast<size_t>(-1);
        }
        units[0] = static_cast<wchar_t>(high);
        units[1] = c;
        count = 2;
    } else if (high) {
        *state = 0;
        errno = EILSEQ;
        return static_cast<size_t>(-1);
    }
    *state = 0;
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units, count, out, 4, nullptr, nullptr);
    if (bytes <= 0) {
        errno = EILSEQ;
        return static_cast<size_t>(-1);
    }
    return static_cast<size_t>(bytes);
}

size_t __cdecl wcsrtombs(char* out, const wchar_t** __restrict__ source, size_t length,
                         mbstate_t* __restrict__ state) {
    if (!state) state = &ownWcState;
    const wchar_t* s = *source;
    size_t written = 0;
    for (;;) {
        char bytes[4];
        const size_t count = wcrtomb(bytes, *s, state);
        if (count == static_cast<size_t>(-1)) {
            *source = s;
            return count;
        }
        if (out && written + count > length) break;
        if (out) std::memcpy(out + written, bytes, count);
        if (*s == L'\0') {
            if (out) *source = nullptr;
            return written;  // the terminator is not counted
        }
        written += count;
        ++s;
    }
    *source = s;
    return written;
}

}  // extern "C"
