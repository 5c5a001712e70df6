#include "host/headless/headless_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/error.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.Description();
  }
  return "(no error)";
}

class HeadlessHostTest : public ScreenTest {};

TEST_F(HeadlessHostTest, OpenedScreenShowsItsLoadedState) {
  GivenOpenScreen();
  const host::ScreenSnapshot screen = Screen();
  for (const char* field : {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"})
    EXPECT_EQ(screen.Find(field).date, "2024-03-15T10:30:00") << field;
  EXPECT_EQ(screen.Find("cbCorte").text, "");
  EXPECT_EQ(host().Get<host::HeadlessComboBox>("cbCorte").ItemCount(), 28);
  EXPECT_EQ(screen.Find("cmdInicializa").text, "Inicializar servicios");
  EXPECT_FALSE(screen.Find("cmdInicializa").enabled);
  EXPECT_EQ(screen.focus, "txtFolio");
  EXPECT_TRUE(screen.toolbar.ready);
  EXPECT_FALSE(screen.toolbar.busy);
  EXPECT_TRUE(screen.state.canChangeDate);
  EXPECT_FALSE(screen.closed);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(host().window().Member("transaccion").ToText(), "NV407");
}

TEST_F(HeadlessHostTest, ActionsNameWhatIsWrongWithThem) {
  host::HeadlessHost before = {
      db.db(), {kOperatorWithPermissions, db.clock()}, InProcessComponent()};
  EXPECT_EQ(ErrorOf([&] { before.Type("txtFolio", "X"); }), "The screen has not been opened");

  GivenOpenScreen();
  EXPECT_EQ(ErrorOf([&] { host().Type("txtNada", "X"); }),
            "The screen has no control named txtNada");
  EXPECT_EQ(ErrorOf([&] { host().PickDate("txtFolio", PinnedNow()); }),
            "txtFolio is a text box, not a date field");
  EXPECT_EQ(ErrorOf([&] { host().Choose("cbCorte", "1"); }), "cbCorte is disabled");
  EXPECT_EQ(ErrorOf([&] { host().Click("cmdDescripcion"); }), "cmdDescripcion is disabled");
  EXPECT_EQ(ErrorOf([&] { host().Press("Aceptar"); }), "Aceptar is not available");

  WhenPress("Nuevo");
  EXPECT_EQ(ErrorOf([&] { host().Choose("cbCorte", "31"); }), "cbCorte has no item \"31\"");
  EXPECT_EQ(ErrorOf([&] { host().Press("Nuevo"); }), "Nuevo is not available");
  EXPECT_EQ(ErrorOf([&] { host().Press("Imprimir"); }), "The toolbar has no command \"Imprimir\"");
  EXPECT_EQ(ErrorOf([&] { host().Open(); }), "The screen is already open");
  EXPECT_TRUE(Messages().empty()) << "refusals are the caller's, not the user's, messages";
}

TEST_F(HeadlessHostTest, ErrorLeavingLoadingIsShownOnceAndTheScreenStaysUsable) {
  db.Execute("DROP TABLE host_parameter");
  GivenOpenScreen();

  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].request.text.find("host_parameter"), std::string::npos);
  EXPECT_EQ(messages[0].request.title, "ERROR");
  EXPECT_EQ(messages[0].request.style, 16);
  EXPECT_EQ(messages[0].request.error_id, "ERR-ID:0000000");
  EXPECT_EQ(messages[0].request.owner, host().screen().WindowHandle());
  // Activation ran after the failed load.
  EXPECT_EQ(Focus(), "txtFolio");
  WhenType("txtFolio", "nada");
}

TEST_F(HeadlessHostTest, SalirClosesTheWindowAndTheScreenCanBeOpenedAgain) {
  GivenOpenScreen();
  host().TakeEvents();
  WhenPress("Salir");
  const auto events = host().TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<host::WindowClosed>(events[0]));
  EXPECT_TRUE(host().Closed());
  EXPECT_TRUE(Screen().closed);
  EXPECT_EQ(ErrorOf([&] { WhenType("txtFolio", "X"); }), "The screen has been closed");

  host().Open("nuevo");
  EXPECT_TRUE(host().IsOpen());
  EXPECT_TRUE(Screen().toolbar.busy) << "opened for a new capture";
}

TEST_F(HeadlessHostTest, EventsComeInTheOrderTheyHappened) {
  GivenOpenScreen();
  host().dialogs().QueueAnswer(6);
  host().dialogs().ShowRecord("POLIZA_SERVICIO", "Ps_Folio", "X");
  host().dialogs().ShowMessage({"Hola", 292, "T", 0, "NV407", "ERR-ID:7500015"});
  WhenPress("Salir");
  const auto events = host().TakeEvents();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_TRUE(std::holds_alternative<host::ViewerCall>(events[0]));
  EXPECT_EQ(std::get<host::MessageCall>(events[1]).answer, 6);
  EXPECT_TRUE(std::holds_alternative<host::WindowClosed>(events[2]));
  EXPECT_TRUE(host().TakeEvents().empty());
}

TEST(HeadlessWindowTest, AnswersItsTwoMembersByNameInAnyCase) {
  host::HeadlessWindow window;
  window.SetParametros("EDICION,MTY-000001");
  window.SetTransaccion("NV407");
  EXPECT_EQ(window.Member("iParametros").ToText(), "EDICION,MTY-000001");
  EXPECT_EQ(window.Member("IPARAMETROS").ToText(), "EDICION,MTY-000001");
  EXPECT_EQ(window.Member("Transaccion").ToText(), "NV407");
  EXPECT_EQ(ErrorOf([&] { window.Member("Caption"); }),
            "Object doesn't support this property or method");
}

}  // namespace
}  // namespace nv407::testing
