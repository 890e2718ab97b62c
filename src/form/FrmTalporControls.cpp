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

// The names and first texts of a conversion tab's controls. The two tabs hold the same
// controls, mirrored (each converts from the datum the other converts to), under the names
// they have always had; one builder makes both from their rows below.
struct DmsNames {  // the fields and unit labels of one angle (Builder::DmsRow)
    int deg, degLabel;
    const char* degText;
    int min, minLabel;
    const char* minText;
    int sec, secLabel;
};
struct GeoFieldNames {  // the frame of the typed latitude, longitude and height
    const char* frame;
    int frameIndex;
    const char* caption;
    int latLabel;  // LblLat(latLabel): "Latitud"; latLabel + 1: its symbol
    DmsNames lat;
    int northLabel;
    int lonLabel;  // as latLabel
    DmsNames lon;
    const char* hemispheres;
    int west;  // OptLng(west): "W", west + 1: "E"
    int heightLabel, height;
    const char* heightText;
    const char* heightTip;
    int altitude;  // LblAltitud(altitude) under the height; -1: none
};
struct UtmFieldNames {  // the frame of the typed easting, northing, zone and height
    const char* frame;
    const char* caption;
    int eastLabel;
    const char* east;
    const char* eastText;
    int northLabel;
    const char* north;
    const char* northText;
    int zoneLabel;
    const char* zone;
    int heightLabel, height;
    const char* heightText;
    const char* heightTip;
    int altitude;
};
struct GeoResultNames {  // the frame of the converted latitude, longitude and height
    const char* frame;
    int frameIndex;  // also the index of its LblGeoLat and LblGeoLon
    const char* caption;
    ControlId latCaption;  // "Latitud"
    int latSign, lonCaption, lonSign, height;  // LblLat indices
    int altitude;          // LblAltitud(altitude): the altitude of a WGS84 result; -1: none
};
struct ConversionTabNames {
    int tab;
    const char* inputOption;  // (inputOption, 0) and (inputOption, 1): the input modes
    bool geoFirst;            // option 0 and the first frame are the geographic input's
    GeoFieldNames geo;
    UtmFieldNames utm;
    bool greyUtm;  // the UTM input starts greyed, not only disabled
    const char* utmResults;
    const char* utmResultsCaption;
    int utmResultLabel;  // LblUTM(utmResultLabel ...+2): "E=", "N=", "Huso="
    GeoResultNames geoResults;
    const char* helmert;
    const char* grid;
    int helmertSheet, molodenskySheet, gridSheet;  // Command1 indices
    const char* molodenskyFrame;
    const char* molodensky;
    const char* molodenskySet;  // its IGN and NIMA options, from molodenskySetIndex
    int molodenskySetIndex;
};

const ConversionTabNames kConversionTabs[] = {
    {0, "OptUTM", true,
     {"Frame1", 0, "Coord. Geográficas Sistema Ref. Geodésico WGS84", 3, {0, 0, "38", 1, 1, "16", 2, 2}, 21, 8,
      {3, 5, "1", 4, 6, "22", 5, 7}, "Picture1", 0, 10, 6, "600,0", "metros", 0},
     {"Frame7", "Coordenadas UTM Sist. Ref. Geodésico WGS84", 13, "TxtUTMx", "636800", 14, "TxtUTMy", "4234900", 12,
      "CmbHuso", 14, 8, "600,0", "metros", 1},
     true, "Frame6", "Coord. U.T.M. Datum ED50", 0,
     {"Frame5", 0, "Coord. Geográficas Datum ED50", {"Label1", 0}, 11, 12, 13, 20, -1},
     "CmdED50Helmert", "CmdED50Rejilla", 0, 1, 4, "Frame3", "CmdED50Molodensky", "OptMWGS84", 0},
    {1, "OptCoord", false,
     {"Frame9", 1, "Coordenadas Geográf. Datum ED50", 47, {7, 44, "38", 14, 45, "0", 15, 46}, 54, 52,
      {16, 49, "1", 17, 50, "0", 18, 51}, "Picture2", 4, 68, 26, "0,0", "", -1},
     {"Frame2", "Coordenadas UTM Datum ED50", 10, "TxtUTMe", "637000", 9, "TxtUTMn", "4234000", 11, "CmbUsos2", 65,
      25, "0,0", "", -1},
     false, "Frame4", "Coord. U.T.M. WGS84", 6,
     {"Frame1", 1, "Coord. Geográf. Sist. Ref. Geodésico WGS84", {"LblLat", 58}, 59, 63, 64, 24, 2},
     "CmdWGS84Helmert", "CmdWGS84Rejilla", 2, 3, 5, "Frame8", "CmdWGS84Molodensky", "OptMED50", 2},
};

