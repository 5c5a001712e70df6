#include "screen/layout.h"

#include <initializer_list>
#include <utility>

namespace nv407 {
namespace {

using Settings = std::initializer_list<std::pair<const std::string, std::string>>;
using K = ControlKind;
using S = Colour::Source;

constexpr int kNoTab = -1;
constexpr bool kStop = true;
constexpr bool kNoStop = false;
constexpr bool kOn = true;
constexpr bool kOff = false;

const Colour kScreenGrey = Colour::Rgb(245, 245, 245);
const Colour kLabelBlue = Colour::Rgb(137, 177, 201);
const Colour kWhite = Colour::Rgb(255, 255, 255);
const Colour kDisabledGrey = Colour::Rgb(221, 221, 221);
const Colour kButtonBlue = Colour::Rgb(0, 83, 138);

const Font kFranklin{"Franklin Gothic Medium", 8.25, false};
const Font kCalibri{"Calibri", 8.25, false};
const Font kCalibriBold{"Calibri", 8.25, true};
const Font kFixedsys{"Fixedsys", 9, false};

ControlLayout Row(K kind, std::string name, int index, Rect position, int tab, bool stop,
                  std::string tag, bool enabled, Settings settings, Look look) {
  ControlLayout row;
  row.kind = kind;
  row.name = std::move(name);
  row.index = index;
  row.position = position;
  row.tab_index = tab;
  row.tab_stop = stop;
  row.tag = std::move(tag);
  row.enabled = enabled;
  row.settings.insert(settings.begin(), settings.end());
  row.look = std::move(look);
  return row;
}

Look LabelLook(Font font, Colour fore, Colour back) {
  Look look;
  look.font = std::move(font);
  look.fore = fore;
  look.back = back;
  look.alignment = 1;
  return look;
}

ControlLayout FieldLabel(std::string name, int index, Rect position, std::string caption,
                         std::string id, Colour fore = Colour::System(S::kWindowText)) {
  return Row(K::kLabel, std::move(name), index, position, kNoTab, kNoStop, "", kOn,
             {{"caption", std::move(caption)}, {"idetiqueta", std::move(id)}},
             LabelLook(kFranklin, fore, kLabelBlue));
}

ControlLayout PlainLabel(std::string name, Rect position, std::string caption, std::string id,
                         Font font, Colour back) {
  return Row(K::kLabel, std::move(name), -1, position, kNoTab, kNoStop, "", kOn,
             {{"caption", std::move(caption)}, {"idetiqueta", std::move(id)}},
             LabelLook(std::move(font), Colour::System(S::kButtonText), back));
}

Look TextLook(Font font, bool white_when_enabled = true) {
  Look look;
  look.font = std::move(font);
  if (white_when_enabled) look.enabled_back = kWhite;
  return look;
}

// txtReferencia, txt_ID_Facturacion and cbCorte also set their disabled and focus colours.
Look ShadedLook(Font font) {
  Look look = TextLook(std::move(font));
  look.disabled_back = kDisabledGrey;
  look.focus_back = Colour::System(S::kWindow);
  return look;
}

Look DateLook() {
  Look look;
  look.font = kFranklin;
  look.calendar_back = Colour::Rgb(255, 255, 192);
  look.calendar_fore = Colour::Rgb(0, 0, 128);
  look.calendar_title_back = kLabelBlue;
  look.calendar_title_fore = kWhite;
  look.calendar_trailing_fore = Colour::Rgb(0, 0, 0);
  return look;
}

Look ButtonLook() {
  Look look;
  look.font = Font{"Calibri", 9, false};
  look.fore = kWhite;
  look.back = kButtonBlue;
  look.border = kButtonBlue;
  look.focus_border = Colour::Rgb(31, 31, 31);
  return look;
}

// The four catalogue key fields share their switches; the policy type alone adds tabonentervacio.
ControlLayout KeyField(std::string name, Rect position, int tab, std::string consulta,
                       std::string sql, std::string result, std::string transaccion,
                       bool tab_on_empty = false) {
  ControlLayout row = Row(K::kTextBox, std::move(name), -1, position, tab, kStop, "1", kOff,
                          {{"esclave", "SI"},
                           {"mayusculas", "SI"},
                           {"tabonenter", "SI"},
                           {"tabonentercancel", "SI"},
                           {"idconsulta", std::move(consulta)},
                           {"sql", std::move(sql)},
                           {"sql_control_resultado", std::move(result)},
                           {"transaccion", std::move(transaccion)}},
                          TextLook(kFixedsys));
  if (tab_on_empty) row.settings["tabonentervacio"] = "SI";
  return row;
}

ControlLayout DescriptionField(std::string name, Rect position, int tab) {
  return Row(K::kTextBox, std::move(name), -1, position, tab, kNoStop, "", kOn, {{"locked", "SI"}},
             TextLook(kFixedsys));
}

ControlLayout Button(std::string name, Rect position, int tab, std::string caption) {
  return Row(K::kFlatButton, std::move(name), -1, position, tab, kStop, "", kOff,
             {{"caption", std::move(caption)}}, ButtonLook());
}

ControlLayout List(std::string name, Rect position, int tab, std::vector<ListColumn> columns) {
  ControlLayout row =
      Row(K::kListView, std::move(name), -1, position, tab, kNoStop, "1", kOn, {}, {});
  row.columns = std::move(columns);
  return row;
}

ControlLayout Toolbar() {
  return Row(K::kToolbar, "Controles", -1, {0, 0, 13455, 960}, 0, kNoStop, "", kOn,
             {{"caption", "Captura de pólizas de servicio"},
              {"tabwidth", "0"},
              {"easyaccessenabled", "NO"},
              {"showmenupopup", "NO"},
              {"showwindowslist", "SI"},
              {"showexitbutton", "SI"},
              {"opc_table", "POLIZA_SERVICIO"},
              {"opc_key", "Ps_Folio"}},
             {});
}

ControlLayout ColourSchemeRow() {
  Look look;
  look.back = kScreenGrey;
  look.calendar_back = kWhite;
  look.calendar_fore = Colour::Rgb(0, 36, 57);
  look.calendar_title_back = Colour::Rgb(198, 195, 198);
  look.calendar_title_fore = kWhite;
  look.calendar_trailing_fore = kButtonBlue;
  look.enabled_back = kWhite;
  look.disabled_back = kDisabledGrey;
  look.focus_back = Colour::System(S::kWindow);
  ControlLayout row = Row(K::kColorScheme, "colorKIV", -1, {}, kNoTab, kNoStop, "", kOn,
                          {{"grid", "255,255,255"},
                           {"even_rows", "255,255,255"},
                           {"odd_rows", "198,195,198"},
                           {"label_size", "8.25"},
                           {"text_size", "8.25"},
                           {"menu", "179,204,221"},
                           {"menu_text_back", "245,236,203"},
                           {"menu_selection", "226,213,156"}},
                          look);
  row.visible = false;
  return row;
}

ScreenLayout Build() {
  ScreenLayout screen;
  screen.caption = "Captura de pólizas de servicio";
  screen.client_width = 13455;
  screen.client_height = 9195;
  screen.background = kScreenGrey;
  screen.font = Font{"Calibri", 8.25, true};

  const Colour button_text = Colour::System(S::kButtonText);
  auto& c = screen.controls;
  c.push_back(Toolbar());
  c.push_back(FieldLabel("Label10", 3, {120, 1200, 1815, 255}, "Folio:", "Folio"));
  c.push_back(Row(K::kTextBox, "txtFolio", -1, {2040, 1200, 1695, 300}, 1, kStop, "", kOn,
                  {{"esclave", "SI"}, {"mayusculas", "SI"}, {"idconsulta", "POLIZA_SERVICIO"}},
                  TextLook(kFixedsys, false)));
  c.push_back(FieldLabel("Label10", 0, {120, 1560, 1815, 255}, "Fecha:", "Fecha"));
  c.push_back(Row(K::kDateField, "dp_Ps_Fecha", -1, {2040, 1560, 1695, 300}, 2, kStop, "1", kOff,
                  {}, DateLook()));
  c.push_back(FieldLabel("Label10", 2, {5520, 1560, 1695, 255}, "Referencia:", "Referencia"));
  c.push_back(Row(K::kTextBox, "txtReferencia", -1, {7320, 1560, 1935, 300}, 3, kStop, "1", kOff,
                  {{"maxlength", "15"}, {"tabonenter", "SI"}}, ShadedLook(kCalibriBold)));
  c.push_back(
      FieldLabel("Label5", -1, {120, 1920, 1815, 255}, "Fecha inicio:", "FECHA COMPROMISO"));
  c.push_back(Row(K::kDateField, "dp_Ps_Fecha_Inicio", -1, {2040, 1920, 1695, 300}, 4, kStop, "1",
                  kOff, {{"tabonenter", "SI"}}, DateLook()));
  c.push_back(
      FieldLabel("Etiqueta6", -1, {3840, 1920, 1215, 255}, "Fecha fin:", "FECHA COMPROMISO"));
  // Not tagged: only the screen's code ever sets the end date.
  c.push_back(Row(K::kDateField, "dp_Ps_Fecha_Fin", -1, {5160, 1920, 1695, 300}, 5, kStop, "", kOff,
                  {{"tabonenter", "SI"}}, DateLook()));
  c.push_back(PlainLabel("lbDiacorte", {7080, 1920, 1215, 255}, "Día corte:", "DIA DE CORTE",
                         kCalibri, kScreenGrey));
  c.push_back(Row(K::kComboBox, "cbCorte", -1, {8400, 1920, 855, 300}, 6, kStop, "1", kOff,
                  {{"tabonenter", "SI"}, {"estilo", "2"}}, ShadedLook(kFranklin)));
  c.push_back(FieldLabel("Label1", -1, {120, 2280, 1815, 255}, "Sucursal:", "Sucursal"));
  c.push_back(KeyField("txt_Sc_Cve_Sucursal", {2040, 2280, 1695, 300}, 7, "SUCURSAL",
                       "select sc_descripcion from Sucursal where Sc_Cve_Sucursal ='?' AND "
                       "Es_Cve_Estado <> 'BA'",
                       "txt_Sc_Descripcion", "MB201"));
  c.push_back(DescriptionField("txt_Sc_Descripcion", {3840, 2280, 5415, 300}, 16));
  c.push_back(FieldLabel("Etiqueta1", -1, {120, 2640, 1815, 255}, "Vendedor:", "Vendedor"));
  c.push_back(KeyField("txt_Vn_Cve_Vendedor", {2040, 2640, 1695, 300}, 8, "VENDEDOR",
                       "SELECT Vn_Descripcion FROM Vendedor WHERE Vn_Cve_Vendedor = '?' AND "
                       "Es_Cve_Estado <> 'BA'",
                       "txt_Vn_Vendedor", "MB215"));
  c.push_back(DescriptionField("txt_Vn_Vendedor", {3840, 2640, 5415, 300}, 17));
  c.push_back(FieldLabel("Label23", -1, {120, 3000, 1815, 255}, "Cliente:", "Cliente"));
  c.push_back(KeyField("txt_Cl_Cve_Cliente", {2040, 3000, 1695, 300}, 9, "CLIENTE",
                       "select Cl_Razon_Social_1 from Cliente where Cl_Cve_Cliente='?' AND "
                       "Es_Cve_Estado <> 'BA'",
                       "txt_Cl_Cliente", "MB214"));
  c.push_back(DescriptionField("txt_Cl_Cliente", {3840, 3000, 5415, 300}, 18));
  c.push_back(FieldLabel("Etiqueta3", -1, {120, 3360, 1815, 255}, "Tipo póliza:", "Usuario"));
  c.push_back(KeyField("txt_Tps_Cve_Tipo_Poliza", {2040, 3360, 1695, 300}, 10,
                       "TIPO_POLIZA_SERVICIO",
                       "SELECT Tps_Descripcion FROM Tipo_Poliza_Servicio WHERE "
                       "Tps_Cve_Tipo_Poliza_Servicio ='?' AND Es_Cve_Estado <> 'BA'",
                       "txt_Tps_Descripcion", "MB321", /*tab_on_empty=*/true));
  c.push_back(DescriptionField("txt_Tps_Descripcion", {3840, 3360, 5415, 300}, 19));
  c.push_back(PlainLabel("Etiqueta2", {120, 3720, 1815, 255}, "Comentario:", "Comentario", kCalibri,
                         kScreenGrey));
  c.push_back(Row(K::kTextBox, "txtComentario", -1, {2040, 3720, 7215, 300}, 11, kStop, "1", kOff,
                  {{"tabonenter", "SI"}}, TextLook(kFixedsys)));
  c.push_back(FieldLabel("Etiqueta5", -1, {120, 4080, 1815, 255}, "Concepto fac:", "Concepto",
                         button_text));
  c.push_back(Row(K::kTextBox, "txt_Concepto", -1, {2040, 4080, 7215, 300}, 12, kStop, "1", kOff,
                  {{"tabonenter", "SI"}}, TextLook(kFixedsys)));
  c.push_back(
      PlainLabel("Etiqueta4", {120, 4440, 1815, 255}, "Id fac:", "ID-FAC", kCalibri, kScreenGrey));
  c.push_back(Row(K::kTextBox, "txt_ID_Facturacion", -1, {2040, 4440, 1695, 300}, 13, kStop, "1",
                  kOff, {{"maxlength", "10"}, {"tabonenter", "SI"}, {"tabonentervacio", "SI"}},
                  ShadedLook(kCalibriBold)));
  c.push_back(Button("cmdDescripcion", {3840, 4440, 2055, 375}, 20, "Ampliar descripción"));
  c.push_back(PlainLabel("Etiqueta7", {120, 4920, 1815, 255},
                         "Servicios incluidos:", "SERVICIOS-INCLUIDOS", kCalibri, kScreenGrey));
  c.push_back(List("lvServicios", {2040, 4920, 7215, 1935}, 14,
                   {{"Servicio", Alignment::kLeft, 1200},
                    {"Descripción", Alignment::kLeft, 4000},
                    {"Unidad", Alignment::kCentre, 1000},
                    {"Cantidad", Alignment::kRight, 1000},
                    {"Utilizado", Alignment::kRight, 1440}}));
  c.push_back(Button("cmdInicializa", {9360, 4920, 1695, 495}, 21, "Inicializar servicios"));
  c.push_back(PlainLabel("Etiqueta8", {120, 6960, 1815, 255}, "Períodos:", "PERIODO-POLIZA",
                         kFranklin, kWhite));
  c.push_back(List("lvPeriodos", {2040, 6960, 7215, 1935}, 15,
                   {{"Id", Alignment::kLeft, 1200},
                    {"Fecha inicia", Alignment::kCentre, 4000},
                    {"Fecha finaliza", Alignment::kCentre, 1000}}));
  c.push_back(ColourSchemeRow());
  return screen;
}

}  // namespace

const ScreenLayout& frmNV407Layout() {
  static const ScreenLayout layout = Build();
  return layout;
}

}  // namespace nv407
