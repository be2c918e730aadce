// The dev server's RCON port over loopback: Debian's rconclt as a real
// client, a raw test client for what rconclt cannot send, and a quit with no
// engine buffer left behind after every session.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>

#include "common/regex.h"
#include "programs/devserver/rcon_server.h"
#include "tests/devserver/process.h"
#include "tests/devserver/rcon_client.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
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
    Start({"--rcon-password", kPassword});
  }

  void TearDown() override { Stop(); }

  // A server with RCON on a free port and these options, with Ann and Zoë.
  void Start(const std::vector<std::string>& options) {
    std::vector<std::string> args = {GLYPHWORK_DEVSERVER, "--root", root_.path().string(), "--rcon-port", "0"};
    args.insert(args.end(), options.begin(), options.end());
    server_ = std::make_unique<ChildProcess>(args);
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

  // Quits: a clean exit with every engine buffer back.
  void Stop() {
    if (!server_) return;
    server_->Send("quit");
    int exit_code = -1;
    const auto lines = server_->ReadToEnd(&exit_code);
    server_.reset();
    EXPECT_EQ(0, exit_code);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("[game] live allocations: 0", lines.back());
  }

  // The server's resident memory in MB.
  double RssMb() const {
    std::ifstream status("/proc/" + std::to_string(server_->pid()) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    ADD_FAILURE() << "no VmRSS";
    return 0;
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
  EXPECT_THAT(lines, Contains("36 [Glyphwork] Loaded 9 new object(s)!"));
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
  EXPECT_THAT(Sync(), Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ \(127\.0\.0\.1:[0-9]+\) wrong password)")));

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
              return std::regex_match(line,
                                      std::regex(R"(\[rcon\] client [0-9]+ (\(127\.0\.0\.1:[0-9]+\) )?dropped: .+)"));
            }));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ dropped: packet size 4097 out of range)")));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ dropped: packet type 7 not accepted)")));
  EXPECT_THAT(
      lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ \(127\.0\.0\.1:[0-9]+\) dropped: command before login)")));
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

// Wrong passwords back to back, as a guesser writes them.
std::string Guesses(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += EncodePacket(i, 3, "guess " + std::to_string(i));
  return bytes;
}

TEST_F(RconPortTest, AWrongPasswordFloodCostsTheServerLittleAndTheRightPasswordStillWorks) {
  RconClient admin(port_);
  ASSERT_TRUE(admin.Login(kPassword));
  const double rss_before = RssMb();

  // A thousand guesses on one connection: the first answered at once, two
  // more after the growing delay, then the connection closes.
  RconClient guesser(port_);
  guesser.SendRaw(Guesses(1000));
  for (int i = 0; i < rcon::Server::kMaxFailuresPerConnection; ++i) {
    const auto answer = guesser.Read();
    ASSERT_TRUE(answer) << i;
    EXPECT_EQ(-1, answer->id);
    EXPECT_EQ(2, answer->type);
  }
  EXPECT_TRUE(guesser.ClosedByServer());

  // Eight connections at once with a thousand guesses each, while the
  // logged-in client goes on working.
  std::vector<std::unique_ptr<RconClient>> guessers;
  for (int i = 0; i < 8; ++i) {
    guessers.push_back(std::make_unique<RconClient>(port_));
    guessers.back()->SendRaw(Guesses(1000));
  }
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kPlayers, admin.Command("ListPlayers"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "the game loop fell behind";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  int answers = 0;
  for (auto& g : guessers) {
    while (const auto answer = g->Read(std::chrono::milliseconds(20))) {
      EXPECT_EQ(-1, answer->id);
      ++answers;
    }
  }
  EXPECT_LE(answers, 8 * rcon::Server::kMaxFailuresPerConnection);
  guessers.clear();
  EXPECT_LT(RssMb() - rss_before, 32.0) << "memory grew with the guesses";

  // The right password, once the delay has passed.
  RconClient late(port_);
  EXPECT_TRUE(late.Login(kPassword));
  EXPECT_EQ(kPlayers, late.Command("ListPlayers"));

  // A few lines on the output, not one per guess.
  const auto lines = Sync();
  const auto reported = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("wrong password") != std::string::npos;
  });
  EXPECT_GE(reported, 1);
  EXPECT_LE(reported, rcon::Server::kLinesPerAddress + 1);
}