void BuildGeoFields(Builder tab, const GeoFieldNames& n, bool enabled) {
    Control& frame = tab.Frame(n.frame, n.frameIndex, n.caption);
    frame.enabled = enabled;
    Builder g = tab.In(frame);
    g.Label("LblLat", n.latLabel, "Latitud");
    g.Label("LblLat", n.latLabel + 1, kLat);
    g.DmsRow("Latitud", n.lat.deg, n.lat.degLabel, n.lat.degText, n.lat.min, n.lat.minLabel, n.lat.minText,
             n.lat.sec, n.lat.secLabel);
    g.Label("LblLat", n.northLabel, "N");
    g.Label("LblLat", n.lonLabel, "Longitud");
    g.Label("LblLat", n.lonLabel + 1, kLon);
    g.DmsRow("Longitud", n.lon.deg, n.lon.degLabel, n.lon.degText, n.lon.min, n.lon.minLabel, n.lon.minText,
             n.lon.sec, n.lon.secLabel);
    Builder p = g.In(Named(g.Picture(n.hemispheres), kLonHemisphereName));
    Named(p.Option("OptLng", n.west, "W", true), "Longitud oeste");
    Named(p.Option("OptLng", n.west + 1, "E", false), "Longitud este");
    g.Label("LblLat", n.heightLabel, kHeightCaption);
    Named(g.Text("TxtWGSg", n.height, n.heightText, n.heightTip), kHeightName);
    if (n.altitude >= 0) g.Label("LblAltitud", n.altitude, kTypedAltitude, kTypedAltitudeTip);
}

void BuildUtmFields(Builder tab, const UtmFieldNames& n, bool enabled, bool grey) {
    Control& frame = tab.Frame(n.frame, -1, n.caption);
    frame.enabled = enabled;
    Builder u = tab.In(frame);
    u.Label("LblUTM", n.eastLabel, "E=");
    Named(u.Text(n.east, -1, n.eastText, "metros"), kEastName);
    u.Label("LblUTM", n.northLabel, "N=");
    Named(u.Text(n.north, -1, n.northText, "metros"), kNorthName);
    u.Label("LblUTM", n.zoneLabel, "Huso =");
    Named(u.Combo(n.zone), kZoneName);
    u.Label("LblLat", n.heightLabel, kHeightCaption);
    Named(u.Text("TxtWGSg", n.height, n.heightText, n.heightTip), kHeightName);
    if (n.altitude >= 0) u.Label("LblAltitud", n.altitude, kTypedAltitude, kTypedAltitudeTip);
    if (grey)
        for (Control* c : tab.Form().Children(frame)) c->foreColor = kGrey;
}

void BuildUtmResults(Builder tab, const ConversionTabNames& n) {
    Control& frame = tab.Frame(n.utmResults, -1, n.utmResultsCaption);
    frame.fixedPitch = true;
    Builder r = tab.In(frame);
    for (auto [i, caption] : {std::pair{0, "E="}, {1, "N="}, {2, "Huso="}})
        r.Label("LblUTM", n.utmResultLabel + i, caption).fixedPitch = true;
}

