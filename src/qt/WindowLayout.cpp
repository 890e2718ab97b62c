#include "qt/WindowLayout.h"

namespace qt {
namespace {

constexpr int kRowHeight = 24;
// The input frames of the conversion tabs, and the result frames below them.
constexpr int kInputHeight = 156;
constexpr int kResultTop = 10 + kInputHeight + 12;
constexpr int kResultHeight = 140;
constexpr int kWarningHeight = 18;  // the line under the results that warns of a point outside Spain

class Table {
public:
    std::map<std::string, Placement> places;

    void Put(const std::string& name, int x, int y, int w, int h) {
        places[name] = {QRect(x, y, w, h)};
    }
    static std::string N(const char* name, int index = -1) {
        return index < 0 ? name : std::string(name) + "_" + std::to_string(index);
    }

    // A row of a geographic frame: caption, symbol, degrees º minutes ' seconds ".
    // `x` is where the caption starts; returns where the row's last sign ends.
    int DmsRow(int x, int y, int caption, int symbol, int deg, int degSign, int min,
               int minSign, int sec, int secSign) {
        Put(N("LblLat", caption), x, y, 56, kRowHeight);
        Put(N("LblLat", symbol), x + 56, y, 14, kRowHeight);
        int f = x + 72;
        Put(N("TxtWGSg", deg), f, y, 34, kRowHeight);
        Put(N("LblLat", degSign), f + 35, y, 8, kRowHeight);
        Put(N("TxtWGSg", min), f + 44, y, 34, kRowHeight);
        Put(N("LblLat", minSign), f + 79, y, 8, kRowHeight);
        Put(N("TxtWGSg", sec), f + 88, y, 70, kRowHeight);
        Put(N("LblLat", secSign), f + 159, y, 8, kRowHeight);
        return f + 168;
    }

    // Two option buttons side by side in a borderless box (or straight in the frame).
    void Pair(const std::string& box, int x, int y, const std::string& a, const std::string& b) {
        if (!box.empty()) {
            Put(box, x, y - 1, 90, kRowHeight + 2);
            Put(a, 2, 1, 42, kRowHeight);
            Put(b, 46, 1, 42, kRowHeight);
        } else {
            Put(a, x + 2, y, 42, kRowHeight);
            Put(b, x + 46, y, 42, kRowHeight);
        }
    }

    // Geographic input frame of a conversion tab (Frame1(0) or Frame9(1)); the altitude
    // line (-1: none) below the height.
    void GeoInput(const char* frame, int frameIndex, int fx, const char* option, int optionIndex,
                  const int lat[8], int north, const int lon[8], const char* picture, int west,
                  int east, int heightCaption, int height, int altitude) {
        Put(N(frame, frameIndex), fx, 10, 344, kInputHeight);
        Put(N(option, optionIndex), fx - 20, 9, 18, 18);
        int end = DmsRow(8, 26, lat[0], lat[1], lat[2], lat[3], lat[4], lat[5], lat[6], lat[7]);
        Put(N("LblLat", north), end + 6, 26, 20, kRowHeight);
        DmsRow(8, 58, lon[0], lon[1], lon[2], lon[3], lon[4], lon[5], lon[6], lon[7]);
        Pair(picture, end + 2, 58, N("OptLng", west), N("OptLng", east));
        Put(N("LblLat", heightCaption), 8, 96, 196, kRowHeight);
        Put(N("TxtWGSg", height), 206, 96, 76, kRowHeight);
        if (altitude >= 0) Put(N("LblAltitud", altitude), 8, 124, 328, kRowHeight);
    }

    // UTM input frame of a conversion tab (Frame7 or Frame2).
    void UtmInput(const char* frame, int fx, const char* option, int optionIndex, int eastLbl,
                  const char* east, int northLbl, const char* north, int zoneLbl,
                  const char* zone, int heightCaption, int height, int altitude) {
        Put(frame, fx, 10, 344, kInputHeight);
        Put(N(option, optionIndex), fx - 20, 9, 18, 18);
        Put(N("LblUTM", eastLbl), 8, 26, 26, kRowHeight);
        Put(east, 36, 26, 110, kRowHeight);
        Put(N("LblUTM", northLbl), 8, 58, 26, kRowHeight);
        Put(north, 36, 58, 110, kRowHeight);
        Put(N("LblUTM", zoneLbl), 172, 58, 52, kRowHeight);
        Put(zone, 226, 58, 64, kRowHeight + 2);
        Put(N("LblLat", heightCaption), 8, 96, 196, kRowHeight);
        Put(N("TxtWGSg", height), 206, 96, 76, kRowHeight);
        if (altitude >= 0) Put(N("LblAltitud", altitude), 8, 124, 328, kRowHeight);
    }

