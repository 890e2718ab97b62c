#include "utilities/Utilities.h"

namespace utilities {

void Command5_Click(app::FormModel&, app::Platform&) {}

}  // namespace utilities
