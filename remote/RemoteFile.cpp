#include "remote/RemoteFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "remote/Actions.h"

namespace {

enum TSection { fsNone, fsRemote, fsButtons, fsActions, fsServer, fsOther };

constexpr std::array<std::string_view, 4> SectionNames = {"Remote", "Buttons", "Actions", "Server"};

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ') Text.remove_prefix(1);
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.remove_suffix(1);
  return Text;
}

std::string Lower(std::string_view Text) {
  std::string lower(Text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

TSection FindSection(std::string_view Name) {
  for (size_t i = 0; i < SectionNames.size(); ++i)
    if (SameButtonName(SectionNames[i], Name)) return static_cast<TSection>(fsRemote + i);
  return fsOther;
}

std::string SectionKey(TSection Section) {
  return Lower(SectionNames[Section - fsRemote]);
}

std::string CommentKey(TSection Section, std::string_view Key) {
  return SectionKey(Section) + '=' + Lower(Key);
}

// A value as it may go into a line and as it reads back: control characters become blanks,
// and there are none at either end.
std::string Clean(std::string_view Value) {
  std::string clean(Value);
  for (char& c : clean)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) c = ' ';
  return std::string(Trim(clean));
}

std::optional<unsigned> ParseUnsigned(std::string_view Text, unsigned Limit) {
  if (Text.empty() || Text.size() > 5) return std::nullopt;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (error != std::errc() || end != Text.data() + Text.size() || value > Limit)
    return std::nullopt;
  return value;
}

bool IsIPv4Address(std::string_view Text) {
  for (int part = 0; part < 4; ++part) {
    const size_t dot = Text.find('.');
    if ((dot == std::string_view::npos) != (part == 3)) return false;
    const std::string_view number = Text.substr(0, dot);
    if (number.size() > 3 || !ParseUnsigned(number, 255)) return false;
    if (dot != std::string_view::npos) Text.remove_prefix(dot + 1);
  }
  return true;
}

std::string ServerProblem(const TServerSettings& Server) {
  if (!IsIPv4Address(Server.Address))
    return "The address \"" + Server.Address + "\" is no IPv4 address like 127.0.0.1.";
  if (Server.Port == 0) return "The port is 0; it must be 1 to 65535.";
  return {};
}

}  // namespace

std::string RemoteFilePath(std::string_view Dir) {
  std::string path(Dir);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += RemoteFileName;
  return path;
}

std::string DescribeProblem(const TFileProblem& Problem) {
  return "Line " + std::to_string(Problem.Line) + ": " + Problem.Reason;
}

