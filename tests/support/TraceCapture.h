// Test support: the records that reach the tracing library, and the debug level, for the
// length of one test.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "JuZadTrc.h"

struct CapturedRecord {
    std::string component;
    JuZadTrc::StdCategory_e category;
    std::uint32_t attributes;
    std::string text;
    std::string file;
    std::uint32_t line;
};

class TraceCapture {
public:
    TraceCapture()
    {
        JuZadTrc::SetRecordHandler([this](const JuZadTrc::Record& r) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_records.push_back({r.component, r.category, r.attributes, r.text, r.file, r.line});
        });
    }
    ~TraceCapture() { JuZadTrc::SetRecordHandler(nullptr); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<CapturedRecord> Records() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& record : Records()) {
            texts.push_back(record.text);
        }
        return texts;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<CapturedRecord> m_records;
};

// Sets a global for the test's scope and puts the old value back after.
template <typename T>
class ScopedValue {
public:
    ScopedValue(T& target, T value) : m_target(target), m_saved(target) { m_target = value; }
    ~ScopedValue() { m_target = m_saved; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& m_target;
    T m_saved;
};

// Sends every record's text to standard error as it comes, so that a death test sees the
// traces and the final report in the order they were made.
class TraceToStderr {
public:
    TraceToStderr()
    {
        JuZadTrc::SetRecordHandler([](const JuZadTrc::Record& r) { std::fputs(r.text, stderr); });
    }
    ~TraceToStderr() { JuZadTrc::SetRecordHandler(nullptr); }
    TraceToStderr(const TraceToStderr&) = delete;
    TraceToStderr& operator=(const TraceToStderr&) = delete;
};
