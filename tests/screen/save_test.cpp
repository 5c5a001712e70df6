#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

// A server time whose date and time show in every stored value.
const Date kNow = Date::FromYmd(2024, 5, 20, 16, 45, 12);
constexpr const char* kStamp = "2024-05-20 16:45:12";

constexpr const char* kEditedFolio = "MTY-000007";

class SaveTest : public ScreenTest {
 protected:
  void SetUp() override { GivenNow(kNow); }

  // The operator starts a new policy and types every field the save needs.
  void GivenNewPolicyTyped(const std::string& branch = "MTY", const std::string& type = "SOPMEN") {
    WhenPress("Nuevo");
    WhenType("txt_Sc_Cve_Sucursal", branch);
    WhenType("txt_Vn_Cve_Vendedor", "V002");
    WhenType("txt_Cl_Cve_Cliente", "C00003");
    WhenType("txt_Tps_Cve_Tipo_Poliza", type);
    WhenChoose("cbCorte", "12");
    WhenType("txtReferencia", "OC-5521");
    WhenType("txtComentario", "Planta norte");
    WhenType("txt_ID_Facturacion", "FAC-77");
    WhenType("txt_Concepto", "Soporte mensual mayo");
  }

  // A live policy whose services were partly used, with its host records, shown for editing.
  void GivenEditedPolicy() {
    GivenPolicy({.folio = kEditedFolio,
                 .branch = "MTY",
                 .seller = "V001",
                 .client = "C00001",
                 .type = "SOPMEN",
                 .date = "2024-04-02",
                 .start = "2024-04-02",
                 .end = "2024-05-01",
                 .cut_off_day = 3,
                 .reference = "OC-1",
                 .comment = "Original",
                 .invoice_id = "F-1",
                 .concept_text = "Soporte abril",
                 .services = {{"SOPREM", 10, 6.5, 0}, {"VISITA", 1, 0, 1}}});
    db.Execute(
        "INSERT INTO extended_text (table_name, record_key, entry_code, text) "
        "VALUES ('Poliza_Servicio', 'MTY-000007', '0001', 'Incluye el almacén')");
    db.Execute(
        "INSERT INTO additional_field_value (table_name, record_key, field_name, value) "
        "VALUES ('POLIZA_SERVICIO', 'MTY-000007', 'CONTACTO', 'Lic. Garza')");
    GivenOpenScreen();
    WhenType("txtFolio", kEditedFolio);
    WhenPress("Modificar");
  }

  std::string Column(const std::string& column, const std::string& folio) {
    return db.Scalar("SELECT " + column +
                     " AS v FROM Poliza_Servicio WHERE Ps_Folio = " + Quote(folio));
  }
  // "service included/hours/events" per service, in code order (REAL columns show ".0").
  std::string ServicesOf(const std::string& folio) {
    return db.Scalar(
        "SELECT IFNULL(group_concat(r, ';'), '') AS v FROM (SELECT Ts_Cve_Tipo_Servicio || ' ' "
        "|| Pst_Cantidad_Incluida || '/' || Pst_Tiempo_Utilizado || '/' || Pst_Evento_Utilizado "
        "AS r FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = " +
        Quote(folio) + " ORDER BY Ts_Cve_Tipo_Servicio)");
  }
  std::string NewestFolio() {
    return db.Scalar(
        "SELECT Ps_Folio AS v FROM Poliza_Servicio ORDER BY Fecha_Alta DESC, "
        "Ps_Folio DESC LIMIT 1");
  }
  // Everything a save writes, as one text per table, to compare before and after.
  std::vector<std::string> Stored() {
    const auto all = [this](const std::string& expression, const std::string& table,
                            const std::string& order) {
      return db.Scalar("SELECT IFNULL(group_concat(r, ';'), '') AS v FROM (SELECT " + expression +
                       " AS r FROM " + table + " ORDER BY " + order + ")");
    };
    return {
        all("Ps_Folio || '|' || Es_Cve_Estado || '|' || IFNULL(Oper_Baja, '') || '|' || "
            "IFNULL(Fecha_Baja, '') || '|' || IFNULL(Ps_Referencia, '')",
            "Poliza_Servicio", "Ps_Folio"),
        all("Ps_Folio || '|' || Ts_Cve_Tipo_Servicio || '|' || Pst_Cantidad_Incluida || '|' || "
            "Pst_Tiempo_Utilizado || '|' || Pst_Evento_Utilizado",
            "Poliza_Servicio_Tipo_Servicio", "1"),
        all("branch || '|' || table_name || '|' || last_number", "folio_series", "1"),
        all("record_key || '|' || text", "extended_text", "1"),
        all("record_key || '|' || note", "record_log", "1"),
        all("record_key || '|' || field_name || '|' || IFNULL(value, '')", "additional_field_value",
            "1"),
    };
  }
  host::MessageRequest OnlyMessage() {
    const std::vector<host::MessageCall> messages = Messages();
    EXPECT_THAT(messages, SizeIs(1));
    return messages.empty() ? host::MessageRequest{} : messages.front().request;
  }
};

