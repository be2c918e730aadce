#include "programs/devserver/rcon_packet.h"

#include <algorithm>

namespace rcon {

namespace {

int32_t ReadInt32(std::string_view bytes, std::size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<int32_t>(value);
}

void AppendInt32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Where a piece of at most `limit` bytes of `text` may end: not inside a
// well-formed UTF-8 sequence that starts before the cut.
std::size_t CutPoint(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  // A sequence is at most four bytes: look back at most three for its lead.
  for (std::size_t back = 0; back < 3 && cut > 0 && IsContinuation(static_cast<unsigned char>(text[cut])); ++back) {
    --cut;
  }
  const auto lead = static_cast<unsigned char>(text[cut]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  // The cut falls inside this sequence only if it is long enough to reach it;
  // otherwise the bytes before `limit` are stray continuations: cut anywhere.
  if (cut + length > limit && cut > 0 && length > 1) return cut;
  return limit;
}

}  // namespace

ReadResult ReadPacket(std::string_view bytes) {
  ReadResult result;
  if (bytes.size() < 4) return result;
  const int32_t size = ReadInt32(bytes, 0);
  if (size < kMinPacketSize || size > kMaxPacketSize) {
    result.status = ReadStatus::kMalformed;
    result.error = "packet size " + std::to_string(size) + " out of range";
    return result;
  }
  const std::size_t total = 4 + static_cast<std::size_t>(size);
  if (bytes.size() < total) return result;
  const std::string_view body = bytes.substr(12, total - 14);
  if (bytes[total - 2] != '\0' || bytes[total - 1] != '\0') {
    result.status = ReadStatus::kMalformed;
    result.error = "packet not terminated by two NUL bytes";
    return result;
  }
  if (body.find('\0') != std::string_view::npos) {
    result.status = ReadStatus::kMalformed;
    result.error = "NUL byte inside a packet body";
    return result;
  }
  result.status = ReadStatus::kPacket;
  result.consumed = total;
  result.packet.id = ReadInt32(bytes, 4);
  result.packet.type = ReadInt32(bytes, 8);
  result.packet.body.assign(body);
  return result;
}

std::string WritePacket(int32_t id, int32_t type, std::string_view body) {
  std::string out;
  out.reserve(4 + kMinPacketSize + body.size());
  AppendInt32(out, static_cast<int32_t>(kMinPacketSize + body.size()));
  AppendInt32(out, id);
  AppendInt32(out, type);
  out.append(body);
  out.append(2, '\0');
  return out;
}

std::string WriteResponse(int32_t id, std::string_view text) {
  std::string clean(text);
  std::erase(clean, '\0');
  std::string_view rest = clean;
  std::string out;
  do {
    const std::size_t cut = CutPoint(rest, kMaxBodySize);
    out += WritePacket(id, kResponseValue, rest.substr(0, cut));
    rest.remove_prefix(cut);
  } while (!rest.empty());
  return out;
}

}  // namespace rcon
