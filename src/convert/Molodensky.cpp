#include "convert/Conversions.h"

namespace convert {

void CmdED50Molodensky_Click(app::FormModel&, app::Platform&) {}
void CmdWGS84Molodensky_Click(app::FormModel&, app::Platform&) {}

}  // namespace convert