// --- Committed saves -------------------------------------------------------------------

TEST_F(SaveTest, NewPolicyIsStoredWithItsServicesAtZeroAndTheScreenIsReset) {
  // Given a new policy typed in full
  GivenOpenScreen();
  GivenNewPolicyTyped();

  // When the operator accepts it
  WhenPress("Aceptar");

  // Then the header holds every typed value, the dates as the fields held them, and the
  // audit columns one operator and one stamp
  const std::string folio = "MTY-000001";
  EXPECT_EQ(Column("Ps_Fecha", folio), "2024-05-20");
  EXPECT_EQ(Column("Ps_Fecha_Inicia", folio), "2024-05-20");
  EXPECT_EQ(Column("Ps_Fecha_Finaliza", folio), "2024-06-19");
  EXPECT_EQ(Column("Ps_Tabla || '/' || Ps_Documento", folio), "/");
  EXPECT_EQ(Column("Sc_Cve_Sucursal", folio), "MTY");
  EXPECT_EQ(Column("Vn_Cve_Vendedor", folio), "V002");
  EXPECT_EQ(Column("Cl_Cve_Cliente", folio), "C00003");
  EXPECT_EQ(Column("Tps_Cve_Tipo_Poliza_Servicio", folio), "SOPMEN");
  EXPECT_EQ(Column("Ps_Dia_Corte", folio), "12");
  EXPECT_EQ(Column("typeof(Ps_Dia_Corte)", folio), "integer");
  EXPECT_EQ(Column("Ps_Referencia", folio), "OC-5521");
  EXPECT_EQ(Column("Ps_Comentario", folio), "Planta norte");
  EXPECT_EQ(Column("Ps_Factura_ID", folio), "FAC-77");
  EXPECT_EQ(Column("Ps_Concepto", folio), "Soporte mensual mayo");
  EXPECT_EQ(Column("Es_Cve_Estado", folio), "AC");
  EXPECT_EQ(Column("Oper_Alta", folio), kOperatorWithPermissions);
  EXPECT_EQ(Column("Oper_Ult_Modif", folio), kOperatorWithPermissions);
  EXPECT_EQ(Column("Fecha_Alta", folio), kStamp);
  EXPECT_EQ(Column("Fecha_Ult_Modif", folio), kStamp);
  EXPECT_EQ(Column("IFNULL(Oper_Baja, '') || IFNULL(Fecha_Baja, '')", folio), "");

  // and the type's services were copied with nothing used
  EXPECT_EQ(ServicesOf(folio), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");
  // and the toolbar stored its additional fields under the new folio
  EXPECT_EQ(db.Count("additional_field_value", "record_key = 'MTY-000001'"), 2);

  // and the screen is back at folio entry without a word
  EXPECT_EQ(Text("txtFolio"), "");
  EXPECT_TRUE(Enabled("txtFolio"));
  EXPECT_EQ(Focus(), "txtFolio");
  EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "");
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(Screen().toolbar.mode, host::ToolbarMode::kIdle);
  EXPECT_EQ(Screen().state.newFolio, folio);
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(SaveTest, EachBranchHasItsOwnFolioSeries) {
  // Given an open screen
  GivenOpenScreen();

  // When three policies are saved, two of them in one branch
  for (const char* branch : {"MTY", "GDL", "MTY"}) {
    GivenNewPolicyTyped(branch);
    WhenPress("Aceptar");
  }

  // Then each branch numbers its own policies
  EXPECT_EQ(db.Scalar("SELECT group_concat(Ps_Folio, ',') AS v FROM "
                      "(SELECT Ps_Folio FROM Poliza_Servicio ORDER BY Ps_Folio)"),
            "GDL-000001,MTY-000001,MTY-000002");
  EXPECT_EQ(Column("Sc_Cve_Sucursal", "GDL-000001"), "GDL");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(SaveTest, EditCancelsTheShownPolicyAndSavesItUnderANewFolio) {
  // Given a partly used policy shown for editing, its reference changed
  GivenEditedPolicy();
  WhenType("txtReferencia", "OC-2");

  // When the operator accepts the edit
  WhenPress("Aceptar");

  // Then the old row is cancelled by this operator at this time, its services untouched
  EXPECT_EQ(Column("Es_Cve_Estado", kEditedFolio), "CA");
  EXPECT_EQ(Column("Oper_Baja", kEditedFolio), kOperatorWithPermissions);
  EXPECT_EQ(Column("Fecha_Baja", kEditedFolio), kStamp);
  EXPECT_EQ(Column("Ps_Referencia", kEditedFolio), "OC-1");
  EXPECT_EQ(ServicesOf(kEditedFolio), "SOPREM 10.0/6.5/0.0;VISITA 1.0/0.0/1.0");

  // and the edited data live on under another folio of the same branch, unused
  const std::string folio = NewestFolio();
  EXPECT_NE(folio, kEditedFolio);
  EXPECT_EQ(folio.substr(0, 4), "MTY-");
  EXPECT_EQ(Column("Es_Cve_Estado", folio), "AC");
  EXPECT_EQ(Column("Ps_Referencia", folio), "OC-2");
  EXPECT_EQ(Column("Ps_Comentario", folio), "Original");
  EXPECT_EQ(Column("Ps_Fecha_Inicia", folio), "2024-04-02");
  EXPECT_EQ(Column("Ps_Dia_Corte", folio), "3");
  EXPECT_EQ(Column("Fecha_Alta", folio), kStamp);
  EXPECT_EQ(ServicesOf(folio), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");

  // and the host's records of the policy follow it to the new folio
  EXPECT_EQ(db.Scalar("SELECT text AS v FROM extended_text WHERE record_key = " + Quote(folio)),
            "Incluye el almacén");
  EXPECT_EQ(db.Scalar("SELECT value AS v FROM additional_field_value WHERE record_key = " +
                      Quote(folio) + " AND field_name = 'CONTACTO'"),
            "Lic. Garza");
  EXPECT_EQ(Text("txtFolio"), "");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(SaveTest, NewPolicyStartedOverAShownOneLeavesThatOneLive) {
  // Given a live policy shown, then a new one started over it
  GivenEditedPolicy();
  WhenPress("Cancelar");
  WhenType("txtFolio", kEditedFolio);
  const auto& trace = db.TraceStatements();
  GivenNewPolicyTyped();

  // When the new policy is accepted
  WhenPress("Aceptar");

  // Then the shown one was not cancelled: no update went out
  EXPECT_EQ(Column("Es_Cve_Estado", kEditedFolio), "AC");
  EXPECT_EQ(db.Count("Poliza_Servicio"), 2);
  for (const auto& [origin, text] : trace)
    EXPECT_NE(text.rfind("UPDATE Poliza_Servicio SET", 0), 0u) << text;
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(SaveTest, TypeWithoutServicesStillCommits) {
  // Given a new policy of a type that includes no services
  GivenOpenScreen();
  GivenNewPolicyTyped("MTY", "ASESOR");

  // When it is accepted
  WhenPress("Aceptar");

  // Then the header is stored without services
  EXPECT_EQ(Column("Tps_Cve_Tipo_Poliza_Servicio", "MTY-000001"), "ASESOR");
  EXPECT_EQ(ServicesOf("MTY-000001"), "");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(SaveTest, ApostrophesInEveryTypedValueAreStoredAsTyped) {
  // Given catalogue codes with apostrophes, and every free field typed with them
  db.AddBranch("O'K", "Sucursal O'Kelly");
  db.AddSeller("D'A", "Daniela D'Amico");
  db.AddClient("L'H", "L'Hôtel, S.A.");
  db.AddServiceType("T'S", "Servicio d'hoy", true);
  db.AddPolicyType("P'1", "Póliza 'uno'", "POL-SOP-MEN", 3, 1, {{"T'S", 4}});
  GivenOpenScreen();
  WhenPress("Nuevo");
  WhenType("txt_Sc_Cve_Sucursal", "O'K");
  WhenType("txt_Vn_Cve_Vendedor", "D'A");
  WhenType("txt_Cl_Cve_Cliente", "L'H");
  WhenType("txt_Tps_Cve_Tipo_Poliza", "P'1");
  WhenChoose("cbCorte", "28");
  WhenType("txtReferencia", "O'Neil's '");
  WhenType("txtComentario", "It's 'quoted'; -- not a comment");
  WhenType("txt_ID_Facturacion", "F''1'");
  WhenEditorReturns("Concepto d'Ana", "Texto d'ampliación");
  WhenClick("cmdDescripcion");
  WhenType("txt_Concepto", "'");

  // When it is accepted
  WhenPress("Aceptar");

  // Then every value reads back exactly, under a folio that has an apostrophe too
  EXPECT_THAT(Messages(), IsEmpty());
  const std::string folio = "O'K-000001";
  EXPECT_EQ(Column("Sc_Cve_Sucursal", folio), "O'K");
  EXPECT_EQ(Column("Vn_Cve_Vendedor", folio), "D'A");
  EXPECT_EQ(Column("Cl_Cve_Cliente", folio), "L'H");
  EXPECT_EQ(Column("Tps_Cve_Tipo_Poliza_Servicio", folio), "P'1");
  EXPECT_EQ(Column("Ps_Referencia", folio), "O'Neil's '");
  EXPECT_EQ(Column("Ps_Comentario", folio), "It's 'quoted'; -- not a comment");
  EXPECT_EQ(Column("Ps_Factura_ID", folio), "F''1'");
  EXPECT_EQ(Column("Ps_Concepto", folio), "'");
  EXPECT_EQ(ServicesOf(folio), "T'S 4.0/0.0/0.0");
  EXPECT_EQ(db.Scalar("SELECT text AS v FROM extended_text WHERE record_key = 'O''K-000001'"),
            "Texto d'ampliación");
}

// --- Refusals before anything is written ---------------------------------------------------

struct RefusalCase {
  std::string name;
  std::function<void(host::HeadlessHost&)>
      leave_out;  // what the operator leaves wrong after typing all
  std::string text, error_id;
  std::string focus;  // "" when the focus stays where it was
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

class RefusalTest : public SaveTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusesWithItsMessageAndFocusAndWritesNothing) {
  const RefusalCase& c = GetParam();
  // Given a new policy typed in full, then one thing left wrong
  GivenOpenScreen();
  GivenNewPolicyTyped();
  c.leave_out(host());
  const std::string focus_before = Focus();
  const std::vector<std::string> stored = Stored();
  const auto& trace = db.TraceStatements();

  // When the operator accepts
  WhenPress("Aceptar");

  // Then exactly that check's message is shown and the focus goes where it says
  const host::MessageRequest message = OnlyMessage();
  EXPECT_EQ(message.text, c.text);
  EXPECT_EQ(message.error_id, c.error_id);
  EXPECT_EQ(message.title, "Datos incompletos");
  EXPECT_EQ(message.style, 16);
  EXPECT_EQ(message.module, "NV407");
  EXPECT_EQ(message.owner, host().screen().WindowHandle());
  EXPECT_EQ(Focus(), c.focus.empty() ? focus_before : c.focus);

  // and nothing was written or even sent by the screen; the capture goes on as typed
  EXPECT_EQ(Stored(), stored);
  for (const auto& [origin, text] : trace) EXPECT_NE(origin, "screen") << text;
  EXPECT_EQ(Screen().toolbar.mode, host::ToolbarMode::kNew);
  EXPECT_EQ(Text("txtReferencia"), "OC-5521");
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusalTest,
    ::testing::Values(
        RefusalCase{"EverythingEmpty",
                    [](host::HeadlessHost& h) {
                      for (const char* key : {"txt_Sc_Cve_Sucursal", "txt_Vn_Cve_Vendedor",
                                              "txt_Cl_Cve_Cliente", "txt_Tps_Cve_Tipo_Poliza"})
                        h.Type(key, "");
                      h.Get<host::HeadlessComboBox>("cbCorte").SetSelectedValue(Variant());
                      h.PickDate("dp_Ps_Fecha_Inicio", Date::FromYmd(2030, 1, 1));
                    },
                    "Debe especificar la sucursal", "ERR-ID:7500002", "txt_Sc_Cve_Sucursal"},
        RefusalCase{"BranchNotInCatalogue",
                    [](host::HeadlessHost& h) { h.Type("txt_Sc_Cve_Sucursal", "XXX"); },
                    "Debe especificar la sucursal", "ERR-ID:7500002", "txt_Sc_Cve_Sucursal"},
        RefusalCase{"NoSeller", [](host::HeadlessHost& h) { h.Type("txt_Vn_Cve_Vendedor", ""); },
                    "Debe especificar el vendedor", "ERR-ID:7500003", "txt_Vn_Cve_Vendedor"},
        RefusalCase{"NoClient", [](host::HeadlessHost& h) { h.Type("txt_Cl_Cve_Cliente", ""); },
                    "Debe especificar el cliente", "ERR-ID:7500004", "txt_Cl_Cve_Cliente"},
        RefusalCase{"NoPolicyType",
                    [](host::HeadlessHost& h) { h.Type("txt_Tps_Cve_Tipo_Poliza", "BASICA"); },
                    "Debe especificar el tipo de póliza", "ERR-ID:7500005",
                    "txt_Tps_Cve_Tipo_Poliza"},
        // The end date is the screen's own (never enabled), so the focus stays.
        RefusalCase{"StartAfterEnd",
                    [](host::HeadlessHost& h) {
                      h.PickDate("dp_Ps_Fecha_Inicio", Date::FromYmd(2024, 6, 20));
                    },
                    "La fecha final no puede ser menor a la inicial", "ERR-ID:7500007", ""},
        RefusalCase{"StartLaterOnTheEndDayByItsTime",
                    [](host::HeadlessHost& h) {
                      h.Get<host::HeadlessDateField>("dp_Ps_Fecha_Fin")
                          .SetValue(Date::FromYmd(2024, 5, 20, 9, 0, 0));
                    },
                    "La fecha final no puede ser menor a la inicial", "ERR-ID:7500007", ""},
        RefusalCase{"StartAfterEndWithTheEndEnabled",
                    [](host::HeadlessHost& h) {
                      h.Get<host::HeadlessDateField>("dp_Ps_Fecha_Fin").SetEnabled(true);
                      h.PickDate("dp_Ps_Fecha_Fin", Date::FromYmd(2024, 5, 19));
                      h.focus().Focus(h.Get<host::HeadlessTextBox>("txtComentario"));
                    },
                    "La fecha final no puede ser menor a la inicial", "ERR-ID:7500007",
                    "dp_Ps_Fecha_Fin"},
        RefusalCase{"NoCutOffDay",
                    [](host::HeadlessHost& h) {
                      h.Get<host::HeadlessComboBox>("cbCorte").SetSelectedValue(Variant());
                    },
                    "Debe especificar los días de corte", "ERR-ID:7500008", "cbCorte"},
        RefusalCase{"NoCutOffDayWhileTheComboIsDisabled",
                    [](host::HeadlessHost& h) {
                      auto& combo = h.Get<host::HeadlessComboBox>("cbCorte");
                      combo.SetSelectedValue(Variant());
                      combo.SetEnabled(false);
                    },
                    "Debe especificar los días de corte", "ERR-ID:7500008", ""}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(SaveTest, EqualStartAndEndDatesAreAccepted) {
  // Given a one-day policy type, whose end date is its start date
  db.AddPolicyType("UNDIA", "Servicio de un día", "ASESORIA", 1, 1, {{"SOPSITIO", 8}});
  GivenOpenScreen();
  GivenNewPolicyTyped("MTY", "UNDIA");
  ASSERT_EQ(DateIn("dp_Ps_Fecha_Inicio"), DateIn("dp_Ps_Fecha_Fin"));

  // When it is accepted
  WhenPress("Aceptar");

  // Then it is stored
  EXPECT_THAT(Messages(), IsEmpty());
  EXPECT_EQ(Column("Ps_Fecha_Inicia || '/' || Ps_Fecha_Finaliza", "MTY-000001"),
            "2024-05-20/2024-05-20");
}

TEST_F(SaveTest, EditOfAPolicyWhoseBranchWasWithdrawnIsRefusedWithoutAnErrorAboutTheFocus) {
  // Given a policy of a branch withdrawn since, shown for editing: its branch box is
  // locked and its description empty
  PolicyRow policy;
  policy.folio = "PUE-000001";
  policy.branch = "PUE";
  GivenPolicy(policy);
  GivenOpenScreen();
  WhenType("txtFolio", "PUE-000001");
  WhenPress("Modificar");
  ASSERT_FALSE(Enabled("txt_Sc_Cve_Sucursal"));
  const std::string focus_before = Focus();

  // When the operator accepts
  WhenPress("Aceptar");

  // Then the branch is refused with one message and the policy stays live
  const host::MessageRequest message = OnlyMessage();
  EXPECT_EQ(message.error_id, "ERR-ID:7500002");
  EXPECT_EQ(Focus(), focus_before);
  EXPECT_EQ(Column("Es_Cve_Estado", "PUE-000001"), "AC");
  EXPECT_EQ(db.Count("Poliza_Servicio"), 1);
}

// --- Failures after the checks roll everything back ---------------------------------------

struct FailureCase {
  std::string name;
  std::string sabotage;  // run on the database after the edit is typed
  std::string text, title;
  int style;
  std::string error_id;
  friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class FailureTest : public SaveTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, RollsBackTheWholeSaveAndKeepsTheEdit) {
  const FailureCase& c = GetParam();
  // Given an edit of a policy with an extended description and additional fields, and a
  // database that fails one step of the save
  GivenEditedPolicy();
  WhenType("txtReferencia", "OC-2");
  db.Execute(c.sabotage);
  const std::vector<std::string> stored = Stored();

  // When the operator accepts
  WhenPress("Aceptar");

  // Then that step's message is the only one
  const host::MessageRequest message = OnlyMessage();
  EXPECT_EQ(message.text, c.text);
  EXPECT_EQ(message.title, c.title);
  EXPECT_EQ(message.style, c.style);
  EXPECT_EQ(message.error_id, c.error_id);
  EXPECT_EQ(message.module, "NV407");

  // and nothing of the save remains: the old policy live, no new header, services, folio,
  // extended text or additional fields
  EXPECT_EQ(Stored(), stored);
  EXPECT_FALSE(host().database().InTransaction());

  // and the screen still holds the edit, ready to be accepted again
  EXPECT_EQ(Text("txtFolio"), kEditedFolio);
  EXPECT_EQ(Text("txtReferencia"), "OC-2");
  EXPECT_EQ(Screen().toolbar.mode, host::ToolbarMode::kEditing);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailureTest,
    ::testing::Values(
        FailureCase{"Cancellation",
                    "CREATE TRIGGER refuse BEFORE UPDATE ON Poliza_Servicio "
                    "BEGIN SELECT RAISE(ABORT, 'póliza bloqueada'); END",
                    "póliza bloqueada", "Controles_Aceptar()", 16, "ERR-ID:7500012"},
        FailureCase{"NoFolioLeft",
                    "INSERT INTO folio_series (branch, table_name, last_number) "
                    "VALUES ('MTY', 'Poliza_Servicio', 999999)",
                    "Error al generar el folio de póliza", "ERROR", 16, "ERR-ID:7500009"},
        FailureCase{"Header",
                    "CREATE TRIGGER refuse BEFORE INSERT ON Poliza_Servicio "
                    "BEGIN SELECT RAISE(ABORT, 'encabezado rechazado'); END",
                    "encabezado rechazado", "Controles_Aceptar()", 16, "ERR-ID:7500012"},
        FailureCase{"Services",
                    "CREATE TRIGGER refuse BEFORE INSERT ON Poliza_Servicio_Tipo_Servicio "
                    "BEGIN SELECT RAISE(ABORT, 'servicios rechazados'); END",
                    "servicios rechazados", "Controles_Aceptar()", 16, "ERR-ID:7500012"},
        FailureCase{"AdditionalFields",
                    "CREATE TRIGGER refuse BEFORE INSERT ON additional_field_value "
                    "BEGIN SELECT RAISE(ABORT, 'campos rechazados'); END",
                    "Imposible guardar campos adicionales", "ERROR", 48, "ERR-ID:7500010"},
        FailureCase{"ExtendedText",
                    "CREATE TRIGGER refuse BEFORE INSERT ON extended_text "
                    "BEGIN SELECT RAISE(ABORT, 'texto rechazado'); END",
                    "Error al actualizar la descripción ampliada", "ERROR", 48, "ERR-ID:7500011"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(SaveTest, EmptyStartDateEndsInTheSaveTrapWithNothingWritten) {
  // Given a new policy whose start date was cleared
  GivenOpenScreen();
  GivenNewPolicyTyped();
  host().Get<host::HeadlessDateField>("dp_Ps_Fecha_Inicio").SetValue(Variant());
  const std::vector<std::string> stored = Stored();

  // When it is accepted
  WhenPress("Aceptar");

  // Then the save stops in its trap and leaves no folio behind
  const host::MessageRequest message = OnlyMessage();
  EXPECT_EQ(message.text, "Debe especificar la fecha inicial");
  EXPECT_EQ(message.title, "Controles_Aceptar()");
  EXPECT_EQ(message.error_id, "ERR-ID:7500012");
  EXPECT_EQ(Stored(), stored);
  EXPECT_EQ(Screen().toolbar.mode, host::ToolbarMode::kNew);
}

}  // namespace
}  // namespace nv407::testing
