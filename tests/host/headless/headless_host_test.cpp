#include "host/headless/headless_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "component/error.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;
class HeadlessHostTest : public ScreenTest {
 protected:
  // The component as the programs load it: the shared library, opened at run time.
  std::unique_ptr<host::HeadlessHost> PluginHost() {
    return std::make_unique<host::HeadlessHost>(
        db.db(), host::SessionSettings{kOperatorWithPermissions, db.clock()});
  }
};

TEST_F(HeadlessHostTest, LoadedLibraryHandsOutOneScreenAndItsModuleOnceAtATime) {
  auto plugin = PluginHost();
  Pantalla& pantalla = plugin->LoadComponent();
  auto* first = pantalla.GetPantalla();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(pantalla.GetPantalla(), first);
  EXPECT_EQ(pantalla.Modulo().ToText(), "SERVICIOS");
  plugin->Open();
  EXPECT_EQ(&plugin->screen(), first);
  // Errors raised inside the library reach the host as the component's own type.
  EXPECT_THROW(plugin->Type("txt_Sc_Cve_Sucursal", "X"), Error);
  // One loaded library at a time, but afresh after its host is gone.
  EXPECT_THROW(PluginHost()->LoadComponent(), Error);
  // Closing the library ends the component, and with it the screen and its hold on Padre.
  const std::weak_ptr<HostWindow> padre = first->Padre();
  plugin.reset();
  EXPECT_TRUE(padre.expired()) << "the closed library's component was never destroyed";
  auto again = PluginHost();
  again->Open("NUEVO");
  EXPECT_TRUE(again->Snapshot().toolbar.busy);

  host::HeadlessHost missing(db.db(), {kOperatorWithPermissions, db.clock()},
                             std::string("/nonexistent/libnv407.so"));
  EXPECT_THAT([&] { missing.Open(); }, ThrowsMessage<Error>(HasSubstr("/nonexistent/libnv407.so")));
  EXPECT_FALSE(missing.IsOpen());
}

TEST_F(HeadlessHostTest, ErrorLeavingLoadingIsShownOnceAndTheScreenStaysUsable) {
  db.Execute("DROP TABLE host_parameter");
  GivenOpenScreen();
  ASSERT_EQ(Messages().size(), 1u);
  const host::MessageRequest shown = Messages()[0].request;
  EXPECT_NE(shown.text.find("host_parameter"), std::string::npos);
  EXPECT_EQ(shown.title + "|" + std::to_string(shown.style) + "|" + shown.error_id,
            "ERROR|16|ERR-ID:0000000");
  EXPECT_EQ(Focus(), "txtFolio") << "activation ran after the failed load";
  WhenType("txtFolio", "nada");
}

// Salir leaves a capture unsaved, and the screen opened again is a new one: nothing typed
// in the closed one comes back, nor can be saved.
TEST_F(HeadlessHostTest, SalirClosesTheWindowAndTheScreenCanBeOpenedAgain) {
  GivenOpenScreen();
  WhenPress("Nuevo");
  WhenType("txt_Sc_Cve_Sucursal", "mty");
  WhenType("txtReferencia", "CERRADA");
  host().TakeEvents();
  WhenPress("Salir");
  const auto events = host().TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<host::WindowClosed>(events[0]));
  EXPECT_THAT([&] { WhenType("txtFolio", "X"); },
              ThrowsMessage<Error>("The screen has been closed"));

  host().Open("nuevo");
  EXPECT_TRUE(Screen().toolbar.busy) << "opened for a new capture";
  EXPECT_EQ(host().window().Member("IPARAMETROS").ToText(), "nuevo");
  EXPECT_EQ(Screen().Find("txt_Sc_Cve_Sucursal").text, "");
  EXPECT_EQ(Screen().Find("txtReferencia").text, "");
  WhenPress("Salir");
  host().Open();
  EXPECT_FALSE(Screen().toolbar.busy) << "a plain opening waits for a folio";
}

// The editor's concept comes back through a one-line box; its text keeps its lines.
TEST(ScriptedDialogsTest, TheEditorsConceptIsOneLine) {
  host::ScriptedDialogs dialogs;
  dialogs.QueueEditorResult("línea 1\r\nlínea 2\t\u0085fin", "texto\r\nde dos líneas");
  std::string concept_text = "antes";
  EXPECT_EQ(dialogs.EditExtendedText(concept_text, "", 60), "texto\r\nde dos líneas");
  EXPECT_EQ(concept_text, "línea 1línea 2fin");
}

TEST(ScriptedDialogsTest, BoxesTakeTheQueuedAnswersElseTheirDefaultButton) {
  host::ScriptedDialogs dialogs;
  dialogs.QueueAnswer(6);
  dialogs.QueueAnswer(1);
  // style, the answer given: queued whatever the style, then stop and warning OK; yes/no with
  // the second or the first button as default; OK/Cancel and Yes/No/Cancel, Cancel the default.
  const std::pair<int, int> boxes[] = {{292, 6}, {16, 1}, {16, 1},  {48, 1},
                                       {292, 7}, {36, 6}, {257, 2}, {515, 2}};
  for (const auto& [style, answer] : boxes) {
    SCOPED_TRACE(style);
    EXPECT_EQ(dialogs.ShowMessage({"¿Continuar?", style, "Título", 1, "NV407", "ERR-ID:7500015"}),
              answer);
    EXPECT_EQ(dialogs.Messages().back().answer, answer);
  }
}

}  // namespace
}  // namespace nv407::testing
