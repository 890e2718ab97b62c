#include "utilities/Utilities.h"

namespace utilities {

void Command4_Click(app::FormModel&, app::Platform&) {}

}  // namespace utilities
