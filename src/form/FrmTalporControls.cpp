#include "form/FrmTalporControls.h"

namespace form {
namespace {

constexpr const char* kLat = "Ø";     // latitude symbol
constexpr const char* kLon = "λ";     // longitude symbol (Greek small lambda)
constexpr const char* kHelmertTip = "Helmert Bursa-Wolf 7 parámetros";
constexpr const char* kSunYearTip =
    "Orto (naranja), culminación (gris) y ocaso (rojo) de cada día del año del calendario en el "
    "punto 1, en hora local con el horario de verano de España; la línea azul es el día elegido";
constexpr const char* kMapTip =
    "Muestra el punto en un mapa de España con las áreas de los parámetros y de la rejilla (Ctrl+M)";
constexpr const char* kFileTip =
    "Convierte un fichero de puntos (texto o CSV) en el sentido de esta pestaña";
constexpr const char* kMolodenskyTip = "Molodensky 3 parámetros (IGN o NIMA)";
constexpr const char* kHelmertSheetTip = "Párametros de transformación con Hermet Bursa-Wolf";
constexpr const char* kMolodenskySheetTip = "Párametros de transformación con Molodensky";
constexpr const char* kGridTip =
    "Rejilla oficial del IGN entre ED50 y ETRS89 (NTv2, EPSG 15932): precisión 0,2 m en la "
    "península y Baleares; transforma latitud y longitud, no la altura";
constexpr const char* kGridSheetTip = "Rejilla del IGN: archivos, zona, precisión y licencia";
constexpr const char* kIgnTip = "Parámetros del I.G.N. con Molodensky";
constexpr const char* kAboutTip = "Acerca de Talpor (F1)";
constexpr const char* kNimaTip =
    "Parámetros del NIMA, utilizados comúnmente por los GPS de mano y programas comerciales "
    "para administrar WayPoints";

// Names screen readers announce, where a control has no caption to be announced by.
constexpr const char* kHelmertSheetName = "Parámetros de la transformación de Helmert";
constexpr const char* kMolodenskySheetName = "Parámetros de la transformación de Molodensky";
constexpr const char* kGridSheetName = "Datos de la rejilla del IGN";
constexpr const char* kMolodenskyFrameName = "Transformación de Molodensky";
constexpr const char* kHeightName = "Altura (m)";
constexpr const char* kEastName = "UTM Este (m)";
constexpr const char* kNorthName = "UTM Norte (m)";
constexpr const char* kZoneName = "Huso UTM";
constexpr const char* kGeoInputName = "Entrada en coordenadas geográficas";
constexpr const char* kUtmInputName = "Entrada en coordenadas UTM";
constexpr const char* kLonHemisphereName = "Hemisferio de la longitud";
constexpr const char* kAboutName = "Acerca de Talpor";

// A sign a screen reader would spell out is announced by what it stands for.
std::string SignName(std::string_view caption) {
    if (caption == "º") return "grados";
    if (caption == "'") return "minutos";
    if (caption == "\"") return "segundos";
    if (caption == kLat) return "fi";
    if (caption == kLon) return "lambda";
    return "";
}

Control& Named(Control& control, std::string name) {
    control.accessibleName = std::move(name);
    return control;
}

// Adds controls into one container on one tab.
class Builder {
public:
    Builder(FormModel& form, std::string container, int tab)
        : form_(form), container_(std::move(container)), tab_(tab) {}

    Builder In(const Control& container) const { return {form_, container.id.Text(), tab_}; }
    FormModel& Form() const { return form_; }

    Control& Add(Kind kind, std::string name, int index, std::string text,
                 std::string toolTip = {}) {
        Control c;
        c.kind = kind;
        c.id = {std::move(name), index};
        c.container = container_;
        c.tab = tab_;
        c.text = std::move(text);
        c.toolTip = std::move(toolTip);
        if (kind == Kind::OptionButton || kind == Kind::CommandButton) c.foreColor = kButtonText;
        // Frames and buttons are announced by their captions, unless named otherwise.
        if (kind == Kind::Frame || kind == Kind::OptionButton || kind == Kind::CommandButton)
            c.accessibleName = c.text;
        return form_.Add(std::move(c));
    }
    Control& Label(std::string name, int index, std::string caption, std::string tip = {}) {
        std::string sign = SignName(caption);
        return Named(Add(Kind::Label, std::move(name), index, std::move(caption), std::move(tip)),
                     std::move(sign));
    }
    Control& Text(std::string name, int index, std::string text, std::string tip = {}) {
        Control& c = Add(Kind::TextBox, std::move(name), index, std::move(text), std::move(tip));
        c.maxLength = kMaxFieldLength;
        return c;
    }
    Control& Option(std::string name, int index, std::string caption, bool selected,
                    std::string tip = {}) {
        Control& c = Add(Kind::OptionButton, std::move(name), index, std::move(caption),
                         std::move(tip));
        c.value = selected;
        return c;
    }
    Control& Button(std::string name, int index, std::string caption, std::string tip = {}) {
        return Add(Kind::CommandButton, std::move(name), index, std::move(caption),
                   std::move(tip));
    }
    Control& Frame(std::string name, int index, std::string caption) {
        return Add(Kind::Frame, std::move(name), index, std::move(caption));
    }
    Control& Picture(std::string name, int index = -1) {
        return Add(Kind::Picture, std::move(name), index, "");
    }

