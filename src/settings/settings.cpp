#include "settings/settings.h"

namespace sorimba::settings {

void Form_Load(FormPort&, const QString&) {}
void Form_QueryUnload(FormPort&) {}

}  // namespace sorimba::settings
