#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

using Statement = std::pair<std::string, std::string>;

// The demo product texts of the policy types MANT90 (ending in a line break) and SOPMEN.
constexpr const char* kTrimestralText =
    "Mantenimiento preventivo de equipo de cómputo y respaldo de información cada mes durante "
    "tres meses.";
constexpr const char* kMensualText =
    "Soporte telefónico y remoto de lunes a viernes de 9:00 a 18:00 horas. Incluye una visita de "
    "mantenimiento preventivo al mes.";

class ExtendedDescriptionTest : public ScreenTest {
 protected:
  // A new capture whose policy type is typed (nothing when `type` is empty), with a
  // concept already in its field.
  void GivenNewPolicyOfType(const std::string& type) {
    GivenOpenScreen();
    WhenPress("Nuevo");
    if (!type.empty()) WhenType("txt_Tps_Cve_Tipo_Poliza", type);
    WhenType("txt_Concepto", "Concepto anterior");
  }

  std::vector<host::EditorCall> EditorCalls() { return host().dialogs().EditorCalls(); }
  ScreenState State() { return Screen().state; }
  static Statement ProductQuery(const std::string& type) {
    return {"screen",
            "SELECT Tipo_Poliza_Servicio.Pr_Cve_Producto, Pr_Descripcion FROM "
            "Tipo_Poliza_Servicio    INNER JOIN Producto ON Tipo_Poliza_Servicio.Pr_Cve_Producto "
            "= Producto.Pr_Cve_Producto WHERE Tps_Cve_Tipo_Poliza_Servicio = '" +
                type + "'"};
  }
};

// Nothing typed, an unknown key and a withdrawn type all leave the description empty.
class WithoutPolicyTypeTest : public ExtendedDescriptionTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(WithoutPolicyTypeTest, OpensNoEditor) {
  GivenNewPolicyOfType(GetParam());
  ASSERT_EQ(Text("txt_Tps_Descripcion"), "");
  const auto& trace = db.TraceStatements();

  WhenClick("cmdDescripcion");

  EXPECT_THAT(EditorCalls(), IsEmpty());
  EXPECT_THAT(trace, IsEmpty());
  EXPECT_THAT(Messages(), IsEmpty());
  EXPECT_EQ(Text("txt_Concepto"), "Concepto anterior");
}

INSTANTIATE_TEST_SUITE_P(NoneTypedUnknownOrWithdrawn, WithoutPolicyTypeTest,
                         ::testing::Values("", "NOEXISTE", "BASICA"));

struct Proposal {
  const char* type;
  const char* concept_text;  // what the editor is opened with
  std::string text;
};

class FirstUseTest : public ExtendedDescriptionTest,
                     public ::testing::WithParamInterface<Proposal> {};

// The stored text loses its last two characters whether or not they are a line break.
TEST_P(FirstUseTest, ProposesTheProductsDescriptionAndText) {
  const Proposal& proposal = GetParam();
  GivenNewPolicyOfType(proposal.type);
  WhenEditorReturns("Concepto revisado", "Texto revisado");

  WhenClick("cmdDescripcion");

  ASSERT_THAT(EditorCalls(), SizeIs(1));
  EXPECT_EQ(EditorCalls()[0].concept_text, proposal.concept_text);
  EXPECT_EQ(EditorCalls()[0].text, proposal.text);
  EXPECT_EQ(EditorCalls()[0].width, 50);
  EXPECT_EQ(Text("txt_Concepto"), "Concepto revisado");
  EXPECT_EQ(State().conceptText, "Concepto revisado");
  EXPECT_EQ(State().extendedDescription, "Texto revisado");
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    ByProduct, FirstUseTest,
    ::testing::Values(
        Proposal{"MANT90", "Póliza de mantenimiento trimestral", kTrimestralText},
        Proposal{"SOPMEN", "Póliza de soporte mensual",
                 std::string(kMensualText).substr(0, std::string(kMensualText).size() - 2)},
        // A product without a stored text.
        Proposal{"ASESOR", "Asesoría en sistemas administrativos", ""}));

