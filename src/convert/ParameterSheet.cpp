// The transformation parameter sheets: fixed reference texts, aligned with blanks and
// tabs on the decimal points. The values are those the conversions use, written as the
// sheets have always shown them (the scale in plain parts, the rotations in arc-seconds).
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

}  // namespace

void Command1_Click(app::FormModel&, app::Platform& platform, int index) {
    const char* sheet = nullptr;
    if (index == 0 || index == 2) sheet = kHelmertSheet;
    if (index == 1 || index == 3) sheet = kMolodenskySheet;
    if (!sheet) return;
    platform.MsgBox(sheet, kTitle, app::MsgIcon::Information, app::MsgButtons::OK,
                    app::MsgResult::OK);
}

}  // namespace convert
