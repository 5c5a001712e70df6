#include <algorithm>
#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "host/db/access.h"
#include "host/db/sqlite_schema.h"
#include "host/services/operator_admin.h"
#include "host/services/operator_records.h"
#include "host/services/password.h"
#include "host/services/sign_in.h"
#include "screen_steps.h"
#include "support/test_backend.h"

namespace nv407::testing {
namespace {

constexpr const char* kUsedServices =
    "CAPACIT 2.0/4.0/0.0;SOPREM 120.0/2.5/7.0;VISITA 12.0/9.0/1.0";

// The stored policy cancelled by ADMIN at `when`, nothing else of it changed.
std::string CancelledHeader(const std::string& when) {
  return "'MTY-000007','2024-02-20','','','2024-03-01','2025-02-28','MTY','V002','C00003',"
         "'Atención prioritaria',17,'OC-1','SOPANUAL','F-1','Soporte anual','CA','ADMIN',"
         "'2024-03-15 10:30:00',NULL,NULL,'ADMIN','" +
         when + "'";
}

class SaveTest : public PolicyScreenTest {
 protected:
  // A server time whose date and time show in every stored value.
  void SetUp() override { GivenNow(Date::FromYmd(2024, 5, 20, 16, 45, 12)); }

  // The operator starts a new policy and types every field the save needs.
  void GivenNewPolicyTyped(const std::string& type = "SOPMEN") {
    WhenPress("Nuevo");
    WhenTypeEach({"txt_Sc_Cve_Sucursal", "MTY", "txt_Vn_Cve_Vendedor", "V002", "txt_Cl_Cve_Cliente",
                  "C00003", "txt_Tps_Cve_Tipo_Poliza", type, "txtReferencia", "OC-5521",
                  "txtComentario", "Planta norte", "txt_ID_Facturacion", "FAC-77", "txt_Concepto",
                  "Soporte mensual mayo"});
    WhenChoose("cbCorte", "12");
  }
};

TEST_F(SaveTest, NewPolicyAndAnEditAreStoredUnderNewFoliosWithServicesAtZero) {
  GivenShownPolicy();
  GivenNewPolicyTyped();

  WhenPress("Aceptar");

  // The typed values, the dates as the fields held them, one operator and one stamp
  EXPECT_EQ(Header("MTY-000001"),
            "'MTY-000001','2024-05-20','','','2024-05-20','2024-06-19','MTY','V002','C00003',"
            "'Planta norte',12,'OC-5521','SOPMEN','FAC-77','Soporte mensual mayo','AC','ADMIN',"
            "'2024-05-20 16:45:12','ADMIN','2024-05-20 16:45:12',NULL,NULL");
  EXPECT_EQ(ServicesOf("MTY-000001"), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");
  // The additional fields start from their defaults, not from the policy shown before.
  EXPECT_EQ(db.Rows("additional_field_value", "record_key = 'MTY-000001'"),
            "'POLIZA_SERVICIO','MTY-000001','CONTACTO','';"
            "'POLIZA_SERVICIO','MTY-000001','ORDEN_COMPRA',''");
  EXPECT_EQ(Column("Es_Cve_Estado", kFolio), "AC");
  ExpectFolioEntry();
  EXPECT_EQ(Screen().state.newFolio, "MTY-000001");

  WhenType("txtFolio", kFolio);
  WhenPress("Modificar");
  WhenType("txtReferencia", "OC-2");
  WhenPress("Aceptar");

  // An edit: the old row cancelled by this operator now, its services untouched; the edited data
  // under the branch's next folio with the type's services unused, and the host's records.
  EXPECT_EQ(Header(kFolio), CancelledHeader("2024-05-20 16:45:12"));
  EXPECT_EQ(ServicesOf(kFolio), kUsedServices);
  EXPECT_EQ(Header("MTY-000002"),
            "'MTY-000002','2024-02-20','','','2024-03-01','2025-02-28','MTY','V002','C00003',"
            "'Atención prioritaria',17,'OC-2','SOPANUAL','F-1','Soporte anual','AC','ADMIN',"
            "'2024-05-20 16:45:12','ADMIN','2024-05-20 16:45:12',NULL,NULL");
  EXPECT_EQ(ServicesOf("MTY-000002"),
            "CAPACIT 2.0/0.0/0.0;SOPREM 120.0/0.0/0.0;SOPSITIO 24.0/0.0/0.0;VISITA 12.0/0.0/0.0");
  EXPECT_EQ(db.Rows("extended_text", "record_key = 'MTY-000002'"),
            "'Poliza_Servicio','MTY-000002','0001','Cubre las dos plantas'");
  EXPECT_EQ(db.Rows("additional_field_value", "record_key = 'MTY-000002' AND value <> ''"),
            "'POLIZA_SERVICIO','MTY-000002','CONTACTO','Ing. Rosales'");
  // The chain both ways, written by the host in the same transaction; the first save,
  // which replaced nothing, wrote no note.
  EXPECT_EQ(db.Joined("SELECT record_key || ' ' || note || ' ' || user_code || ' ' || "
                      "logged_at AS v FROM record_log ORDER BY id",
                      "; "),
            "MTY-000007 Sustituida por MTY-000002 ADMIN 2024-05-20 16:45:12; "
            "MTY-000002 Sustituye a MTY-000007 ADMIN 2024-05-20 16:45:12");
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(SaveTest, ApostrophesInEveryTypedValueAreStoredAsTypedAndLoadAgain) {
  db.AddBranch("O'K", "Sucursal O'Kelly");
  db.AddSeller("D'A", "Daniela D'Amico");
  db.AddClient("L'H", "L'Hôtel, S.A.");
  db.AddServiceType("T'S", "Servicio d'hoy", true);
  // A one-day type: its end date is its start date, which the save accepts.
  db.AddPolicyType("P'1", "Póliza 'uno'", "POL-SOP-MEN", 1, 1, {{"T'S", 4}});
  GivenOpenScreen();
  WhenPress("Nuevo");
  WhenTypeEach({"txt_Sc_Cve_Sucursal", "O'K", "txt_Vn_Cve_Vendedor", "D'A", "txt_Cl_Cve_Cliente",
                "L'H", "txt_Tps_Cve_Tipo_Poliza", "P'1", "txtReferencia", "O'Neil's '",
                "txtComentario", "It's 'quoted'; -- not a comment", "txt_ID_Facturacion", "F''1'"});
  WhenChoose("cbCorte", "28");
  WhenEditorReturns("Concepto d'Ana", "Texto d'ampliación");
  WhenClick("cmdDescripcion");
  WhenType("txt_Concepto", "'");

  WhenPress("Aceptar");

  // Every value reads back exactly, under a folio that has an apostrophe too.
  EXPECT_EQ(Column("Sc_Cve_Sucursal || '|' || Vn_Cve_Vendedor || '|' || Cl_Cve_Cliente || '|' "
                   "|| Tps_Cve_Tipo_Poliza_Servicio || '|' || Ps_Referencia || '|' || "
                   "Ps_Comentario || '|' || Ps_Factura_ID || '|' || Ps_Concepto || '|' || "
                   "Ps_Fecha_Inicia || '|' || Ps_Fecha_Finaliza",
                   "O'K-000001"),
            "O'K|D'A|L'H|P'1|O'Neil's '|It's 'quoted'; -- not a comment|F''1'|'|2024-05-20|"
            "2024-05-20");
  EXPECT_EQ(ServicesOf("O'K-000001"), "T'S 4.0/0.0/0.0");
  EXPECT_EQ(db.Scalar("SELECT text FROM extended_text WHERE record_key = 'O''K-000001'"),
            "Texto d'ampliación");
  // The folio typed as the user would finds it; one that would widen the search finds nothing.
  WhenType("txtFolio", "o'k-1");
  EXPECT_EQ(Text("txtFolio") + "|" + Text("txtReferencia"), "O'K-000001|O'Neil's '");
  WhenType("txtFolio", "x' or '1'='1");
  EXPECT_EQ(Text("txtFolio") + "|" + Text("txtReferencia"), "X' OR '1'='1|");
  EXPECT_THAT(Messages(), IsEmpty());
}

// --- Refusals before anything is written ---------------------------------------------------

// What the operator leaves wrong after typing all: a key or text typed, a date picked (its
// field enabled first), the cut-off day cleared; `lock` disables the control afterwards. The
// focus is then elsewhere, and goes to the refused field only when that one is enabled.
struct RefusalCase {
  std::string name, control, value;
  bool lock;
  std::string message;  // "id|text"
  std::string focus;
};

class RefusalTest : public SaveTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusesWithItsMessageAndFocusAndSendsNothing) {
  const RefusalCase& c = GetParam();
  GivenOpenScreen();
  if (c.control.empty()) {
    WhenPress("Nuevo");
  } else {
    GivenNewPolicyTyped();
    if (c.control == "cbCorte") {
      host().Get<host::HeadlessComboBox>("cbCorte").SetSelectedValue(Variant());
    } else if (c.control.starts_with("dp_")) {
      Form().FindControl(c.control)->SetEnabled(true);
      WhenPick(c.control, *Date::Parse(c.value));
    } else {
      WhenType(c.control, c.value);
    }
    if (c.lock) Form().FindControl(c.control)->SetEnabled(false);
  }
  Form().FindControl("txtComentario")->SetFocus();
  const std::vector<std::string> stored = Stored();
  const auto& trace = db.TraceStatements();

  WhenPress("Aceptar");

  EXPECT_EQ(OnlyMessage(), "Datos incompletos|16|" + c.message);
  EXPECT_EQ(Focus(), c.focus);
  EXPECT_THAT(ByScreen(trace), IsEmpty());
  EXPECT_EQ(Stored(), stored);
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kNew);
}

const std::string kNoBranch = "ERR-ID:7500002|Debe especificar la sucursal";
const std::string kEndBeforeStart = "ERR-ID:7500007|La fecha final no puede ser menor a la inicial";
const std::string kNoDay = "ERR-ID:7500008|Debe especificar los días de corte";

const RefusalCase kRefusals[] = {
    // Nothing typed: the first check wins.
    {"NothingTyped", "", "", false, kNoBranch, "txt_Sc_Cve_Sucursal"},
    {"BranchNotInCatalogue", "txt_Sc_Cve_Sucursal", "XXX", false, kNoBranch, "txt_Sc_Cve_Sucursal"},
    // As an edited policy's branch, whose box is locked
    {"WithdrawnBranchInALockedBox", "txt_Sc_Cve_Sucursal", "PUE", true, kNoBranch, "txtComentario"},
    {"NoSeller", "txt_Vn_Cve_Vendedor", "", false, "ERR-ID:7500003|Debe especificar el vendedor",
     "txt_Vn_Cve_Vendedor"},
    {"NoClient", "txt_Cl_Cve_Cliente", "", false, "ERR-ID:7500004|Debe especificar el cliente",
     "txt_Cl_Cve_Cliente"},
    {"WithdrawnPolicyType", "txt_Tps_Cve_Tipo_Poliza", "BASICA", false,
     "ERR-ID:7500005|Debe especificar el tipo de póliza", "txt_Tps_Cve_Tipo_Poliza"},
    // The end date (2024-06-19 16:45:12) is the screen's own, never enabled.
    {"StartAfterEnd", "dp_Ps_Fecha_Inicio", "2024-06-20", false, kEndBeforeStart, "txtComentario"},
    {"StartLaterOnTheEndDay", "dp_Ps_Fecha_Inicio", "2024-06-19 18:00:00", false, kEndBeforeStart,
     "txtComentario"},
    {"EndBeforeStartWithTheEndEnabled", "dp_Ps_Fecha_Fin", "2024-05-19", false, kEndBeforeStart,
     "dp_Ps_Fecha_Fin"},
    {"NoCutOffDay", "cbCorte", "", false, kNoDay, "cbCorte"},
    {"NoCutOffDayInADisabledCombo", "cbCorte", "", true, kNoDay, "txtComentario"}};

INSTANTIATE_TEST_SUITE_P(Checks, RefusalTest, ::testing::ValuesIn(kRefusals), kByName);

// --- Failures of Aceptar after its checks, and of Baja, roll everything back -------------

using Sabotage = std::function<void(TestDatabase&)>;  // empty: clears the start date

struct FailureCase {
  std::string name, command;
  Sabotage sabotage;    // done to the database before the command
  std::string message;  // "title|style|id|text"
  // Where the screen reports a host service's false in its own words: the database's refusal
  // goes with the message as its details.
  std::string detail = {};
};

class FailureTest : public SaveTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, RollsBackEverythingAndLeavesTheScreenAsItWas) {
  const FailureCase& c = GetParam();
  // The policy, with an extended description and an additional field, shown or edited
  GivenShownPolicy();
  if (c.command == "Aceptar") {
    WhenPress("Modificar");
    WhenType("txtReferencia", "OC-2");
  }
  if (c.sabotage)
    c.sabotage(db);
  else
    host().Get<host::HeadlessDateField>("dp_Ps_Fecha_Inicio").SetValue(Variant());
  const std::string shown = Fields(), flags = Flags();
  const host::ToolbarMode mode = Toolbar().mode;
  const std::vector<std::string> stored = Stored();

