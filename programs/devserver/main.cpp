// glyphwork-devserver: the stand-in host and game with the real plugin
// library loaded from a server folder, driven by command lines and, when
// asked, by RCON clients over TCP.
//
// Threads: the main thread is the game loop and the only one that touches the
// host, the game or the plugin. A reader thread turns input lines into work
// for it; the RCON network thread hands it requests and takes back replies.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "common/utf8_path.h"
#include "programs/arguments.h"
#include "programs/devserver/dev_server.h"
#include "programs/devserver/rcon_server.h"
#include "programs/devserver/work_queue.h"
#include "standin/host/host_control.h"

namespace {

constexpr const char* kUsage =
    "usage: glyphwork-devserver [--root DIR] [--plugin FILE] [--rcon-port N] [--rcon-password TEXT]\n"
    "                           [--rcon-bind ADDR] [--script FILE]\n";

// How often an idle game loop runs the host's timer.
constexpr std::chrono::milliseconds kIdleTick{50};

struct Options {
  std::string root = ".";
  std::string plugin;
  std::string script;
  int rcon_port = -1;  // no RCON
  std::string rcon_password;
  std::string rcon_bind = "127.0.0.1";
};

int Fail(const std::string& message) {
  std::cerr << "glyphwork-devserver: " << message << "\n";
  return 2;
}

// Empty when the arguments are sound, else what is wrong.
std::string Parse(const std::vector<std::string>& arguments, Options& options) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (i + 1 >= arguments.size()) return "missing value after " + arg;
    const std::string& value = arguments[++i];
    if (arg == "--root") {
      options.root = value;
    } else if (arg == "--plugin") {
      options.plugin = value;
    } else if (arg == "--script") {
      options.script = value;
    } else if (arg == "--rcon-password") {
      options.rcon_password = value;
    } else if (arg == "--rcon-bind") {
      options.rcon_bind = value;
    } else if (arg == "--rcon-port") {
      int port = -1;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (error != std::errc() || end != value.data() + value.size() || port < 0 || port > 65535) {
        return "bad port " + value;
      }
      options.rcon_port = port;
    } else {
      return "unknown option " + arg;
    }
  }
  if (options.rcon_port >= 0 && options.rcon_password.empty()) {
    return "--rcon-port needs --rcon-password: the RCON port is not opened without a password";
  }
  std::error_code error;
  if (!std::filesystem::is_directory(glyphwork::PathFromUtf8(options.root), error)) {
    return "no server folder " + options.root;
  }
  return {};
}

// Reads lines until the end of input, then says so. Detached: a terminal
// read cannot be interrupted, and the queue outlives the game loop.
void StartReader(std::shared_ptr<devserver::WorkQueue> queue, std::unique_ptr<std::istream> owned) {
  std::thread([queue = std::move(queue), owned = std::move(owned)] {
    std::istream& input = owned ? *owned : std::cin;
    for (std::string line; std::getline(input, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      queue->Push({devserver::Work::Kind::kLine, std::move(line), {}});
    }
    queue->Push({devserver::Work::Kind::kEndOfInput, {}, {}});
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::vector<std::string> arguments = glyphwork::Utf8Arguments(argc, argv);
  if (arguments.size() == 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (const std::string problem = Parse(arguments, options); !problem.empty()) {
    std::cerr << kUsage;
    return Fail(problem);
  }
  std::unique_ptr<std::istream> script;
  if (!options.script.empty()) {
    script = std::make_unique<std::ifstream>(glyphwork::PathFromUtf8(options.script));
    if (!*script) return Fail("cannot open " + options.script);
  }

  standin::StartHost({.server_dir = options.root});
  auto queue = std::make_shared<devserver::WorkQueue>();
  std::unique_ptr<rcon::Server> rcon_server;
  if (options.rcon_port >= 0) {
    rcon::Server::Handlers handlers;
    handlers.on_request = [queue](rcon::Request request) {
      queue->Push({devserver::Work::Kind::kRequest, {}, std::move(request)});
    };
    handlers.on_notice = [queue](std::string notice) {
      queue->Push({devserver::Work::Kind::kNotice, std::move(notice), {}});
    };
    std::string error;
    rcon_server = rcon::Server::Start(options.rcon_bind, options.rcon_port, options.rcon_password,
                                      std::move(handlers), &error);
    if (!rcon_server) {
      standin::StopHost();
      return Fail("cannot open the RCON port: " + error);
    }
  }

  {
    devserver::DevServer server(options.plugin);
    if (rcon_server) fmt::print("[rcon] listening on {}\n", rcon_server->Address());
    server.LoadPlugin();
    standin::RunTimers();
    std::fflush(stdout);
    StartReader(queue, std::move(script));

    for (bool running = true; running;) {
      if (std::optional<devserver::Work> work = queue->Pop(kIdleTick)) {
        switch (work->kind) {
          case devserver::Work::Kind::kLine:
            if (work->text.empty() || work->text[0] == '#') continue;
            running = server.Run(work->text);
            break;
          case devserver::Work::Kind::kEndOfInput:
            running = server.Run("quit");
            break;
          case devserver::Work::Kind::kNotice:
            fmt::print("[rcon] {}\n", work->text);
            break;
          case devserver::Work::Kind::kRequest: {
            const rcon::Request& request = work->request;
            std::vector<rcon::Reply> replies;
            if (request.kind == rcon::Request::Kind::kCommand) {
              replies = server.Rcon(request.id, request.command);
              for (const auto& reply : replies) {
                fmt::print("[rcon] client {} #{}: {}\n", request.client, reply.id, reply.text);
              }
            } else {
              replies.push_back({request.id, ""});
            }
            rcon_server->Complete(request.client, std::move(replies));
            break;
          }
        }
      }
      if (running) standin::RunTimers();
      std::fflush(stdout);
    }
  }
  rcon_server.reset();
  standin::StopHost();
  std::fflush(stdout);
  return 0;
}
