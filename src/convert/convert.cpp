#include "convert/convert.h"

namespace sorimba::convert {

void menu_Click(FormPort&, int) {}

}  // namespace sorimba::convert
