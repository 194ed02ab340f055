#pragma once
// The program's message boxes: task-modal, without owner, texts shown through UTF-16.
#include "core/Text.h"
#include "ui/WindowServices.h"

namespace uptorra {

// Shows the box and waits for the operator. Closing a box that has Cancel (close button, Esc)
// answers Cancel; an OK-only box closed that way answers OK.
MessageAnswer ShowMessageBox(const Text& text, const Text& caption, MessageButtons buttons);

}  // namespace uptorra
