// A deliberately plain RCON client for tests: raw bytes out, packets in, with
// its own reading of the wire format, every wait bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "tests/devserver/process.h"

namespace glyphwork::testing {

struct WirePacket {
  int32_t size = 0;
  int32_t id = 0;
  int32_t type = 0;
  std::string body;  // bytes before the closing NULs
};

// Size, id and type little-endian, then the body and two NULs.
std::string EncodePacket(int32_t id, int32_t type, const std::string& body);
std::string Int32Bytes(int32_t value);

// The well-formed packet that starts at `*at` in `bytes`, and `*at` moved past
// it; false, and nothing moved, when there is none (yet) there.
bool ReadWirePacket(const std::string& bytes, std::size_t* at, WirePacket* packet);

class RconClient {
 public:
  // Connects to 127.0.0.1 from the loopback address `from`; a
  // `receive_buffer` above 0 is set as SO_RCVBUF first, for a client that
  // is slow to take what it is sent.
  explicit RconClient(int port, const std::string& from = "127.0.0.1", int receive_buffer = 0);
  ~RconClient();
  RconClient(const RconClient&) = delete;
  RconClient& operator=(const RconClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // The client's own port, or -1.
  int LocalPort() const;
  void SendRaw(const std::string& bytes);
  // As much of `bytes` as the socket takes without waiting; -1 once the
  // connection is broken.
  long SendSome(const std::string& bytes);
  void Send(int32_t id, int32_t type, const std::string& body) { SendRaw(EncodePacket(id, type, body)); }
  // Tells the server nothing more will come; replies can still arrive.
  void EndInput();
  // The next packet; nothing when the connection closed or `wait` passed.
  std::optional<WirePacket> Read(std::chrono::milliseconds wait = kWait);
  // True when the server closes the connection within `wait` without sending
  // anything more.
  bool ClosedByServer(std::chrono::milliseconds wait = kWait);

  // Logs in; true when the answer carries the request's id.
  bool Login(const std::string& password);
  // Runs `command` and collects every reply packet, using an empty
  // RESPONSE_VALUE after it to find the end. Empty optional on failure.
  std::optional<std::string> Command(const std::string& command, int* packets = nullptr);

 private:
  bool Fill(std::size_t want, std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  std::string buffer_;
  int32_t next_id_ = 100;
};

// True when `text` is well-formed UTF-8.
bool IsUtf8(const std::string& text);

}  // namespace glyphwork::testing
