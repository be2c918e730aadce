// glyphwork-check --usage --html: the page it writes from a server's usage
// database, read as markup and as a browser shows it.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/server_fixture.h"
#include "usage/day.h"
#include "usage/store.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct Ran {
  int status = -1;
  std::string out;  // standard output, and standard error when asked
};

Ran Launch(std::vector<std::string> arguments, bool with_errors = false) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    dup2(with_errors ? STDOUT_FILENO : open("/dev/null", O_WRONLY), STDERR_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  Ran run;
  char buffer[4096];
  for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, n);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string FileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text of every element that opens with `start` (e.g. `<td class="code">`).
std::vector<std::string> ElementTexts(const std::string& html, const std::string& start) {
  std::vector<std::string> found;
  for (size_t at = html.find(start); at != std::string::npos; at = html.find(start, at + 1)) {
    const size_t from = at + start.size();
    found.push_back(html.substr(from, html.find('<', from) - from));
  }
  return found;
}

// Where an element is closed out of order or never, "" when none is: the
// page must not depend on a browser's repairs.
std::string Unbalanced(const std::string& html) {
  std::vector<std::string> open;
  for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
    const size_t end = html.find('>', at);
    if (end == std::string::npos) return "a tag not ended";
    const std::string tag = html.substr(at + 1, end - at - 1);
    const std::string name = tag.substr(0, tag.find_first_of(" /", 1));
    if (tag[0] == '!' || tag.back() == '/' || name == "meta") continue;
    if (tag[0] != '/') {
      open.push_back(name);
      // Its text is no markup.
      if (name == "style") at = html.find("</style>", end) - 1;
    } else if (open.empty() || "/" + open.back() != name) {
      return tag + " closes " + (open.empty() ? "nothing" : open.back());
    } else {
      open.pop_back();
    }
  }
  return open.empty() ? "" : open.back() + " never closed";
}

std::string FindOnPath(const std::vector<std::string>& names) {
  const char* path = getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    for (const std::string& name : names) {
      if (access((folder + "/" + name).c_str(), X_OK) == 0) return folder + "/" + name;
    }
  }
  return "";
}

class UsagePageTest : public ServerTest {};