  WhenPress(c.command);

  // Nothing remains: the old policy live, no header, services, folio, text, note or fields;
  // the screen still holds what it showed, ready for the command again.
  EXPECT_EQ(OnlyMessage(), c.message);
  if (const std::vector<host::MessageCall> shown = Messages(); !shown.empty()) {
    const std::string& detail = shown.back().request.detail;
    if (c.detail.empty())
      EXPECT_EQ(detail, "");
    else
      EXPECT_THAT(detail, HasSubstr(c.detail));
  }
  EXPECT_EQ(Stored(), stored);
  EXPECT_FALSE(host().database().InTransaction());
  EXPECT_EQ(Fields(), shown);
  EXPECT_EQ(Flags(), flags);
  EXPECT_EQ(Toolbar().mode, mode);
}

Sabotage Refuse(const std::string& event, const std::string& table, const std::string& why) {
  return [=](TestDatabase& db) { db.RefuseWrites(event, table, why); };
}
const std::string kSaveTrap = "Controles_Aceptar()|16|ERR-ID:7500012|";
const std::string kBajaTrap = "Zembrel|16|ERR-ID:7500013|";

const FailureCase kFailures[] = {
    {"Cancellation", "Aceptar", Refuse("UPDATE", "Poliza_Servicio", "bloqueada"),
     kSaveTrap + Refused("bloqueada")},
    // The chain notes are the last writes before the commit: refused, they undo the save.
    {"ChainNotes", "Aceptar", Refuse("INSERT", "record_log", "sin bitácora"),
     kSaveTrap + Refused("sin bitácora")},
    {"NoFolioLeft", "Aceptar",
     [](TestDatabase& db) {
       db.Execute(
           "INSERT INTO folio_series (branch, table_name, last_number) "
           "VALUES ('MTY', 'Poliza_Servicio', 999999)");
     },
     "ERROR|16|ERR-ID:7500009|Error al generar el folio de póliza"},
    {"Header", "Aceptar", Refuse("INSERT", "Poliza_Servicio", "rechazado"),
     kSaveTrap + Refused("rechazado")},
    {"EmptyStartDate", "Aceptar", {}, kSaveTrap + "Debe especificar la fecha inicial"},
    {"Services", "Aceptar",
     Refuse("INSERT", "Poliza_Servicio_Tipo_Servicio", "servicios rechazados"),
     kSaveTrap + Refused("servicios rechazados")},
    {"AdditionalFields", "Aceptar", Refuse("INSERT", "additional_field_value", "campos rechazados"),
     "ERROR|48|ERR-ID:7500010|Imposible guardar campos adicionales", "campos rechazados"},
    {"ExtendedText", "Aceptar", Refuse("INSERT", "extended_text", "texto rechazado"),
     "ERROR|48|ERR-ID:7500011|Error al actualizar la descripción ampliada", "texto rechazado"},
    {"BajaUpdate", "Baja", Refuse("UPDATE", "Poliza_Servicio", "en revisión"),
     kBajaTrap + Refused("en revisión")},
    {"BajaNote", "Baja", Refuse("INSERT", "record_log", "bitácora llena"),
     kBajaTrap + Refused("bitácora llena")}};

INSTANTIATE_TEST_SUITE_P(Steps, FailureTest, ::testing::ValuesIn(kFailures), kByName);

// A capture begun before midnight and saved after it: a new policy keeps the day it was begun
// only for an operator who may date policies (CHFECHA), an edit keeps the date of the policy
// it replaces whoever makes it.
struct MidnightCase {
  std::string name, user;
  bool edit;
  std::string stored_date;  // "": refused
};

class MidnightTest : public SaveTest, public ::testing::WithParamInterface<MidnightCase> {
 protected:
  void SetUp() override { GivenNow(Date::FromYmd(2024, 5, 20, 23, 59, 50)); }
};

TEST_P(MidnightTest, ANewPolicyKeepsTheDayItWasBegunOnlyWhereItsOperatorMayDateIt) {
  const MidnightCase& c = GetParam();
  if (c.stored_date.empty() && TestBackend() == Backend::kPostgreSql)
    GTEST_SKIP() << "the test server's session is the tables' owner, whose statements are "
                    "taken as written (tests/server holds its logins to their permissions)";
  GivenOperator(c.user);
  GivenShownPolicy();
  if (c.edit) {
    WhenPress("Modificar");
    WhenType("txtReferencia", "OC-2");
  } else {
    GivenNewPolicyTyped();
  }
  const std::vector<std::string> stored = Stored();
  GivenNow(Date::FromYmd(2024, 5, 21, 0, 0, 10));

  WhenPress("Aceptar");

  if (c.stored_date.empty()) {
    EXPECT_EQ(OnlyMessage(),
              kSaveTrap + host::PolicyDateRefusal(c.user, "MTY-000001", "2024-05-21"));
    EXPECT_EQ(Stored(), stored);
    EXPECT_FALSE(host().database().InTransaction());
  } else {
    EXPECT_THAT(Messages(), IsEmpty());
    EXPECT_EQ(Column("Ps_Fecha || '|' || Oper_Alta || '|' || Fecha_Alta", "MTY-000001"),
              c.stored_date + "|" + c.user + "|2024-05-21 00:00:10");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Operators, MidnightTest,
    ::testing::Values(MidnightCase{"NewWithoutChfecha", kOperatorWithoutPermissions, false, ""},
                      MidnightCase{"NewWithChfecha", kOperatorWithPermissions, false, "2024-05-20"},
                      MidnightCase{"EditWithoutChfecha", kOperatorWithoutPermissions, true,
                                   "2024-02-20"}),
    kByName);

// An administrator's lock holds in a program already open: the operator's next write of a
// policy is refused and nothing of it is written. Unlocked, it saves; a lock for failed
// sign-ins (someone guessing its password elsewhere) leaves its open program working.
TEST_F(SaveTest, AnOperatorLockedWhileItsProgramIsOpenWritesNoPolicyUntilUnlocked) {
  if (TestBackend() == Backend::kPostgreSql) GTEST_SKIP() << "a server's operators are logins";
  GivenOperator(kOperatorWithoutPermissions);
  GivenShownPolicy();
  host::OperatorAdministration administration(db.db(), kOperatorWithPermissions, db.clock());
  administration.Lock(kOperatorWithoutPermissions);
  const std::vector<std::string> stored = Stored();
  const std::string refusal = host::sqlite::LockedOperatorMessage(kOperatorWithoutPermissions);

  WhenPress("Baja");
  EXPECT_EQ(OnlyMessage(), kBajaTrap + refusal);
  GivenNewPolicyTyped();
  WhenPress("Aceptar");
  EXPECT_EQ(LastMessage(), kSaveTrap + refusal);
  EXPECT_EQ(Stored(), stored);
  EXPECT_FALSE(host().database().InTransaction());

  administration.Unlock(kOperatorWithoutPermissions);
  host::OperatorRecords(db.db()).SetPassword(kOperatorWithoutPermissions,
                                             host::HashPassword("clave de Laura"));
  host::PasswordSignIn sign_in(db.db(), db.clock());
  for (int attempt = 0; attempt < host::PasswordSignIn::kAttempts; ++attempt)
    sign_in.Attempt(kOperatorWithoutPermissions, "no");
  ASSERT_THAT(sign_in.Attempt(kOperatorWithoutPermissions, "clave de Laura").refusal,
              HasSubstr("bloqueado hasta"));
  WhenPress("Aceptar");
  EXPECT_EQ(Column("Oper_Alta", "MTY-000001"), kOperatorWithoutPermissions);
}

class ToolbarCommandsTest : public PolicyScreenTest {
 protected:
  void SetUp() override { GivenNow(Date::FromYmd(2024, 7, 9, 8, 5, 0)); }
};

// Both open the fields of group 1 and the editor, the policy date only to an operator who
// holds CHFECHA.
struct OperatorCase {
  std::string user, date, nuevo_focus;
};

class OperatorTest : public ToolbarCommandsTest,
                     public ::testing::WithParamInterface<OperatorCase> {
 protected:
  // The controls the user can change, in layout order (the locked ones only show results).
  std::string Open() {
    std::string open;
    for (const host::ControlSnapshot& c : Screen().controls)
      if (c.enabled && Form().FindControl(c.name)->Layout().Setting("locked") != "SI")
        open += c.name + " ";
    return open;
  }
};

TEST_P(OperatorTest, ModificarUnlocksThePolicyAsItIsAndNuevoEmptiesIt) {
  GivenOperator(GetParam().user);
  GivenShownPolicy();
  host().focus().Focus(host().Get<host::HeadlessListView>("lvServicios"));
  const std::string shown = Fields();
  const auto services = Services();

  // Every value stays, the branch locked, the focus where it was.
  WhenPress("Modificar");
  EXPECT_EQ(Fields(), shown);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(Screen().state.extendedDescription, "Cubre las dos plantas");
  const std::string first = GetParam().date + "txtReferencia dp_Ps_Fecha_Inicio cbCorte ";
  const std::string rest =
      "txt_Vn_Cve_Vendedor txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza txtComentario "
      "txt_Concepto txt_ID_Facturacion cmdDescripcion ";
  EXPECT_EQ(Open(), first + rest);
  EXPECT_EQ(Focus(), "lvServicios");

  // Cancelar abandons the edit and its description, writes nothing, keeps the record loaded.
  WhenType("txtReferencia", "CAMBIO");
  WhenEditorReturns("Otro concepto", "Otro texto");
  WhenClick("cmdDescripcion");
  const std::vector<std::string> stored = Stored();
  WhenPress("Cancelar");
  ExpectFolioEntry();
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_EQ(Stored(), stored);

  // Every field empty but the dates, which are today; the extended description forgotten.
  WhenType("txtFolio", kFolio);
  WhenPress("Nuevo");
  for (const host::ControlSnapshot& c : Screen().controls) {
    if (c.kind != ControlKind::kFlatButton) {
      EXPECT_EQ(c.date.value_or(c.text), c.date ? "2024-07-09T08:05:00" : "") << c.name;
    }
  }
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(Open(), first + "txt_Sc_Cve_Sucursal " + rest);
  EXPECT_EQ(Focus(), GetParam().nuevo_focus);
  EXPECT_EQ(Screen().state.extendedDescription + Screen().state.conceptText, "");
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Operators, OperatorTest,
    ::testing::Values(OperatorCase{kOperatorWithPermissions, "dp_Ps_Fecha ", "dp_Ps_Fecha"},
                      OperatorCase{kOperatorWithoutPermissions, "", "txtReferencia"}),
    [](const ::testing::TestParamInfo<OperatorCase>& info) { return info.param.user; });

TEST_F(ToolbarCommandsTest, BajaCancelsTheShownPolicyLogsItAndResets) {
  GivenShownPolicy();
  WhenPress("Consultar");

  WhenPress("Baja");

  // Cancelled by this operator now, nothing else of it changed; the note on its record
  EXPECT_EQ(Header(kFolio), CancelledHeader("2024-07-09 08:05:00"));
  EXPECT_EQ(ServicesOf(kFolio), kUsedServices);
  EXPECT_EQ(db.Rows("record_log"),
            "1,'Poliza_Servicio','MTY-000007','Baja','ADMIN','2024-07-09 08:05:00'");
  ExpectFolioEntry();
  EXPECT_THAT(Messages(), IsEmpty());

  // The record stays loaded, but the form is empty: there is nothing left to look at.
  EXPECT_THAT([&] { WhenPress("Consultar"); },
              ::testing::ThrowsMessage<Error>("Consultar is not available"));
  std::vector<std::string> calls;
  for (const host::ViewerCall& c : host().dialogs().ViewerCalls())
    calls.push_back(c.table + "|" + c.key_column + "|" + c.key);
  EXPECT_EQ(calls, (Row{"POLIZA_SERVICIO|Ps_Folio|MTY-000007"}));

  // and the same folio now loads as a cancelled policy
  WhenType("txtFolio", kFolio);
  EXPECT_EQ(Flags(), "loaded - - - -");
}

// Another program removed the policy while it was shown: neither a Baja nor an edit of it
// writes a note of a policy that is not there.
class RemovedMeanwhileTest : public ToolbarCommandsTest {
 protected:
  void WhenRemovedAndThen(const std::function<void()>& command) {
    GivenShownPolicy();
    for (const char* table : {"Poliza_Servicio_Tipo_Servicio", "Poliza_Servicio"})
      db.sql().Execute(std::string("DELETE FROM ") + table + " WHERE Ps_Folio = 'MTY-000007'");
    const long long policies = db.Count("Poliza_Servicio");
    command();
    EXPECT_THAT(LastMessage(),
                ::testing::HasSubstr("La póliza MTY-000007 ya no existe; cárguela de nuevo"));
    EXPECT_EQ(db.Count("record_log"), 0);
    EXPECT_EQ(db.Count("Poliza_Servicio"), policies);
  }
};

TEST_F(RemovedMeanwhileTest, ABajaIsRefused) {
  WhenRemovedAndThen([&] { WhenPress("Baja"); });
}

TEST_F(RemovedMeanwhileTest, ACounterResetIsRefused) {
  WhenRemovedAndThen([&] {
    WhenNextAnswerIs("yes");
    WhenClick("cmdInicializa");
  });
}

TEST_F(RemovedMeanwhileTest, AnEditIsRefused) {
  WhenRemovedAndThen([&] {
    WhenPress("Modificar");
    WhenPress("Aceptar");
  });
}

constexpr const char* kConfirmation =
    "INICIALIZAR|292|ERR-ID:7500015|Seguro de incializar el contador de los servicios "
    "contratados";

// clang-format off
constexpr const char* kCounterReportHeader =
    "                         INICIALIZACION DE SERVICIOS                            \r\n"
    "================================================================================\r\n"
    "           TIPO SERVICIO                                       UNIDAD  UTILIZADO\r\n"
    "================================================================================\r\n";
// clang-format on

// A live policy with used amounts, shown to an operator allowed to reset them who is not
// the one who created it, so that the stamp shows who reset it.
class CounterInitializationTest : public PolicyScreenTest {
 protected:
  using PolicyScreenTest::PolicyScreenTest;
  void GivenShownPolicy(const std::vector<ServiceUse>& services) {
    GivenStoredPolicy(kFolio, "AC", services);
    GivenShownStoredPolicy();
  }
  void GivenShownStoredPolicy() {
    db.GrantPermission(kOperatorWithoutPermissions, "INISERV");
    GivenOperator(kOperatorWithoutPermissions);
    GivenOpenScreen();
    WhenType("txtFolio", kFolio);
  }
  // The list as "service included/used".
  std::vector<std::string> Listed() {
    std::vector<std::string> listed;
    for (const Row& row : SortedServices()) listed.push_back(row[1] + " " + row[4] + "/" + row[5]);
    return listed;
  }
};

// Each column rule shows in one of the rows: a description cut at column 65 with an accented
// letter before the cut, a short key and description that move the line left, an amount
// longer than its field.
TEST_F(CounterInitializationTest, ResetsTheCountersAfterLoggingWhatHadBeenUsed) {
  db.AddServiceType(
      "MANTPREV", "Mantenimiento preventivo y correctivo de cómputo en el sitio del cliente", true);
  db.AddServiceType("TEL", "Red", false);
  GivenStoredPolicy("MTY-000043");
  GivenShownPolicy(
      {{"MANTPREV", 20, 12.5, 0}, {"SOPREM", 10, 123456789012.25, 0}, {"TEL", 5, 0, 3}});
  GivenNow(Date::FromYmd(2024, 5, 20, 16, 45, 10));
  // The shown policy's type cannot be retyped: the report is of what the policy used.
  EXPECT_THROW(WhenType("txt_Tps_Cve_Tipo_Poliza", "GAR12"), Error);
  const std::vector<std::string> stored = Stored();
  const auto& trace = db.TraceStatements();
  WhenNextAnswerIs("no");  // No stops everything
  WhenClick("cmdInicializa");
  EXPECT_THAT(trace, IsEmpty());
  EXPECT_EQ(Stored(), stored);

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  // clang-format off
  EXPECT_EQ(db.Scalar("SELECT table_name || '|' || record_key || '|' || note AS v FROM record_log"),
      "Poliza_Servicio|MTY-000007|" + std::string(kCounterReportHeader) +
      "MANTPREV - Mantenimiento preventivo y correctivo de cómputo en el HR        12.5\r\n"
      "SOPREM - Soporte remoto                                           HR456789012.25\r\n"
      "TEL - Red                                                        EV           3\r\n");
  // clang-format on
  EXPECT_THAT(Messages(), SizeIs(2));
  EXPECT_EQ(LastMessage(), kConfirmation);

  // Only this folio's counters are zero; the included quantities stay.
  EXPECT_EQ(ServicesOf(kFolio), "MANTPREV 20.0/0.0/0.0;SOPREM 10.0/0.0/0.0;TEL 5.0/0.0/0.0");
  EXPECT_EQ(ServicesOf("MTY-000043"), kUsedServices);
  EXPECT_EQ(Column("Oper_Alta || '|' || Oper_Ult_Modif || '|' || Fecha_Ult_Modif", kFolio),
            "ADMIN|CAPTURA|2024-05-20 16:45:10");
  EXPECT_THAT(Listed(), ElementsAre("MANTPREV 20/0", "SOPREM 10/0", "TEL 5/0"));
  EXPECT_FALSE(db.db().InTransaction());
}

// A cut that would fall inside a character falls before it, and spaces fill the field: an
// accent stays on its letter, an emoji sequence and a flag stay whole, and every row line
// keeps its 80 columns.
TEST_F(CounterInitializationTest, TheDescriptionIsCutBeforeACharacterItWouldSplit) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const std::string mexico = "\U0001F1F2\U0001F1FD";
  db.AddServiceType("ACENTO", std::string(55, 'a') + "e\u0301 final", true);
  db.AddServiceType("BANDERA", std::string(54, 'x') + mexico, false);
  std::string enies;
  for (int n = 0; n < 53; ++n) enies += "ñ";
  db.AddServiceType("FAMILIA", enies + family, true);
  GivenShownPolicy({{"ACENTO", 1, 2, 0}, {"BANDERA", 1, 0, 3}, {"FAMILIA", 1, 4, 0}});

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  const std::string note = db.Scalar("SELECT note AS v FROM record_log");
  EXPECT_EQ(note, std::string(kCounterReportHeader) + "ACENTO - " + std::string(55, 'a') +
                      "  HR           2\r\n" + "BANDERA - " + std::string(54, 'x') +
                      "  EV           3\r\n" + "FAMILIA - " + enies + "   HR           4\r\n");
  std::istringstream lines(note);
  for (std::string line; std::getline(lines, line);)
    EXPECT_EQ(std::ranges::count_if(line, [](char c) { return (c & 0xC0) != 0x80; }), 81)
        << line;  // the CR
}

// An amount longer than its field keeps its last characters whole: an accent, an emoji
// sequence or a flag cut at the field's start gives its columns to spaces. Only SQLite's
// number columns hold a text (a file edited by hand).
TEST_F(CounterInitializationTest, TheAmountIsCutAfterACharacterItWouldSplit) {
  if (TestBackend() == Backend::kPostgreSql)
    GTEST_SKIP() << "a server's number columns hold no text";
  for (const char* key : {"ACENTO", "BANDERA", "FAMILIA"}) db.AddServiceType(key, "Uso", true);
  GivenStoredPolicy(kFolio, "AC",
                    {{"ACENTO", 1, 0, 0}, {"BANDERA", 1, 0, 0}, {"FAMILIA", 1, 0, 0}});
  const auto used = [this](const std::string& key, const std::string& text) {
    db.Execute("UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = " + Quote(text) +
               " WHERE Ts_Cve_Tipo_Servicio = " + Quote(key));
  };
  used("ACENTO", std::string("e\u0301") + "23456789.25");
  used("BANDERA", std::string("\U0001F1F2\U0001F1FD") + "23456789.25");
  used("FAMILIA", std::string("\U0001F468\u200D\U0001F469") + "3456789.25");
  GivenShownStoredPolicy();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  const auto line = [](const std::string& key, const std::string& amount) {
    return key + " - Uso" + std::string(59 - key.size(), ' ') + " HR" + amount + "\r\n";
  };
  EXPECT_EQ(db.Scalar("SELECT note AS v FROM record_log"),
            std::string(kCounterReportHeader) + line("ACENTO", " 23456789.25") +
                line("BANDERA", " 23456789.25") + line("FAMILIA", "  3456789.25"));
}

// A load of a cancelled policy, or of a folio not found, leaves the button as the policy
// shown before had it: the host offers it only while a live policy is shown, so that no reset
// is asked of what cannot be reset.
TEST_F(CounterInitializationTest, IsOfferedOnlyWhileALivePolicyIsShown) {
  GivenStoredPolicy("MTY-000002");
  GivenStoredPolicy(kFolio, "CA");
  GivenOpenScreen();
  const std::vector<std::string> stored = Stored();
  for (const char* shown : {kFolio, "MTY-000099"}) {
    SCOPED_TRACE(shown);
    WhenType("txtFolio", "MTY-000002");
    ASSERT_TRUE(Enabled("cmdInicializa"));

    WhenType("txtFolio", shown);

    EXPECT_FALSE(Enabled("cmdInicializa"));
    EXPECT_THAT([&] { WhenClick("cmdInicializa"); },
                ::testing::ThrowsMessage<Error>("cmdInicializa is disabled"));
  }
  WhenType("txtFolio", "MTY-000002");
  EXPECT_TRUE(Enabled("cmdInicializa"));
  EXPECT_THAT(Messages(), IsEmpty()) << "nothing was asked";
  EXPECT_EQ(Stored(), stored);
}

TEST_F(CounterInitializationTest, AnEmptyListLogsNothingButStillStampsThePolicy) {
  GivenShownPolicy({});
  const auto& trace = db.TraceStatements();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  EXPECT_THAT(ByScreen(trace),
              ElementsAre("UPDATE Poliza_Servicio_Tipo_Servicio SET    "
                          "Pst_Tiempo_Utilizado = 0,    Pst_Evento_Utilizado = 0 "
                          "WHERE Ps_Folio = 'MTY-000007'",
                          "UPDATE Poliza_Servicio SET    Oper_Ult_Modif = 'CAPTURA', "
                          "   Fecha_Ult_Modif = GetDate() WHERE Ps_Folio = "
                          "'MTY-000007'"));
  EXPECT_EQ(db.Count("record_log"), 0);
  EXPECT_EQ(Column("Oper_Ult_Modif", kFolio), kOperatorWithoutPermissions);
}

// Either statement refused: the counters, the stamp and the note (logged on the same
// session) all roll back, and the screen can run the command again.
class CounterInitializationFailureTest : public CounterInitializationTest,
                                         public ::testing::WithParamInterface<const char*> {};

TEST_P(CounterInitializationFailureTest, RollsEverythingBackAndReportsTheCause) {
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}, {"VISITA", 1, 0, 1}});
  db.RefuseWrites("UPDATE", GetParam(), "registro bloqueado por auditoría");
  const std::vector<std::string> stored = Stored();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  EXPECT_THAT(Messages(), SizeIs(2));  // the confirmation, then the failure
  EXPECT_EQ(LastMessage(),
            "ERROR|16|ERR-ID:7500001|Operación cancelada debido al siguiente error: \r\n" +
                Refused("registro bloqueado por auditoría"));
  EXPECT_EQ(Stored(), stored);
  EXPECT_THAT(Listed(), ElementsAre("SOPREM 10/7.5", "VISITA 1/1"));
  EXPECT_FALSE(db.db().InTransaction());

  db.AllowWrites(GetParam());
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  EXPECT_EQ(ServicesOf(kFolio), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");
  EXPECT_EQ(db.Count("record_log"), 1);
}

