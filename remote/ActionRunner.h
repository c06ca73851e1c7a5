// Carries out the action of a button ("remote/Actions.h") on this computer.
#pragma once

#include <string>

#include "remote/Actions.h"

// keys: presses the keys in their order and lets them go in the reverse order, as keyboard
// input to the window that has the focus; text: types the text (UTF-8) there; run: starts the
// command line with ProgramDir as its current folder; message: posts the message to the first
// top-level window of the class. False with Error set to a text for the user when the action
// could not be carried out; Error is cleared otherwise.
bool RunAction(const TAction& Action, const std::string& ProgramDir, std::string& Error);
