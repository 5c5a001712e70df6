#include <sstream>
#include <utility>

#include "screen_steps.h"
#include "support/test_backend.h"

namespace nv407::testing {
namespace {

Date Ymd(int y, int m, int d) {
  return Date::FromYmd(y, m, d);
}

// A new capture on the pinned day (15 March 2024): the operator enters the policy type and
// the screen fills the included services and the end date.
class PolicyTypeTest : public PolicyScreenTest {
 protected:
  void GivenNewCapture() {
    GivenOpenScreen();
    WhenPress("Nuevo");
  }
  // New captures start on the server's date and time; the end date keeps that time.
  Date EndDay() { return DateIn("dp_Ps_Fecha_Fin").value_or(Date()).DateOnly(); }
};

TEST_F(PolicyTypeTest, ChosenTypeListsItsServicesUnusedAndSetsTheEndDate) {
  GivenNewCapture();
  const int formatted = host().Get<host::HeadlessListView>("lvServicios").FitCount();

  WhenType("txt_Tps_Cve_Tipo_Poliza", "sopanual");
  EXPECT_THAT(
      SortedServices(),
      ElementsAre(Row{"KCAPACIT", "CAPACIT", "Curso de capacitación", "EV", "2", "0"},
                  Row{"KSOPREM", "SOPREM", "Soporte remoto", "HR", "120", "0"},
                  Row{"KSOPSITIO", "SOPSITIO", "Soporte en sitio", "HR", "24", "0"},
                  Row{"KVISITA", "VISITA", "Visita de mantenimiento preventivo", "EV", "12", "0"}));
  EXPECT_EQ(EndDay(), Ymd(2025, 3, 14));
  EXPECT_EQ(host().Get<host::HeadlessListView>("lvServicios").FitCount(), formatted + 1);

  // Another type, then the same again after a new start: its rows once, a fractional
  // quantity in plain form, the end date from the new start.
  WhenType("txt_Tps_Cve_Tipo_Poliza", "GAR12");
  EXPECT_EQ(EndDay(), Ymd(2024, 6, 6));
  WhenPick("dp_Ps_Fecha_Inicio", Ymd(2024, 1, 31));
  WhenType("txt_Tps_Cve_Tipo_Poliza", "GAR12");
  EXPECT_THAT(Services(),
              ElementsAre(Row{"KSOPSITIO", "SOPSITIO", "Soporte en sitio", "HR", "8.5", "0"}));
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 4, 23));
  EXPECT_THAT(Messages(), IsEmpty());
}

// A server keeps a changed row where it has room, and returns rows in that order where a
// statement names none: the list follows the services' keys on every database.
TEST_F(PolicyTypeTest, ListsTheServicesByTheirKeysWhereverTheDatabaseKeepsThem) {
  for (const char* table : {"Tipo_Poliza_Servicio_Tipo_Servicio", "Tipo_Servicio"}) {
    for (const char* code : {"SOPREM", "CAPACIT"})
      db.Execute(std::string("UPDATE ") + table + " SET Ts_Cve_Tipo_Servicio = " +
                 "Ts_Cve_Tipo_Servicio WHERE Ts_Cve_Tipo_Servicio = '" + code + "'");
  }
  GivenNewCapture();

  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");

  EXPECT_THAT(ServiceCodes(), ElementsAre("CAPACIT", "SOPREM", "SOPSITIO", "VISITA"));
}

TEST_F(PolicyTypeTest, ClearedOrRefusedTypeEmptiesTheListAndEndsOnTheStartDate) {
  GivenNewCapture();
  WhenPick("dp_Ps_Fecha_Inicio", Ymd(2024, 5, 10));

  for (const std::string typed : {"", "NOEXISTE", "BASICA"}) {
    SCOPED_TRACE(typed);
    WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
    ASSERT_THAT(Services(), SizeIs(4));

    WhenType("txt_Tps_Cve_Tipo_Poliza", typed);

    EXPECT_THAT(Services(), IsEmpty());
    EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 5, 10));
  }
  EXPECT_THAT(Messages(), IsEmpty());
}

// A policy stored without its start date (written by another program) counts no end date
// from it: the message says what is missing.
TEST_F(PolicyTypeTest, WithoutAStartDateTheTypeAsksForIt) {
  PolicyRow policy;
  GivenPolicy(policy);
  db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Inicia = NULL");
  GivenOpenScreen();
  WhenType("txtFolio", policy.folio);
  WhenPress("Modificar");
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
  EXPECT_EQ(OnlyMessage(),
            "ERROR|16|ERR-ID:0000000|Escriba la fecha inicial: la fecha final del tipo de póliza "
            "se cuenta desde ella.");
}

