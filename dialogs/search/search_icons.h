#pragma once
// The search dialog's pictures: the magnifying-glass window icon and the
// controller icon that every list row shows (the list's image list).
#include <QIcon>

namespace zelmar::dialogs {

// Magnifying glass in 16 by 16 and 32 by 32.
QIcon searchWindowIcon();

// The one image of the list's image list: a small controller unit, 16 by 16.
QIcon controllerRowIcon();

}  // namespace zelmar::dialogs
