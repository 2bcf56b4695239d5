// The debug trace block that every function of the library writes its traces with:
//
//     KEL_DEBUG(4, cout << "KelGetSocketPacketLength(" << socketId << ")" << std::endl);
//
// When the debug level is 0 or below the block's level, the statements are not run at all:
// nothing is formatted, no argument is evaluated, nothing is allocated. Otherwise `cout` and
// `cerr` name two text streams of the block; on leaving it, what went to `cout` is traced at
// the block's level and then what went to `cerr` at level 0, each only when not empty.
#pragma once

#include <charconv>
#include <cstddef>
#include <ostream>
#include <string_view>
#include <type_traits>

#include "KelDebug.h"

namespace kelport {

inline bool DebugLevelAtLeast(int level)
{
    const int current = __Kelvora_Debug_Level;
    return current != 0 && current >= level;
}

// A growable text written like an output stream. A std::ostream would cost more to build
// than the whole record costs to deliver, so the block's streams take only what trace texts
// hold: texts, characters, integers and enumerations (decimal, or after std::hex or std::oct
// in that base), pointers, std::endl, std::hex, std::oct and std::dec. Other manipulators
// have no effect.
class DebugStream {
    template <typename T>
    static constexpr bool IsCharacter =
        std::is_same_v<T, char> || std::is_same_v<T, signed char> || std::is_same_v<T, unsigned char> ||
        std::is_same_v<T, wchar_t> || std::is_same_v<T, char16_t> || std::is_same_v<T, char32_t>;

public:
    DebugStream() = default;
    ~DebugStream();
    DebugStream(const DebugStream&) = delete;
    DebugStream& operator=(const DebugStream&) = delete;

    DebugStream& operator<<(std::string_view text)
    {
        Append(text.data(), text.size());
        return *this;
    }
    // Nothing for a null text, as an output stream writes nothing for it.
    DebugStream& operator<<(const char* text)
    {
        return text != nullptr ? *this << std::string_view(text) : *this;
    }
    DebugStream& operator<<(char c)
    {
        Append(&c, 1);
        return *this;
    }
    DebugStream& operator<<(signed char c) { return *this << static_cast<char>(c); }
    DebugStream& operator<<(unsigned char c) { return *this << static_cast<char>(c); }
    DebugStream& operator<<(bool value) { return *this << (value ? '1' : '0'); }
    DebugStream& operator<<(const void* pointer);
    DebugStream& operator<<(std::ostream& (*manipulator)(std::ostream&));
    DebugStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&));

    template <
        typename Int,
        std::enable_if_t<std::is_integral_v<Int> && !IsCharacter<Int> && !std::is_same_v<Int, bool>, int> = 0>
    DebugStream& operator<<(Int value)
    {
        // As an output stream does, octal and hexadecimal show a negative value's two's complement.
        if (m_base == 10) {
            AppendNumber(value);
        } else {
            AppendNumber(static_cast<std::make_unsigned_t<Int>>(value));
        }
        return *this;
    }

    template <typename Enum, std::enable_if_t<std::is_enum_v<Enum>, int> = 0>
    DebugStream& operator<<(Enum value)
    {
        return *this << static_cast<std::underlying_type_t<Enum>>(value);
    }

    // The text written so far, terminated; it stays owned by the stream.
    char* Terminated()
    {
        *m_end = '\0';
        return m_begin;
    }

private:
    void Append(const char* text, std::size_t count)
    {
        if (count > static_cast<std::size_t>(m_limit - m_end) && !Grow(count)) {
            return;
        }
        std::char_traits<char>::copy(m_end, text, count);
        m_end += count;
    }
    bool Grow(std::size_t more);

    template <typename Int>
    void AppendNumber(Int value)
    {
        char digits[sizeof(Int) * 3 + 2];
        const auto end = std::to_chars(digits, digits + sizeof digits, value, m_base).ptr;
        Append(digits, static_cast<std::size_t>(end - digits));
    }

    // One byte past m_limit is kept for the terminator.
    char m_inline[120];
    char* m_begin = m_inline;
    char* m_end = m_inline;
    char* m_limit = m_inline + sizeof m_inline - 1;
    int m_base = 10;
};

class DebugBlock {
public:
    explicit DebugBlock(int level) : m_level(level) {}
    ~DebugBlock();
    DebugBlock(const DebugBlock&) = delete;
    DebugBlock& operator=(const DebugBlock&) = delete;

    DebugStream cout;
    DebugStream cerr;

private:
    int m_level;
};

}  // namespace kelport

// The enabled block runs out of line, so that the function around it pays only for the test
// and keeps none of the block's stack frame. (The formatter takes the lambda's attribute for a
// call; the macro keeps its hand layout.)
// clang-format off
#define KEL_DEBUG(level, ...)                                        \
    do {                                                             \
        if (::kelport::DebugLevelAtLeast(level)) {                   \
            [&]() __attribute__((noinline, cold)) {                  \
                ::kelport::DebugBlock kelDebugBlock_(level);         \
                ::kelport::DebugStream& cout = kelDebugBlock_.cout;  \
                ::kelport::DebugStream& cerr = kelDebugBlock_.cerr;  \
                static_cast<void>(cout);                             \
                static_cast<void>(cerr);                             \
                __VA_ARGS__;                                         \
            }();                                                     \
        }                                                            \
    } while (false)
// clang-format on
