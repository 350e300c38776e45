#pragma once
// Captions that do not fit their labels in the face a system really has.
// The stored layouts give every label the width its caption takes in the face
// they were made for; a wider face would cut the caption at the edge its
// alignment leaves to it ("thernet Address:").
class QWidget;

namespace zelmar::ui {

// Every label of `dialog` whose caption is wider than the label grows toward
// the side its alignment leaves free (a right-aligned label to the left, a
// left-aligned one to the right, a centred one to both), as far as the room
// inside its parent and its neighbours on the same line allow. Labels that
// wrap their text, that fit, or that the dialog does not show stay as they are.
void growLabelsToTheirCaptions(QWidget* dialog);

}  // namespace zelmar::ui
