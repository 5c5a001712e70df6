#include "host/headless/component_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "component/error.h"
#include "host/headless/headless_host.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

// The component as the programs load it: the shared library, opened at run time.
class ComponentLibraryTest : public ::testing::Test {
 protected:
  std::unique_ptr<host::HeadlessHost> PluginHost() {
    return std::make_unique<host::HeadlessHost>(
        db.db(), host::SessionSettings{kOperatorWithPermissions, db.clock()});
  }
  TestDatabase db;
};

TEST_F(ComponentLibraryTest, HandsOutOneScreenAndItsModule) {
  auto host = PluginHost();
  Pantalla& pantalla = host->LoadComponent();
  Screen* first = pantalla.GetPantalla();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(pantalla.GetPantalla(), first);
  EXPECT_EQ(pantalla.Modulo().ToText(), "SERVICIOS");

  host->Open();
  EXPECT_EQ(&host->screen(), first);
  EXPECT_EQ(host->Get<host::HeadlessComboBox>("cbCorte").ItemCount(), 28);
  EXPECT_EQ(host->Snapshot().focus, "txtFolio");
  // Errors raised inside the library reach the host as the component's own type.
  EXPECT_THROW(host->Get<host::HeadlessTextBox>("txt_Sc_Cve_Sucursal").UserType("X"), Error);
}

TEST_F(ComponentLibraryTest, OneHostAtATimeButAgainAfterItIsGone) {
  {
    auto first = PluginHost();
    first->Open();
    auto second = PluginHost();
    EXPECT_THROW(second->LoadComponent(), Error);
  }
  // The next host starts the component afresh, on its own services and controls.
  auto host = PluginHost();
  host->Open("NUEVO");
  EXPECT_TRUE(host->Snapshot().toolbar.busy);
}

TEST_F(ComponentLibraryTest, MissingLibraryIsAClearError) {
  host::HeadlessHost host(db.db(), {kOperatorWithPermissions, db.clock()},
                          std::string("/nonexistent/libnv407.so"));
  try {
    host.Open();
    ADD_FAILURE() << "opened";
  } catch (const Error& error) {
    EXPECT_NE(error.Description().find("/nonexistent/libnv407.so"), std::string::npos);
  }
  EXPECT_FALSE(host.IsOpen());
}

TEST_F(ComponentLibraryTest, EnvironmentChoosesTheLibrary) {
  const std::string built = host::ComponentLibrary::DefaultPath();
  setenv("NV407_PLUGIN", "/elsewhere/libnv407.so", 1);
  EXPECT_EQ(host::ComponentLibrary::DefaultPath(), "/elsewhere/libnv407.so");
  unsetenv("NV407_PLUGIN");
  EXPECT_EQ(host::ComponentLibrary::DefaultPath(), built);
}

}  // namespace
}  // namespace nv407::testing
