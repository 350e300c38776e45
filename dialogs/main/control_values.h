#pragma once
// Control values as the dialog's handlers read and set them: a check box Value
// is 0 (unchecked), 1 (checked) or 2 (grayed); an option button's Value is a
// 16-bit truth value.
#include <QCheckBox>
#include <QRadioButton>
#include <stdexcept>

#include "support/vbool.h"

namespace zelmar::dialogs {

inline int checkValue(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

// Setting a different value emits stateChanged, which runs the box's click handler.
inline void setCheckValue(QCheckBox* box, int value) {
    switch (value) {
    case 0: box->setCheckState(Qt::Unchecked); return;
    case 1: box->setCheckState(Qt::Checked); return;
    case 2:
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
        return;
    }
    throw std::invalid_argument("invalid check box value " + std::to_string(value));
}

inline VBool optionValue(const QRadioButton* option) { return toVBool(option->isChecked()); }

}  // namespace zelmar::dialogs
