#include "utilities/Utilities.h"

namespace utilities {

void Command2_Click(app::FormModel&, app::Platform&) {}

}  // namespace utilities
