// glyphwork-devserver: the stand-in host and game with the real plugin
// library loaded from a server folder, driven by command lines and, when
// asked, by RCON clients over TCP.
//
// Threads: the main thread is the game loop and the only one that touches the
// host, the game or the plugin. A reader thread turns input lines into work
// for it; the RCON network thread hands it requests and takes back replies.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "programs/devserver/dev_server.h"
#include "programs/devserver/rcon_server.h"
#include "programs/devserver/work_queue.h"
#include "standin/host/host_control.h"

namespace {

constexpr const char* kProgram = "glyphwork-devserver";
constexpr const char* kPasswordVariable = "GLYPHWORK_RCON_PASSWORD";

// How often an idle game loop runs the host's timer.
constexpr std::chrono::milliseconds kIdleTick{50};
// Every client's share of requests, and room for input lines and notices.
constexpr std::size_t kQueueCapacity = rcon::Server::kMaxClients * rcon::Server::kMaxQueuedRequests + 512;

struct Options {
  std::string root = ".";
  std::string plugin;
  std::string script;
  int rcon_port = -1;  // no RCON
  std::string rcon_password;
  std::string rcon_password_file;
  std::string rcon_bind = "127.0.0.1";
  int rcon_idle_timeout = static_cast<int>(rcon::Server::kDefaultIdleTimeout.count());
};

int Fail(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n";
  return 2;
}

void Describe(CLI::App& app, Options& options) {
  app.add_option("--root", options.root, "The server folder (default: the working directory)")->type_name("DIR");
  app.add_option("--plugin", options.plugin,
                 "The plugin library to load (default: the one in the server folder's plugin folder)")
      ->type_name("FILE");
  app.add_option("--script", options.script, "Read commands from FILE instead of standard input")->type_name("FILE");
  app.add_option("--rcon-port", options.rcon_port, "Open an RCON port (0: any free one); it needs a password")
      ->type_name("N")
      ->check(CLI::Range(0, 65535));
  auto* file =
      app.add_option("--rcon-password-file", options.rcon_password_file, "The RCON password is the first line of FILE")
          ->type_name("FILE");
  app.add_option("--rcon-password", options.rcon_password,
                 std::string("The RCON password itself. Other users of the machine can read it in the process list: "
                             "prefer --rcon-password-file or ") +
                     kPasswordVariable)
      ->type_name("TEXT")
      ->excludes(file);
  app.add_option("--rcon-bind", options.rcon_bind, "The address the RCON port listens on (default: 127.0.0.1)")
      ->type_name("ADDR");
  app.add_option("--rcon-idle-timeout", options.rcon_idle_timeout,
                 "Close a logged-in RCON client that sends nothing for SECONDS (default: " +
                     std::to_string(options.rcon_idle_timeout) + "; 0: never)")
      ->type_name("SECONDS")
      ->check(CLI::Range(0, 24 * 3600));
  app.footer(std::string("Without --rcon-password-file or --rcon-password, the RCON password is taken from the "
                         "environment variable ") +
             kPasswordVariable + ".");
}

// The RCON password from the file, the option or the environment, in that
// order. Empty when there is none, with the reason in `problem`.
std::string Password(const Options& options, bool option_given, std::string* problem) {
  if (!options.rcon_password_file.empty()) {
    std::ifstream in(options.rcon_password_file, std::ios::binary);
    std::string line;
    if (!in || (!std::getline(in, line) && !in.eof())) {
      *problem = "cannot read the RCON password file " + options.rcon_password_file;
      return {};
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) *problem = "the first line of " + options.rcon_password_file + " is empty: no RCON password";
    return line;
  }
  std::string password = options.rcon_password;
  if (!option_given) {
    const char* variable = std::getenv(kPasswordVariable);
    password = variable ? variable : "";
  }
  if (password.empty()) {
    *problem = std::string("--rcon-port needs a password: --rcon-password-file FILE, ") + kPasswordVariable +
               " or --rcon-password; the RCON port is not opened without one";
  }
  return password;
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
  CLI::App app(
      "The stand-in host and game with the Glyphwork plugin loaded from a server folder, driven by "
      "command lines and by RCON clients.",
      kProgram);
  Describe(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& error) {
    return Fail(std::string(error.what()) + " (--help lists the options)");
  }
  std::string password;
  if (options.rcon_port >= 0) {
    std::string problem;
    password = Password(options, app.count("--rcon-password") > 0, &problem);
    if (!problem.empty()) return Fail(problem);
  }
  std::error_code folder_error;
  if (!std::filesystem::is_directory(options.root, folder_error)) return Fail("no server folder " + options.root);
  std::unique_ptr<std::istream> script;
  if (!options.script.empty()) {
    script = std::make_unique<std::ifstream>(options.script);
    if (!*script) return Fail("cannot open " + options.script);
  }

  standin::StartHost({options.root, true, {}});
  auto queue = std::make_shared<devserver::WorkQueue>(kQueueCapacity);
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
        {options.rcon_bind, options.rcon_port, password, std::chrono::seconds(options.rcon_idle_timeout)},
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
