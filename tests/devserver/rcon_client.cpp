#include "tests/devserver/rcon_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace glyphwork::testing {

using Clock = std::chrono::steady_clock;

std::string Int32Bytes(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF), static_cast<char>((bits >> 16) & 0xFF),
          static_cast<char>((bits >> 24) & 0xFF)};
}

std::string EncodePacket(int32_t id, int32_t type, const std::string& body) {
  return Int32Bytes(static_cast<int32_t>(body.size() + 10)) + Int32Bytes(id) + Int32Bytes(type) + body +
         std::string(2, '\0');
}

bool ReadWirePacket(const std::string& bytes, std::size_t* at, WirePacket* packet) {
  auto int32_at = [&](std::size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[*at + offset + i]);
    return static_cast<int32_t>(value);
  };
  if (bytes.size() < *at + 4) return false;
  const int32_t size = int32_at(0);
  if (size < 10 || bytes.size() < *at + 4 + static_cast<std::size_t>(size)) return false;
  const std::size_t end = *at + 4 + static_cast<std::size_t>(size);
  if (bytes.compare(end - 2, 2, std::string(2, '\0')) != 0) return false;
  packet->size = size;
  packet->id = int32_at(4);
  packet->type = int32_at(8);
  packet->body = bytes.substr(*at + 12, static_cast<std::size_t>(size) - 10);
  *at = end;
  return true;
}

RconClient::RconClient(int port, const std::string& from, int receive_buffer) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ >= 0 && receive_buffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  if (fd_ >= 0 && (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
                   connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)) {
    close(fd_);
    fd_ = -1;
  }
}

RconClient::~RconClient() {
  if (fd_ >= 0) close(fd_);
}

int RconClient::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

void RconClient::SendRaw(const std::string& bytes) {
  std::size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

long RconClient::SendSome(const std::string& bytes) {
  if (fd_ < 0) return -1;
  const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

void RconClient::EndInput() {
  if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

bool RconClient::Fill(std::size_t want, Clock::time_point deadline) {
  while (fd_ >= 0 && buffer_.size() < want) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(std::max<int64_t>(left, 0))) <= 0) return false;
    char chunk[8192];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      close(fd_);
      fd_ = -1;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
  return buffer_.size() >= want;
}

std::optional<WirePacket> RconClient::Read(std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  WirePacket packet;
  std::size_t at = 0;
  while (!ReadWirePacket(buffer_, &at, &packet)) {
    if (!Fill(buffer_.size() + 1, deadline)) return std::nullopt;
  }
  buffer_.erase(0, at);
  return packet;
}

bool RconClient::ClosedByServer(std::chrono::milliseconds wait) {
  const auto deadline = Clock::now() + wait;
  const std::size_t before = buffer_.size();
  Fill(before + 1, deadline);
  return fd_ < 0 && buffer_.size() == before;
}

bool RconClient::Login(const std::string& password) {
  const int32_t id = next_id_++;
  Send(id, 3, password);
  const auto reply = Read();
  return reply && reply->type == 2 && reply->id == id;
}

std::optional<std::string> RconClient::Command(const std::string& command, int* packets) {
  const int32_t id = next_id_++, end = next_id_++;
  Send(id, 2, command);
  Send(end, 0, "");
  std::string text;
  int count = 0;
  for (;;) {
    const auto reply = Read();
    if (!reply || reply->type != 0) return std::nullopt;
    if (reply->id == end) break;
    if (reply->id != id) return std::nullopt;
    text += reply->body;
    ++count;
  }
  if (packets) *packets = count;
  return text;
}

bool IsUtf8(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = bytes[i];
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace glyphwork::testing
