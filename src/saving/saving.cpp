#include "saving/saving.h"

namespace sorimba::saving {

void saveCommand(FormPort&) {}
void OpenDat2(FormPort&) {}
void Command4_MouseDown(FormPort&, int) {}

}  // namespace sorimba::saving
