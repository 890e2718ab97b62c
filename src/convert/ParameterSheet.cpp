// The transformation parameter sheets: fixed reference texts, aligned with blanks and
// tabs on the decimal points. The values are those the conversions use, written as the
// sheets have always shown them (the scale in plain parts, the rotations in arc-seconds).
// The grid's sheet says which grid files are in use, where they were found, and the
// attribution their licence asks for.
#include <string>

#include "convert/Conversions.h"

namespace convert {
namespace {

constexpr const char* kTitle = "Parámetros o coeficientes de transformación ED50 <> WGS84 (ETRS89)";

constexpr const char* kHelmertSheet =
    "Zona EST99 España peninsular, excepto NW entre 41º 30' Lat y 4º 30' Lon\r\n"
    "dX =  -131.032\tgX = -1.2438\"\r\n"
    "dY =  -100.251\tgY = -0.0195\"\r\n"
    "dZ =  -163.354\tgZ = -1.1436\"\r\n"
    " k =   0.00000939\r\n"
    "\r\n"
    "Zona ZNW99 España peninsular NW, entre 41º 30' Lat y 4º 30' Lon\r\n"
    "dX =  -178.383\tgX =  0.5401\"\r\n"
    "dY =   -83.172\tgY = -0.5319\"\r\n"
    "dZ =  -221.293\tgZ = -0.1263\"\r\n"
    " k =   0.0000212\r\n"
    "\r\n"
    "Zona BAL99 España, Islas Baleares\r\n"
    "dX =  -181.4609\tgX =  0.1435\"\r\n"
    "dY =   -90.2931\tgY =  0.4922\"\r\n"
    "dZ =  -187.1902\tgZ = -0.3935\"\r\n"
    " k =   0.00001757\r\n"
    "\r\n"
    "Precisión EUREF: X±1,5m  Y±1,5m  Z±1,5m";

constexpr const char* kMolodenskySheet =
    "IGN: España peninsular\tNIMA: Portugal & Spain\r\n"
    "dX =  -87.835\t\tdX =  -84.000\r\n"
    "dY = -105.771\t\tdY = -107.000\r\n"
    "dZ = -122.500\t\tdZ = -120.000\r\n"
    "\r\n"
    "Precisión  IGN: X±3,5m  Y±2,5m  Z±3,0m\r\n"
    "Precisión NIMA: X±5,0m  Y±6,0m  Z±3,0m";

constexpr const char* kGridTitle = "Rejilla IGN ED50 <> WGS84 (ETRS89)";

// What the EPSG register says of each grid.
struct GridEntry {
    const char* area;
    const char* epsg;
};

GridEntry EntryOf(geo::ShiftGrid grid) {
    switch (grid) {
        case geo::ShiftGrid::PENR2009:
            return {"España peninsular", "EPSG 9408, ED50 to ETRS89 (16)"};
        case geo::ShiftGrid::BALR2009:
            return {"Islas Baleares", "EPSG 9409, ED50 to ETRS89 (17)"};
        case geo::ShiftGrid::SPED2ETV2:
            break;
    }
    return {"España peninsular y Baleares", "EPSG 15932, ED50 to ETRS89 (12)"};
}

}  // namespace

std::string GridSheet(core::Grids& grids) {
    const geo::IgnShiftGrids& shift = grids.Shift();
    std::string s =
        "Rejilla oficial del IGN (NTv2) entre ED50 y ETRS89\r\n"
        "Fuente: Instituto Geográfico Nacional de España (www.ign.es)\r\n";
    for (const geo::IgnShiftGrids::InUse& g : shift.Grids()) {
        const GridEntry e = EntryOf(g.grid);
        s += "\r\n" + std::string(geo::NameOf(g.grid)) + ": " + e.area + "\r\n";
        s += "    " + std::string(e.epsg) + "; precisión 0,2 m\r\n";
        s += "    " + g.path + "\r\n";
    }
    if (!shift.Problem().empty()) s += "\r\nNo disponible: " + shift.Problem() + "\r\n";
    for (const std::string& warning : shift.Warnings()) s += "\r\n" + warning + "\r\n";
    s += "\r\n"
         "La rejilla desplaza solo la latitud y la longitud: la altura pasa sin transformar.\r\n"
         "WGS84 se toma como ETRS89, como en los demás métodos: en España difieren menos\r\n"
         "de un metro.\r\n"
         "\r\n"
         "Las rejillas de 2009 (PENR2009.gsb, BALR2009.gsb) se usan antes que SPED2ETV2\r\n"
         "si están en:\r\n    ";
    s += grids.UserFolder().empty() ? std::string("(el sistema no da carpeta de datos del usuario)")
                                    : grids.UserFolder();
    s += "\r\n";
    if (shift.Grids().size() > 1)
        s += "Cada punto se transforma con la primera rejilla de la lista que lo cubre.\r\n";
    s += "\r\n"
         "Las altitudes sobre el nivel del mar usan el geoide EGM08-REDNAP del IGN\r\n"
         "(es_ign_egm08-rednap.tif).\r\n"
         "\r\n"
         "Contiene datos derivados del Instituto Geográfico Nacional de España (www.ign.es),\r\n"
         "licencia CC BY 4.0";
    return s;
}

void Command1_Click(form::FormModel&, form::Platform& platform, int index, core::Grids& grids) {
    if (index == 4 || index == 5) {
        platform.MsgBox(GridSheet(grids), kGridTitle, form::MsgIcon::Information,
                        form::MsgButtons::OK, form::MsgResult::OK);
        return;
    }
    const char* sheet = nullptr;
    if (index == 0 || index == 2) sheet = kHelmertSheet;
    if (index == 1 || index == 3) sheet = kMolodenskySheet;
    if (!sheet) return;
    platform.MsgBox(sheet, kTitle, form::MsgIcon::Information, form::MsgButtons::OK,
                    form::MsgResult::OK);
}

}  // namespace convert