std::vector<TFileProblem> TRemoteFile::Load(std::string_view Text) {
  *this = TRemoteFile();
  std::vector<TFileProblem> problems;

  struct TActionLine {
    std::string Name, Value, Line;
    std::vector<std::string> Comments;
    int Number;
  };
  std::vector<TActionLine> actions;
  std::map<std::string, int> firstLine;  // where a key of Remote, Buttons or Server was taken
  std::vector<std::string> comments;     // waiting for the line they describe
  TSection section = fsNone;
  int number = 0;

  while (!Text.empty()) {
    const size_t end = Text.find('\n');
    std::string_view line = Text.substr(0, end);
    Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    // UTF-8 marks: the file's own at its start, or ones left over where files were pasted
    // together. None is kept, or a line kept behind blank lines would start the file written.
    while (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    const std::string_view t = Trim(line);
    if (t.empty()) continue;

    // A line that cannot be taken: reported, and kept with its comments where it was.
    const auto keep = [&](std::string Reason) {
      problems.push_back({number, std::move(Reason)});
      std::vector<std::string>& kept = section == fsNone ? FHead : FKept[SectionKey(section)];
      kept.insert(kept.end(), comments.begin(), comments.end());
      kept.emplace_back(line);
      comments.clear();
    };

    if (t.front() == '[' && t.back() == ']') {
      const std::string_view name = Trim(t.substr(1, t.size() - 2));
      if (section == fsNone) {  // the comments at the top are the file's own
        FHead.insert(FHead.end(), comments.begin(), comments.end());
        comments.clear();
      }
      section = FindSection(name);
      if (section == fsOther) {
        problems.push_back({number, "The section [" + std::string(name) +
                                        "] is not one of [Remote], [Buttons], [Actions], "
                                        "[Server]; it is kept as it is."});
        FOtherLines.insert(FOtherLines.end(), comments.begin(), comments.end());
        FOtherLines.emplace_back(line);
      } else {
        std::vector<std::string>& before = FComments[SectionKey(section)];
        before.insert(before.end(), comments.begin(), comments.end());
      }
      comments.clear();
      continue;
    }
    if (section == fsOther) {
      FOtherLines.emplace_back(line);
      continue;
    }
    if (t.front() == ';') {
      comments.emplace_back(t);
      continue;
    }
    if (section == fsNone) {
      keep("The line comes before the first section header such as [Buttons].");
      continue;
    }
    const size_t equals = t.find('=');
    if (equals == std::string_view::npos) {
      keep("The line is no key=value line, comment (;) or section header ([...]).");
      continue;
    }
    const std::string_view key = Trim(t.substr(0, equals));
    const std::string_view value = Trim(t.substr(equals + 1));
    if (key.empty()) {
      keep("The line has no key before \"=\".");
      continue;
    }
    if (section == fsActions) {
      actions.push_back({std::string(key), Clean(value), std::string(line), comments, number});
      comments.clear();
      continue;
    }
    const std::string commentKey = CommentKey(section, key);
    if (const auto taken = firstLine.find(commentKey); taken != firstLine.end()) {
      const std::string first = std::to_string(taken->second);
      keep(section == fsButtons
               ? "The name " + std::string(key) + " is used already (line " + first + ")."
               : "\"" + std::string(key) + "\" is given twice in [" +
                     std::string(SectionNames[section - fsRemote]) + "]; line " + first +
                     " counts.");
      continue;
    }

    std::string problem;
    if (section == fsRemote) {
      if (!SameButtonName(key, "Name")) {
        problem = "[Remote] has no key \"" + std::string(key) + "\" (only Name).";
      } else if (std::string why = ButtonNameProblem(value); !why.empty()) {
        problem = "The remote's name \"" + std::string(value) + "\" is refused: " + why;
      } else {
        FRemoteName = value;
      }
    } else if (section == fsServer) {
      if (SameButtonName(key, "Enabled")) {
        if (value == "0" || value == "1") {
          FServer.Enabled = value == "1";
        } else {
          problem = "Enabled is 0 or 1, not \"" + std::string(value) + "\".";
        }
      } else if (SameButtonName(key, "Address")) {
        if (IsIPv4Address(value)) {
          FServer.Address = value;
        } else {
          problem = "The address \"" + std::string(value) + "\" is no IPv4 address like 127.0.0.1.";
        }
      } else if (SameButtonName(key, "Port")) {
        const auto port = ParseUnsigned(value, 65535);
        if (port && *port != 0) {
          FServer.Port = static_cast<uint16_t>(*port);
        } else {
          problem = "The port \"" + std::string(value) + "\" is no number from 1 to 65535.";
        }
      } else {
        problem = "[Server] has no key \"" + std::string(key) + "\" (only Enabled, Address, Port).";
      }
    } else {  // fsButtons
      const std::optional<TCodePair> code = ParseCodePair(value);
      const TRemoteButton* named = code ? FindButton(*code) : nullptr;
      if (std::string why = ButtonNameProblem(key); !why.empty()) {
        problem = "The button name \"" + std::string(key) + "\" is refused: " + why;
      } else if (!code) {
        problem = "The value of " + std::string(key) + " \"" + std::string(value) +
                  "\" is no code pair like 2864,75.";
      } else if (named != nullptr) {
        problem = "The pair " + FormatCodePair(*code) + " is named " + named->Name +
                  " already (line " +
                  std::to_string(firstLine[CommentKey(fsButtons, named->Name)]) + ").";
      } else {
        FButtons.push_back({std::string(key), *code, {}, 0});
      }
    }
    if (!problem.empty()) {
      keep(std::move(problem));
      continue;
    }
    firstLine[commentKey] = number;
    FComments[commentKey] = std::move(comments);
    comments.clear();
  }
  FTail = std::move(comments);

  // The actions, once every button is known.
  for (TActionLine& a : actions) {
    if (a.Value.empty()) continue;  // no action, as if the line were not there
    std::string problem;
    TRemoteButton* button = Find(a.Name);
    if (button == nullptr) {
      problem = "There is no button " + a.Name + " in [Buttons] for this action.";
    } else if (button->ActionLine != 0) {
      problem = "The action of " + a.Name + " is given twice; line " +
                std::to_string(button->ActionLine) + " counts.";
    }
    if (!problem.empty()) {
      problems.push_back({a.Number, std::move(problem)});
      std::vector<std::string>& kept = FKept[SectionKey(fsActions)];
      kept.insert(kept.end(), a.Comments.begin(), a.Comments.end());
      kept.push_back(a.Line);
      continue;
    }
    button->Action = a.Value;
    button->ActionLine = a.Number;
    FComments[CommentKey(fsActions, a.Name)] = std::move(a.Comments);
    TAction action;
    if (std::string why = ParseAction(a.Value, action); !why.empty())
      problems.push_back({a.Number, "The action of " + a.Name + " is refused: " + why});
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const TFileProblem& x, const TFileProblem& y) { return x.Line < y.Line; });
  return problems;
}

