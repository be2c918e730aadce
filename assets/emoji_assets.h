// Has the engine load the texture behind every mapped emoji and reports the
// counts on the console.
#pragma once

#include <API/ARK/Ark.h>

#include <string>

namespace glyphwork {

// Walks every pack emoji (EmojiMap order) and then every RemapEmoji entry,
// loading each object path; prints one error line per path that does not load
// and a summary. A wrong type ends the run there with a DocumentError naming
// the file and key.
void LoadEmojiAssets();

// The engine object at `path`, or null. An empty path is null without asking
// the engine.
UObject* LoadRenderAsset(std::string path);

}  // namespace glyphwork
