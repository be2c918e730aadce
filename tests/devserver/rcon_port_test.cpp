// The dev server's RCON port over loopback: Debian's rconclt as a real
// client, a raw test client for what rconclt cannot send, and a quit with no
// engine buffer left behind after every session.
#include <climits>
#include <regex>

#include <gmock/gmock.h>

#include "tests/devserver/process.h"
#include "tests/devserver/rcon_client.h"

namespace glyphwork::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

const std::string kPassword = "pässword 1";
const std::string kSmile = R"(<img src="chat.image" path="/Game/Emojis/Faces/smile.smile"/>)";
const std::string kPlayers = "0. Ann, id-Ann\n1. Zoë, id-Zoë";

class RconPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeExampleServer(root_.path());
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        GLYPHWORK_DEVSERVER, "--root", root_.path().string(), "--rcon-port", "0", "--rcon-password", kPassword});
    ASSERT_TRUE(server_->Started());
    bool found = false;
    const std::regex listening(R"(\[rcon\] listening on 127\.0\.0\.1:(\d+))");
    server_->ReadUntil(
        [&](const std::string& line) {
          std::smatch match;
          if (!std::regex_match(line, match, listening)) return false;
          port_ = std::stoi(match[1].str());
          return true;
        },
        &found);
    ASSERT_TRUE(found) << "no listening line";
    server_->Send("join Ann");
    server_->Send("join Zoë");
    server_->Send("group Zoë Emoji");
    Sync();
  }

  void TearDown() override {
    server_->Send("quit");
    int exit_code = -1;
    const auto lines = server_->ReadToEnd(&exit_code);
    EXPECT_EQ(0, exit_code);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("[game] live allocations: 0", lines.back());
  }

  // The server's output up to a marker sent now, without times: everything
  // the game loop printed for work that arrived before it.
  std::vector<std::string> Sync() {
    const std::string marker = "sync " + std::to_string(++syncs_);
    server_->Send("echo " + marker);
    bool found = false;
    auto lines = server_->ReadUntil([&](const std::string& line) { return line == marker; }, &found);
    EXPECT_TRUE(found) << marker;
    if (found) lines.pop_back();
    for (auto& line : lines) line = WithoutTime(line);
    return lines;
  }

  Finished Rconclt(const std::string& password, const std::vector<std::string>& command) {
    std::vector<std::string> args = {"rconclt", "-t", "10", password + "@127.0.0.1:" + std::to_string(port_)};
    args.insert(args.end(), command.begin(), command.end());
    return RunProgram(args);
  }

  TempFolder root_;
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
  int syncs_ = 0;
};

TEST_F(RconPortTest, RconcltReloadsChatsWithEmojiAndIsRefusedAWrongPassword) {
  ASSERT_TRUE(OnPath("rconclt")) << "rconclt comes with Debian's rcon package; scripts/install-deps.sh installs it";

  Finished run = Rconclt(kPassword, {"Glyphwork.Reload"});
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ("Reloaded Config!\n", run.out);
  auto lines = Sync();
  EXPECT_THAT(lines, Contains("36 [Glyphwork] Loaded 7 new object(s)!"));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ #[0-9]+: Reloaded Config!)")));

  run = Rconclt(kPassword, {"ServerChat", "hi", ":smile:", "ünï", "😀"});
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ("Server received, But no response!! \n", run.out);
  lines = Sync();
  EXPECT_THAT(lines, Contains("[chat] SERVER -> Ann: hi :smile: ünï 😀"));
  EXPECT_THAT(lines, Contains("[chat] SERVER -> Zoë: hi " + kSmile + " ünï 😀"));

  run = Rconclt("wrong", {"ListPlayers"});
  EXPECT_EQ(5, run.exit_code);
  EXPECT_THAT(run.err, HasSubstr("Wrong password."));
  EXPECT_EQ("", run.out);
  EXPECT_THAT(Sync(), Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ wrong password)")));

  // Still serving, UTF-8 on the way back too.
  run = Rconclt(kPassword, {"ListPlayers"});
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ(kPlayers + "\n", run.out);
}

