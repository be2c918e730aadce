// The Source RCON wire format: little-endian 32-bit size, id and type, then
// the body and two NUL bytes. The size counts everything after itself.
// Pure functions over bytes: no sockets, no state, safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rcon {

// Largest size field the protocol allows; the smallest is an empty body.
inline constexpr int32_t kMaxPacketSize = 4096;
inline constexpr int32_t kMinPacketSize = 10;
inline constexpr std::size_t kMaxBodySize = kMaxPacketSize - kMinPacketSize;

// Client to server: kAuth, kExecCommand (and kResponseValue, which asks for an
// empty echo). Server to client: kAuthResponse, kResponseValue.
inline constexpr int32_t kResponseValue = 0;
inline constexpr int32_t kExecCommand = 2;
inline constexpr int32_t kAuthResponse = 2;
inline constexpr int32_t kAuth = 3;

struct Packet {
  int32_t id = 0;
  int32_t type = 0;
  std::string body;  // bytes as sent: UTF-8 by convention, never a NUL
};

enum class ReadStatus {
  kIncomplete,  // `bytes` holds no whole packet yet; read more
  kPacket,      // `packet` is the first packet, `consumed` its length
  kMalformed,   // the stream cannot be read on; `error` says why
};

struct ReadResult {
  ReadStatus status = ReadStatus::kIncomplete;
  std::size_t consumed = 0;
  Packet packet;
  std::string error;
};

// Reads the first packet at the start of `bytes`, which may hold more or less.
// A size outside [kMinPacketSize, kMaxPacketSize] is malformed as soon as its
// four bytes are there, so a caller never needs to buffer more than
// 4 + kMaxPacketSize bytes. Malformed too: a body holding a NUL, or the two
// closing bytes not both NUL. Types are not judged here.
ReadResult ReadPacket(std::string_view bytes);

// One packet. REQUIRES: body.size() <= kMaxBodySize and no NUL in body.
std::string WritePacket(int32_t id, int32_t type, std::string_view body);

// A reply of any length as consecutive kResponseValue packets with this id,
// each body at most kMaxBodySize bytes and cut only between UTF-8 characters
// (ill-formed bytes count as one character each). An empty reply is one
// packet. NUL bytes in `text` are dropped: the wire cannot carry them.
std::string WriteResponse(int32_t id, std::string_view text);

}  // namespace rcon
