#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "component/error.h"
#include "host/headless/control_factory.h"
#include "host/headless/scripted_dialogs.h"
#include "screen/layout.h"
#include "support/test_database.h"
#include "support/test_form.h"

namespace nv407::testing {
namespace {

using host::HeadlessToolbar;
using host::ToolbarCommand;

ControlLayout ToolbarRow() {
  for (const ControlLayout& row : frmNV407Layout().controls)
    if (row.kind == ControlKind::kToolbar) return row;
  throw Error("no toolbar in the layout");
}

class ToolbarTest : public ::testing::Test {
 protected:
  ToolbarTest() {
    ToolbarEvents handlers;
    auto record = [this](std::string name) {
      return [this, name] { events.push_back(name + (toolbar().Busy() ? " busy" : " idle")); };
    };
    handlers.Nuevo = record("Nuevo");
    handlers.Modificar = record("Modificar");
    handlers.Consultar = record("Consultar");
    handlers.Baja = record("Baja");
    handlers.Cancelar = record("Cancelar");
    handlers.Salir = record("Salir");
    handlers.Aceptar = [this](std::int16_t& argument) {
      events.push_back("Aceptar " + std::to_string(argument));
    };
    toolbar().SetEvents(handlers);
  }

  HeadlessToolbar& toolbar() { return form.Get<HeadlessToolbar>("Controles"); }
  std::set<std::string> Available() {
    std::set<std::string> names;
    for (ToolbarCommand command : host::kToolbarCommands)
      if (toolbar().CommandEnabled(command)) names.emplace(host::ToolbarCommandName(command));
    return names;
  }
  // A live policy is shown, as the folio load leaves it.
  void ShowLivePolicy() {
    toolbar().SetFlag(ToolbarFlag::kLoaded, true);
    toolbar().SetFlag(ToolbarFlag::kActive1, true);
  }

  TestDatabase db;
  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory{db.db(), dialogs};
  TestForm form{factory, {ToolbarRow()}};
  std::vector<std::string> events;
};

TEST_F(ToolbarTest, OffersTheCommandsThatFitWhatTheScreenShows) {
  EXPECT_EQ(Available(), std::set<std::string>{"Salir"}) << "before the screen is ready";
  toolbar().SetReady(true);
  EXPECT_EQ(Available(), (std::set<std::string>{"Nuevo", "Salir"}));

  toolbar().SetFlag(ToolbarFlag::kLoaded, true);
  EXPECT_EQ(Available(), (std::set<std::string>{"Nuevo", "Consultar", "Salir"}))
      << "a cancelled policy is shown";
  toolbar().SetFlag(ToolbarFlag::kActive1, true);
  EXPECT_EQ(Available(),
            (std::set<std::string>{"Nuevo", "Modificar", "Consultar", "Baja", "Salir"}));

  toolbar().UserPress("Modificar");
  EXPECT_EQ(Available(), (std::set<std::string>{"Aceptar", "Cancelar", "Salir"}));
  toolbar().UserPress("Cancelar");
  toolbar().UserPress("Nuevo");
  EXPECT_EQ(Available(), (std::set<std::string>{"Aceptar", "Cancelar", "Salir"}));
}

TEST_F(ToolbarTest, RefusesACommandThatIsNotAvailable) {
  toolbar().SetReady(true);
  for (const char* command : {"Aceptar", "Cancelar", "Modificar", "Baja", "Consultar"}) {
    SCOPED_TRACE(command);
    try {
      toolbar().UserPress(command);
      ADD_FAILURE() << "pressed";
    } catch (const Error& error) {
      EXPECT_EQ(error.Description(), std::string(command) + " is not available");
    }
  }
  EXPECT_THROW(toolbar().UserPress("Guardar"), Error);
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(toolbar().Busy());
}

TEST_F(ToolbarTest, ModeDecidesBusyAndTheAceptarArgument) {
  toolbar().SetReady(true);
  toolbar().UserPress("Nuevo");
  toolbar().UserPress("Aceptar");
  toolbar().AcceptFailed();
  EXPECT_TRUE(toolbar().Busy()) << "a failed save keeps the capture open";
  toolbar().UserPress("Aceptar");
  toolbar().AcceptSucceeded();
  EXPECT_FALSE(toolbar().Busy());

  ShowLivePolicy();
  toolbar().UserPress("Modificar");
  toolbar().UserPress("Aceptar");
  toolbar().UserPress("Cancelar");
  toolbar().UserPress("Baja");
  toolbar().UserPress("Consultar");
  toolbar().UserPress("Salir");

  EXPECT_EQ(events, (std::vector<std::string>{"Nuevo busy", "Aceptar 1", "Aceptar 1",
                                              "Modificar busy", "Aceptar 0", "Cancelar idle",
                                              "Baja idle", "Consultar idle", "Salir idle"}));
}

TEST_F(ToolbarTest, StartModesActAsTheirButtonsWhenThoseAreAvailable) {
  toolbar().SetReady(true);
  toolbar().StartEdit();
  EXPECT_TRUE(events.empty()) << "no live policy to edit";
  EXPECT_EQ(toolbar().Mode(), host::ToolbarMode::kIdle);

  ShowLivePolicy();
  toolbar().StartEdit();
  EXPECT_EQ(toolbar().Mode(), host::ToolbarMode::kEditing);
  toolbar().StartNew();
  EXPECT_EQ(events, std::vector<std::string>{"Modificar busy"}) << "already capturing";

  toolbar().UserPress("Cancelar");
  toolbar().StartNew();
  EXPECT_EQ(toolbar().Mode(), host::ToolbarMode::kNew);
  EXPECT_EQ(events.back(), "Nuevo busy");
}

TEST_F(ToolbarTest, FailingHandlerIsShownAndTheModeChangeStands) {
  toolbar().SetReady(true);
  ToolbarEvents failing;
  failing.Nuevo = [] { throw Error("Sin folios"); };
  toolbar().SetEvents(failing);
  toolbar().UserPress("Nuevo");
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].request.text, "Sin folios");
  EXPECT_EQ(dialogs.Messages()[0].request.error_id, "ERR-ID:0000000");
  EXPECT_TRUE(toolbar().CommandEnabled(ToolbarCommand::kCancelar));
}

