#pragma once
// Old name of platform/ui/window_helpers.h; include that one instead. CMake's
// AUTOUIC takes every "#include ...ui_<name>.h" for a form generated from
// <name>.ui and stops the build when there is no such form, so a target with
// AUTOUIC on cannot include this file.
#include "platform/ui/window_helpers.h"