    // Geographic result frame (Frame5(0) or Frame1(1)); the altitude line (-1: none)
    // below the height.
    void GeoResult(const char* frame, int frameIndex, int fx, const std::string& latCaption,
                   int latSymbol, int latResult, int lonCaption, int lonSymbol, int lonResult,
                   int height, int altitude) {
        Put(N(frame, frameIndex), fx, kResultTop, 344, kResultHeight);
        Put(latCaption, 8, 26, 60, kRowHeight);
        Put(N("LblLat", latSymbol), 70, 26, 30, kRowHeight);
        Put(N("LblGeoLat", latResult), 102, 26, 234, kRowHeight);
        Put(N("LblLat", lonCaption), 8, 54, 60, kRowHeight);
        Put(N("LblLat", lonSymbol), 70, 54, 30, kRowHeight);
        Put(N("LblGeoLon", lonResult), 102, 54, 234, kRowHeight);
        Put(N("LblLat", height), 8, 84, 328, kRowHeight);
        if (altitude >= 0) Put(N("LblAltitud", altitude), 8, 110, 328, kRowHeight);
    }

    // UTM result frame (Frame6 or Frame4), fixed-pitch lines.
    void UtmResult(const char* frame, int fx, int e, int n, int zone) {
        Put(frame, fx, kResultTop, 344, kResultHeight);
        Put(N("LblUTM", e), 10, 26, 326, kRowHeight);
        Put(N("LblUTM", n), 10, 54, 326, kRowHeight);
        Put(N("LblUTM", zone), 10, 84, 326, kRowHeight);
    }

    // "Cálculo con:" and the calculation buttons of a conversion tab: Helmert and the
    // grid with their sheets on the left, the Molodensky box on the right.
    void Calculation(int label, const char* helmert, int helmertSheet, const char* grid,
                     int gridSheet, const char* molodensky, const char* molodenskyBox,
                     int molodenskySheet, const char* option, int ign, int nima) {
        // The warning of a point outside Spain, under the results across the tab.
        Put(N("LblLugar", label), 30, kResultTop + kResultHeight + 2, 718, 20);
        const int top = kResultTop + kResultHeight + kWarningHeight;
        Put(N("Label3", label), 30, top + 14, 96, 20);
        // What the typed heights are, on the row of "Cálculo con:".
        Put(N("PicAltura", label), 128, top + 10, 262, kRowHeight + 2);
        Put(N("LblAltura", label), 2, 1, 50, kRowHeight);
        Put(N("OptAltura", 2 * label), 54, 1, 88, kRowHeight);
        Put(N("OptAltura", 2 * label + 1), 146, 1, 112, kRowHeight);
        Put(helmert, 30, top + 36, 150, 36);
        Put(N("Command1", helmertSheet), 184, top + 36, 36, 36);
        Put(grid, 232, top + 36, 120, 36);
        Put(N("Command1", gridSheet), 356, top + 36, 36, 36);
        Put(N("CmdFichero", label), 30, top + 84, 190, 30);
        Put(N("CmdMapa", label), 232, top + 84, 160, 30);
        Put(molodenskyBox, 404, top + 22, 344, 58);
        Put(molodensky, 10, 14, 150, 36);
        Put(N("Command1", molodenskySheet), 164, 14, 36, 36);
        Put(N(option, ign), 214, 20, 56, kRowHeight);
        Put(N(option, nima), 272, 20, 66, kRowHeight);
    }

