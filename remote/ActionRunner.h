// Runs a button's action (stand-in until the real one lands).
#pragma once

#include <string>

#include "remote/Actions.h"

bool RunAction(const TAction& Action, const std::string& ProgramDir, std::string& Error);
