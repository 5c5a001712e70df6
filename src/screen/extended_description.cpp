#include <cstddef>
#include <memory>
#include <string>

#include "component/error.h"
#include "component/text_characters.h"
#include "data/statements.h"
#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

// Counts characters, not bytes: the last two of a stored product text are its CR LF,
// but a text ending in an accented letter must not be cut inside that letter.
std::string WithoutLastTwoCharacters(const std::string& text) {
  std::size_t end = text.size();
  for (int removed = 0; removed < 2 && end > 0; ++removed) {
    --end;
    while (end > 0 && IsContinuationByte(text[end])) --end;
  }
  return text.substr(0, end);
}

}  // namespace

// cmdDescripcion: opens the host's editor on the policy's extended description. While
// the policy has none, the concept and the text are proposed from the policy type's
// product. The state changes only once the editor has returned, so a failing query or
// host call leaves it as it was.
void frmNV407::EditExtendedDescription() {
  if (txt_Tps_Descripcion->Text().empty()) return;

  std::string concept_text = state_.conceptText;
  std::string text = state_.extendedDescription;
  if (!text.empty()) {
    concept_text = txt_Concepto->Text();
  } else {
    Sql() = statements::ProductOfPolicyType(txt_Tps_Cve_Tipo_Poliza->Text());
    std::unique_ptr<Recordset> product = Db().Execute(Sql());
    if (!product->Eof()) {
      const std::string product_key = product->Fields("Pr_Cve_Producto").Value().ToText();
      text = Utility().GetProductText(product_key);
      concept_text = product->Fields("Pr_Descripcion").Value().ToText();
    }
    product->Close();
    product.reset();

    // A stored product text ends with CR LF; one too short to hold it is damaged.
    if (!text.empty() && CharacterCount(text) < 2) {
      throw Error("El texto del producto del tipo de póliza " + txt_Tps_Cve_Tipo_Poliza->Text() +
                  " tiene menos de dos caracteres; corrija el texto del producto.");
    }
    if (!text.empty()) text = WithoutLastTwoCharacters(text);
  }

  text = Utility().EditExtendedText(concept_text, text, 50);
  state_.conceptText = concept_text;
  state_.extendedDescription = text;
  txt_Concepto->SetText(concept_text);
}

}  // namespace nv407