INSTANTIATE_TEST_SUITE_P(EitherStatement, CounterInitializationFailureTest,
                         ::testing::Values("Poliza_Servicio_Tipo_Servicio", "Poliza_Servicio"));

const std::string kCountersChanged =
    "ERROR|16|ERR-ID:7500001|Operación cancelada debido al siguiente error: \r\nLos servicios "
    "utilizados de la póliza MTY-000007 cambiaron desde que se cargó; cárguela de nuevo";

// The report is of what the list shows; the reset zeroes what the database holds. Where the
// two differ, the counters changed since the policy was loaded, and the reset is refused.
class StaleCounterResetTest : public CounterInitializationTest {
 protected:
  StaleCounterResetTest() : CounterInitializationTest(TestDatabase::Storage::kFile) {}
  void SetUp() override {
    db.AddServiceType("TEL", "Red", false);
    GivenShownPolicy({{"SOPREM", 10, 7.5, 0}, {"VISITA", 1, 0, 1}});
    other_session_ = db.OpenAnotherSession();
  }
  // Everything logged, as "key|note".
  std::vector<std::string> Logged() {
    std::vector<std::string> notes;
    for (auto result =
             db.sql().Execute("SELECT record_key || '|' || note AS v FROM record_log ORDER BY id");
         !result->Eof(); result->MoveNext())
      notes.push_back(result->Fields("v").Value().ToText());
    return notes;
  }
  void ExpectRefusedAndNothingWritten() {
    const std::vector<std::string> stored = Stored();
    WhenNextAnswerIs("yes");
    WhenClick("cmdInicializa");
    EXPECT_EQ(LastMessage(), kCountersChanged);
    EXPECT_EQ(Stored(), stored);
    EXPECT_THAT(Listed(), ElementsAre("SOPREM 10/7.5", "VISITA 1/1"));
    EXPECT_FALSE(db.db().InTransaction());
  }
  std::unique_ptr<host::Database> other_session_;
};