std::string TRemoteFile::Save() const {
  std::string text;
  const auto add = [&text](std::string_view Line) {
    text += Line;
    text += "\r\n";
  };
  const auto addAll = [&add](const std::vector<std::string>& Lines) {
    for (const std::string& line : Lines) add(line);
  };
  const auto addComments = [&](const std::string& Key) {
    if (const auto found = FComments.find(Key); found != FComments.end()) addAll(found->second);
  };
  const auto addKept = [&](TSection Section) {
    if (const auto found = FKept.find(SectionKey(Section)); found != FKept.end())
      addAll(found->second);
  };
  const auto addKey = [&](TSection Section, std::string_view Key, std::string_view Value) {
    addComments(CommentKey(Section, Key));
    add(std::string(Key) + '=' + Clean(Value));
  };
  const auto addHeader = [&](TSection Section) {
    addComments(SectionKey(Section));
    add("[" + std::string(SectionNames[Section - fsRemote]) + "]");
  };

  addAll(FHead);
  addHeader(fsRemote);
  addKey(fsRemote, "Name", FRemoteName);
  addKept(fsRemote);
  addHeader(fsButtons);
  for (const TRemoteButton& b : FButtons) addKey(fsButtons, b.Name, FormatCodePair(b.Code));
  addKept(fsButtons);
  addHeader(fsActions);
  for (const TRemoteButton& b : FButtons)
    if (!b.Action.empty()) addKey(fsActions, b.Name, b.Action);
  addKept(fsActions);
  addHeader(fsServer);
  addKey(fsServer, "Enabled", FServer.Enabled ? "1" : "0");
  addKey(fsServer, "Address", FServer.Address);
  addKey(fsServer, "Port", std::to_string(FServer.Port));
  addKept(fsServer);
  addAll(FOtherLines);
  addAll(FTail);
  return text;
}

std::string TRemoteFile::SetRemoteName(std::string_view Name) {
  if (std::string why = ButtonNameProblem(Name); !why.empty()) return why;
  FRemoteName = Name;
  return {};
}

std::string TRemoteFile::SetServer(const TServerSettings& Server) {
  if (std::string why = ServerProblem(Server); !why.empty()) return why;
  FServer = Server;
  return {};
}

const TRemoteButton* TRemoteFile::FindButton(std::string_view Name) const {
  for (const TRemoteButton& b : FButtons)
    if (SameButtonName(b.Name, Name)) return &b;
  return nullptr;
}

const TRemoteButton* TRemoteFile::FindButton(TCodePair Code) const {
  for (const TRemoteButton& b : FButtons)
    if (b.Code == Code) return &b;
  return nullptr;
}

std::string_view TRemoteFile::ButtonName(TCodePair Code) const {
  const TRemoteButton* button = FindButton(Code);
  return button != nullptr ? std::string_view(button->Name) : std::string_view();
}

TRemoteButton* TRemoteFile::Find(std::string_view Name) {
  for (TRemoteButton& b : FButtons)
    if (SameButtonName(b.Name, Name)) return &b;
  return nullptr;
}

std::string TRemoteFile::AddButton(std::string_view Name, TCodePair Code) {
  if (std::string why = ButtonNameProblem(Name); !why.empty()) return why;
  if (const TRemoteButton* b = FindButton(Name))
    return "The name " + b->Name + " is used already by the button " + FormatCodePair(b->Code) +
           ".";
  if (const TRemoteButton* b = FindButton(Code))
    return "The button " + FormatCodePair(Code) + " has a name already: " + b->Name + ".";
  FButtons.push_back({std::string(Name), Code, {}, 0});
  return {};
}

std::string TRemoteFile::RenameButton(std::string_view OldName, std::string_view NewName) {
  TRemoteButton* button = Find(OldName);
  if (button == nullptr) return "There is no button " + std::string(OldName) + ".";
  if (std::string why = ButtonNameProblem(NewName); !why.empty()) return why;
  if (const TRemoteButton* other = FindButton(NewName); other != nullptr && other != button)
    return "The name " + other->Name + " is used already by the button " +
           FormatCodePair(other->Code) + ".";
  for (const TSection section : {fsButtons, fsActions}) {
    const auto found = FComments.find(CommentKey(section, button->Name));
    if (found == FComments.end()) continue;
    std::vector<std::string> comments = std::move(found->second);
    FComments.erase(found);
    FComments[CommentKey(section, NewName)] = std::move(comments);
  }
  button->Name = NewName;
  return {};
}

std::string TRemoteFile::DeleteButton(std::string_view Name) {
  TRemoteButton* button = Find(Name);
  if (button == nullptr) return "There is no button " + std::string(Name) + ".";
  FComments.erase(CommentKey(fsButtons, button->Name));
  FComments.erase(CommentKey(fsActions, button->Name));
  FButtons.erase(FButtons.begin() + (button - FButtons.data()));
  return {};
}

std::string TRemoteFile::SetAction(std::string_view Name, std::string_view Action) {
  TRemoteButton* button = Find(Name);
  if (button == nullptr) return "There is no button " + std::string(Name) + ".";
  const std::string line = Clean(Action);
  if (!line.empty()) {
    TAction parsed;
    if (std::string why = ParseAction(line, parsed); !why.empty()) return why;
  }
  button->Action = line;
  button->ActionLine = 0;
  return {};
}
