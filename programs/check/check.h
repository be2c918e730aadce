// glyphwork-check's work: the plugin's own reading of a server folder, run in
// this process on the stand-in host and game, turned into findings.
#pragma once

#include <string>
#include <vector>

#include "programs/check/report.h"

namespace glyphwork::check {

struct Options {
  std::string root = ".";  // the server folder, as the host reports it
  std::string content;     // a folder laid out as ShooterGame/Content; empty: textures not checked
  // With no `content`: where the textures were looked for and not found,
  // which makes a warning; empty when the admin chose not to check them.
  std::string content_missing;
  std::vector<std::string> say;     // texts to preview as a permitted player receives them
  std::vector<std::string> groups;  // that player's permission groups, on top of the default one
  // The default group, the first of PermissionsGroups while UsePermissions is
  // on, left out.
  bool no_default_group = false;
};

// Once per process: it fills the plugin's documents, starts the stand-in host
// and installs the chat hook, as the plugin would. Writes nothing into the
// server folder.
Report RunCheck(const Options& options);

}  // namespace glyphwork::check
