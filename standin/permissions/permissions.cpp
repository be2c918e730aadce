#include "standin/permissions/permissions.h"

#include <deque>
#include <map>
#include <set>

#include "common/engine_text.h"

namespace Permissions {

namespace {

struct Groups {
  std::map<std::string, std::set<std::string>> members;
  std::deque<std::string> checks;
  bool record = true;
};

Groups& State() {
  static Groups groups;
  return groups;
}

}  // namespace

bool IsPlayerInGroup(const FString& eos_id, const FString& group) {
  const std::string id = glyphwork::Utf8FromFString(eos_id), name = glyphwork::Utf8FromFString(group);
  if (auto& checks = State().checks; State().record) {
    if (checks.size() == StandIn::kKeptChecks) checks.pop_front();
    checks.push_back(id + "|" + name);
  }
  const auto it = State().members.find(id);
  return it != State().members.end() && it->second.count(name) != 0;
}

namespace StandIn {

void AddToGroup(const std::string& player_id, const std::string& group) { State().members[player_id].insert(group); }

void RemoveFromGroup(const std::string& player_id, const std::string& group) {
  State().members[player_id].erase(group);
}

void Clear() {
  State().members.clear();
  State().checks.clear();
}

void RecordChecks(bool record) { State().record = record; }

std::vector<std::string> TakeChecks() {
  std::vector<std::string> taken(State().checks.begin(), State().checks.end());
  State().checks.clear();
  return taken;
}

}  // namespace StandIn

}  // namespace Permissions

void StandInAddToGroup(const char* player_id, const char* group) { Permissions::StandIn::AddToGroup(player_id, group); }

void StandInRemoveFromGroup(const char* player_id, const char* group) {
  Permissions::StandIn::RemoveFromGroup(player_id, group);
}
