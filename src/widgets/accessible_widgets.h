#pragma once

namespace tuckshelf {

// Gives the panel's widgets the roles a screen reader expects: the history
// as a list, each row a list item (focused while the keys act on it), and
// each remove button a button. Their names are the widgets' own.
void installAccessibleWidgets();

}  // namespace tuckshelf
