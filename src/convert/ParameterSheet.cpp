#include "convert/Conversions.h"

namespace convert {

void Command1_Click(app::FormModel&, app::Platform&, int) {}

}  // namespace convert
