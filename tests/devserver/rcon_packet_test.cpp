// The RCON wire format, byte for byte, without sockets.
#include "programs/devserver/rcon_packet.h"

#include <climits>
#include <cstring>

#include <gtest/gtest.h>

#include "tests/devserver/rcon_client.h"

namespace glyphwork::testing {
namespace {

using rcon::ReadPacket;
using rcon::ReadStatus;

// The packets of a written response, read back with the test's own reader.
std::vector<WirePacket> Split(const std::string& bytes) {
  std::vector<WirePacket> packets;
  for (std::size_t at = 0; at + 4 <= bytes.size();) {
    WirePacket packet;
    std::memcpy(&packet.size, bytes.data() + at, 4);
    std::memcpy(&packet.id, bytes.data() + at + 4, 4);
    std::memcpy(&packet.type, bytes.data() + at + 8, 4);
    packet.body = bytes.substr(at + 12, static_cast<std::size_t>(packet.size) - 10);
    EXPECT_EQ(std::string(2, '\0'), bytes.substr(at + 2 + static_cast<std::size_t>(packet.size), 2));
    at += 4 + static_cast<std::size_t>(packet.size);
    packets.push_back(packet);
  }
  return packets;
}

TEST(RconPacketTest, WritesTheWireFormat) {
  EXPECT_EQ(std::string("\x0c\0\0\0\x07\0\0\0\x02\0\0\0hi\0\0", 16), rcon::WritePacket(7, rcon::kExecCommand, "hi"));
  EXPECT_EQ(std::string("\x0a\0\0\0\xff\xff\xff\xff\x02\0\0\0\0\0", 14), rcon::WritePacket(-1, rcon::kAuthResponse, ""));
}

TEST(RconPacketTest, ReadsWholePacketsOnlyAndOneAtATime) {
  const std::string first = EncodePacket(5, 3, "secret ü"), second = EncodePacket(-9, 2, "");
  const std::string stream = first + second;
  for (std::size_t length = 0; length < first.size(); ++length) {
    EXPECT_EQ(ReadStatus::kIncomplete, ReadPacket(std::string_view(stream).substr(0, length)).status) << length;
  }
  auto result = ReadPacket(stream);
  ASSERT_EQ(ReadStatus::kPacket, result.status);
  EXPECT_EQ(first.size(), result.consumed);
  EXPECT_EQ(5, result.packet.id);
  EXPECT_EQ(3, result.packet.type);
  EXPECT_EQ("secret ü", result.packet.body);
  result = ReadPacket(std::string_view(stream).substr(first.size()));
  ASSERT_EQ(ReadStatus::kPacket, result.status);
  EXPECT_EQ(second.size(), result.consumed);
  EXPECT_EQ(-9, result.packet.id);
  EXPECT_EQ("", result.packet.body);

  // The largest packet the protocol allows.
  const std::string largest = EncodePacket(1, 2, std::string(rcon::kMaxBodySize, 'x'));
  result = ReadPacket(largest);
  ASSERT_EQ(ReadStatus::kPacket, result.status);
  EXPECT_EQ(4u + 4096u, result.consumed);
}

TEST(RconPacketTest, RejectsBadSizesFromTheirFourBytesAndBadTerminators) {
  for (int32_t size : {INT_MIN, -1, 0, 4, 9, 4097, 5000, INT_MAX}) {
    const auto result = ReadPacket(Int32Bytes(size));
    EXPECT_EQ(ReadStatus::kMalformed, result.status) << size;
    EXPECT_EQ("packet size " + std::to_string(size) + " out of range", result.error);
  }
  const std::string header = Int32Bytes(12) + Int32Bytes(1) + Int32Bytes(2);
  struct Case {
    std::string bytes;
    std::string error;
  };
  for (const Case& c : {Case{header + "abcd", "packet not terminated by two NUL bytes"},
                        Case{header + "abc" + std::string(1, '\0'), "packet not terminated by two NUL bytes"},
                        Case{header + std::string("a\0", 2) + std::string(2, '\0'), "NUL byte inside a packet body"}}) {
    const auto result = ReadPacket(c.bytes);
    EXPECT_EQ(ReadStatus::kMalformed, result.status);
    EXPECT_EQ(c.error, result.error);
  }
}

TEST(RconPacketTest, LongRepliesSplitBetweenCharactersAndJoinToTheText) {
  const std::size_t max = rcon::kMaxBodySize;
  const std::string e_acute = "\xc3\xa9", euro = "\xe2\x82\xac", smile = "\xf0\x9f\x98\x80";
  struct Case {
    std::string text;
    std::vector<std::size_t> sizes;  // body size of each packet
  };
  std::string mixed;
  for (int i = 0; mixed.size() < 3 * max; ++i) mixed += i % 3 == 0 ? smile : i % 3 == 1 ? euro : "a" + e_acute;
  for (const Case& c : {
           Case{"", {0}},
           Case{std::string(max, 'a'), {max}},
           Case{std::string(max + 1, 'a'), {max, 1}},
           Case{std::string(max - 1, 'a') + e_acute, {max - 1, 2}},
           Case{std::string(max - 2, 'a') + e_acute, {max}},
           Case{std::string(max - 1, 'a') + euro, {max - 1, 3}},
           Case{std::string(max - 2, 'a') + euro, {max - 2, 3}},
           Case{std::string(max - 3, 'a') + smile, {max - 3, 4}},
           Case{std::string(max - 4, 'a') + smile + "b", {max, 1}},
           // Stray bytes are characters of their own: cut at the limit.
           Case{std::string(max + 1, '\x80'), {max, 1}},
           Case{std::string(max - 1, 'a') + "\xf0\x9f" + std::string(2, 'b'), {max - 1, 4}},
           Case{mixed, {}},
       }) {
    const auto packets = Split(rcon::WriteResponse(42, c.text));
    std::string joined;
    std::vector<std::size_t> sizes;
    for (const WirePacket& packet : packets) {
      EXPECT_EQ(42, packet.id);
      EXPECT_EQ(rcon::kResponseValue, packet.type);
      EXPECT_LE(packet.body.size(), max);
      if (IsUtf8(c.text)) {
        EXPECT_TRUE(IsUtf8(packet.body));
      }
      joined += packet.body;
      sizes.push_back(packet.body.size());
    }
    EXPECT_EQ(c.text, joined);
    if (!c.sizes.empty()) {
      EXPECT_EQ(c.sizes, sizes) << c.text.size();
    }
  }
  // NUL cannot travel: dropped, not a reason for a broken packet.
  const auto packets = Split(rcon::WriteResponse(1, std::string("a\0b", 3)));
  ASSERT_EQ(1u, packets.size());
  EXPECT_EQ("ab", packets[0].body);
}

}  // namespace
}  // namespace glyphwork::testing
