#include "utilities/Utilities.h"

namespace utilities {

void Command3_Click(app::FormModel&, app::Platform&) {}

}  // namespace utilities
