#include "host/programs/script_output.h"

#include <type_traits>

namespace nv407::host::script {
namespace {

Json RowsJson(const std::vector<ListRow>& rows) {
  Json out = Json::array();
  for (const ListRow& row : rows) out.push_back(row);
  return out;
}

Json ControlJson(const ControlSnapshot& control) {
  Json out = Json::object();
  if (control.kind == ControlKind::kDateField) {
    out["value"] = control.date ? Json(*control.date) : Json(nullptr);
  } else {
    out["text"] = control.text;
  }
  out["enabled"] = control.enabled;
  return out;
}

}  // namespace

std::string ControlKey(const ControlSnapshot& control) {
  if (control.index < 0) return control.name;
  return control.name + "(" + std::to_string(control.index) + ")";
}

Json AnswerJson(int answer) {
  switch (answer) {
    case 1:
      return "ok";
    case 2:
      return "cancel";
    case 3:
      return "abort";
    case 4:
      return "retry";
    case 5:
      return "ignore";
    case 6:
      return "yes";
    case 7:
      return "no";
    default:
      return answer;
  }
}

Json EventJson(const HostEvent& event) {
  return std::visit(
      [](const auto& call) -> Json {
        using Call = std::decay_t<decltype(call)>;
        Json out = Json::object();
        if constexpr (std::is_same_v<Call, MessageCall>) {
          out["event"] = "message";
          out["text"] = call.request.text;
          out["style"] = call.request.style;
          out["title"] = call.request.title;
          out["module"] = call.request.module;
          out["id"] = call.request.error_id;
          if (!call.request.detail.empty()) out["detail"] = call.request.detail;
          out["answer"] = AnswerJson(call.answer);
        } else if constexpr (std::is_same_v<Call, EditorCall>) {
          out["event"] = "editor";
          out["concept"] = call.concept_text;
          out["text"] = call.text;
          out["width"] = call.width;
        } else if constexpr (std::is_same_v<Call, ViewerCall>) {
          out["event"] = "viewer";
          out["table"] = call.table;
          out["keyColumn"] = call.key_column;
          out["key"] = call.key;
        } else if constexpr (std::is_same_v<Call, FinderCall>) {
          out["event"] = "found";
          out["text"] = call.text;
          out["filter"] = call.filter;
          out["rows"] = call.rows;
          out["picked"] = call.picked;
        } else {
          out["event"] = "closed";
        }
        return out;
      },
      event);
}

Json ScreenJson(const ScreenSnapshot& snapshot) {
  Json controls = Json::object();
  for (const ControlSnapshot& control : snapshot.controls)
    controls[ControlKey(control)] = ControlJson(control);

  const ToolbarSnapshot& bar = snapshot.toolbar;
  const ScreenState& state = snapshot.state;
  Json out = Json::object();
  out["event"] = "screen";
  out["controls"] = std::move(controls);
  out["focus"] = snapshot.focus.empty() ? Json(nullptr) : Json(snapshot.focus);
  out["services"] = RowsJson(snapshot.services);
  out["periods"] = RowsJson(snapshot.periods);
  out["toolbar"] = {{"busy", bar.busy},
                    {"loadedFlag", bar.loadedFlag},
                    {"activeFlag1", bar.activeFlag1},
                    {"activeFlag2", bar.activeFlag2},
                    {"extraFlag1", bar.extraFlag1},
                    {"extraFlag2", bar.extraFlag2}};
  out["state"] = {{"newFolio", state.newFolio},
                  {"canChangeDate", state.canChangeDate},
                  {"canInitServices", state.canInitServices},
                  {"conceptText", state.conceptText},
                  {"extendedDescription", state.extendedDescription}};
  return out;
}

Json TraceJson(SqlOrigin origin, const std::string& sql) {
  Json out = Json::object();
  out["by"] = origin == SqlOrigin::kScreen ? "screen" : "host";
  out["sql"] = sql;
  return out;
}

std::string Line(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace nv407::host::script