void BuildGeoResults(Builder tab, const GeoResultNames& n) {
    Builder res = tab.In(tab.Frame(n.frame, n.frameIndex, n.caption));
    res.Label(n.latCaption.name, n.latCaption.index, "Latitud");
    res.Label("LblLat", n.latSign, std::string(kLat) + " =");
    res.Label("LblGeoLat", n.frameIndex, kInitialGeoResult);
    res.Label("LblLat", n.lonCaption, "Longitud");
    res.Label("LblLat", n.lonSign, std::string(kLon) + "=");
    res.Label("LblGeoLon", n.frameIndex, kInitialGeoResult);
    res.Label("LblLat", n.height, kHeightResult);
    if (n.altitude >= 0) res.Label("LblAltitud", n.altitude, kAltitudeResult);
}

// One conversion tab. Creation order is the Tab order: the input-mode buttons before the
// frames they enable, the two input frames before the results and the buttons.
void BuildConversionTab(Builder tab, const ConversionTabNames& n) {
    tab.Label("Label3", n.tab, "Cálculo con:");
    // Where the converted point lands, when that is outside Spain.
    Control& place = tab.Label("LblLugar", n.tab, "");
    place.foreColor = Rgb(192, 0, 0);
    place.accessibleName = "Aviso del lugar del punto";

    if (n.geoFirst) {
        Named(tab.Option(n.inputOption, 0, "", true, "Coordenadas geográficas"), kGeoInputName);
        Named(tab.Option(n.inputOption, 1, "", false, "Coordenadas UTM"), kUtmInputName);
        BuildGeoFields(tab, n.geo, true);
        BuildUtmFields(tab, n.utm, false, n.greyUtm);
        BuildUtmResults(tab, n);
    } else {
        Named(tab.Option(n.inputOption, 0, "", false, "Coordenadas UTM"), kUtmInputName);
        Named(tab.Option(n.inputOption, 1, "", false, "Coordenadas geográficas"), kGeoInputName);
        BuildUtmFields(tab, n.utm, true, n.greyUtm);
        BuildGeoFields(tab, n.geo, false);
        BuildGeoResults(tab, n.geoResults);
    }
    tab.HeightKind(n.tab, 2 * n.tab);
    tab.Button(n.helmert, -1, "Bursa Wolf 7p", kHelmertTip);
    if (n.geoFirst) BuildGeoResults(tab, n.geoResults);
    else BuildUtmResults(tab, n);

    Named(tab.Button("Command1", n.helmertSheet, "", kHelmertSheetTip), kHelmertSheetName);
    tab.Button(n.grid, -1, "Rejilla IGN", kGridTip);
    Named(tab.Button("Command1", n.gridSheet, "", kGridSheetTip), kGridSheetName);

    Builder m = tab.In(Named(tab.Frame(n.molodenskyFrame, -1, ""), kMolodenskyFrameName));
    m.Button(n.molodensky, -1, "Molodensky 3p", kMolodenskyTip);
    Named(m.Button("Command1", n.molodenskySheet, "", kMolodenskySheetTip), kMolodenskySheetName);
    Named(m.Option(n.molodenskySet, n.molodenskySetIndex, "IGN", false, kIgnTip), "Parámetros del IGN");
    Named(m.Option(n.molodenskySet, n.molodenskySetIndex + 1, "NIMA", true, kNimaTip), "Parámetros del NIMA");
    // After the three methods in the Tab order: a file is the less common path.
    tab.Button("CmdFichero", n.tab, "Convertir fichero…", kFileTip);
    tab.Button("CmdMapa", n.tab, "Ver en el mapa", kMapTip);
}

void BuildTab2(Builder tab) {
    tab.Label("LblDist", -1, "Distancia= 0,000 Km");
    // The exact geodesic and its azimuths, written by the same button.
    tab.Label("LblGeodesica", -1, "Geodésica y acimutes: pulse\n«Distancia entre (1) y (2)»");

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

    for (const ConversionTabNames& names : kConversionTabs) BuildConversionTab(Builder(form, "SSTab1", names.tab), names);
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
        if (c->kind == Kind::Label &&
            (inResultFrame || n == "LblDist" || n == "LblGeodesica" || n == "LblOrto" ||
             n == "LblCulmin" || n == "LblOcaso"))
            c->selectable = true;
    }
}

}  // namespace form