// Two operators show the same policy; the first resets it. The second still shows what had
// been used: a reset there would log the first one's amounts again as used since.
TEST_F(StaleCounterResetTest, AResetOfCountersAnotherSessionResetIsRefused) {
  host::HeadlessHost other(*other_session_,
                           host::SessionSettings{kOperatorWithPermissions, db.clock()},
                           InProcessComponent());
  other.Open();
  other.Type("txtFolio", kFolio);
  other.dialogs().QueueAnswer(message_answer::kYes);
  other.Click("cmdInicializa");
  ASSERT_EQ(ServicesOf(kFolio), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");
  const std::vector<std::string> logged = Logged();
  ASSERT_THAT(logged, SizeIs(1));

  ExpectRefusedAndNothingWritten();
  EXPECT_EQ(Logged(), logged);

  // Loaded again, it shows the zeros, and its reset goes through.
  WhenType("txtFolio", "");
  WhenType("txtFolio", kFolio);
  EXPECT_THAT(Listed(), ElementsAre("SOPREM 10/0", "VISITA 1/0"));
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  EXPECT_EQ(LastMessage(), kConfirmation);
  EXPECT_THAT(Logged(), SizeIs(2));
}

// Another program changes the counters while the policy is shown: a used amount, a service
// added or one taken away. The log would not say what the reset zeroed.
class CountersChangedMeanwhileTest : public StaleCounterResetTest,
                                     public ::testing::WithParamInterface<const char*> {};

TEST_P(CountersChangedMeanwhileTest, TheResetIsRefusedAndChangesNothing) {
  other_session_->ForHost().Execute(GetParam());
  const std::string counters = ServicesOf(kFolio);

  ExpectRefusedAndNothingWritten();
  EXPECT_EQ(ServicesOf(kFolio), counters);
  EXPECT_THAT(Logged(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, CountersChangedMeanwhileTest,
    ::testing::Values("UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 11 WHERE "
                      "Ps_Folio = 'MTY-000007' AND Ts_Cve_Tipo_Servicio = 'SOPREM'",
                      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = 2 WHERE "
                      "Ps_Folio = 'MTY-000007' AND Ts_Cve_Tipo_Servicio = 'VISITA'",
                      "INSERT INTO Poliza_Servicio_Tipo_Servicio (Ps_Folio, Ts_Cve_Tipo_Servicio, "
                      "Pst_Cantidad_Incluida, Pst_Tiempo_Utilizado, Pst_Evento_Utilizado) VALUES "
                      "('MTY-000007', 'TEL', 5, 0, 0)",
                      "DELETE FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'MTY-000007' "
                      "AND Ts_Cve_Tipo_Servicio = 'VISITA'"));

// Another session changes a counter and adds a service, and its transaction is still open as
// the reset starts: the reset waits for it, and then sees the service it added too.
TEST_F(StaleCounterResetTest, AServiceAddedWhileTheResetWaitsIsSeen) {
  Connection& other = other_session_->ForHost();
  other.BeginTrans();
  other.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = Pst_Tiempo_Utilizado "
      "WHERE Ps_Folio = 'MTY-000007' AND Ts_Cve_Tipo_Servicio = 'SOPREM'");
  other.Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio (Ps_Folio, Ts_Cve_Tipo_Servicio, "
      "Pst_Cantidad_Incluida, Pst_Tiempo_Utilizado, Pst_Evento_Utilizado) VALUES ('MTY-000007', "
      "'TEL', 5, 0, 3)");
  // Had the reset not waited, it would have seen the service anyway: the test cannot fail
  // by its timing, only by the reset.
  std::thread commit([&other] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    other.CommitTrans();
  });
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  commit.join();

  EXPECT_EQ(LastMessage(), kCountersChanged);
  EXPECT_EQ(ServicesOf(kFolio), "SOPREM 10.0/7.5/0.0;TEL 5.0/0.0/3.0;VISITA 1.0/0.0/1.0");
  EXPECT_THAT(Logged(), IsEmpty());
}

// A service without a key is not listed: the check leaves it out as the load does.
TEST_F(StaleCounterResetTest, AServiceWithoutAKeyIsLeftOutAsTheListLeavesItOut) {
  db.AddServiceType("", "Sin clave", false);
  db.sql().Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio (Ps_Folio, Ts_Cve_Tipo_Servicio, "
      "Pst_Cantidad_Incluida, Pst_Tiempo_Utilizado, Pst_Evento_Utilizado) VALUES ('MTY-000007', "
      "'', 1, 0, 0)");
  WhenType("txtFolio", "");
  WhenType("txtFolio", kFolio);
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  EXPECT_EQ(LastMessage(), kConfirmation);
  EXPECT_THAT(Logged(), SizeIs(1));
}

// What the list shows after a reset is what the database then holds: a second reset, without
// loading the policy again, goes through (a policy without services: above).
TEST_F(StaleCounterResetTest, ResetsAgainWhatThisScreenReset) {
  for (int run = 1; run <= 2; ++run) {
    WhenNextAnswerIs("yes");
    WhenClick("cmdInicializa");
    EXPECT_EQ(LastMessage(), kConfirmation) << run;
    EXPECT_EQ(ServicesOf(kFolio), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");
    EXPECT_THAT(Logged(), SizeIs(run));
  }
}

// The screen asks for INISERV once, as it opens; the database asks as the counters change. An
// operator whose permission is revoked meanwhile (by an administrator's program) is refused,
// and nothing is written.
TEST_F(CounterInitializationTest, AnOperatorWhoLostThePermissionMeanwhileIsRefused) {
  if (TestBackend() == Backend::kPostgreSql)
    GTEST_SKIP() << "the test server's session is the tables' owner, whose statements are "
                    "taken as written (tests/server holds its logins to their permissions)";
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}, {"VISITA", 1, 0, 1}});
  db.Execute(
      "DELETE FROM operator_permission WHERE user_code = 'CAPTURA' AND permission_key = "
      "'INISERV'");
  const std::vector<std::string> stored = Stored();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  EXPECT_EQ(LastMessage(),
            "ERROR|16|ERR-ID:7500001|Operación cancelada debido al siguiente error: \r\n" +
                host::CounterChangeRefusal(kOperatorWithoutPermissions, kFolio));
  EXPECT_EQ(Stored(), stored);
  EXPECT_THAT(Listed(), ElementsAre("SOPREM 10/7.5", "VISITA 1/1"));
  EXPECT_FALSE(db.db().InTransaction());
}

}  // namespace
}  // namespace nv407::testing
