#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "screen_steps.h"

namespace nv407::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

// The demo product text of the policy type MANT90, which ends in a line break.
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
      "INSERT INTO Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, Tps_Descripcion, "
      "Pr_Cve_Producto, Tps_Tipo, Tps_Valor, Es_Cve_Estado) "
      "VALUES ('SINPROD', 'Sin producto', NULL, 3, 1, 'AC')");
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
                 "9:00 a 18:00 horas. Incluye una visita de mantenimiento preventivo al me|50"},
        Proposal{"ASESOR", "Asesoría en sistemas administrativos||50"},  // no stored text
        Proposal{"SINPROD", "||50"},  // no product: the held concept, empty
        Proposal{"", ""}, Proposal{"NOEXISTE", ""}, Proposal{"BASICA", ""}));

TEST_F(ExtendedDescriptionTest, ProposesAgainOnlyAfterTheTextWasEmptied) {
  GivenNewPolicyOfType("MANT90");
  WhenEditorReturns("Concepto revisado", "Texto revisado");
  WhenClick("cmdDescripcion");

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

struct Failure {
  const char* name;
  const char* setup;    // statement that breaks the proposal for MANT90
  const char* message;  // part of the message the user sees
  friend void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }
};

class ProposalFailureTest : public ExtendedDescriptionTest,
                            public ::testing::WithParamInterface<Failure> {};

// One "ERROR" message from the host, no editor, and the screen's state as it was.
TEST_P(ProposalFailureTest, ShowsOneMessageAndChangesNothing) {
  GivenNewPolicyOfType("MANT90");
  db.Execute(GetParam().setup);

  WhenClick("cmdDescripcion");

  EXPECT_THAT(OnlyMessage(), AllOf(StartsWith("ERROR|16|"), HasSubstr(GetParam().message)));
  EXPECT_THAT(EditorCalls(), IsEmpty());
  EXPECT_EQ(Screen().state.conceptText + Screen().state.extendedDescription, "");
  EXPECT_EQ(Text("txt_Concepto"), "Concepto anterior");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProposalFailureTest,
    ::testing::Values(
        Failure{"ProductTextTooShort",
                "UPDATE product_text SET text = 'X' WHERE product_code = 'POL-MANT-TRI'",
                "El texto del producto del tipo de póliza MANT90 tiene menos de dos caracteres"},
        Failure{"ProductQueryRefused",
                "ALTER TABLE Producto RENAME COLUMN Pr_Descripcion TO Pr_Nombre", "Pr_Descripcion"},
        Failure{"ProductTextUnreadable", "ALTER TABLE product_text RENAME TO product_text_old",
                "product_text"}),
    [](const ::testing::TestParamInfo<Failure>& info) { return info.param.name; });

}  // namespace
}  // namespace nv407::testing