TEST_F(ExtendedDescriptionTest, ProposesAgainOnlyAfterTheTextWasEmptied) {
  GivenNewPolicyOfType("MANT90");
  WhenEditorReturns("Concepto revisado", "Texto revisado");
  WhenClick("cmdDescripcion");

  // With a text: the editor opens on it and on the concept as the user left it.
  WhenType("txt_Concepto", "Concepto tecleado");
  const auto& trace = db.TraceStatements();
  WhenEditorReturns("Concepto final", "");
  WhenClick("cmdDescripcion");
  ASSERT_THAT(EditorCalls(), SizeIs(2));
  EXPECT_EQ(EditorCalls()[1].concept_text, "Concepto tecleado");
  EXPECT_EQ(EditorCalls()[1].text, "Texto revisado");
  EXPECT_THAT(trace, IsEmpty());
  EXPECT_EQ(Text("txt_Concepto"), "Concepto final");

  // Emptied: the product is asked again.
  WhenClick("cmdDescripcion");
  ASSERT_THAT(EditorCalls(), SizeIs(3));
  EXPECT_EQ(EditorCalls()[2].concept_text, "Póliza de mantenimiento trimestral");
  EXPECT_EQ(EditorCalls()[2].text, kTrimestralText);
  EXPECT_THAT(trace, Contains(ProductQuery("MANT90")));
}

TEST_F(ExtendedDescriptionTest, ATypeWithoutProductOpensAnEmptyTextOnTheHeldConcept) {
  db.Execute(
      "INSERT INTO Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, Tps_Descripcion, "
      "Pr_Cve_Producto, Tps_Tipo, Tps_Valor, Es_Cve_Estado) "
      "VALUES ('SINPROD', 'Sin producto', NULL, 3, 1, 'AC')");
  GivenNewPolicyOfType("SINPROD");
  const auto& trace = db.TraceStatements();

  WhenClick("cmdDescripcion");

  EXPECT_THAT(trace, ElementsAre(ProductQuery("SINPROD")));
  ASSERT_THAT(EditorCalls(), SizeIs(1));
  EXPECT_EQ(EditorCalls()[0].concept_text, "");
  EXPECT_EQ(EditorCalls()[0].text, "");
  EXPECT_EQ(Text("txt_Concepto"), "");  // the held concept replaces what the field showed
}

struct Failure {
  const char* name;
  const char* setup;    // statement that breaks the proposal for MANT90
  const char* message;  // part of the message the user sees
};

class ProposalFailureTest : public ExtendedDescriptionTest,
                            public ::testing::WithParamInterface<Failure> {};

// One "ERROR" message from the host, no editor, and the screen's state as it was.
TEST_P(ProposalFailureTest, ShowsOneMessageAndChangesNothing) {
  GivenNewPolicyOfType("MANT90");
  db.Execute(GetParam().setup);

  WhenClick("cmdDescripcion");

  ASSERT_THAT(Messages(), SizeIs(1));
  const host::MessageRequest message = Messages()[0].request;
  EXPECT_THAT(message.text, HasSubstr(GetParam().message));
  EXPECT_EQ(message.title, "ERROR");
  EXPECT_EQ(message.style, 16);
  EXPECT_THAT(EditorCalls(), IsEmpty());
  EXPECT_EQ(State().conceptText, "");
  EXPECT_EQ(State().extendedDescription, "");
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

TEST_F(ExtendedDescriptionTest, TheEditedTextAndConceptAreSavedWithThePolicy) {
  GivenNewPolicyOfType("MANT90");
  WhenType("txt_Sc_Cve_Sucursal", "MTY");
  WhenType("txt_Vn_Cve_Vendedor", "V001");
  WhenType("txt_Cl_Cve_Cliente", "C00002");
  WhenChoose("cbCorte", "10");
  WhenEditorReturns("Mantenimiento de la planta", "Incluye la planta 'Norte'\r\ny la bodega");
  WhenClick("cmdDescripcion");

  WhenPress("Aceptar");

  ASSERT_THAT(Messages(), IsEmpty());
  const std::string folio = db.Scalar("SELECT Ps_Folio FROM Poliza_Servicio");
  EXPECT_EQ(db.Scalar("SELECT text FROM extended_text WHERE table_name = 'Poliza_Servicio' "
                      "AND entry_code = '0001' AND record_key = " +
                      Quote(folio)),
            "Incluye la planta 'Norte'\r\ny la bodega");
  EXPECT_EQ(db.Scalar("SELECT Ps_Concepto FROM Poliza_Servicio"), "Mantenimiento de la planta");
}

}  // namespace
}  // namespace nv407::testing
