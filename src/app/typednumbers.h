#pragma once

class QLabel;
class QSpinBox;

namespace lv {

// Lets a number shown in a label beside its up-down arrows be typed as well:
// a click on the label hands the keys to the arrows' spin box with its number
// selected, so typed digits replace it; the label follows every key and is
// marked while it takes typing.
void acceptTyping(QLabel* display, QSpinBox* control);

} // namespace lv
