#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/headless/scripted_dialogs.h"

namespace nv407::testing {
namespace {

using host::ScriptedDialogs;

host::MessageRequest Box(int style) {
  return {"¿Continuar?", style, "Título", 1, "NV407", "ERR-ID:7500015"};
}

TEST(ScriptedDialogsTest, UnansweredBoxGetsItsDefaultButton) {
  struct Case {
    int style, answer;
  };
  const Case cases[] = {
      {16, 1},       // stop, OK
      {48, 1},       // warning, OK
      {292, 7},      // yes/no question, No the default
      {36, 6},       // yes/no question, Yes the default
      {1, 1},        // OK/Cancel
      {256 + 1, 2},  // OK/Cancel, Cancel the default
      {512 + 3, 2},  // Yes/No/Cancel, Cancel the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    ScriptedDialogs dialogs;
    EXPECT_EQ(dialogs.ShowMessage(Box(c.style)), c.answer);
    EXPECT_EQ(dialogs.Messages().at(0).answer, c.answer);
  }
}

TEST(ScriptedDialogsTest, QueuedAnswersGoToTheBoxesInOrder) {
  ScriptedDialogs dialogs;
  dialogs.QueueAnswer(6);
  dialogs.QueueAnswer(1);
  EXPECT_EQ(dialogs.ShowMessage(Box(292)), 6);
  EXPECT_EQ(dialogs.ShowMessage(Box(16)), 1);
  EXPECT_EQ(dialogs.ShowMessage(Box(292)), 7) << "the queue is used up";
  EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(ScriptedDialogsTest, EditorReturnsTheQueuedEditsElseWhatItWasGiven) {
  ScriptedDialogs dialogs;
  dialogs.QueueEditorResult("Concepto editado", "Texto editado");
  std::string concept_text = "Soporte mensual";
  EXPECT_EQ(dialogs.EditExtendedText(concept_text, "Texto", 50), "Texto editado");
  EXPECT_EQ(concept_text, "Concepto editado");
  EXPECT_EQ(dialogs.EditExtendedText(concept_text, "Otro", 50), "Otro");
  EXPECT_EQ(concept_text, "Concepto editado");

  const auto calls = dialogs.EditorCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].concept_text, "Soporte mensual");
  EXPECT_EQ(calls[0].text, "Texto");
  EXPECT_EQ(calls[0].width, 50);
  EXPECT_EQ(calls[0].returned_text, "Texto editado");
}

TEST(ScriptedDialogsTest, RecordsEveryCallInOrderAndTellsObservers) {
  ScriptedDialogs dialogs;
  std::vector<std::size_t> kinds;
  dialogs.Observe([&kinds](const host::DialogCall& call) { kinds.push_back(call.index()); });
  std::string concept_text;
  dialogs.ShowRecord("POLIZA_SERVICIO", "Ps_Folio", "MTY-000001");
  dialogs.ShowMessage(Box(48));
  dialogs.EditExtendedText(concept_text, "", 50);

  EXPECT_EQ(kinds, (std::vector<std::size_t>{2, 0, 1}));
  ASSERT_EQ(dialogs.Calls().size(), 3u);
  const auto& viewer = std::get<host::ViewerCall>(dialogs.Calls()[0]);
  EXPECT_EQ(viewer.key, "MTY-000001");
  EXPECT_EQ(std::get<host::MessageCall>(dialogs.Calls()[1]).request.error_id, "ERR-ID:7500015");
}

}  // namespace
}  // namespace nv407::testing