TEST_F(RconPortTest, AuthResponseComesAloneAndAWrongPasswordGetsIdMinusOne) {
  RconClient client(port_);
  ASSERT_TRUE(client.Connected());
  client.Send(5, 3, "wrong");
  auto packet = client.Read();
  ASSERT_TRUE(packet);
  EXPECT_EQ(-1, packet->id);
  EXPECT_EQ(2, packet->type);
  EXPECT_EQ("", packet->body);

  // Anything sent before the AUTH_RESPONSE would be read here first.
  client.Send(6, 3, kPassword);
  packet = client.Read();
  ASSERT_TRUE(packet);
  EXPECT_EQ(6, packet->id);
  EXPECT_EQ(2, packet->type);
  EXPECT_EQ("", packet->body);

  // A client that ends its side after asking still gets every answer.
  client.Send(7, 2, "ListPlayers");
  client.Send(8, 0, "");
  client.EndInput();
  packet = client.Read();
  ASSERT_TRUE(packet);
  EXPECT_EQ(7, packet->id);
  EXPECT_EQ(0, packet->type);
  EXPECT_EQ(kPlayers, packet->body);
  packet = client.Read();
  ASSERT_TRUE(packet);
  EXPECT_EQ(8, packet->id);
  EXPECT_EQ("", packet->body);
  EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(RconPortTest, MalformedPacketsCloseTheirConnectionAndNothingElse) {
  RconClient good(port_);
  ASSERT_TRUE(good.Login(kPassword));
  // A client in the middle of a packet keeps its place meanwhile.
  RconClient partial(port_);
  const std::string login = EncodePacket(77, 3, kPassword);
  partial.SendRaw(login.substr(0, 6));

  const std::string header12 = Int32Bytes(12) + Int32Bytes(1) + Int32Bytes(2);
  struct Case {
    const char* name;
    bool log_in_first;
    std::string bytes;
  };
  for (const Case& c : {
           Case{"short", false, Int32Bytes(4) + "abcd"},
           Case{"one byte short of the smallest", true, Int32Bytes(9) + std::string(9, '\0')},
           Case{"oversized", true, Int32Bytes(4097) + EncodePacket(1, 2, std::string(4087, 'x')).substr(4)},
           Case{"oversized, size only", false, Int32Bytes(1 << 20)},
           Case{"negative size", true, Int32Bytes(-1) + Int32Bytes(1) + Int32Bytes(2)},
           Case{"most negative size", false, Int32Bytes(INT_MIN)},
           Case{"garbage", false, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n"},
           Case{"garbage after login", true, std::string("\xde\xad\xbe\xef\x01\x02\x03\x04\xff\xfe", 10)},
           Case{"unknown type", true, EncodePacket(1, 7, "ListPlayers")},
           Case{"not terminated", true, header12 + "abcd"},
           Case{"NUL inside the body", true, header12 + std::string("a\0\0\0", 4)},
           Case{"command before login", false, EncodePacket(1, 2, "ListPlayers")},
       }) {
    SCOPED_TRACE(c.name);
    RconClient bad(port_);
    ASSERT_TRUE(bad.Connected());
    if (c.log_in_first) {
      ASSERT_TRUE(bad.Login(kPassword));
    }
    bad.SendRaw(c.bytes);
    EXPECT_TRUE(bad.ClosedByServer());
    EXPECT_EQ(kPlayers, good.Command("ListPlayers"));
  }
  partial.SendRaw(login.substr(6));
  const auto packet = partial.Read();
  ASSERT_TRUE(packet);
  EXPECT_EQ(77, packet->id);
  EXPECT_EQ(2, packet->type);

  const auto lines = Sync();
  EXPECT_EQ(12, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
              return std::regex_match(line, std::regex(R"(\[rcon\] client [0-9]+ dropped: .+)"));
            }));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ dropped: packet size 4097 out of range)")));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ dropped: packet type 7 not accepted)")));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ dropped: command before login)")));
}

TEST_F(RconPortTest, LongRepliesArriveSplitBetweenCharacters) {
  std::string expected = kPlayers;
  for (int i = 2; i < 330; ++i) {
    const std::string name = "Zoë😀Spieler" + std::to_string(i);
    server_->Send("join " + name + " 7656119800000" + std::to_string(1000 + i));
    expected += "\n" + std::to_string(i) + ". " + name + ", 7656119800000" + std::to_string(1000 + i);
  }
  Sync();
  ASSERT_GT(expected.size(), 3u * 4086u);
  ASSERT_LT(expected.size(), 4u * 4086u - 100u);

  RconClient client(port_);
  ASSERT_TRUE(client.Login(kPassword));
  client.Send(9, 2, "ListPlayers");
  client.Send(10, 0, "");
  std::string joined;
  int packets = 0;
  for (;;) {
    const auto packet = client.Read();
    ASSERT_TRUE(packet);
    EXPECT_LE(packet->size, 4096);
    EXPECT_TRUE(IsUtf8(packet->body)) << "packet " << packets;
    if (packet->id == 10) break;
    EXPECT_EQ(9, packet->id);
    joined += packet->body;
    ++packets;
  }
  EXPECT_EQ(4, packets);
  EXPECT_EQ(expected, joined);
}

}  // namespace
}  // namespace glyphwork::testing
