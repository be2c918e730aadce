// glyphwork-devserver: the stand-in host and game with the real plugin
// library loaded from a server folder, driven by command lines and, when
// asked, by RCON clients over TCP.
//
// Threads: the main thread is the game loop and the only one that touches the
// host, the game or the plugin. A reader thread turns input lines into work
// for it; the RCON network thread hands it requests and takes back replies.
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/plugin_name.h"
#include "common/utf8_path.h"
#include "programs/arguments.h"
#include "programs/devserver/dev_server.h"
#include "programs/devserver/options.h"
#include "programs/devserver/rcon_server.h"
#include "programs/devserver/terminal_text.h"
#include "programs/devserver/work_queue.h"
#include "programs/version.h"
#include "standin/host/host_control.h"

namespace {

// How often an idle game loop runs the host's timer.
constexpr std::chrono::milliseconds kIdleTick{50};
// Every client's share of requests, and room for input lines and notices.
constexpr std::size_t kRequestRoom = rcon::Server::kMaxClients * rcon::Server::kMaxQueuedRequests;
constexpr std::size_t kQueueCapacity = kRequestRoom + 512;

// The exit status after a run in which a plugin failed to load.
constexpr int kPluginFailed = 2;

// The server cannot start: 1, apart from a mistake in the command line.
int Fail(const std::string& message) {
  std::cerr << "glyphwork-devserver: " << message << "\n";
  return 1;
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
  devserver::Options options;
  if (const std::optional<int> exit_code = devserver::ParseOptions(argc, argv, &options)) return *exit_code;
  std::unique_ptr<std::istream> script;
  if (!options.script.empty()) {
    script = std::make_unique<std::ifstream>(glyphwork::PathFromUtf8(options.script));
    if (!*script) return Fail("cannot open " + options.script);
  }

  standin::StartHost({.server_dir = options.root});
  auto queue = std::make_shared<devserver::WorkQueue>(kQueueCapacity, kRequestRoom);
  std::unique_ptr<rcon::Server> rcon_server;
  if (options.rcon_port >= 0) {
    rcon::Server::Handlers handlers;
    handlers.on_request = [queue](rcon::Request request) {
      return queue->TryPush({devserver::Work::Kind::kRequest, {}, std::move(request)});
    };
    handlers.on_notice = [queue](std::string notice) {
      return queue->TryPush({devserver::Work::Kind::kNotice, std::move(notice), {}});
    };
    std::string error;
    rcon_server = rcon::Server::Start(
        {options.rcon_bind, options.rcon_port, options.rcon_password, std::chrono::seconds(options.rcon_idle_timeout)},
        std::move(handlers), &error);
    if (!rcon_server) {
      standin::StopHost();
      return Fail("cannot open the RCON port: " + error);
    }
  }

  std::vector<std::string> failed;
  {
    devserver::DevServer server(options.plugin, devserver::DevServer::FindStandInPlugin());
    fmt::print("[host] glyphwork-devserver {}", glyphwork::kVersion);
    if (const std::string standin = server.StandInInUse(); !standin.empty()) {
      fmt::print(
          ", running the stand-in plugin {}: the server folder has no {}{} of its own (a live "
          "server needs Glyphwork.dll from the plugin's release archive)",
          standin, glyphwork::kPluginName, standin::PluginSuffix());
    }
    fmt::print("\n");
    if (rcon_server) fmt::print("[rcon] listening on {}\n", rcon_server->Address());
    // Out before the plugin's first line: on Windows the plugin's runtime
    // writes through a buffer of its own.
    std::fflush(stdout);
    server.LoadPlugins();
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
                fmt::print("[rcon] client {} #{}: {}\n", request.client, reply.id, devserver::Visible(reply.text));
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
    failed = server.FailedPlugins();
  }
  rcon_server.reset();
  standin::EndProcess();
  if (!failed.empty()) {
    fmt::print("[host] {} {} failed to load (the host's line above says why): exit status {}\n",
               failed.size() == 1 ? "the plugin" : "the plugins", fmt::join(failed, ", "), kPluginFailed);
  }
  std::fflush(stdout);
  return failed.empty() ? 0 : kPluginFailed;
}
