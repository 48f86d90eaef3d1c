// The dialog manager: the default dialog class.
#include "user32/window_class.h"

namespace platform::user {

void register_dialog_class() {}

}  // namespace platform::user