// The length in its unit (1 days, 2 weeks, 3 months, 4 years) from the start date, minus
// one day; months and years end on the last day of a shorter target month.
// Each case is "unit length start end".
class PolicyTypeEndDateTest : public PolicyTypeTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(PolicyTypeEndDateTest, EndDateFollowsTheTypeLength) {
  std::istringstream c(GetParam());
  int unit = 0, length = 0;
  std::string start, end;
  c >> unit >> length >> start >> end;
  db.AddPolicyType("PRUEBA", "Póliza de prueba", "POL-SOP-MEN", unit, length, {{"SOPREM", 1}});
  GivenNewCapture();
  WhenPick("dp_Ps_Fecha_Inicio", *Date::Parse(start));

  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");

  EXPECT_EQ(DateIn("dp_Ps_Fecha_Inicio").value_or(Date()).ToIsoDate() + " " +
                DateIn("dp_Ps_Fecha_Fin").value_or(Date()).ToIsoDate(),
            start + " " + end);
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Units, PolicyTypeEndDateTest,
    ::testing::Values(
        "1 30 2024-01-01 2024-01-30", "1 1 2024-02-28 2024-02-28", "1 2 2024-02-28 2024-02-29",
        "1 0 2024-03-01 2024-02-29", "2 2 2024-06-01 2024-06-14", "2 1 2024-12-28 2025-01-03",
        "3 1 2023-01-31 2023-02-27", "3 1 2024-01-31 2024-02-28", "3 12 2024-03-15 2025-03-14",
        "3 1 2024-12-31 2025-01-30", "3 13 2024-01-31 2025-02-27", "3 3 2024-11-30 2025-02-27",
        "4 1 2024-02-29 2025-02-27", "4 4 2024-02-29 2028-02-28", "4 1 2023-03-01 2024-02-29",
        // Ending on the last day dates reach, the day after it out of their reach.
        "1 365 9999-01-01 9999-12-31", "1 1 9999-12-31 9999-12-31", "2 1 9999-12-25 9999-12-31",
        "3 1 9999-12-01 9999-12-31", "3 12 9999-01-01 9999-12-31", "4 1 9999-01-01 9999-12-31",
        "3 1 9999-11-30 9999-12-29"));

// A type whose length or services cannot be read is refused as a whole: one message, and
// the key field refuses the type as it refuses an unknown one, so that it cannot be saved.
// What breaks the stored type, and the message.
using BrokenTypeCase = std::pair<std::string, std::string>;

class PolicyTypeBrokenTest : public PolicyTypeTest,
                             public ::testing::WithParamInterface<BrokenTypeCase> {};

TEST_P(PolicyTypeBrokenTest, BrokenTypeShowsOneErrorAndIsRefused) {
  // A text where a number goes: only SQLite's columns, typed by their values, hold one.
  if (TestBackend() == Backend::kPostgreSql &&
      GetParam().second.find("no tiene un número") != std::string::npos)
    GTEST_SKIP() << "a server's number columns hold no text";
  // Given a type chosen while it was sound, and the type broken afterwards
  db.AddServiceType("ZZZ", "Servicio tardío", false);
  db.AddPolicyType("PRUEBA", "Póliza de prueba", "POL-SOP-MEN", 3, 6,
                   {{"SOPREM", 10}, {"VISITA", 2}, {"ZZZ", 3}});
  GivenNewCapture();
  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");
  const std::vector<Row> services = Services();
  WhenPick("dp_Ps_Fecha_Inicio", Ymd(2024, 7, 1));
  db.Execute(GetParam().first);

  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");

  EXPECT_EQ(OnlyMessage(), "ERROR|16|ERR-ID:0000000|" + GetParam().second);
  EXPECT_THAT(services, SizeIs(3));
  EXPECT_EQ(Text("txt_Tps_Descripcion"), "");
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 7, 1));
  EXPECT_EQ(Focus(), "txt_Tps_Cve_Tipo_Poliza");
  WhenTypeEach({"txt_Sc_Cve_Sucursal", "MTY", "txt_Vn_Cve_Vendedor", "V001", "txt_Cl_Cve_Cliente",
                "C00001"});
  WhenChoose("cbCorte", "5");
  const std::vector<std::string> stored = Stored();
  WhenPress("Aceptar");
  EXPECT_EQ(LastMessage(),
            "Datos incompletos|16|ERR-ID:7500005|Debe especificar el tipo de póliza");
  EXPECT_EQ(Stored(), stored);
  // and the screen goes on working
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 7, 31));
}

