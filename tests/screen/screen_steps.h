#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "screen/frm_nv407.h"
#include "support/screen_fixture.h"

namespace nv407::testing {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;
using ::testing::StartsWith;
using Row = std::vector<std::string>;
using Trace = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kFolio = "MTY-000007";

// Names a parameterised test after its case's `name`.
inline constexpr auto kByName = [](const auto& info) { return std::string(info.param.name); };

// The screen's scenarios over one stored policy, and what they compare, each as one value:
// a stored row, everything a command may write, the message shown, the fields shown.
class PolicyScreenTest : public ScreenTest {
 protected:
  using ScreenTest::ScreenTest;

  // A policy with a service of each unit (CAPACIT's unit is NULL: events), all partly used,
  // with an extended description and an additional field.
  void GivenStoredPolicy(const std::string& folio = kFolio, const std::string& state = "AC",
                         const std::vector<ServiceUse>& services = {
                             {"SOPREM", 120, 2.5, 7}, {"VISITA", 12, 9, 1}, {"CAPACIT", 2, 4, 0}}) {
    // folio, branch, seller, client, type, date, start, end, cut-off day, reference, comment,
    // invoice id, concept, state, services
    GivenPolicy({folio, "MTY", "V002", "C00003", "SOPANUAL", "2024-02-20", "2024-03-01",
                 "2025-02-28", 17, "OC-1", "Atención prioritaria", "F-1", "Soporte anual", state,
                 services});
    db.Execute("INSERT INTO extended_text VALUES ('Poliza_Servicio', " + Quote(folio) +
               ", '0001', 'Cubre las dos plantas')");
    db.Execute("INSERT INTO additional_field_value VALUES ('POLIZA_SERVICIO', " + Quote(folio) +
               ", 'CONTACTO', 'Ing. Rosales')");
  }
  void GivenShownPolicy() {
    GivenStoredPolicy();
    GivenOpenScreen();
    WhenType("txtFolio", kFolio);
  }

  // Types each text into its field, given as field, text, field, text...
  void WhenTypeEach(const std::vector<std::string>& fields_and_texts) {
    for (std::size_t i = 0; i + 1 < fields_and_texts.size(); i += 2)
      WhenType(fields_and_texts[i], fields_and_texts[i + 1]);
  }

  frmNV407& Form() { return dynamic_cast<frmNV407&>(host().screen()); }
  host::ToolbarSnapshot Toolbar() { return Screen().toolbar; }
  std::string Flags() {
    const host::ToolbarSnapshot t = Toolbar();
    return std::string(t.loadedFlag ? "loaded" : "-") + (t.activeFlag1 ? " active1" : " -") +
           (t.activeFlag2 ? " active2" : " -") + (t.extraFlag1 ? " extra1" : " -") +
           (t.extraFlag2 ? " extra2" : " -");
  }
  // Every field as "name=value " (a date field's date).
  std::string Fields() {
    std::string shown;
    for (const host::ControlSnapshot& c : Screen().controls)
      if (c.kind != ControlKind::kFlatButton) shown += c.name + "=" + c.date.value_or(c.text) + " ";
    return shown;
  }
  // The folio-entry state that Cancelar, and Aceptar and Baja after their commit, leave.
  void ExpectFolioEntry() {
    for (const host::ControlSnapshot& c : Screen().controls) {
      if (c.kind != ControlKind::kFlatButton && c.name != "dp_Ps_Fecha_Fin") {
        EXPECT_EQ(c.date.value_or(c.text), "") << c.name;  // the end date is the screen's own
      }
    }
    EXPECT_THAT(Services(), ::testing::IsEmpty());
    EXPECT_EQ(Focus(), "txtFolio");
    EXPECT_TRUE(Enabled("txtFolio"));
    EXPECT_FALSE(Enabled("cmdDescripcion") || Enabled("cmdInicializa"));
    EXPECT_THAT(Flags(), ::testing::EndsWith(" - - - -"));  // a record may stay loaded
    EXPECT_THAT(Toolbar().available,
                ::testing::Not(::testing::Contains(host::ToolbarCommand::kConsultar)))
        << "no policy shown to look at";
    EXPECT_EQ(Screen().state.extendedDescription + Screen().state.conceptText, "");
  }

  std::string Header(const std::string& folio) {
    return db.Rows("Poliza_Servicio", "Ps_Folio = " + Quote(folio));
  }
  std::string Column(const std::string& expression, const std::string& folio) {
    return db.Scalar("SELECT " + expression +
                     " AS v FROM Poliza_Servicio WHERE Ps_Folio = " + Quote(folio));
  }
  // "service included/hours/events" per service in key order (floating numbers show ".0").
  std::string ServicesOf(const std::string& folio) {
    std::string services;
    for (auto result = db.sql().Execute(
             "SELECT Ts_Cve_Tipo_Servicio AS s, Pst_Cantidad_Incluida AS i, Pst_Tiempo_Utilizado "
             "AS h, Pst_Evento_Utilizado AS e FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio "
             "= " +
             Quote(folio) + " ORDER BY Ts_Cve_Tipo_Servicio");
         !result->Eof(); result->MoveNext()) {
      const auto field = [&](const char* name) { return Literal(result->Fields(name).Value()); };
      if (!services.empty()) services += ';';
      services += result->Fields("s").Value().ToText() + ' ' + field("i") + '/' + field("h") + '/' +
                  field("e");
    }
    return services;
  }
  std::vector<std::string> Stored() { return db.Written(); }
  // The services' codes, in the list's order.
  std::vector<std::string> ServiceCodes() {
    std::vector<std::string> codes;
    for (const Row& row : Services()) codes.push_back(row.at(1));
    return codes;
  }
  // Where the order is not what a test is about.
  std::vector<Row> SortedServices() {
    std::vector<Row> rows = Services();
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  static std::vector<std::string> ByScreen(const Trace& trace) {
    std::vector<std::string> texts;
    for (const auto& [origin, text] : trace)
      if (origin == "screen") texts.push_back(text);
    return texts;
  }
  // The last message as "title|style|error id|text", from this screen's module and window.
  std::string LastMessage() {
    const std::vector<host::MessageCall> messages = Messages();
    if (messages.empty()) return "";
    const host::MessageRequest& m = messages.back().request;
    EXPECT_EQ(m.module, "NV407");
    EXPECT_EQ(m.owner, host().screen().WindowHandle());
    return m.title + "|" + std::to_string(m.style) + "|" + m.error_id + "|" + m.text;
  }
  std::string OnlyMessage() {
    EXPECT_THAT(Messages(), ::testing::SizeIs(1));
    return LastMessage();
  }
};

}  // namespace nv407::testing
