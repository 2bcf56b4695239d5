// The tracing library's configuration parser on random JUZAD_TRACE and JUZAD_TRACE_SINK
// values (the input's two lines), and the JSON form of a record on a random text.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "Fail.h"
#include "JuZadFormat.h"
#include "support/Setting.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    const std::string trace = input.substr(0, newline);
    const std::string sink = newline == std::string::npos ? std::string() : input.substr(newline + 1);

    // That nothing the parser is given takes it off its feet (the fuzz preset runs it under the
    // sanitizers), and for the digest what it made of it.
    Answer(Setting("attributes", trace));
    Answer(Setting("sink", sink));

    // Whatever the text, a JSON record is one valid line; it gives back a text that is UTF-8
    // exactly (nlohmann's writer, which refuses anything else, says which texts are).
    const JuZadTrc::Record record{"ZeltaDiscovery", JuZadTrc::fTrace_k, 8, input.c_str(), "KelDebug", 83};
    spdlog::memory_buf_t out;
    JuZadTrc::FormatRecord(record, JuZadTrc::Stamp{std::chrono::system_clock::time_point{}, 1, 2},
                           JuZadTrc::Format::Json, false, out);
    const std::string line(out.data(), out.size());
    Answer(line.substr(line.find(",\"pid\"")));  // the time is local, so the zone's
    const auto parsed = nlohmann::json::parse(line, nullptr, false);
    if (line.find('\n') != std::string::npos || parsed.is_discarded()) {
        Fail("a JSON record is not one valid line");
    }
    const std::string text = input.c_str();
    bool utf8 = true;
    try {
        static_cast<void>(nlohmann::json(text).dump());
    } catch (const nlohmann::json::type_error&) {
        utf8 = false;
    }
    if (utf8 && parsed["text"].get<std::string>() != text) {
        Fail("a JSON record changed a UTF-8 text");
    }
    return 0;
}
