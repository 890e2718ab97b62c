#include "entry/Fields.h"

namespace entry {

bool IsCoordinateField(const app::Control&) { return false; }
void FieldGotFocus(app::FormModel&, app::Control&) {}
void FieldKeyPress(app::FormModel&, app::Control&, int&) {}
void FieldLostFocus(app::FormModel&, app::Platform&, app::Control&) {}

}  // namespace entry
