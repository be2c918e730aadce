// The dev server's RCON packet reader on arbitrary bytes: it never reads out
// of bounds, a packet it accepts is one the writer can produce again, and a
// stream is consumed packet by packet without stalling.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "programs/devserver/rcon_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  while (!bytes.empty()) {
    const rcon::ReadResult result = rcon::ReadPacket(bytes);
    if (result.status != rcon::ReadStatus::kPacket) break;
    if (result.consumed == 0 || result.consumed > bytes.size()) std::abort();
    // What was read writes back to the same bytes.
    if (rcon::WritePacket(result.packet.id, result.packet.type, result.packet.body) !=
        bytes.substr(0, result.consumed)) {
      std::abort();
    }
    bytes.remove_prefix(result.consumed);
  }
  // A reply of these bytes splits into packets that read back to the text
  // without its NUL bytes.
  const std::string reply = rcon::WriteResponse(7, std::string_view(reinterpret_cast<const char*>(data), size));
  std::string joined;
  std::string_view rest = reply;
  while (!rest.empty()) {
    const rcon::ReadResult part = rcon::ReadPacket(rest);
    if (part.status != rcon::ReadStatus::kPacket || part.packet.id != 7) std::abort();
    joined += part.packet.body;
    rest.remove_prefix(part.consumed);
  }
  std::string expected;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0) expected.push_back(char(data[i]));
  }
  if (joined != expected) std::abort();
  return 0;
}