const std::string kPrueba = "El tipo de póliza de servicio 'PRUEBA' ";
const std::string kOutOfRange = "Fecha fuera del intervalo admitido: los años van del 100 al 9999";
const std::string kZzz = "El servicio 'ZZZ' del tipo de póliza de servicio 'PRUEBA' no tiene ";

INSTANTIATE_TEST_SUITE_P(
    Cases, PolicyTypeBrokenTest,
    ::testing::Values(
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = 5 "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "tiene una unidad de duración no válida (Tps_Tipo = 5); debe ser "
                                 "1 (días), 2 (semanas), 3 (meses) o 4 (años)."},
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio SET Tps_Valor = NULL "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "no tiene duración (Tps_Valor)."},
        // Texts another tool wrote where numbers go.
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = 'meses' "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "no tiene un número en Tps_Tipo ('meses')."},
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio SET Tps_Valor = '' "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "no tiene un número en Tps_Valor ('')."},
        // Lengths whose end date no date can hold.
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = 1, Tps_Valor = 3000000 "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kOutOfRange},
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = 4, Tps_Valor = 40000 "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kOutOfRange},
        BrokenTypeCase{"UPDATE Tipo_Poliza_Servicio_Tipo_Servicio SET Tpt_Cantidad = NULL "
                       "WHERE Ts_Cve_Tipo_Servicio = 'ZZZ'",
                       kZzz + "cantidad incluida (Tpt_Cantidad)."}));

// The demo product text of the policy type MANT90, less the line end it ends in.
constexpr const char* kTrimestralText =
    "Mantenimiento preventivo de equipo de cómputo y respaldo de información cada mes durante "
    "tres meses.";

class ExtendedDescriptionTest : public PolicyScreenTest {
 protected:
  // A new capture of the policy type (none when empty), with a concept in its field.
  void GivenNewPolicyOfType(const std::string& type) {
    GivenOpenScreen();
    WhenPress("Nuevo");
    if (!type.empty()) WhenType("txt_Tps_Cve_Tipo_Poliza", type);
    WhenType("txt_Concepto", "Concepto anterior");
  }
  std::vector<host::EditorCall> EditorCalls() { return host().dialogs().EditorCalls(); }
  // An editor call as "concept|text|width".
  std::string Opened(std::size_t call) {
    const host::EditorCall c = EditorCalls().at(call);
    return c.concept_text + "|" + c.text + "|" + std::to_string(c.width);
  }
};

struct Proposal {
  const char* type;
  std::string opened;  // the editor's "concept|text|width"; "" when it does not open
};

class FirstUseTest : public ExtendedDescriptionTest,
                     public ::testing::WithParamInterface<Proposal> {};

// The product's description and its stored text less its last two characters, whether or
// not they are a line break; the concept comes back from the editor into its field. Without
// a policy type's description there is nothing to propose, and nothing is asked.
TEST_P(FirstUseTest, ProposesTheProductsDescriptionAndText) {
  db.Execute(
      "INSERT INTO Producto (Pr_Cve_Producto, Pr_Descripcion) VALUES ('POL-SINFIN', 'Sin fin')");
  db.Execute(
      "INSERT INTO Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, Tps_Descripcion, "
      "Pr_Cve_Producto, Tps_Tipo, Tps_Valor, Es_Cve_Estado) "
      "VALUES ('SINPROD', 'Sin producto', NULL, 3, 1, 'AC'), "
      "('SINFIN', 'Texto sin fin de línea', 'POL-SINFIN', 3, 1, 'AC')");
  db.Execute(
      "INSERT INTO product_text (product_code, text) VALUES ('POL-SINFIN', 'Soporte al mes.')");
  GivenNewPolicyOfType(GetParam().type);
  WhenEditorReturns("Concepto revisado", "Texto revisado");
  const auto& trace = db.TraceStatements();

  WhenClick("cmdDescripcion");

  EXPECT_THAT(Messages(), IsEmpty());
  if (GetParam().opened.empty()) {
    EXPECT_THAT(EditorCalls(), IsEmpty());
    EXPECT_THAT(trace, IsEmpty());
    EXPECT_EQ(Text("txt_Concepto"), "Concepto anterior");
    return;
  }
  ASSERT_THAT(EditorCalls(), SizeIs(1));
  EXPECT_EQ(Opened(0), GetParam().opened);
  EXPECT_THAT(ByScreen(trace), SizeIs(1));  // the product's query
  EXPECT_EQ(Text("txt_Concepto") + "|" + Screen().state.conceptText + "|" +
                Screen().state.extendedDescription,
            "Concepto revisado|Concepto revisado|Texto revisado");
}