using Fields = std::vector<std::pair<std::string, std::string>>;

TEST_F(ToolbarTest, AdditionalFieldsRoundTripThroughTheHostTables) {
  toolbar().SetReady(true);
  toolbar().UserPress("Nuevo");
  EXPECT_EQ(toolbar().AdditionalFields(), (Fields{{"CONTACTO", ""}, {"ORDEN_COMPRA", ""}}));
  toolbar().UserSetAdditionalField("CONTACTO", "Ana O'Neil");
  ASSERT_TRUE(toolbar().SaveAdditionalFields("MTY-000001"));
  toolbar().UserSetAdditionalField("ORDEN_COMPRA", "OC-77");
  ASSERT_TRUE(toolbar().SaveAdditionalFields("MTY-000001")) << "saving again updates";

  toolbar().LoadAdditionalFields("GDL-000001");
  EXPECT_EQ(toolbar().AdditionalFields(), (Fields{{"CONTACTO", ""}, {"ORDEN_COMPRA", ""}}));
  toolbar().LoadAdditionalFields("MTY-000001");
  EXPECT_EQ(toolbar().AdditionalFields(),
            (Fields{{"CONTACTO", "Ana O'Neil"}, {"ORDEN_COMPRA", "OC-77"}}));
  EXPECT_EQ(db.Count("additional_field_value", "record_key = 'MTY-000001'"), 2);

  toolbar().UserPress("Cancelar");
  toolbar().UserPress("Nuevo");
  EXPECT_EQ(toolbar().AdditionalFields(), (Fields{{"CONTACTO", ""}, {"ORDEN_COMPRA", ""}}))
      << "a new capture starts from the defaults";
}

TEST_F(ToolbarTest, AdditionalFieldsJoinTheScreensTransaction) {
  toolbar().SetReady(true);
  toolbar().UserPress("Nuevo");
  toolbar().UserSetAdditionalField("CONTACTO", "Luis");
  db.db().ForScreen().BeginTrans();
  ASSERT_TRUE(toolbar().SaveAdditionalFields("MTY-000002"));
  db.db().ForScreen().RollbackTrans();
  EXPECT_EQ(db.Count("additional_field_value"), 0);
}

TEST_F(ToolbarTest, RefusedAdditionalFieldsAreReportedNotThrown) {
  toolbar().SetReady(true);
  toolbar().UserPress("Nuevo");
  db.Execute("DROP TABLE additional_field_value");
  EXPECT_FALSE(toolbar().SaveAdditionalFields("MTY-000003"));
}

TEST_F(ToolbarTest, AdditionalFieldsAreEditedOnlyWhileCapturing) {
  toolbar().SetReady(true);
  EXPECT_THROW(toolbar().UserSetAdditionalField("CONTACTO", "x"), Error);
  toolbar().UserPress("Nuevo");
  EXPECT_THROW(toolbar().UserSetAdditionalField("NO_EXISTE", "x"), Error);
}

}  // namespace
}  // namespace nv407::testing