    // What the tab's typed heights are: above the ellipsoid (the start) or above the sea;
    // options `first` and `first` + 1 of OptAltura in picture PicAltura(`picture`).
    void HeightKind(int picture, int first) {
        Builder b = In(Named(Picture("PicAltura", picture), "Qué es la altura escrita"));
        b.Label("LblAltura", picture, "Altura:");
        Named(b.Option("OptAltura", first, "elipsoidal", true,
                       "La altura escrita es sobre el elipsoide: la de un GPS en bruto o un listado "
                       "geodésico"),
              "Altura sobre el elipsoide");
        Named(b.Option("OptAltura", first + 1, "sobre el mar", false,
                       "La altura escrita es una altitud sobre el nivel del mar (EGM08-REDNAP): la cota "
                       "de un mapa o la altitud de un GPS"),
              "Altitud sobre el nivel del mar");
    }
    Control& Combo(std::string name, std::string tip = {}) {
        return Add(Kind::ComboBox, std::move(name), -1, "", std::move(tip));
    }

    // A row of degrees, minutes and seconds fields with their unit labels:
    // deg ºLabel min 'Label sec "Label. `what` begins the fields' names ("Latitud").
    void DmsRow(const std::string& what, int deg, int degLbl, const char* degText, int min,
                int minLbl, const char* minText, int sec, int secLbl) {
        Named(Text("TxtWGSg", deg, degText), what + ", grados");
        Label("LblLat", degLbl, "º");
        Named(Text("TxtWGSg", min, minText), what + ", minutos");
        Label("LblLat", minLbl, "'");
        Named(Text("TxtWGSg", sec, "0,0000"), what + ", segundos");
        Label("LblLat", secLbl, "\"");
    }

private:
    FormModel& form_;
    std::string container_;
    int tab_;
};

void BuildTab0(Builder tab) {
    tab.Label("Label3", 0, "Cálculo con:");
    // Where the converted point lands, when that is outside Spain.
    Control& place0 = tab.Label("LblLugar", 0, "");
    place0.foreColor = Rgb(192, 0, 0);
    place0.accessibleName = "Aviso del lugar del punto";

    // The input-mode buttons come before the frames they enable, and the two input
    // frames before the results and the buttons: creation order is the Tab order.
    Named(tab.Option("OptUTM", 0, "", true, "Coordenadas geográficas"), kGeoInputName);
    Named(tab.Option("OptUTM", 1, "", false, "Coordenadas UTM"), kUtmInputName);

    Control& geo = tab.Frame("Frame1", 0, "Coord. Geográficas Sistema Ref. Geodésico WGS84");
    Builder g = tab.In(geo);
    g.Label("LblLat", 3, "Latitud");
    g.Label("LblLat", 4, kLat);
    g.DmsRow("Latitud", 0, 0, "38", 1, 1, "16", 2, 2);
    g.Label("LblLat", 21, "N");
    g.Label("LblLat", 8, "Longitud");
    g.Label("LblLat", 9, kLon);
    g.DmsRow("Longitud", 3, 5, "1", 4, 6, "22", 5, 7);
    Builder p1 = g.In(Named(g.Picture("Picture1"), kLonHemisphereName));
    Named(p1.Option("OptLng", 0, "W", true), "Longitud oeste");
    Named(p1.Option("OptLng", 1, "E", false), "Longitud este");
    g.Label("LblLat", 10, kHeightCaption);
    Named(g.Text("TxtWGSg", 6, "600,0", "metros"), kHeightName);
    g.Label("LblAltitud", 0, kTypedAltitude, kTypedAltitudeTip);

    Control& utmFrame = tab.Frame("Frame7", -1, "Coordenadas UTM Sist. Ref. Geodésico WGS84");
    utmFrame.enabled = false;
    Builder u = tab.In(utmFrame);
    u.Label("LblUTM", 13, "E=");
    Named(u.Text("TxtUTMx", -1, "636800", "metros"), kEastName);
    u.Label("LblUTM", 14, "N=");
    Named(u.Text("TxtUTMy", -1, "4234900", "metros"), kNorthName);
    u.Label("LblUTM", 12, "Huso =");
    Named(u.Combo("CmbHuso"), kZoneName);
    u.Label("LblLat", 14, kHeightCaption);
    Named(u.Text("TxtWGSg", 8, "600,0", "metros"), kHeightName);
    u.Label("LblAltitud", 1, kTypedAltitude, kTypedAltitudeTip);
    for (Control* c : tab.Form().Children(utmFrame)) c->foreColor = kGrey;

    Control& utmRes = tab.Frame("Frame6", -1, "Coord. U.T.M. Datum ED50");
    utmRes.fixedPitch = true;
    Builder r = tab.In(utmRes);
    for (auto [i, caption] : {std::pair{0, "E="}, {1, "N="}, {2, "Huso="}})
        r.Label("LblUTM", i, caption).fixedPitch = true;

    tab.HeightKind(0, 0);
    tab.Button("CmdED50Helmert", -1, "Bursa Wolf 7p", kHelmertTip);

    Builder res = tab.In(tab.Frame("Frame5", 0, "Coord. Geográficas Datum ED50"));
    res.Label("Label1", 0, "Latitud");
    res.Label("LblLat", 11, std::string(kLat) + " =");
    res.Label("LblGeoLat", 0, kInitialGeoResult);
    res.Label("LblLat", 12, "Longitud");
    res.Label("LblLat", 13, std::string(kLon) + "=");
    res.Label("LblGeoLon", 0, kInitialGeoResult);
    res.Label("LblLat", 20, kHeightResult);

    Named(tab.Button("Command1", 0, "", kHelmertSheetTip), kHelmertSheetName);
    tab.Button("CmdED50Rejilla", -1, "Rejilla IGN", kGridTip);
    Named(tab.Button("Command1", 4, "", kGridSheetTip), kGridSheetName);

    Builder m = tab.In(Named(tab.Frame("Frame3", -1, ""), kMolodenskyFrameName));
    m.Button("CmdED50Molodensky", -1, "Molodensky 3p", kMolodenskyTip);
    Named(m.Button("Command1", 1, "", kMolodenskySheetTip), kMolodenskySheetName);
    Named(m.Option("OptMWGS84", 0, "IGN", false, kIgnTip), "Parámetros del IGN");
    Named(m.Option("OptMWGS84", 1, "NIMA", true, kNimaTip), "Parámetros del NIMA");
    // After the three methods in the Tab order: a file is the less common path.
    tab.Button("CmdFichero", 0, "Convertir fichero…", kFileTip);
    tab.Button("CmdMapa", 0, "Ver en el mapa", kMapTip);
}

void BuildTab1(Builder tab) {
    tab.Label("Label3", 1, "Cálculo con:");
    // Where the converted point lands, when that is outside Spain.
    Control& place1 = tab.Label("LblLugar", 1, "");
    place1.foreColor = Rgb(192, 0, 0);
    place1.accessibleName = "Aviso del lugar del punto";

    Named(tab.Option("OptCoord", 0, "", false, "Coordenadas UTM"), kUtmInputName);
    Named(tab.Option("OptCoord", 1, "", false, "Coordenadas geográficas"), kGeoInputName);

    Builder u = tab.In(tab.Frame("Frame2", -1, "Coordenadas UTM Datum ED50"));
    u.Label("LblUTM", 10, "E=");
    Named(u.Text("TxtUTMe", -1, "637000", "metros"), kEastName);
    u.Label("LblUTM", 9, "N=");
    Named(u.Text("TxtUTMn", -1, "4234000", "metros"), kNorthName);
    u.Label("LblUTM", 11, "Huso =");
    Named(u.Combo("CmbUsos2"), kZoneName);
    u.Label("LblLat", 65, kHeightCaption);
    Named(u.Text("TxtWGSg", 25, "0,0"), kHeightName);

    Control& geoFrame = tab.Frame("Frame9", 1, "Coordenadas Geográf. Datum ED50");
    geoFrame.enabled = false;
    Builder g = tab.In(geoFrame);
    g.Label("LblLat", 47, "Latitud");
    g.Label("LblLat", 48, kLat);
    g.DmsRow("Latitud", 7, 44, "38", 14, 45, "0", 15, 46);
    g.Label("LblLat", 54, "N");
    g.Label("LblLat", 52, "Longitud");
    g.Label("LblLat", 53, kLon);
    g.DmsRow("Longitud", 16, 49, "1", 17, 50, "0", 18, 51);
    Builder p2 = g.In(Named(g.Picture("Picture2"), kLonHemisphereName));
    Named(p2.Option("OptLng", 4, "W", true), "Longitud oeste");
    Named(p2.Option("OptLng", 5, "E", false), "Longitud este");
    g.Label("LblLat", 68, kHeightCaption);
    Named(g.Text("TxtWGSg", 26, "0,0"), kHeightName);

    Builder res = tab.In(tab.Frame("Frame1", 1, "Coord. Geográf. Sist. Ref. Geodésico WGS84"));
    res.Label("LblLat", 58, "Latitud");
    res.Label("LblLat", 59, std::string(kLat) + " =");
    res.Label("LblGeoLat", 1, kInitialGeoResult);
    res.Label("LblLat", 63, "Longitud");
    res.Label("LblLat", 64, std::string(kLon) + "=");
    res.Label("LblGeoLon", 1, kInitialGeoResult);
    res.Label("LblLat", 24, kHeightResult);
    res.Label("LblAltitud", 2, kAltitudeResult);

    tab.HeightKind(1, 2);
    tab.Button("CmdWGS84Helmert", -1, "Bursa Wolf 7p", kHelmertTip);

    Control& utmRes = tab.Frame("Frame4", -1, "Coord. U.T.M. WGS84");
    utmRes.fixedPitch = true;
    Builder r = tab.In(utmRes);
    for (auto [i, caption] : {std::pair{6, "E="}, {7, "N="}, {8, "Huso="}})
        r.Label("LblUTM", i, caption).fixedPitch = true;

    Named(tab.Button("Command1", 2, "", kHelmertSheetTip), kHelmertSheetName);
    tab.Button("CmdWGS84Rejilla", -1, "Rejilla IGN", kGridTip);
    Named(tab.Button("Command1", 5, "", kGridSheetTip), kGridSheetName);

    Builder m = tab.In(Named(tab.Frame("Frame8", -1, ""), kMolodenskyFrameName));
    m.Button("CmdWGS84Molodensky", -1, "Molodensky 3p", kMolodenskyTip);
    Named(m.Button("Command1", 3, "", kMolodenskySheetTip), kMolodenskySheetName);
    Named(m.Option("OptMED50", 2, "IGN", false, kIgnTip), "Parámetros del IGN");
    Named(m.Option("OptMED50", 3, "NIMA", true, kNimaTip), "Parámetros del NIMA");
    tab.Button("CmdFichero", 1, "Convertir fichero…", kFileTip);
    tab.Button("CmdMapa", 1, "Ver en el mapa", kMapTip);
}

void BuildTab2(Builder tab) {
    tab.Label("LblDist", -1, "Distancia= 0,000 Km");

    Builder p1 = tab.In(tab.Frame("Frame1", 2, "Coord. Geográficas WGS84"));
    p1.Label("Label5", -1, "1").bold = true;
    p1.Label("LblLat", 28, "Latitud");
    p1.Label("LblLat", 29, kLat);
    p1.DmsRow("Punto 1, latitud", 9, 25, "38", 10, 26, "25", 11, 27);
    Named(p1.Option("OptLng", 8, "N", true), "Punto 1, latitud norte");
    Named(p1.Option("OptLng", 9, "S", false), "Punto 1, latitud sur");
    p1.Label("LblLat", 34, "Longitud");
    p1.Label("LblLat", 35, kLon);
    p1.DmsRow("Punto 1, longitud", 12, 30, "1", 13, 31, "34", 27, 32);
    Builder pic3 = p1.In(Named(p1.Picture("Picture3"), "Punto 1, hemisferio de la longitud"));
    Named(pic3.Option("OptLng", 3, "W", true), "Punto 1, longitud oeste");
    Named(pic3.Option("OptLng", 2, "E", false), "Punto 1, longitud este");
    p1.Button("Command2", -1, "Longitudes de arco",
              "Calcula la longitud de arco en latitud y longitud del punto nº 1");
    p1.Button("Command5", -1, "Convertir a: ggg,gggggggº",
              "Convierte las coordenadas del punto nº 1, expresadas en Grados, minutos y "
              "segundos a distintos formatos");

    Builder p2 = tab.In(tab.Frame("Frame1", 3, "Coord. Geográficas WGS84"));
    p2.Label("Label6", -1, "2").bold = true;
    p2.Label("LblLat", 69, "Latitud");
    p2.Label("LblLat", 43, kLat);
    p2.DmsRow("Punto 2, latitud", 33, 72, "39", 32, 71, "16", 31, 70);
    Named(p2.Option("OptLng", 11, "N", true), "Punto 2, latitud norte");
    Named(p2.Option("OptLng", 10, "S", false), "Punto 2, latitud sur");
    p2.Label("LblLat", 39, "Longitud");
    p2.Label("LblLat", 38, kLon);
    p2.DmsRow("Punto 2, longitud", 30, 42, "2", 29, 41, "22", 28, 40);
    Builder pic4 = p2.In(Named(p2.Picture("Picture4"), "Punto 2, hemisferio de la longitud"));
    Named(pic4.Option("OptLng", 6, "W", true), "Punto 2, longitud oeste");
    Named(pic4.Option("OptLng", 7, "E", false), "Punto 2, longitud este");

    tab.Button("Command4", -1, "Distancia entre (1) y (2)");

    Builder cal = tab.In(tab.Frame("Frame10", -1, "Calendario solar"));
    Named(cal.Add(Kind::MonthView, "MonthView1", -1, ""), "Calendario");
    cal.Label("LblZonaUTC", -1, "Zona UTC:", "Tiempo Universal Coordinado");
    Named(cal.Combo("CmbUTC", "España peninsular y Baleares UTC+1, Canarias UTC=0"), "Zona UTC");
    cal.Label("Label4", 0, "Horario solar:");
    Named(cal.Combo("CmbHS"), "Horario solar");
    cal.Label("Label4", 1, "Orto:");
    cal.Label("LblOrto", -1, "0:00 A.M.", "Hora Local").foreColor = kBlue;
    cal.Label("Label4", 3, "Culminación:");
    cal.Label("LblCulmin", -1, "0:00 P.M.").foreColor = kBlue;
    cal.Label("Label4", 2, "Ocaso:");
    cal.Label("LblOcaso", -1, "0:00 P.M.", "Hora Local").foreColor = kBlue;
    cal.Button("Command3", -1, "Salida y puesta del Sol  (pto. 1)");
    // The year at a glance, filled by the same button.
    Control& year = Named(tab.Add(Kind::Chart, "PicAnual", -1, "Pulse «Salida y puesta del Sol» para ver el año",
                                  kSunYearTip),
                          "Año solar del punto 1");
    year.items = {"E", "F", "M", "A", "M", "J", "J", "A", "S", "O", "N", "D"};  // the months along the bottom
}

}  // namespace

void BuildFrmTalporControls(FormModel& form) {
    Control window;
    window.kind = Kind::Form;
    window.id = {"frmTalpor", -1};
    window.text = kFormCaption;
    window.accessibleName = kFormCaption;
    form.Add(std::move(window));

    Builder top(form, "frmTalpor", -1);
    Control& tabs = Named(top.Add(Kind::TabControl, "SSTab1", -1, ""), "Pestañas");
    tabs.tabCaptions = {"WGS84  ->  ED50", "ED50  ->  WGS84 ", "Utilidades"};
    tabs.currentTab = 0;

    BuildTab0(Builder(form, "SSTab1", 0));
    BuildTab1(Builder(form, "SSTab1", 1));
    BuildTab2(Builder(form, "SSTab1", 2));

    // The About box, beside "Cerrar": before it in the Tab order, as it stands before it
    // in the row.
    Named(top.Button("CmdAcerca", -1, "?", kAboutTip), kAboutName);
    top.Button("Command15", -1, "Cerrar");

    // Results the user can select with the mouse and copy.
    for (const auto& c : form.Controls()) {
        const bool inResultFrame = c->container == "Frame5(0)" || c->container == "Frame6" ||
                                   c->container == "Frame1(1)" || c->container == "Frame4";
        const std::string& n = c->id.name;
        if (c->kind == Kind::Label && (inResultFrame || n == "LblDist" || n == "LblOrto" ||
                                       n == "LblCulmin" || n == "LblOcaso"))
            c->selectable = true;
    }
}

}  // namespace form
