#include "remote/RemoteEvents.h"

TCodeOutcome TRemoteEvents::Code(const TRemoteFile& File, TCodePair Code, bool Repeat) {
  TCodeOutcome outcome;
  const uint32_t count = FCounter.Code(Code, Repeat);
  const TRemoteButton* button = File.FindButton(Code);
  if (button != nullptr) outcome.ButtonName = button->Name;
  outcome.Line = LircLine(Code, count, outcome.ButtonName, File.RemoteName());
  if (button == nullptr || button->Action.empty()) return outcome;
  outcome.ActionProblem = ParseAction(button->Action, outcome.Action);
  if (!outcome.ActionProblem.empty()) return outcome;
  outcome.RunAction = !Repeat || RepeatsWhileHeld(outcome.Action);
  return outcome;
}

std::string LastCodeText(TCodePair Code, std::string_view ButtonName) {
  return FormatCodePair(Code) + "  " +
         (ButtonName.empty() ? std::string("(unnamed)") : std::string(ButtonName));
}

std::string ButtonRow(const TRemoteButton& Button) {
  return Button.Name + "\t" + FormatCodePair(Button.Code) + "\t" + Button.Action;
}
