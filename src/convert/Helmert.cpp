#include "convert/Conversions.h"

namespace convert {

void CmdED50Helmert_Click(app::FormModel&, app::Platform&) {}
void CmdWGS84Helmert_Click(app::FormModel&, app::Platform&) {}

}  // namespace convert
