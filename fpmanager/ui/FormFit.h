#ifndef FORMFIT_H
#define FORMFIT_H

class QWidget;

// The forms place their widgets at fixed positions sized for the Chinese texts. A translated text
// may need more room: FormFit widens each label, button and check box whose text does not fit, moves
// the widgets to its right along by as much (a widget stays right of everything it was right of, so
// columns stay aligned) and widens the containers with them. Forms whose texts fit stay untouched.
namespace FormFit
{

// Fits the direct children of container (and of the group boxes and plain widgets among them) and
// returns by how much its content grew to the right; the caller widens container by as much. A container with a layout
// is left to it.
int fitTexts(QWidget* container);

// fitTexts on a top-level form of fixed size, which then is fixed at its new width.
void fitFixedForm(QWidget* form);

} // namespace FormFit

#endif
