// The debug trace block that every function of the library writes its traces with:
//
//     KEL_DEBUG(4, cout << "KelIoctl(" << fd << ")" << std::endl);
//
// When the debug level is 0 or below the block's level, the statements are not run at all:
// nothing is formatted, no argument is evaluated, nothing is allocated. Otherwise `cout` and
// `cerr` name two text streams of the block; on leaving it, what went to `cout` is traced at
// the block's level and then what went to `cerr` at level 0, each only when not empty.
#pragma once

#include <ostream>
#include <streambuf>

#include "KelDebug.h"

namespace kelport {

inline bool DebugLevelAtLeast(int level)
{
    const int current = __Kelvora_Debug_Level;
    return current != 0 && current >= level;
}

// A growable text held in the stream itself while it is short, as trace texts are.
class DebugText final : public std::streambuf {
public:
    DebugText();
    ~DebugText() override;
    DebugText(const DebugText&) = delete;
    DebugText& operator=(const DebugText&) = delete;

    // The text written so far, terminated; it stays owned by the stream.
    char* Terminated();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    bool Reserve(std::size_t more);

    char m_inline[120];
    char* m_heap = nullptr;
};

class DebugStream final : public std::ostream {
public:
    DebugStream() : std::ostream(nullptr) { rdbuf(&m_text); }
    char* Terminated() { return m_text.Terminated(); }

private:
    DebugText m_text;
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

#define KEL_DEBUG(level, ...)                                   \
    do {                                                        \
        if (::kelport::DebugLevelAtLeast(level)) {              \
            ::kelport::DebugBlock kelDebugBlock_(level);        \
            std::ostream& cout = kelDebugBlock_.cout;           \
            std::ostream& cerr = kelDebugBlock_.cerr;           \
            static_cast<void>(cout);                            \
            static_cast<void>(cerr);                            \
            __VA_ARGS__;                                        \
        }                                                       \
    } while (false)