TEST_F(UsagePageTest, PageOfAServersUsageReadsAsTheReportAndShowsInABrowser) {
  WriteConfig(R"({"Usage": {"Enabled": true}})");
  WritePack("faces.json", R"({"EmojiPath": "/Game/F/", "EmojiArray": ["smile", "wink", "cry"]})");
  WritePack("ünï & co.json", R"({"EmojiPath": "/Game/P/", "EmojiArray": ["party"]})");
  // As the plugin would have counted them; a pack since removed may have
  // named its file anything, and a code may hold any bytes.
  const int64_t today = usage::Today();
  const std::string old_pack = "R&D's <old> \"pack\".json";
  usage::UsageSettings settings;
  settings.sqlite = PluginDir() / "usage.sqlite3";
  usage::OpenStore(settings)->Write("00000000000000000000000000000001", today,
                                    {{today - 6, "", ":smile:", "faces.json", 3},
                                     {today - 2, "", ":smile:", "faces.json", 4},
                                     {today, "", ":smile:", "faces.json", 2},
                                     {today - 1, "", ":<3:", old_pack, 5},
                                     {today - 4, "", ":wink:", "faces.json", 1},
                                     {today, "", ":wink:", "faces.json", 1},
                                     {today - 3, "", ":bad\xFF:", "faces.json", 1},
                                     {today - 40, "", ":cry:", "faces.json", 7}});
  usage::ReleaseStoreLibraries();

  const fs::path page_file = Root() / "usage page.html";
  const std::vector<std::string> report = {GLYPHWORK_CHECK_FILE, "--root", Root().string(), "--usage"};
  const Ran text = Launch(report);
  std::vector<std::string> with_page = report;
  with_page.insert(with_page.end(), {"--html", page_file.string()});
  const Ran run = Launch(with_page);
  ASSERT_EQ(0, run.status);
  EXPECT_EQ(text.out, run.out);
  const std::string page = FileText(page_file);

  EXPECT_EQ("", Unbalanced(page));
  EXPECT_THAT(page,
              HasSubstr("<title>Emoji usage, last 30 days (" + usage::DayText(today - 29) + " to " +
                        usage::DayText(today) + " UTC), from " + PluginDir().string() + "/usage.sqlite3</title>"));
  const std::vector<std::string> codes = {":smile:", ":&lt;3:", ":wink:", ":bad\xEF\xBF\xBD:", ":cry:", ":party:"};
  EXPECT_EQ(codes, ElementTexts(page, "<td class=\"code\">"));
  EXPECT_THAT(ElementTexts(page, "<td class=\"pack\">"),
              ElementsAre("faces.json", "R&amp;D&#39;s &lt;old&gt; &quot;pack&quot;.json", "faces.json", "faces.json",
                          "faces.json", "ünï &amp; co.json"));
  EXPECT_EQ(4u, ElementTexts(page, "<tr class=\"used\">").size());
  EXPECT_THAT(ElementTexts(page, "<tr class=\"never\"><td class=\"code\">"), ElementsAre(":cry:", ":party:"));
  // A chart per code used, its bars the days it was used, named for the
  // reader who cannot see them.
  const std::vector<std::string> charts = ElementTexts(page, "<svg class=\"chart\"");
  EXPECT_EQ(4u, charts.size());
  EXPECT_THAT(page, HasSubstr("<title>:smile: per day, " + usage::DayText(today - 29) + " to " + usage::DayText(today) +
                              ": 9 messages, most 4 on " + usage::DayText(today - 2) + "</title>"));
  EXPECT_EQ(7u, ElementTexts(page, "<rect class=\"bar\"").size());
  EXPECT_THAT(page, HasSubstr("<title>" + usage::DayText(today - 1) + ": 5 messages</title>"));
  for (const char* outside : {"http", "<script", "src=", "url(", "@import"}) EXPECT_THAT(page, Not(HasSubstr(outside)));

  // What the command line and the file system refuse.
  with_page.back() = (Root() / "no such folder" / "page.html").string();
  const Ran unwritable = Launch(with_page, true);
  EXPECT_EQ(3, unwritable.status);
  EXPECT_EQ("glyphwork-check: --usage: cannot write the page to " + with_page.back() + ": No such file or directory\n",
            unwritable.out);
  EXPECT_EQ(64, Launch({GLYPHWORK_CHECK_FILE, "--root", Root().string(), "--html", page_file.string()}).status);

  // As a browser shows it.
  const std::string chromium = FindOnPath({"chromium", "chromium-browser"});
  if (chromium.empty()) GTEST_SKIP() << "no chromium to show the page in";
  const auto browse = [&](const std::vector<std::string>& what) {
    std::vector<std::string> command = {chromium,
                                        "--headless",
                                        "--no-sandbox",
                                        "--disable-gpu",
                                        "--disable-dev-shm-usage",
                                        "--no-first-run",
                                        "--user-data-dir=" + (Root() / "browser").string()};
    command.insert(command.end(), what.begin(), what.end());
    return Launch(command);
  };
  const Ran dom = browse({"--dump-dom", page_file.string()});
  ASSERT_EQ(0, dom.status);
  EXPECT_EQ(codes, ElementTexts(dom.out, "<td class=\"code\">"));
  EXPECT_EQ(4u, ElementTexts(dom.out, "<svg class=\"chart\"").size());

  const auto screenshot = [&](const std::string& what, const fs::path& file) {
    EXPECT_EQ(0, browse({"--screenshot=" + file.string(), "--window-size=1000,800", what}).status);
    return FileText(file);
  };
  const std::string shown = screenshot(page_file.string(), Root() / "page.png");
  const std::string blank = screenshot("about:blank", Root() / "blank.png");
  ASSERT_GT(shown.size(), 24u);
  EXPECT_EQ("\x89PNG", shown.substr(0, 4));
  // IHDR's width and height, big-endian.
  EXPECT_EQ(std::string("\0\0\x03\xE8\0\0\x03\x20", 8), shown.substr(16, 8));
  // Text, table lines and bars make for a far larger picture than one colour.
  EXPECT_GT(shown.size(), 4 * blank.size());
}

}  // namespace
}  // namespace glyphwork::testing
