// The control classes user32 provides.
#include "user32/window_class.h"

namespace platform::user {

void register_control_classes() {}

}  // namespace platform::user
