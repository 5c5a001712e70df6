#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "host/db/database.h"
#include "host/headless/headless_host.h"
#include "host/headless/snapshot.h"

namespace nv407::host::script {

// Keys keep the order in which they are written, so that "event" comes first.
using Json = nlohmann::ordered_json;

// {"event": "message" | "editor" | "viewer" | "found" | "closed", ...}
Json EventJson(const HostEvent& event);
// {"event": "screen", "controls", "focus", "services", "periods", "toolbar", "state"}
Json ScreenJson(const ScreenSnapshot& snapshot);
// {"by": "screen" | "host", "sql": TEXT}
Json TraceJson(SqlOrigin origin, const std::string& sql);

// The name a control goes by in the output: NAME, or NAME(INDEX) for an element of a
// control array.
std::string ControlKey(const ControlSnapshot& control);
// The button a message box returned: "ok", "yes", "no", ...; its number when it has no name.
Json AnswerJson(int answer);

// One line of output, UTF-8, without a line break. Bytes that are not UTF-8 are replaced.
std::string Line(const Json& value);

}  // namespace nv407::host::script