TEST_F(RconPortTest, ConnectionsThatDoNotLogInAreClosedInTimeAndKeepNobodyOut) {
  Stop();
  Start({"--rcon-password", kPassword, "--rcon-idle-timeout", "2"});
  RconClient admin(port_);
  ASSERT_TRUE(admin.Login(kPassword));
  RconClient quiet_admin(port_);
  ASSERT_TRUE(quiet_admin.Login(kPassword));

  // Every place its address has for logins taken: silent connections and
  // one that sends its login a byte at a time.
  std::vector<std::unique_ptr<RconClient>> silent;
  for (std::size_t i = 0; i + 1 < rcon::Server::kMaxLoginsWaitingPerAddress; ++i) {
    silent.push_back(std::make_unique<RconClient>(port_));
    ASSERT_TRUE(silent.back()->Connected());
  }
  RconClient slow(port_);
  const std::string login = EncodePacket(1, 3, kPassword + std::string(60, 'x'));
  slow.SendRaw(login.substr(0, 1));
  std::size_t sent = 1;

  // A newcomer still logs in.
  RconClient newcomer(port_);
  EXPECT_TRUE(newcomer.Login(kPassword));
  EXPECT_EQ(kPlayers, newcomer.Command("ListPlayers"));

  // The slow one is closed long before its login is whole.
  bool closed = false;
  for (; sent < login.size() && !closed; ++sent) {
    slow.SendRaw(login.substr(sent, 1));
    closed = slow.ClosedByServer(std::chrono::milliseconds(300));
    if (sent % 3 == 0) {
      EXPECT_EQ(kPlayers, admin.Command("ListPlayers"));
    }
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(sent, login.size());
  for (auto& s : silent) EXPECT_TRUE(s->ClosedByServer());
  EXPECT_EQ(kPlayers, admin.Command("ListPlayers"));

  // The logged-in client that said nothing for the idle timeout is closed;
  // the one that kept talking was served throughout.
  EXPECT_TRUE(quiet_admin.ClosedByServer());
  const auto lines = Sync();
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ dropped: idle for 2 s)")));
  EXPECT_THAT(lines, Contains(MatchesRegex(R"(\[rcon\] client [0-9]+ \(.*\) dropped: not logged in within 5 s)")));
}

TEST_F(RconPortTest, TheAnswerToAWrongPasswordArrivesBeforeTheConnectionCloses) {
  struct Case {
    const char* name;
    std::string after;  // in the same write as the login
  };
  for (const Case& c : {Case{"a command", EncodePacket(2, 2, "ListPlayers")}, Case{"garbage", "GET / HTTP/1.1\r\n\r\n"},
                        Case{"an unknown type", EncodePacket(2, 7, "x")}}) {
    SCOPED_TRACE(c.name);
    RconClient client(port_);
    client.SendRaw(EncodePacket(1, 3, "wrong") + c.after);
    const auto answer = client.Read();
    ASSERT_TRUE(answer);
    EXPECT_EQ(-1, answer->id);
    EXPECT_EQ(2, answer->type);
    EXPECT_TRUE(client.ClosedByServer());
  }
}

TEST_F(RconPortTest, ThePasswordCanComeFromAFileOrTheEnvironment) {
  Stop();
  const fs::path file = root_.path() / "rcon-password.txt";
  std::ofstream(file, std::ios::binary) << "from a file\r\nnot this line\n";
  Start({"--rcon-password-file", file.string()});
  {
    RconClient client(port_);
    EXPECT_TRUE(client.Login("from a file"));
  }
  Stop();

  setenv("GLYPHWORK_RCON_PASSWORD", "from the environment", 1);
  Start({});
  {
    RconClient client(port_);
    EXPECT_TRUE(client.Login("from the environment"));
  }
  Stop();
  // A file or the option given wins over the environment.
  Start({"--rcon-password-file", file.string()});
  unsetenv("GLYPHWORK_RCON_PASSWORD");
  RconClient client(port_);
  EXPECT_TRUE(client.Login("from a file"));
}

// The socket in this process whose local port is `local` and whose peer's is `peer`; -1 if none.
int SocketBetween(int local, int peer) {
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_in mine{}, theirs{};
    socklen_t mine_length = sizeof mine, theirs_length = sizeof theirs;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &mine_length) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirs_length) != 0 || mine.sin_family != AF_INET) {
      continue;
    }
    if (ntohs(mine.sin_port) == local && ntohs(theirs.sin_port) == peer) return fd;
  }
  return -1;
}

TEST(RconServerTest, EveryAcceptedSocketSendsWithoutWaiting) {
  std::string error;
  rcon::Server::Handlers handlers{[](rcon::Request) { return true; }, [](std::string) { return true; }};
  const auto server = rcon::Server::Start({"127.0.0.1", 0, "secret"}, std::move(handlers), &error);
  ASSERT_TRUE(server) << error;
  const int port = std::stoi(server->Address().substr(server->Address().rfind(':') + 1));
  RconClient logged_in(port), refused(port);
  ASSERT_TRUE(logged_in.Login("secret"));
  ASSERT_FALSE(refused.Login("wrong"));  // answered, so accepted by now
  for (const RconClient* client : {&logged_in, &refused}) {
    const int fd = SocketBetween(port, client->LocalPort());
    ASSERT_GE(fd, 0) << "no server side for client port " << client->LocalPort();
    int no_delay = 0;
    socklen_t length = sizeof no_delay;
    ASSERT_EQ(0, getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &no_delay, &length));
    EXPECT_NE(0, no_delay);
  }
}

}  // namespace
}  // namespace glyphwork::testing
