// What the tracing library makes of a setting, in one line: for the runs of runs/ and the
// configuration oracle's digest alike.
#pragma once

#include <string>

#include "JuZadConfig.h"
#include "JuZadFormat.h"

// JUZAD_TRACE ("attributes") or JUZAD_TRACE_SINK ("sink") set to value, or "- " and what is
// wrong with it; or the name the tracing library gives category number value.
inline std::string Setting(const std::string& name, const std::string& value)
{
    std::string why;
    std::string shown;
    if (name == "category") {
        shown = JuZadTrc::CategoryName(static_cast<JuZadTrc::StdCategory_e>(std::stoi(value)));
    } else if (name == "attributes") {
        const auto parsed = JuZadTrc::ParseAttributes(value, &why);
        shown = parsed ? std::to_string(parsed->all) : "";
        for (const auto& [component, word] : parsed ? parsed->byComponent : decltype(parsed->byComponent){}) {
            shown += "," + component + "=" + std::to_string(word);
        }
    } else if (const auto parsed = JuZadTrc::ParseSink(value, &why)) {
        shown = std::to_string(static_cast<int>(parsed->kind)) + " " + parsed->path + " " +
                std::to_string(parsed->maxBytes) + " " + std::to_string(parsed->maxFiles);
    }
    return why.empty() ? shown : "- " + why;
}