INSTANTIATE_TEST_SUITE_P(
    ByProduct, FirstUseTest,
    ::testing::Values(
        Proposal{"MANT90",
                 std::string("Póliza de mantenimiento trimestral|") + kTrimestralText + "|50"},
        Proposal{"SOPMEN",
                 "Póliza de soporte mensual|Soporte telefónico y remoto de lunes a viernes de "
                 "9:00 a 18:00 horas. Incluye una visita de mantenimiento preventivo al mes.|50"},
        Proposal{"SINFIN", "Sin fin|Soporte al me|50"},  // no line end: two letters go
        Proposal{"ASESOR", "Asesoría en sistemas administrativos||50"},  // no stored text
        Proposal{"SINPROD", "||50"},  // no product: the held concept, empty
        Proposal{"", ""}, Proposal{"NOEXISTE", ""}, Proposal{"BASICA", ""}));

TEST_F(ExtendedDescriptionTest, ProposesAgainOnlyAfterTheTextWasEmptied) {
  GivenNewPolicyOfType("MANT90");
  // An editor's NUL never reaches a field or a statement.
  WhenEditorReturns(std::string("Concepto\0 revisado", 18), std::string("Texto\0 revisado", 15));
  WhenClick("cmdDescripcion");
  EXPECT_EQ(Text("txt_Concepto") + "|" + Screen().state.extendedDescription,
            "Concepto revisado|Texto revisado");

  // With a text: the editor opens on it and on the concept as the user left it.
  WhenType("txt_Concepto", "Concepto tecleado");
  const auto& trace = db.TraceStatements();
  WhenEditorReturns("Concepto final", "");
  WhenClick("cmdDescripcion");
  EXPECT_EQ(Opened(1), "Concepto tecleado|Texto revisado|50");
  EXPECT_THAT(trace, IsEmpty());
  EXPECT_EQ(Text("txt_Concepto"), "Concepto final");

  // Emptied: the product is asked again.
  WhenClick("cmdDescripcion");
  EXPECT_EQ(Opened(2),
            std::string("Póliza de mantenimiento trimestral|") + kTrimestralText + "|50");
  EXPECT_THAT(ByScreen(trace), SizeIs(1));
}

// The statement that breaks the proposal for MANT90, and part of the message the user sees.
using Failure = std::pair<const char*, const char*>;

class ProposalFailureTest : public ExtendedDescriptionTest,
                            public ::testing::WithParamInterface<Failure> {};

// One "ERROR" message from the host, no editor, and the screen's state as it was.
TEST_P(ProposalFailureTest, ShowsOneMessageAndChangesNothing) {
  GivenNewPolicyOfType("MANT90");
  db.Execute(GetParam().first);

  WhenClick("cmdDescripcion");

  // PostgreSQL names tables and columns in lower case.
  EXPECT_THAT(OnlyMessage(), StartsWith("ERROR|16|"));
  EXPECT_THAT(Lowercase(LastMessage()), HasSubstr(Lowercase(GetParam().second)));
  EXPECT_THAT(EditorCalls(), IsEmpty());
  EXPECT_EQ(Screen().state.conceptText + Screen().state.extendedDescription, "");
  EXPECT_EQ(Text("txt_Concepto"), "Concepto anterior");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProposalFailureTest,
    ::testing::Values(
        Failure{"UPDATE product_text SET text = 'X' WHERE product_code = 'POL-MANT-TRI'",
                "El texto del producto del tipo de póliza MANT90 tiene menos de dos caracteres"},
        Failure{"ALTER TABLE Producto RENAME COLUMN Pr_Descripcion TO Pr_Nombre", "Pr_Descripcion"},
        Failure{"ALTER TABLE product_text RENAME TO product_text_old", "product_text"}));

}  // namespace
}  // namespace nv407::testing