    // A point frame of the utilities tab.
    int PointRows(const int lat[8], const char* north, int northIdx, const char* south,
                  int southIdx, const int lon[8], const char* picture, int west, int east) {
        int end = DmsRow(26, 26, lat[0], lat[1], lat[2], lat[3], lat[4], lat[5], lat[6], lat[7]);
        Pair({}, end + 2, 26, N(north, northIdx), N(south, southIdx));
        DmsRow(26, 58, lon[0], lon[1], lon[2], lon[3], lon[4], lon[5], lon[6], lon[7]);
        Pair(picture, end + 2, 58, N("OptLng", west), N("OptLng", east));
        return end;
    }
};

Table Build() {
    Table t;
    t.Put("SSTab1", 8, 8, 760, kWindowHeight - 52);
    // "?" (the About box) just left of "Cerrar", as tall, square.
    t.Put("CmdAcerca", 636, kWindowHeight - 36, 30, 30);
    t.Put("Command15", 676, kWindowHeight - 36, 92, 30);

    // Tab 0: WGS84 input on top (geographic left, UTM right), ED50 results below.
    {
        const int lat[8] = {3, 4, 0, 0, 1, 1, 2, 2};
        const int lon[8] = {8, 9, 3, 5, 4, 6, 5, 7};
        t.GeoInput("Frame1", 0, 30, "OptUTM", 0, lat, 21, lon, "Picture1", 0, 1, 10, 6, 0);
        t.UtmInput("Frame7", 404, "OptUTM", 1, 13, "TxtUTMx", 14, "TxtUTMy", 12, "CmbHuso", 14, 8,
                   1);
        t.GeoResult("Frame5", 0, 30, "Label1_0", 11, 0, 12, 13, 0, 20, -1);
        t.UtmResult("Frame6", 404, 0, 1, 2);
        t.Calculation(0, "CmdED50Helmert", 0, "CmdED50Rejilla", 4, "CmdED50Molodensky", "Frame3",
                      1, "OptMWGS84", 0, 1);
    }
    // Tab 1 mirrors tab 0 with the input frames swapped: UTM left, geographic right.
    {
        const int lat[8] = {47, 48, 7, 44, 14, 45, 15, 46};
        const int lon[8] = {52, 53, 16, 49, 17, 50, 18, 51};
        t.UtmInput("Frame2", 30, "OptCoord", 0, 10, "TxtUTMe", 9, "TxtUTMn", 11, "CmbUsos2", 65, 25,
                   -1);
        t.GeoInput("Frame9", 1, 404, "OptCoord", 1, lat, 54, lon, "Picture2", 4, 5, 68, 26, -1);
        t.GeoResult("Frame1", 1, 30, "LblLat_58", 59, 1, 63, 64, 1, 24, 2);
        t.UtmResult("Frame4", 404, 6, 7, 8);
        t.Calculation(1, "CmdWGS84Helmert", 2, "CmdWGS84Rejilla", 5, "CmdWGS84Molodensky", "Frame8",
                      3, "OptMED50", 2, 3);
    }
    // Tab 2: the two points, the distance and the geodesic on the left, the solar calendar on
    // the right.
    {
        t.Put("Frame1_2", 12, 10, 372, 134);
        t.Put("Label5", 8, 26, 14, kRowHeight);
        const int lat1[8] = {28, 29, 9, 25, 10, 26, 11, 27};
        const int lon1[8] = {34, 35, 12, 30, 13, 31, 27, 32};
        t.PointRows(lat1, "OptLng", 8, "OptLng", 9, lon1, "Picture3", 3, 2);
        t.Put("Command2", 26, 92, 150, 32);
        t.Put("Command5", 180, 92, 184, 32);

        t.Put("Frame1_3", 12, 154, 372, 96);
        t.Put("Label6", 8, 26, 14, kRowHeight);
        const int lat2[8] = {69, 43, 33, 72, 32, 71, 31, 70};
        const int lon2[8] = {39, 38, 30, 42, 29, 41, 28, 40};
        t.PointRows(lat2, "OptLng", 11, "OptLng", 10, lon2, "Picture4", 6, 7);

        t.Put("Command4", 12, 258, 186, 30);
        t.Put("LblDist", 206, 261, 178, kRowHeight);
        // The geodesic's two lines under the button, the width of the points' frames.
        t.Put("LblGeodesica", 14, 292, 370, 34);

        t.Put("Frame10", 396, 10, 352, 388);
        t.Put("MonthView1", 10, 24, 332, 184);
        t.Put("LblZonaUTC", 10, 218, 110, kRowHeight);
        t.Put("CmbUTC", 122, 217, 90, kRowHeight + 2);
        t.Put("Label4_0", 10, 248, 110, kRowHeight);
        t.Put("CmbHS", 122, 247, 120, kRowHeight + 2);
        t.Put("Label4_1", 10, 280, 110, 20);
        t.Put("LblOrto", 122, 280, 220, 20);
        t.Put("Label4_3", 10, 302, 110, 20);
        t.Put("LblCulmin", 122, 302, 220, 20);
        t.Put("Label4_2", 10, 324, 110, 20);
        t.Put("LblOcaso", 122, 324, 220, 20);
        t.Put("Command3", 10, 350, 240, 30);
        t.Put("PicAnual", 12, 332, 372, 118);
    }
    return t;
}

}  // namespace

const std::map<std::string, Placement>& WindowLayout() {
    static const std::map<std::string, Placement> layout = Build().places;
    return layout;
}

}  // namespace qt
